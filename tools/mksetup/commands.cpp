#include "commands.h"

#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "archive.h"
#include "entry_format.h"
#include "file_io.h"
#include "package.h"
#include "setup_info.h"
#include "tool_error.h"

namespace fs = std::filesystem;

namespace mksetup {
namespace {

constexpr std::uint64_t kProgressThreshold = 4u << 20; // bytes of input
constexpr std::size_t kMaxRecordedPath = 254;

// One line on the terminal that is rewritten as the build goes on.
class ProgressLine {
public:
    ProgressLine(bool enabled, std::uint64_t total) : enabled_(enabled), total_(total) {}
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { Clear(); }

    void Clear()
    {
        if (shown_) std::fputs("\r\x1b[K", stderr);
        shown_ = false;
    }

    void Show(std::size_t number, std::size_t count, const std::string& name,
              std::uint64_t done)
    {
        if (!enabled_) return;
        std::fprintf(stderr, "\r\x1b[Kmksetup: packing %zu/%zu (%llu of %llu MiB) %s",
                     number, count, static_cast<unsigned long long>(done >> 20),
                     static_cast<unsigned long long>(total_ >> 20), name.c_str());
        std::fflush(stderr);
        shown_ = true;
    }

private:
    bool enabled_;
    std::uint64_t total_;
    bool shown_ = false;
};

struct Source {
    fs::path path;
    std::string storedName;
};

std::string CopyModeText(const SetupInfo& info, const std::string& key)
{
    // As the setup program reads it: default 1, only 2 and 3 differ.
    long long mode = info.Integer("Copymode", key).value_or(1);
    const char* effect = mode == 2 ? "ask" : mode == 3 ? "keep" : "replace";
    return "copymode " + std::to_string(mode) + " (" + effect + ")";
}

std::string AttributeText(std::uint8_t stored)
{
    unsigned long mapped = MapDosAttributes(stored);
    std::string letters;
    letters += mapped & 0x20 ? 'A' : '-';
    letters += mapped & 0x04 ? 'S' : '-';
    letters += mapped & 0x02 ? 'H' : '-';
    letters += mapped & 0x01 ? 'R' : '-';
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X ", stored);
    return hex + letters;
}

// The key an entry's file is recorded under, for application files only.
std::string KeyOfEntry(std::size_t index)
{
    return index < 2 ? "-" : FileKeyOf(index - 2);
}

std::vector<archive::EntryInfo> ReadChain(const fs::path& setup,
                                          std::span<const std::uint8_t> program)
{
    std::string error;
    std::vector<archive::EntryInfo> entries = archive::ListEntries(program, &error);
    if (!error.empty()) throw ToolError(setup.string(), error);
    return entries;
}

std::string EntryName(std::size_t index, const archive::EntryInfo& entry)
{
    return "entry " + std::to_string(index + 1) + " \"" + entry.name + "\"";
}

// Paths are recorded in [Uninstall] and read back with a limit of 255, so
// one of more than 254 characters is cut, and the setup program refuses a
// target that does not fit its 256-byte buffer. The author can only be
// warned: the user may choose a shorter directory.
void WarnAboutLongPaths(const SetupInfo& info, const std::vector<PackageFile>& files)
{
    std::string defDir = info.Value("Install", "DefDir").value_or("");
    for (const PackageFile& file : files) {
        std::size_t length = defDir.size() + 1 + file.storedName.size();
        if (length > kMaxRecordedPath)
            std::cerr << "mksetup: warning: " << file.storedName << ": installed under \""
                      << defDir << "\", its path has " << length
                      << " characters; the setup program handles at most "
                      << kMaxRecordedPath << '\n';
    }
}

} // namespace

int BuildSetup(const BuildOptions& options, std::ostream& out)
{
    fs::path stubPath = options.stub ? *options.stub
                                     : ExecutableDirectory() / "setup-stub.exe";
    std::vector<std::uint8_t> program = ReadFileBytes(stubPath);
    CheckStub(program, stubPath);

    std::vector<std::uint8_t> setupInfoBytes = ReadFileBytes(options.setupInfo);
    SetupInfo info = SetupInfo::Parse(std::string_view(
        reinterpret_cast<const char*>(setupInfoBytes.data()), setupInfoBytes.size()));
    std::vector<PackageFile> files = CollectFiles(options.root, options.paths);

    std::optional<long long> fileNum = info.Integer("Install", "FileNum");
    if (fileNum.value_or(0) != static_cast<long long>(files.size()))
        throw ToolError(options.setupInfo.string(),
                        (fileNum ? "[Install] FileNum is " + std::to_string(*fileNum)
                                 : std::string("[Install] FileNum is missing")) +
                            ", but " + std::to_string(files.size()) +
                            " application files are packed");
    if (files.size() > kMaxApplicationFiles)
        throw ToolError(options.root.string(),
                        std::to_string(files.size()) +
                            " files are more than the setup program can "
                            "record (at most " +
                            std::to_string(kMaxApplicationFiles) + ")");
    WarnAboutLongPaths(info, files);

    std::vector<Source> sources = {{options.setupInfo, kSetupInfoName},
                                   {options.license, kLicenseName}};
    for (const PackageFile& file : files) sources.push_back({file.source, file.storedName});

    std::uint64_t total = 0;
    for (const Source& source : sources) {
        std::error_code error;
        total += fs::file_size(source.path, error);
    }
    ProgressLine progress(options.progress && total >= kProgressThreshold, total);

    std::uint64_t done = 0;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const Source& source = sources[i];
        progress.Show(i + 1, sources.size(), source.storedName, done);
        archive::EntrySpec wanted;
        wanted.name = source.storedName;
        wanted.data = i == 0 ? setupInfoBytes : ReadFileBytes(source.path);
        DosStamp stamp = StoredStampFor(ModificationTime(source.path));
        wanted.dosDate = stamp.date;
        wanted.dosTime = stamp.time;
        wanted.attributes = 0x20;
        done += wanted.data.size();
        std::vector<std::uint8_t> entry;
        try {
            entry = archive::MakeEntry(wanted, options.level);
        } catch (const std::length_error& error) {
            throw ToolError(source.path.string(), error.what());
        }
        program.insert(program.end(), entry.begin(), entry.end());
        // The setup program walks its archive with 32-bit offsets.
        if (program.size() > 0xFFFFFFFFu)
            throw ToolError(options.output.string(),
                            "the setup program would be larger than 4 GiB");
    }

