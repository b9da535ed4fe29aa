#include "setup_check.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <unordered_map>

#include "series_key.h"

namespace mksetup {
namespace {

using Line = SetupInfo::Line;
using LineKind = SetupInfo::LineKind;

// A string read keeps at most 254 characters (limit 255 with the NUL).
constexpr std::size_t kValueLimit = 254;

// The texts that show AppName hold it whole up to these lengths.
constexpr std::size_t kClosingMessageName = 125;
constexpr std::size_t kQuestionName = 149;
constexpr std::size_t kWizardName = 194;

const std::vector<std::string> kSections = {"Install", "Links", "Copymode"};
const std::vector<std::string> kInstallKeys = {"DefDir",  "AppName",   "AppBy",
                                               "CompReg", "VerNum",    "FileNum",
                                               "Publisher", "DisplayIcon"};
const std::vector<std::string> kLinkKeys = {"linka", "linkfilea", "linkargsa"};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string DidYouMean(std::string_view word, const std::vector<std::string>& candidates,
                       const std::string& before = "", const std::string& after = "")
{
    std::optional<std::string> nearest = NearestName(word, candidates);
    return nearest ? " (did you mean " + before + *nearest + after + "?)" : "";
}

std::string Ordinal(std::size_t n)
{
    std::string suffix = "th";
    if (n % 100 < 11 || n % 100 > 13) {
        if (n % 10 == 1) suffix = "st";
        else if (n % 10 == 2) suffix = "nd";
        else if (n % 10 == 3) suffix = "rd";
    }
    return std::to_string(n) + suffix;
}

// What an author's key that is no key of the series `stem` says instead:
// the key of the old single-letter series past "~", or a number the series
// spells otherwise. `what` names the n-th item ("application file").
std::string SeriesMistake(const std::string& key, std::string_view stem, const SeriesMatch& match,
                          const std::string& what)
{
    std::string wanted = match.n ? "; the " + Ordinal(match.n) + " " + what + "'s key is " +
                                       SeriesKeyOf(stem, match.n)
                                 : "; the keys count from " + SeriesKeyOf(stem, 1);
    if (match.kind == SeriesMatch::OldLetter) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(0x60 + match.n));
        return key + " ends in byte " + byte + ", a letter of the old series past \"~\" that "
               "the setup program no longer reads" + wanted;
    }
    return key + " is not a key the setup program reads" + wanted;
}

// The characters of `text` (UTF-8) among `forbidden` or below 0x20, each
// once, quoted and joined: "\"/\", \":\" and \"?\"".
std::string ForbiddenCharacters(std::string_view text, std::string_view forbidden)
{
    std::vector<std::string> found;
    for (char c : text) {
        std::string shown;
        if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
            shown = code;
        } else if (forbidden.find(c) != std::string_view::npos) {
            shown = Quoted(std::string(1, c));
        } else {
            continue;
        }
        if (std::find(found.begin(), found.end(), shown) == found.end()) found.push_back(shown);
    }
    std::string list;
    for (std::size_t i = 0; i < found.size(); ++i)
        list += (i == 0 ? "" : i + 1 == found.size() ? " and " : ", ") + found[i];
    return list;
}

