#include "setup_check.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

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
const std::vector<std::string> kInstallKeys = {"DefDir", "AppName", "AppBy",
                                               "CompReg", "VerNum", "FileNum"};

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

// "linkb", or "link\x80" for a letter outside printable ASCII.
std::string SeriesKeyText(std::string_view stem, std::uint8_t letter)
{
    if (letter < 0x7F) return std::string(stem) + static_cast<char>(letter);
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", letter);
    return std::string(stem) + text;
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
        for (const PackageFile& file : files_) foldedNames_.push_back(page_.Fold(file.storedName));
        for (const PackageFile& file : files_) names_.push_back(file.name);
    }

    ScriptPlan Run()
    {
        CheckLayout();
        CheckInstall();
        CheckLinks();
        CheckCopyModes();
        std::size_t records = files_.size() + 2 + plan_.shortcuts;
        if (records > kFileLetters)
            diagnostics_.Error(in_.file, 0,
                               std::to_string(files_.size()) +
                                   " application files, the license, the log and " +
                                   std::to_string(plan_.shortcuts) +
                                   (plan_.shortcuts == 1 ? " shortcut" : " shortcuts") + " need " +
                                   std::to_string(records) +
                                   " records in [Uninstall]; the setup program has " +
                                   std::to_string(kFileLetters) + " letters (a to \\xFF)");
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
        std::string folded = page_.Fold(*stored);
        for (std::size_t i = 0; i < foldedNames_.size(); ++i)
            if (foldedNames_[i] == folded) return i;
        return std::nullopt;
    }

    // The letter of `key` when it is `stem` and one letter ("linkb"), read
    // as the setup program compares keys: ASCII without regard to case.
    std::optional<std::uint8_t> SeriesLetter(const std::string& key, std::string_view stem) const
    {
        std::optional<std::string> bytes = EncodeLine(key, page_);
        if (!bytes || bytes->size() != stem.size() + 1 ||
            !SameName(std::string_view(*bytes).substr(0, stem.size()), stem))
            return std::nullopt;
        auto letter = static_cast<std::uint8_t>(bytes->back());
        if (letter >= 'A' && letter <= 'Z') letter = static_cast<std::uint8_t>(letter + 0x20);
        if (letter < 'a') return std::nullopt;
        return letter;
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
        CheckFileNum(keys);
        CheckLongPaths();
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
        if (folded == page_.Fold(kLicenseName) || folded == page_.Fold(kSetupInfoName))
            return true;
        for (const std::string& name : foldedNames_)
            if (name.size() > folded.size() && name.starts_with(folded) &&
                name[folded.size()] == '\\')
                return true;
        return false;
    }

    void CheckLinks()
    {
        std::vector<const Line*> keys = KeysOf("Links");
        std::map<std::uint8_t, const Line*> targets, linkFiles;
        for (const Line* line : keys) {
            if (std::optional<std::uint8_t> letter = SeriesLetter(line->name, "linkfile")) {
                if (!linkFiles.count(*letter)) linkFiles[*letter] = line;
                else FirstOfItsName(keys, *line);
            } else if (std::optional<std::uint8_t> letter = SeriesLetter(line->name, "link")) {
                if (!targets.count(*letter)) targets[*letter] = line;
                else FirstOfItsName(keys, *line);
            } else {
                Warning(line->number, "unknown key " + line->name + " in [Links]" +
                                          DidYouMean(line->name, {"linka", "linkfilea"}) +
                                          "; its keys are linka, linkfilea, linkb, linkfileb, ...");
            }
        }
        // The setup program reads pairs from "a" on and stops at the first
        // link key without a value.
        std::uint8_t letter = 'a';
        std::map<std::string, std::size_t> shortcutNames;
        for (;; ++letter) {
            auto target = targets.find(letter);
            if (target == targets.end() || target->second->value.empty()) break;
            CheckLinkPair(*target->second, linkFiles.count(letter) ? linkFiles[letter] : nullptr,
                          letter, shortcutNames);
            if (letter == 0xFF) return;
        }
        std::string stop = SeriesKeyText("link", letter);
        std::string why = targets.count(letter) ? "which is empty" : "which is missing";
        std::vector<const Line*> dropped;
        for (auto& [key, line] : targets)
            if (key > letter) dropped.push_back(line);
        for (auto& [key, line] : linkFiles)
            if (key >= letter) dropped.push_back(line);
        for (const Line* line : dropped)
            Error(line->number, line->name + " is never read: the setup program stops at " +
                                    stop + ", " + why);
    }

    void CheckLinkPair(const Line& target, const Line* linkFile, std::uint8_t letter,
                       std::map<std::string, std::size_t>& shortcutNames)
    {
        CheckLength(target);
        if (!IsInstalled(target.value))
            Error(target.number, target.name + "=" + target.value + ": no packed file is named " +
                                     target.value + DidYouMean(target.value, names_));
        else if (target.value.find('/') != std::string::npos)
            Warning(target.number, target.name + "=" + target.value +
                                       ": the setup program joins it to the install directory "
                                       "as written; write \"\\\" between folders");
        if (!linkFile || linkFile->value.empty()) {
            Error(target.number, target.name + " has no " + SeriesKeyText("linkfile", letter) +
                                     "; the setup program makes no shortcut for it");
            return;
        }
        ++plan_.shortcuts;
        CheckLength(*linkFile);
        const std::string& name = linkFile->value;
        std::string forbidden = ForbiddenCharacters(name, "\\/:*?\"<>|");
        if (!forbidden.empty()) {
            Error(linkFile->number, linkFile->name + "=" + name + ": holds " + forbidden +
                                        ", which a file name cannot hold");
            return;
        }
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!lower.ends_with(".lnk"))
            Warning(linkFile->number, linkFile->name + "=" + name +
                                          ": a shortcut's file name ends in .lnk; without it the "
                                          "shell does not show the file as a shortcut");
        auto [earlier, first] = shortcutNames.emplace(lower, linkFile->number);
        if (!first)
            Warning(linkFile->number, linkFile->name + "=" + name +
                                          " names the same shortcut as line " +
                                          std::to_string(earlier->second) +
                                          "; the later one replaces it");
    }

    void CheckCopyModes()
    {
        std::vector<const Line*> keys = KeysOf("Copymode");
        std::vector<std::size_t> given(files_.size(), 0);
        for (const Line* line : keys) {
            std::optional<std::size_t> index;
            std::optional<std::size_t> named = FileNamed(line->name);
            if (std::optional<std::uint8_t> letter = SeriesLetter(line->name, "file")) {
                index = *letter - std::size_t{'a'};
                if (named && *named != *index) {
                    Error(line->number, line->name + " is the letter key of the " +
                                            Ordinal(*index + 1) +
                                            " application file and the name of another; name "
                                            "that file by its letter key, " +
                                            FileKeyOf(*named));
                    continue;
                }
                if (*index >= files_.size()) {
                    Error(line->number, line->name + " is the key of the " + Ordinal(*index + 1) +
                                            " application file, but " +
                                            std::to_string(files_.size()) + " are packed");
                    continue;
                }
            } else if (named) {
                index = named;
                plan_.letterKeys[line->number] = FileLetterKey(*index);
            } else {
                Error(line->number, "no packed file is named " + line->name +
                                        DidYouMean(line->name, names_) +
                                        "; a [Copymode] key is a file's stored name (such as "
                                        "data\\config.ini) or its letter key (filea, fileb, ...)");
                continue;
            }
            std::string subject = files_[*index].name + " (" + FileKeyOf(*index) + ")";
            if (given[*index]) {
                Error(line->number, "a copy mode for " + subject + " is already given at line " +
                                        std::to_string(given[*index]));
                continue;
            }
            given[*index] = line->number;
            if (plan_.letterKeys.count(line->number))
                Note(line->number, line->name + " is packed as " + FileKeyOf(*index));
            CheckCopyModeValue(*line, *index);
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
    std::vector<std::string> foldedNames_; // stored names, folded
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

std::string FileLetterKey(std::size_t index)
{
    return "file" + std::string(1, static_cast<char>('a' + index));
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
        auto key = plan.letterKeys.find(number);
        if (key == plan.letterKeys.end()) {
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