    progress.Clear();
    WriteFileAtomically(options.output, program);
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string key = "file" + std::string(1, static_cast<char>('a' + i));
        out << std::left << std::setw(8) << FileKeyOf(i) << ' ' << files[i].storedName
            << "  " << CopyModeText(info, key) << '\n';
    }
    out << options.output.string() << ": " << sources.size() << " entries, "
        << program.size() << " bytes\n";
    return 0;
}

int ListSetup(const fs::path& setup, std::ostream& out)
{
    std::vector<std::uint8_t> program = ReadFileBytes(setup);
    std::string error;
    std::vector<archive::EntryInfo> entries = archive::ListEntries(program, &error);
    out << std::right << std::setw(4) << "#" << "  " << std::left << std::setw(8)
        << "key" << std::right << std::setw(10) << "size" << std::setw(10)
        << "packed" << "  " << std::left << std::setw(19) << "date/time (UTC)"
        << "  " << std::setw(11) << "attributes" << "  name\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const archive::EntryInfo& entry = entries[i];
        DosStamp restored = RestoredStamp({entry.dosDate, entry.dosTime});
        out << std::right << std::setw(4) << i + 1 << "  " << std::left << std::setw(8)
            << KeyOfEntry(i) << std::right << std::setw(10) << entry.decodedSize
            << std::setw(10) << entry.streamSize << "  " << std::left << std::setw(19)
            << FormatDosStamp(restored) << "  " << std::setw(11)
            << AttributeText(entry.attributes) << "  " << entry.name << '\n';
    }
    if (!error.empty()) throw ToolError(setup.string(), error);
    return 0;
}