std::size_t CharacterCount(std::string_view utf8)
{
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

class ScriptChecker {
public:
    ScriptChecker(const ScriptInput& input, Diagnostics& diagnostics)
        : in_(input), info_(*input.info), page_(*input.codePage), files_(*input.files),
          diagnostics_(diagnostics)
    {
        plan_.copyModes.assign(files_.size(), 1);
        // Indexes, so that looking a name up does not cost a pass over every
        // file: a package may hold many thousands.
        for (std::size_t i = 0; i < files_.size(); ++i) {
            std::string folded = page_.Fold(files_[i].storedName);
            for (std::size_t slash = folded.find('\\'); slash != std::string::npos;
                 slash = folded.find('\\', slash + 1))
                foldedFolders_.insert(folded.substr(0, slash));
            fileIndex_.emplace(std::move(folded), i);
            names_.push_back(files_[i].name);
        }
    }

    ScriptPlan Run()
    {
        CheckLayout();
        CheckInstall();
        CheckLinks();
        CheckCopyModes();
        return std::move(plan_);
    }

private:
    void Error(std::size_t line, std::string text) { diagnostics_.Error(in_.file, line, std::move(text)); }
    void Warning(std::size_t line, std::string text) { diagnostics_.Warning(in_.file, line, std::move(text)); }
    void Note(std::size_t line, std::string text) { diagnostics_.Note(in_.file, line, std::move(text)); }

    // The key lines of the section read under `name`.
    std::vector<const Line*> KeysOf(std::string_view name) const
    {
        std::vector<const Line*> keys;
        std::optional<std::size_t> section = info_.FindSection(name);
        if (!section) return keys;
        for (const Line& line : info_.lines())
            if (line.kind == LineKind::Key && line.section == *section) keys.push_back(&line);
        return keys;
    }

    std::size_t HeaderLine(std::string_view name) const
    {
        std::optional<std::size_t> section = info_.FindSection(name);
        return section ? info_.sections()[*section].line : 0;
    }

    // The value's length in the code page, which is its length in characters.
    void CheckLength(const Line& line)
    {
        std::size_t length = CharacterCount(line.value);
        if (length > kValueLimit)
            Warning(line.number, line.name + " has " + std::to_string(length) +
                                     " characters; the setup program reads only the first " +
                                     std::to_string(kValueLimit));
    }

    // The file index of a packed file named `name` (stored path, "\" or "/").
    std::optional<std::size_t> FileNamed(std::string name) const
    {
        std::replace(name.begin(), name.end(), '/', '\\');
        std::optional<std::string> stored = EncodeLine(name, page_);
        if (!stored) return std::nullopt;
        auto found = fileIndex_.find(page_.Fold(*stored));
        if (found == fileIndex_.end()) return std::nullopt;
        return found->second;
    }

    // How the author's `key` reads as a key of the series `stem`, compared
    // in the code page as the setup program compares keys.
    SeriesMatch Series(const std::string& key, std::string_view stem) const
    {
        std::optional<std::string> bytes = EncodeLine(key, page_);
        return bytes ? MatchSeriesKey(*bytes, stem) : SeriesMatch{};
    }

    void CheckLayout()
    {
        for (const Line& line : info_.lines()) {
            switch (line.kind) {
            case LineKind::Outside:
                Warning(line.number, Quoted(line.text) +
                                         " stands before any section; the setup program "
                                         "never reads it");
                break;
            case LineKind::BadSection:
                Error(line.number, Quoted("[" + line.name) + " has no closing \"]\"");
                break;
            case LineKind::Section:
                CheckSectionHeader(line);
                break;
            default:
                break;
            }
        }
        if (!info_.FindSection("Install"))
            Error(0, "no [Install] section; the setup program reads DefDir, AppName "
                     "and FileNum from it");
    }

    void CheckSectionHeader(const Line& line)
    {
        std::size_t index = 0;
        while (info_.sections()[index].line != line.number) ++index;
        const SetupInfo::Section& section = info_.sections()[index];
        if (SameName(section.name, "Uninstall")) {
            Error(line.number,
                  "[Uninstall] is the setup program's record of what it installs: "
                  "shipped, it shifts the application's records to later keys and "
                  "makes the uninstaller delete every file it names");
            return;
        }
        bool known = std::any_of(kSections.begin(), kSections.end(),
                                 [&](const std::string& name) { return SameName(name, section.name); });
        if (!known) {
            Warning(line.number, "unknown section [" + section.name + "]" +
                                     DidYouMean(section.name, kSections, "[", "]") +
                                     "; the setup program never reads it");
        } else if (section.firstOfName != index) {
            Warning(line.number, "a second [" + section.name +
                                     "] section; the setup program reads only the first (line " +
                                     std::to_string(info_.sections()[section.firstOfName].line) +
                                     ")");
        }
    }

    // Warns about a key given twice in a section; true for the first.
    bool FirstOfItsName(const std::vector<const Line*>& keys, const Line& line)
    {
        for (const Line* earlier : keys) {
            if (earlier == &line) return true;
            if (SameName(earlier->name, line.name)) {
                Warning(line.number, line.name + " is given again; the setup program reads only the first (line " +
                                         std::to_string(earlier->number) + ")");
                return false;
            }
        }
        return true;
    }

    void CheckInstall()
    {
        std::vector<const Line*> keys = KeysOf("Install");
        if (!info_.FindSection("Install")) return;
        for (const Line* line : keys) {
            if (!FirstOfItsName(keys, *line)) continue;
            bool known = std::any_of(kInstallKeys.begin(), kInstallKeys.end(),
                                     [&](const std::string& key) { return SameName(key, line->name); });
            if (!known) {
                Warning(line->number, "unknown key " + line->name + " in [Install]" +
                                          DidYouMean(line->name, kInstallKeys) +
                                          "; the setup program never reads it");
                continue;
            }
            bool checkedOnItsOwn = SameName(line->name, "DefDir") ||
                                   SameName(line->name, "AppName") ||
                                   SameName(line->name, "FileNum");
            if (!line->hasEquals && !checkedOnItsOwn)
                Warning(line->number, Quoted(line->name) +
                                          " has no \"=\"; the setup program reads no value from it");
            CheckLength(*line);
        }
        CheckDefDir();
        CheckAppName();
        CheckCompReg();
        CheckFileNum(keys);
        CheckDisplayIcon();
        CheckLongPaths();
    }

    // The uninstaller removes the per-user settings below
    // HKCU\Software\<CompReg>\<AppName> only with a CompReg: without one it
    // would name another vendor's key.
    void CheckCompReg()
    {
        const Line* appName = info_.Find("Install", "AppName");
        if (!appName || appName->value.empty()) return;
        const Line* compReg = info_.Find("Install", "CompReg");
        if (compReg && !compReg->value.empty()) return;
        Warning(compReg ? compReg->number : appName->number,
                std::string(compReg ? "CompReg is empty" : "[Install] has AppName but no CompReg") +
                    "; the uninstaller then removes no per-user settings key "
                    "(HKCU\\Software\\<CompReg>\\" + appName->value + ")");
    }

    // The uninstall entry's icon: a file the installation puts into the
    // install directory. Left out (or empty), the setup program takes the
    // first [Links] target that ends in ".exe".
    void CheckDisplayIcon()
    {
        const Line* line = info_.Find("Install", "DisplayIcon");
        if (!line || line->value.empty()) return;
        const std::string& icon = line->value;
        std::string shown = "DisplayIcon " + Quoted(icon);
        std::optional<std::string> stored = EncodeLine(icon, page_);
        bool license = stored && page_.Fold(*stored) == page_.Fold(kLicenseName);
        if (std::optional<std::string> problem = LinkTargetProblem(icon))
            Error(line->number, shown + " " + *problem +
                                    "; name a file relative to it, such as HelloWorld.exe");
        else if (!license && !FileNamed(icon))
            Error(line->number, shown + ": no packed file is named " + icon +
                                    DidYouMean(icon, names_) +
                                    "; the icon is a file the setup program installs, named "
                                    "relative to the install directory");
        else if (icon.find('/') != std::string::npos)
            Warning(line->number, shown + ": the setup program joins it to the install "
                                          "directory as written; write \"\\\" between folders");
    }

    // Paths are recorded in [Uninstall] and read back with a limit of 255,
    // so one of more than 254 characters is cut, and the setup program
    // refuses a target that does not fit its 256-byte buffer. The author can
    // only be warned: the user may choose a shorter directory.
    void CheckLongPaths()
    {
        const Line* line = info_.Find("Install", "DefDir");
        if (!line || line->value.empty()) return;
        std::vector<std::string> names = names_;
        names.push_back(kLicenseName);
        names.push_back(kSetupInfoName);
        for (const std::string& name : names) {
            std::size_t length = CharacterCount(line->value) + 1 + CharacterCount(name);
            if (length > kValueLimit)
                Warning(line->number, name + ": installed under " + Quoted(line->value) +
                                          ", its path has " + std::to_string(length) +
                                          " characters; the setup program handles at most " +
                                          std::to_string(kValueLimit));
        }
    }

    void CheckDefDir()
    {
        const Line* line = info_.Find("Install", "DefDir");
        if (!line || line->value.empty()) {
            Error(line ? line->number : HeaderLine("Install"),
                  std::string(line ? "DefDir is empty" : "[Install] has no DefDir") +
                      "; the setup program would install into the root of the current drive");
            return;
        }
        const std::string& dir = line->value;
        std::string shown = "DefDir " + Quoted(dir);
        bool drive = dir.size() >= 3 && std::isalpha(static_cast<unsigned char>(dir[0])) &&
                     dir[1] == ':' && dir[2] == '\\';
        std::size_t share = dir.starts_with("\\\\") ? dir.find('\\', 2) : std::string::npos;
        bool network = share != std::string::npos && share > 2 && share + 1 < dir.size() &&
                       dir[share + 1] != '\\';
        if (!drive && !network) {
            Error(line->number, shown + " is not an absolute path (such as C:\\Program Files\\" +
                                    "Example)" +
                                    (dir.find('/') != std::string::npos
                                         ? "; the setup program separates folders with \"\\\""
                                         : ""));
            return;
        }
        std::string rest = dir.substr(drive ? 3 : 2);
        if (drive && rest.find_first_not_of('\\') == std::string::npos) {
            Error(line->number, shown + " is the root of a drive; the setup program puts its "
                                        "own License.txt and Uninstal.inf into the install "
                                        "directory, so name a folder (such as C:\\Program Files\\" +
                                        "Example)");
            return;
        }
        std::string forbidden = ForbiddenCharacters(rest, "<>\"|?*:/");
        if (!forbidden.empty()) {
            Error(line->number, shown + " holds " + forbidden +
                                    ", which Windows does not allow in a folder name" +
                                    (rest.find('/') != std::string::npos
                                         ? " (the setup program separates folders with \"\\\")"
                                         : ""));
            return;
        }
        std::size_t start = 0;
        while (start < rest.size()) {
            std::size_t end = std::min(rest.find('\\', start), rest.size());
            std::string folder = rest.substr(start, end - start);
            start = end + 1;
            if (folder.empty()) continue;
            std::string problem = FolderNameProblem(folder);
            if (!problem.empty()) {
                Error(line->number, shown + ": the folder name " + Quoted(folder) + " " + problem);
                return;
            }
        }
        if (dir.back() == '\\')
            Warning(line->number, shown + " ends in \"\\\"; the setup program puts one between "
                                          "the folder and each file name itself");
    }

    // Why Windows would not keep `name` as a folder's name, or "".
    static std::string FolderNameProblem(const std::string& name)
    {
        if (name == "." || name == "..") return "does not name a folder of its own";
        if (name.back() == '.' || name.back() == ' ')
            return "ends in a dot or a blank, which Windows drops";
        if (IsDeviceName(name)) return "is a Windows device name";
        return "";
    }

    void CheckAppName()
    {
        const Line* line = info_.Find("Install", "AppName");
        if (!line || line->value.empty()) {
            Error(line ? line->number : HeaderLine("Install"),
                  std::string(line ? "AppName is empty" : "[Install] has no AppName") +
                      "; the setup program's texts would name no application, and it "
                      "would make no uninstall entry");
            return;
        }
        const std::string& name = line->value;
        std::string shown = "AppName " + Quoted(name);
        std::string forbidden = ForbiddenCharacters(name, "\\/:*?\"<>|");
        if (!forbidden.empty()) {
            Error(line->number, shown + " holds " + forbidden +
                                    ", which a folder name cannot hold (the Start-menu "
                                    "folder is named after the application)");
        } else if (std::string problem = FolderNameProblem(name); !problem.empty()) {
            Error(line->number, shown + " " + problem +
                                    " (the Start-menu folder is named after the application)");
        }
        std::size_t length = CharacterCount(name);
        if (length > kClosingMessageName && length <= kValueLimit)
            Warning(line->number,
                    "AppName has " + std::to_string(length) +
                        " characters; the texts that show it cut it: the closing message "
                        "after " + std::to_string(kClosingMessageName) +
                        ", the previous-version question after " + std::to_string(kQuestionName) +
                        ", the wizard's pages after " + std::to_string(kWizardName));
    }

    void CheckFileNum(const std::vector<const Line*>& keys)
    {
        const Line* line = info_.Find("Install", "FileNum");
        std::string count = std::to_string(files_.size());
        if (!line) {
            std::size_t after = HeaderLine("Install");
            for (const Line* key : keys) after = key->number;
            plan_.fileNumAfter = after;
            Note(after, "the packed copy says FileNum=" + count + " after this line");
            return;
        }
        if (line->value.empty()) {
            Error(line->number, "FileNum has no value; leave the line out and mksetup "
                                "writes the number of application files");
        } else if (!IsDecimalNumber(line->value)) {
            Error(line->number, "FileNum " + Quoted(line->value) +
                                    " is not a decimal number (the setup program reads it as " +
                                    std::to_string(ProfileInteger(line->value).value_or(0)) + ")");
        } else if (ProfileInteger(line->value) != static_cast<long long>(files_.size())) {
            Error(line->number, "FileNum is " + std::to_string(*ProfileInteger(line->value)) +
                                    ", but " + count +
                                    " application files are packed; leave FileNum out and "
                                    "mksetup writes the right number");
        }
    }

    // Whether `target` (relative to the install directory) is something the
    // installation puts there: a packed file, a folder of them, the license
    // or the log.
    bool IsInstalled(std::string target) const
    {
        if (FileNamed(target)) return true;
        std::optional<std::string> stored = EncodeLine(target, page_);
        if (!stored) return false;
        std::string folded = page_.Fold(*stored);
        return folded == page_.Fold(kLicenseName) || folded == page_.Fold(kSetupInfoName) ||
               foldedFolders_.count(folded);
    }

    void CheckLinks()
    {
        std::vector<const Line*> keys = KeysOf("Links");
        // The first line of each key, by its number in the series.
        std::map<std::size_t, const Line*> targets, linkFiles, arguments;
        const std::pair<const char*, std::map<std::size_t, const Line*>*> stems[] = {
            {"linkfile", &linkFiles}, {"linkargs", &arguments}, {"link", &targets}};
        for (const Line* line : keys) {
            bool known = false;
            for (auto [stem, found] : stems) {
                SeriesMatch match = Series(line->name, stem);
                if (match.kind == SeriesMatch::None) continue;
                known = true;
                if (match.kind == SeriesMatch::Key) {
                    if (!found->emplace(match.n, line).second) FirstOfItsName(keys, *line);
                } else if (match.kind == SeriesMatch::OldLetter) {
                    Error(line->number, SeriesMistake(line->name, stem, match, "shortcut"));
                } else {
                    Warning(line->number, SeriesMistake(line->name, stem, match, "shortcut"));
                }
                break;
            }
            if (!known)
                Warning(line->number, "unknown key " + line->name + " in [Links]" +
                                          DidYouMean(line->name, kLinkKeys) +
                                          "; its keys are linka, linkfilea, linkargsa, linkb, ...");
        }
        // The setup program reads the pairs from the first on and stops at
        // the first link key without a value.
        std::size_t n = 1;
        std::map<std::string, std::size_t> shortcutNames;
        for (;; ++n) {
            auto target = targets.find(n);
            if (target == targets.end() || target->second->value.empty()) break;
            auto linkFile = linkFiles.find(n);
            CheckLinkPair(*target->second, linkFile == linkFiles.end() ? nullptr : linkFile->second,
                          n, shortcutNames);
            if (auto args = arguments.find(n); args != arguments.end()) CheckLength(*args->second);
        }
        std::string stop = SeriesKeyOf("link", n) + ", " +
                           (targets.count(n) ? "which is empty" : "which is missing");
        for (auto& [key, line] : targets)
            if (key > n) Error(line->number, line->name + " is never read: the setup program stops at " + stop);
        for (auto& [key, line] : linkFiles)
            if (key >= n) Error(line->number, line->name + " is never read: the setup program stops at " + stop);
        // Arguments without their shortcut only do no harm.
        for (auto& [key, line] : arguments) {
            if (key < n) continue;
            if (!targets.count(key))
                Warning(line->number, line->name + " has no " + SeriesKeyOf("link", key) +
                                          "; the setup program never reads it");
            else
                Warning(line->number, line->name + " is never read: the setup program stops at " + stop);
        }
    }

    void CheckLinkPair(const Line& target, const Line* linkFile, std::size_t n,
                       std::map<std::string, std::size_t>& shortcutNames)
    {
        CheckLength(target);
        std::string shownTarget = target.name + "=" + target.value;
        if (std::optional<std::string> problem = LinkTargetProblem(target.value))
            Error(target.number, shownTarget + ": " + *problem +
                                     "; the setup program makes no shortcut for it");
        else if (!IsInstalled(target.value))
            Error(target.number, shownTarget + ": no packed file is named " + target.value +
                                     DidYouMean(target.value, names_));
        else if (target.value.find('/') != std::string::npos)
            Warning(target.number, shownTarget +
                                       ": the setup program joins it to the install directory "
                                       "as written; write \"\\\" between folders");
        if (!linkFile || linkFile->value.empty()) {
            Error(target.number, target.name + " has no " + SeriesKeyOf("linkfile", n) +
                                     "; the setup program makes no shortcut for it");
            return;
        }
        CheckLength(*linkFile);
        const std::string& name = linkFile->value;
        plan_.shortcutFiles.push_back(EncodeLine(name, page_).value_or(name));
        std::string shown = linkFile->name + "=" + name;
        std::string forbidden = ForbiddenCharacters(name, "\\/:*?\"<>|");
        if (!forbidden.empty()) {
            Error(linkFile->number, shown + ": holds " + forbidden + ", which a file name cannot hold");
            return;
        }
        if (name == "." || name == "..") {
            Error(linkFile->number, shown + ": names no file in the Start-menu folder; the "
                                            "setup program makes no shortcut for it");
            return;
        }
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!lower.ends_with(".lnk"))
            Warning(linkFile->number, shown + ": a shortcut's file name ends in .lnk; without it "
                                              "the shell does not show the file as a shortcut");
        auto [earlier, first] = shortcutNames.emplace(lower, linkFile->number);
        if (!first)
            Warning(linkFile->number, shown + " names the same shortcut as line " +
                                          std::to_string(earlier->second) +
                                          "; the later one replaces it");
    }

    void CheckCopyModes()
    {
        std::vector<const Line*> keys = KeysOf("Copymode");
        std::vector<std::size_t> given(files_.size(), 0);
        for (const Line* line : keys) {
            std::size_t index;
            std::optional<std::size_t> named = FileNamed(line->name);
            SeriesMatch match = Series(line->name, "file");
            if (match.kind == SeriesMatch::Key) {
                index = match.n - 1;
                if (named && *named != index) {
                    Error(line->number, line->name + " is the key of the " + Ordinal(match.n) +
                                            " application file and the name of another; name "
                                            "that file by its key, " +
                                            FileKeyOf(*named));
                    continue;
                }
                if (index >= files_.size()) {
                    Error(line->number, line->name + " is the key of the " + Ordinal(match.n) +
                                            " application file, but " +
                                            std::to_string(files_.size()) + " are packed");
                    continue;
                }
            } else if (named) {
                index = *named;
                plan_.seriesKeys[line->number] = FileKeyOf(index);
            } else if (match.kind != SeriesMatch::None) {
                Error(line->number, SeriesMistake(line->name, "file", match, "application file"));
                continue;
            } else {
                Error(line->number, "no packed file is named " + line->name +
                                        DidYouMean(line->name, names_) +
                                        "; a [Copymode] key is a file's stored name (such as "
                                        "data\\config.ini) or its key (filea, fileb, ...)");
                continue;
            }
            std::string subject = files_[index].name + " (" + FileKeyOf(index) + ")";
            if (given[index]) {
                Error(line->number, "a copy mode for " + subject + " is already given at line " +
                                        std::to_string(given[index]));
                continue;
            }
            given[index] = line->number;
            if (plan_.seriesKeys.count(line->number))
                Note(line->number, line->name + " is packed as the key " + Quoted(FileKeyOf(index)));
            CheckCopyModeValue(*line, index);
        }
    }

    void CheckCopyModeValue(const Line& line, std::size_t index)
    {
        std::string shown = line.name + "=" + line.value;
        if (line.value.empty()) {
            Warning(line.number, line.name + " has no value; the setup program uses 1 (replace)");
            return;
        }
        if (!IsDecimalNumber(line.value)) {
            Error(line.number, shown + ": a copy mode is a number: 1 (replace), 2 (ask) or 3 (keep)");
            return;
        }
        long long mode = *ProfileInteger(line.value);
        plan_.copyModes[index] = mode;
        if (mode < 1 || mode > 3)
            Warning(line.number, shown + ": copy modes are 1 to 3; the setup program treats " +
                                     std::to_string(mode) + " like 1 (replace)");
    }

    const ScriptInput& in_;
    const SetupInfo& info_;
    const CodePage& page_;
    const std::vector<PackageFile>& files_;
    Diagnostics& diagnostics_;
    ScriptPlan plan_;
    std::unordered_map<std::string, std::size_t> fileIndex_; // folded stored name -> index
    std::set<std::string> foldedFolders_;  // folders that hold packed files, folded
    std::vector<std::string> names_;       // UTF-8, for suggestions
};

