#include "package.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <set>

#include "entry_format.h"
#include "tool_error.h"

namespace fs = std::filesystem;

namespace mksetup {
namespace {

std::string FoldCase(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

// Windows maps these names to devices in every directory, with any
// extension: writing "aux.txt" writes nowhere.
bool IsDeviceName(std::string_view component)
{
    static constexpr std::array<std::string_view, 22> kDevices = {
        "con",  "prn",  "aux",  "nul",  "com1", "com2", "com3", "com4",
        "com5", "com6", "com7", "com8", "com9", "lpt1", "lpt2", "lpt3",
        "lpt4", "lpt5", "lpt6", "lpt7", "lpt8", "lpt9"};
    std::string base = FoldCase(component.substr(0, component.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    return std::find(kDevices.begin(), kDevices.end(), base) != kDevices.end();
}

} // namespace

std::optional<std::string> StoredNameProblem(std::string_view name)
{
    if (name.size() > 255)
        return "stored name is " + std::to_string(name.size()) +
               " bytes long; at most 255 fit";
    if (!IsSafeStoredName(name.data(), static_cast<unsigned>(name.size())))
        return "stored name \"" + std::string(name) +
               "\" would be refused by the setup program (empty, absolute, "
               "a drive, \":\", \"/\", \".\" or \"..\" components, control "
               "characters or a leading or trailing \"\\\")";
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = std::min(name.find('\\', start), name.size());
        std::string_view component = name.substr(start, end - start);
        if (component.find_first_of("<>\"|?*") != std::string_view::npos)
            return "\"" + std::string(component) +
                   "\" holds a character Windows does not allow in file "
                   "names (< > \" | ? *)";
        if (component.back() == '.' || component.back() == ' ')
            return "\"" + std::string(component) +
                   "\" ends in a dot or a blank, which Windows drops";
        if (IsDeviceName(component))
            return "\"" + std::string(component) +
                   "\" is a Windows device name";
        start = end + 1;
    }
    return std::nullopt;
}

std::string StoredNameOf(const fs::path& relative)
{
    std::string stored;
    for (const fs::path& part : relative.lexically_normal()) {
        std::string component = part.string();
        if (component.empty() || component == ".") continue;
        if (component == ".." || part.has_root_directory())
            throw ToolError(relative.string(), "lies outside the package root");
        if (component.find('\\') != std::string::npos)
            throw ToolError(relative.string(),
                            "a name holding \"\\\" would become a directory "
                            "in the setup program");
        if (!stored.empty()) stored += '\\';
        stored += component;
    }
    return stored;
}

std::string FileKeyOf(std::size_t index)
{
    std::size_t letter = 'a' + index;
    if (letter > 0xFF) return "-";
    if (letter < 0x7F) return "file" + std::string(1, static_cast<char>(letter));
    char text[16];
    std::snprintf(text, sizeof text, "file\\x%02zX", letter);
    return text;
}

std::vector<PackageFile> CollectFiles(const fs::path& root,
                                      const std::vector<std::string>& paths)
{
    std::error_code error;
    if (!fs::is_directory(root, error))
        throw ToolError(root.string(), error ? "cannot open the package root: " +
                                                   error.message()
                                             : "is not a directory");
    std::vector<PackageFile> files;
    if (paths.empty()) {
        fs::recursive_directory_iterator walk(root, error), end;
        if (error)
            throw ToolError(root.string(), "cannot read: " + error.message());
        for (; walk != end; walk.increment(error)) {
            if (error)
                throw ToolError(root.string(), "cannot read: " + error.message());
            if (!walk->is_regular_file(error)) continue;
            fs::path relative = walk->path().lexically_relative(root);
            files.push_back({walk->path(), StoredNameOf(relative)});
        }
        if (error)
            throw ToolError(root.string(), "cannot read: " + error.message());
        std::sort(files.begin(), files.end(),
                  [](const PackageFile& a, const PackageFile& b) {
                      return a.storedName < b.storedName;
                  });
    } else {
        for (const std::string& path : paths) {
            fs::path relative(path);
            if (relative.is_absolute())
                throw ToolError(path, "must be relative to the package root " +
                                          root.string());
            std::string storedName = StoredNameOf(relative);
            fs::path source = root / relative;
            fs::file_status status = fs::status(source, error);
            if (!fs::exists(status))
                throw ToolError(source.string(), "no such file");
            if (!fs::is_regular_file(status))
                throw ToolError(source.string(), "is not a regular file");
            files.push_back({source, storedName});
        }
    }

    std::set<std::string> seen;
    for (const PackageFile& file : files) {
        if (auto problem = StoredNameProblem(file.storedName))
            throw ToolError(file.source.string(), *problem);
        std::string folded = FoldCase(file.storedName);
        if (!seen.insert(folded).second)
            throw ToolError(file.source.string(),
                            "stored name \"" + file.storedName +
                                "\" is packed twice (Windows does not tell "
                                "upper from lower case)");
        if (folded == FoldCase(kSetupInfoName) || folded == FoldCase(kLicenseName))
            throw ToolError(file.source.string(),
                            "\"" + file.storedName +
                                "\" in the install directory is the setup "
                                "program's own; choose another name");
    }
    return files;
}

void CheckStub(std::span<const std::uint8_t> stub, const fs::path& path)
{
    if (stub.size() != ARCHIVE_START)
        throw ToolError(path.string(),
                        "is " + std::to_string(stub.size()) +
                            " bytes; a stub is exactly 38914 bytes "
                            "(38912-byte image and CR LF)");
    if (stub[STUB_IMAGE_SIZE] != '\r' || stub[STUB_IMAGE_SIZE + 1] != '\n')
        throw ToolError(path.string(), "does not end in CR LF; not a stub");
}

UnixSeconds ModificationTime(const fs::path& path)
{
    std::error_code error;
    fs::file_time_type time = fs::last_write_time(path, error);
    if (error)
        throw ToolError(path.string(),
                        "cannot read the modification time: " + error.message());
    auto system = std::chrono::file_clock::to_sys(time);
    return std::chrono::floor<std::chrono::seconds>(system)
        .time_since_epoch()
        .count();
}

void SetModificationTime(const fs::path& path, UnixSeconds time)
{
    std::chrono::sys_seconds system{std::chrono::seconds{time}};
    std::error_code error;
    fs::last_write_time(path, std::chrono::file_clock::from_sys(system), error);
    if (error)
        throw ToolError(path.string(),
                        "cannot set the modification time: " + error.message());
}

} // namespace mksetup
