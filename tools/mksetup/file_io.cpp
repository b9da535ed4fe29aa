#include "file_io.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tool_error.h"

namespace mksetup {
namespace {

std::string Reason(int error) { return std::strerror(error); }

// Owns a POSIX file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { if (fd_ >= 0) ::close(fd_); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    // Closes now and reports the result; close can fail on a full disk.
    int Close()
    {
        int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

void WriteAll(int fd, std::span<const std::uint8_t> bytes,
              const std::filesystem::path& path)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ToolError(path.string(), "cannot write: " + Reason(errno));
        }
        done += static_cast<std::size_t>(n);
    }
}

// Removes a temporary file unless it was handed over.
class TemporaryFile {
public:
    explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() { if (!path_.empty()) ::unlink(path_.c_str()); }
    void Release() { path_.clear(); }

private:
    std::filesystem::path path_;
};

mode_t CreationMode()
{
    // The mode a plain creat() would give: 0666 less the umask.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path)
{
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        throw ToolError(path.string(), "cannot open: " + Reason(errno));
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        throw ToolError(path.string(), "cannot stat: " + Reason(errno));
    if (S_ISDIR(info.st_mode))
        throw ToolError(path.string(), "is a directory, not a file");
    if (!S_ISREG(info.st_mode))
        throw ToolError(path.string(), "is not a regular file");

    // The whole file is held in memory; one too large for it is named,
    // not left to end the run as a bare std::bad_alloc.
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(info.st_size));
    } catch (const std::exception&) { // std::bad_alloc, std::length_error
        throw ToolError(path.string(), "is " + std::to_string(info.st_size) +
                                           " bytes, more than mksetup can hold in memory");
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ToolError(path.string(), "cannot read: " + Reason(errno));
        }
        if (n == 0) break; // the file shrank while we read it
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

void WriteFileAtomically(const std::filesystem::path& path,
                         std::span<const std::uint8_t> bytes)
{
    std::string pattern = path.string() + ".XXXXXX";
    int raw = ::mkstemp(pattern.data());
    if (raw < 0)
        throw ToolError(path.string(),
                        "cannot create a temporary file next to it: " +
                            Reason(errno));
    FileDescriptor fd(raw);
    TemporaryFile temporary(pattern);
    if (::fchmod(fd.get(), CreationMode()) != 0)
        throw ToolError(pattern, "cannot set permissions: " + Reason(errno));
    WriteAll(fd.get(), bytes, path);
    if (fd.Close() != 0)
        throw ToolError(path.string(), "cannot write: " + Reason(errno));
    if (::rename(pattern.c_str(), path.c_str()) != 0)
        throw ToolError(path.string(), "cannot replace: " + Reason(errno));
    temporary.Release();
}

void WriteFileBytes(const std::filesystem::path& path,
                    std::span<const std::uint8_t> bytes)
{
    FileDescriptor fd(::open(path.c_str(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW |
                                 O_CLOEXEC,
                             0666));
    if (!fd.valid())
        throw ToolError(path.string(), "cannot create: " + Reason(errno));
    WriteAll(fd.get(), bytes, path);
    if (fd.Close() != 0)
        throw ToolError(path.string(), "cannot write: " + Reason(errno));
}

std::filesystem::path ExecutableDirectory()
{
    std::error_code error;
    std::filesystem::path self =
        std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        throw ToolError("/proc/self/exe",
                        "cannot find the mksetup executable: " +
                            error.message());
    return self.parent_path();
}

} // namespace mksetup