// Optimal string alignment distance without regard to ASCII case.
std::size_t EditDistance(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t cost = lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && lower(a[i - 1]) == lower(b[j - 2]) &&
                lower(a[i - 2]) == lower(b[j - 1]))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

} // namespace

namespace {

// A component that Windows reads as "..": two or more dots, perhaps with
// blanks, which it drops at a name's end.
bool ClimbsUp(std::string_view component)
{
    return std::count(component.begin(), component.end(), '.') >= 2 &&
           component.find_first_not_of(". ") == std::string_view::npos;
}

// Windows 95, 98 and Me read at most this much of an INI file (KB Q78346)
// and move at most this much in one profile call (KB Q230194).
constexpr std::uint64_t kWindows9xFileLimit = 65535;
constexpr std::uint64_t kWindows9xSectionLimit = 32767;

// The install directory a user may choose instead of DefDir, and the most
// the setup program takes.
constexpr std::size_t kLongerChoice = 40;
constexpr std::size_t kInstallDirLimit = 242;
constexpr std::string_view kCommonPrograms =
    "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\";

} // namespace

std::optional<std::string> LinkFileProblem(std::string_view name)
{
    if (name.empty()) return "is empty";
    if (ClimbsUp(name) || name == ".") return "names no file in the Start-menu folder";
    for (char c : {'\\', '/', ':'})
        if (name.find(c) != std::string_view::npos)
            return "holds " + Quoted(std::string(1, c)) + ", which leaves the Start-menu folder";
    return std::nullopt;
}

