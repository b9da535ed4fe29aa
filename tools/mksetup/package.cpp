#include "package.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <set>

#include "entry_format.h"
#include "series_key.h"
#include "stub_image.h"
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

} // namespace

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

std::optional<std::string> StoredNameProblem(std::string_view name)
{
    if (name.size() > 255)
        return "stored name is " + std::to_string(name.size()) +
               " bytes long; at most 255 fit";
    return NameCharacterProblem(name);
}

std::optional<std::string> NameCharacterProblem(std::string_view name)
{
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

std::string SeriesKeyOf(std::string_view stem, std::size_t n)
{
    char key[64];
    std::string stemText(stem);
    unsigned length = SeriesKey(key, sizeof key, stemText.c_str(), n);
    return std::string(key, length);
}

std::string FileKeyOf(std::size_t index) { return SeriesKeyOf("file", index + 1); }

SeriesMatch MatchSeriesKey(std::string_view key, std::string_view stem)
{
    if (key.size() <= stem.size()) return {};
    for (std::size_t i = 0; i < stem.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(key[i])) !=
            std::tolower(static_cast<unsigned char>(stem[i])))
            return {};
    std::string_view tail = key.substr(stem.size());
    if (tail.size() == 1) {
        auto letter = static_cast<unsigned char>(tail[0]);
        if (letter >= 'A' && letter <= 'Z') letter = static_cast<unsigned char>(letter + 0x20);
        if (letter > 0x60 && letter <= 0x60 + SERIES_LETTERS)
            return {SeriesMatch::Key, std::size_t{letter} - 0x60u};
        if (letter > 0x60 + SERIES_LETTERS)
            return {SeriesMatch::OldLetter, std::size_t{letter} - 0x60u};
    }
    if (tail.find_first_not_of("0123456789") != std::string_view::npos) return {};
    // More digits than any count of files: no key of the series, and no
    // number worth reading either.
    if (tail.size() > 18) return {};
    std::size_t n = std::stoull(std::string(tail));
    bool asWritten = tail[0] != '0' && n > SERIES_LETTERS;
    return {asWritten ? SeriesMatch::Key : SeriesMatch::Misnumbered, n};
}

bool IsHiddenOrBackup(std::string_view fileName)
{
    if (fileName.empty()) return false;
    if (fileName.front() == '.' || fileName.back() == '~' || fileName.starts_with("~$"))
        return true;
    if (fileName.size() >= 2 && fileName.front() == '#' && fileName.back() == '#')
        return true;
    std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return false;
    std::string extension = FoldCase(fileName.substr(dot));
    for (const char* leftover : {".swp", ".swo", ".bak", ".orig", ".rej"})
        if (extension == leftover) return true;
    return false;
}

namespace {

// Whether the canonical `path` lies inside the canonical `root`.
bool IsWithin(const fs::path& path, const fs::path& root)
{
    auto part = path.begin();
    for (const fs::path& rootPart : root) {
        if (part == path.end() || *part != rootPart) return false;
        ++part;
    }
    return true;
}

// Gathers the application files of one build and what is wrong with them.
class Collector {
public:
    Collector(const fs::path& root, const CollectOptions& options, Diagnostics& diagnostics)
        : root_(root), options_(options), diagnostics_(diagnostics)
    {
        std::error_code error;
        canonicalRoot_ = fs::canonical(root, error);
        if (error)
            throw ToolError(root.string(), "cannot open the package root: " + error.message());
    }

    // Every file below the root, hidden ones and backups left out.
    void Walk()
    {
        std::error_code error;
        fs::recursive_directory_iterator walk(root_, error), end;
        if (error) throw ToolError(root_.string(), "cannot read: " + error.message());
        for (; walk != end; walk.increment(error)) {
            if (error) throw ToolError(root_.string(), "cannot read: " + error.message());
            const fs::path& path = walk->path();
            std::string fileName = path.filename().string();
            bool link = walk->is_symlink(error);
            bool folder = !link && walk->is_directory(error);
            if (!options_.allFiles && IsHiddenOrBackup(fileName)) {
                if (folder) walk.disable_recursion_pending();
                std::string what = folder            ? "hidden folder"
                                   : fileName[0] == '.' ? "hidden file"
                                                        : "editor backup";
                diagnostics_.Warning(path.string(), 0,
                                     what + " not packed (--all-files packs it)");
                continue;
            }
            if (folder) continue;
            if (link) {
                if (!FollowLink(path, true)) continue;
            } else if (!walk->is_regular_file(error)) {
                diagnostics_.Warning(path.string(), 0, "not a regular file; not packed");
                continue;
            }
            Add(path, path.lexically_relative(root_));
        }
        if (error) throw ToolError(root_.string(), "cannot read: " + error.message());
        std::sort(files_.begin(), files_.end(),
                  [](const PackageFile& a, const PackageFile& b) {
                      return a.storedName < b.storedName;
                  });
    }