int VerifySetup(const fs::path& setup, std::ostream& out, std::ostream& errors)
{
    std::vector<std::uint8_t> program = ReadFileBytes(setup);
    std::vector<archive::EntryInfo> entries = ReadChain(setup, program);
    int bad = 0;
    auto report = [&](const std::string& reason) {
        errors << "mksetup: " << setup.string() << ": " << reason << '\n';
        ++bad;
    };
    if (program[STUB_IMAGE_SIZE] != '\r' || program[STUB_IMAGE_SIZE + 1] != '\n')
        report("the stub does not end in CR LF");
    if (entries.size() < 2)
        report("holds " + std::to_string(entries.size()) +
               " entries; a setup program needs the setup information file "
               "and the license");

    std::optional<std::vector<std::uint8_t>> setupInfo;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const archive::EntryInfo& entry = entries[i];
        std::string reason;
        std::optional<std::vector<std::uint8_t>> data =
            archive::DecodeEntry(program, entry, &reason);
        if (!data) {
            report(EntryName(i, entry) + ": " + reason);
            continue;
        }
        if (i >= 2) {
            if (auto problem = StoredNameProblem(entry.name))
                report(EntryName(i, entry) + ": " + *problem);
        }
        if (i == 0) setupInfo = std::move(data);
    }
    if (setupInfo) {
        SetupInfo info = SetupInfo::Parse(std::string_view(
            reinterpret_cast<const char*>(setupInfo->data()), setupInfo->size()));
        long long fileNum = info.Integer("Install", "FileNum").value_or(0);
        long long present = static_cast<long long>(entries.size()) - 2;
        if (fileNum != present)
            report("[Install] FileNum is " + std::to_string(fileNum) + ", but " +
                   std::to_string(present) + " application files follow");
    }
    if (bad) return 1;
    out << setup.string() << ": " << entries.size() << " entries OK\n";
    return 0;
}

int ExtractSetup(const fs::path& setup, const fs::path& directory, std::ostream& out)
{
    std::vector<std::uint8_t> program = ReadFileBytes(setup);
    std::vector<archive::EntryInfo> entries = ReadChain(setup, program);
    // Refuse before anything is written.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& name = entries[i].name;
        if (!IsSafeStoredName(name.data(), static_cast<unsigned>(name.size())))
            throw ToolError(setup.string(),
                            EntryName(i, entries[i]) + ": unsafe stored name");
    }

    for (std::size_t i = 0; i < entries.size(); ++i) {
        const archive::EntryInfo& entry = entries[i];
        std::string reason;
        std::optional<std::vector<std::uint8_t>> data =
            archive::DecodeEntry(program, entry, &reason);
        if (!data) throw ToolError(setup.string(), EntryName(i, entry) + ": " + reason);

        fs::path target = directory;
        std::size_t start = 0;
        while (start <= entry.name.size()) {
            std::size_t end = std::min(entry.name.find('\\', start), entry.name.size());
            target /= entry.name.substr(start, end - start);
            start = end + 1;
        }
        std::error_code error;
        fs::create_directories(target.parent_path(), error);
        if (error)
            throw ToolError(target.parent_path().string(),
                            "cannot create the directory: " + error.message());
        WriteFileBytes(target, *data);
        DosStamp restored = RestoredStamp({entry.dosDate, entry.dosTime});
        // Like the setup program, leave the time alone when it is invalid.
        if (std::optional<UnixSeconds> time = FromDosStamp(restored))
            SetModificationTime(target, *time);
        out << std::left << std::setw(8) << KeyOfEntry(i) << ' ' << target.string()
            << '\n';
    }
    return 0;
}

} // namespace mksetup