std::optional<std::string> LinkTargetProblem(std::string_view target)
{
    const char* why = nullptr;
    if (target.starts_with("\\\\") || target.starts_with("//"))
        why = "a network path";
    else if (target.starts_with("\\"))
        why = "a leading \"\\\"";
    else if (target.starts_with("/"))
        why = "a leading \"/\"";
    else if (target.size() >= 2 && std::isalpha(static_cast<unsigned char>(target[0])) &&
             target[1] == ':')
        why = "a drive";
    for (std::size_t start = 0; !why && start <= target.size();) {
        std::size_t end = std::min(target.find_first_of("\\/", start), target.size());
        if (ClimbsUp(target.substr(start, end - start))) why = "a \"..\" component";
        start = end + 1;
    }
    if (!why) return std::nullopt;
    return std::string("leaves the install directory (") + why + ")";
}

std::optional<LogSize> UninstallLogSize(const ScriptInput& input, const ScriptPlan& plan,
                                        std::size_t packedSize)
{
    std::optional<std::string> defDir = input.info->Value("Install", "DefDir");
    if (!defDir || defDir->empty()) return std::nullopt;
    LogSize size;
    size.installDir = std::min(CharacterCount(*defDir) + kLongerChoice, kInstallDirLimit);
    std::size_t appName =
        std::min(CharacterCount(input.info->Value("Install", "AppName").value_or("")), kValueLimit);
    const std::uint64_t startMenu = kCommonPrograms.size() + appName;
    const std::uint64_t lineEnd = 2;
    std::size_t n = 0;
    auto record = [&](std::uint64_t value) {
        size.section += FileKeyOf(n++).size() + 1 + value + lineEnd;
    };
    for (const PackageFile& file : *input.files) record(size.installDir + 1 + file.storedName.size());
    record(size.installDir + 1 + std::string_view(kLicenseName).size());
    record(size.installDir + 1 + std::string_view(kSetupInfoName).size());
    for (const std::string& shortcut : plan.shortcutFiles) record(startMenu + 1 + shortcut.size());
    size.section += std::string_view("dir=").size() + size.installDir + lineEnd;
    size.section += std::string_view("linkdir=").size() + startMenu + lineEnd;
    size.section += std::string_view("[Uninstall]").size() + lineEnd;
    size.log = packedSize + size.section;
    return size;
}