    // One file the author named, relative to the root.
    void Take(const std::string& given)
    {
        fs::path relative(given);
        if (relative.is_absolute()) {
            diagnostics_.Error(given, 0, "must be relative to the package root " +
                                             root_.string());
            return;
        }
        fs::path source = root_ / relative;
        try {
            StoredNameOf(relative); // before the path is looked at
        } catch (const ToolError& error) {
            diagnostics_.Error(given, 0, error.reason());
            return;
        }
        std::error_code error;
        fs::file_status link = fs::symlink_status(source, error);
        if (!fs::exists(link)) {
            diagnostics_.Error(source.string(), 0, "no such file");
            return;
        }
        if (!FollowLink(source, false)) return;
        if (!fs::is_regular_file(fs::status(source, error))) {
            diagnostics_.Error(source.string(), 0, "is not a regular file");
            return;
        }
        Add(source, relative);
    }

    // Checks the names of all files together; returns the files.
    std::vector<PackageFile> Finish()
    {
        std::set<std::string> seen;
        const CodePage& page = *options_.codePage;
        for (const PackageFile& file : files_) {
            std::string folded = page.Fold(file.storedName);
            if (!seen.insert(folded).second)
                diagnostics_.Error(file.source.string(), 0,
                                   "stored name \"" + file.name +
                                       "\" is packed twice (Windows does not tell "
                                       "upper from lower case)");
            if (folded == page.Fold(kSetupInfoName) || folded == page.Fold(kLicenseName))
                diagnostics_.Error(file.source.string(), 0,
                                   "\"" + file.name +
                                       "\" in the install directory is the setup "
                                       "program's own; choose another name");
        }
        return std::move(files_);
    }

private:
    // Whether `path` (or the folders on the way to it) may be read: a
    // symbolic link is followed only to a file inside the root.
    bool FollowLink(const fs::path& path, bool walking)
    {
        std::error_code error;
        fs::path target = fs::canonical(path, error);
        if (error) {
            diagnostics_.Error(path.string(), 0,
                               "symbolic link to a missing file (or a loop of links)");
            return false;
        }
        if (!IsWithin(target, canonicalRoot_)) {
            diagnostics_.Error(path.string(), 0,
                               "leads to " + target.string() +
                                   ", outside the package root; mksetup follows no "
                                   "symbolic link out of it");
            return false;
        }
        if (walking && fs::is_directory(target, error)) {
            diagnostics_.Warning(path.string(), 0,
                                 "symbolic link to a folder, not followed (its files "
                                 "are packed where they lie in the root)");
            return false;
        }
        return true;
    }

    void Add(const fs::path& source, const fs::path& relative)
    {
        PackageFile file{source, {}, {}};
        try {
            file.name = StoredNameOf(relative);
        } catch (const ToolError& error) {
            diagnostics_.Error(source.string(), 0, error.reason());
            return;
        }
        const CodePage& page = *options_.codePage;
        std::optional<std::u32string> characters = DecodeUtf8(file.name);
        std::u32string missing;
        std::optional<std::string> stored =
            characters ? page.EncodeText(*characters, &missing) : std::nullopt;
        if (!characters) {
            diagnostics_.Error(source.string(), 0,
                               "the name is not UTF-8; mksetup stores names in code page " +
                                   std::to_string(page.number()));
            return;
        }
        if (!stored) {
            diagnostics_.Error(source.string(), 0,
                               "the name holds " + DescribeCharacter(missing[0]) +
                                   ", which code page " + std::to_string(page.number()) +
                                   " (" + page.script() + ") does not; choose another "
                                   "name or another code page");
            return;
        }
        file.storedName = std::move(*stored);
        std::optional<std::string> problem =
            file.storedName.size() > 255 ? StoredNameProblem(file.storedName)
                                         : NameCharacterProblem(file.name);
        if (problem) {
            diagnostics_.Error(source.string(), 0, *problem);
            return;
        }
        files_.push_back(std::move(file));
    }

    fs::path root_, canonicalRoot_;
    const CollectOptions& options_;
    Diagnostics& diagnostics_;
    std::vector<PackageFile> files_;
};

} // namespace

std::vector<PackageFile> CollectFiles(const fs::path& root,
                                      const std::vector<std::string>& paths,
                                      const CollectOptions& options,
                                      Diagnostics& diagnostics)
{
    std::error_code error;
    if (!fs::is_directory(root, error))
        throw ToolError(root.string(), error ? "cannot open the package root: " +
                                                   error.message()
                                             : "is not a directory");
    Collector collector(root, options, diagnostics);
    if (paths.empty()) collector.Walk();
    for (const std::string& path : paths) collector.Take(path);
    return collector.Finish();
}

void CheckStub(std::span<const std::uint8_t> stub, const fs::path& path)
{
    std::string problem;
    ReadStubImage(stub, &problem);
    if (!problem.empty()) throw ToolError(path.string(), problem);
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