void CheckUninstallLog(const ScriptInput& input, const ScriptPlan& plan, std::size_t packedSize,
                       Diagnostics& diagnostics)
{
    std::optional<LogSize> size = UninstallLogSize(input, plan, packedSize);
    if (!size) return;
    bool file = size->log > kWindows9xFileLimit;
    bool section = size->section > kWindows9xSectionLimit;
    if (!file && !section) return;
    std::string figures = file ? "the uninstall log will be about " + Thousands(size->log) + " bytes"
                               : "the uninstall log's [Uninstall] section will be about " +
                                     Thousands(size->section) + " bytes";
    if (file && section) figures += ", " + Thousands(size->section) + " of them its [Uninstall] section";
    std::string limits =
        file && section ? "read at most " + Thousands(kWindows9xFileLimit) +
                              " bytes of an INI file and " + Thousands(kWindows9xSectionLimit) +
                              " bytes of a section"
        : file          ? "read at most " + Thousands(kWindows9xFileLimit) + " bytes of an INI file"
                        : "read at most " + Thousands(kWindows9xSectionLimit) + " bytes of a section";
    diagnostics.Warning(input.file, 0,
                        figures + " (an install directory of " + std::to_string(size->installDir) +
                            " characters); Windows 95, 98 and Me " + limits +
                            ", so there the uninstaller cannot remove this application completely");
}

std::optional<std::string> NearestName(std::string_view word,
                                       const std::vector<std::string>& candidates)
{
    std::size_t allowed = word.size() <= 3 ? 1 : 2;
    std::optional<std::string> best;
    std::size_t bestDistance = allowed + 1;
    for (const std::string& candidate : candidates) {
        std::size_t distance = EditDistance(word, candidate);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    return best;
}

ScriptPlan CheckScript(const ScriptInput& input, Diagnostics& diagnostics)
{
    return ScriptChecker(input, diagnostics).Run();
}

std::vector<std::uint8_t> PackScript(const AuthorText& text, const ScriptPlan& plan,
                                     const CodePage& page, std::size_t fileCount)
{
    std::vector<std::string> lines;
    if (plan.fileNumAfter && *plan.fileNumAfter == 0)
        lines.push_back("FileNum=" + std::to_string(fileCount));
    for (std::size_t i = 0; i < text.lines.size(); ++i) {
        std::size_t number = i + 1;
        const std::string& line = text.lines[i];
        auto key = plan.seriesKeys.find(number);
        if (key == plan.seriesKeys.end()) {
            lines.push_back(EncodeLine(line, page).value_or(""));
        } else {
            // The value and everything after the key stay as written.
            std::size_t equals = std::min(line.find('='), line.size());
            lines.push_back(key->second +
                            EncodeLine(std::string_view(line).substr(equals), page).value_or(""));
        }
        if (plan.fileNumAfter == number)
            lines.push_back("FileNum=" + std::to_string(fileCount));
    }
    bool ended = text.lastLineEnded ||
                 (plan.fileNumAfter && *plan.fileNumAfter == text.lines.size());
    return JoinLines(lines, ended);
}

} // namespace mksetup
