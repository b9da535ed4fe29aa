// mksetup as the author's compiler: checks the setup information file
// against what is packed, line by line, and makes the copy that goes into
// the setup program (entry 1). The copy differs from the author's file in
// exactly these ways: CR LF line ends; the ANSI code page instead of UTF-8,
// without a byte order mark; a "FileNum=N" line after the last key of
// [Install] when the author left FileNum out; and [Copymode] keys that name
// a file by its stored path ("data\config.ini=3") replaced by the file's
// series key ("fileb=3", "file31=3"). Every other byte stays as written.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "author_text.h"
#include "code_page.h"
#include "diagnostics.h"
#include "package.h"
#include "setup_info.h"

namespace mksetup {

struct ScriptInput {
    std::string file;                          // as given with --inf
    const AuthorText* text = nullptr;          // its lines, UTF-8
    const SetupInfo* info = nullptr;           // parsed from those lines
    const CodePage* codePage = nullptr;
    const std::vector<PackageFile>* files = nullptr; // the application files
};

// What the checks found out that the build needs.
struct ScriptPlan {
    std::vector<long long> copyModes;          // per application file, default 1
    std::optional<std::size_t> fileNumAfter;   // write FileNum after this line
    std::map<std::size_t, std::string> seriesKeys; // line number -> key in the copy
    std::vector<std::string> shortcutFiles;    // linkfile values (code page) of
                                               // the pairs that make a shortcut
};

// Reports every error and warning of the file on `diagnostics`, with the
// line it concerns.
ScriptPlan CheckScript(const ScriptInput& input, Diagnostics& diagnostics);

// The copy of the file that is packed: see the top of this header. The text
// must hold only characters of the code page (CheckCodePage).
std::vector<std::uint8_t> PackScript(const AuthorText& text, const ScriptPlan& plan,
                                     const CodePage& page, std::size_t fileCount);

struct LogSize {
    std::uint64_t log = 0;      // the whole file, bytes
    std::uint64_t section = 0;  // its [Uninstall] section, header included
    std::size_t installDir = 0; // the install directory assumed, characters
};

// The size of the uninstall log the setup program writes for the package:
// the packed copy (`packedSize` bytes, PackScript's), then "[Uninstall]" and
// one "key=value" line per record (each application file, the license, the
// log, "dir", "linkdir", each shortcut), each ended by CR LF. The install
// directory is DefDir lengthened by 40 characters (a user's longer choice),
// at most 242; the Start-menu folder is the one for all users on Windows 10
// and later, with AppName. Nothing without DefDir.
std::optional<LogSize> UninstallLogSize(const ScriptInput& input, const ScriptPlan& plan,
                                        std::size_t packedSize);

// Warns, naming the figures, when that log would pass what Windows 95, 98
// and Me read of an INI file: 65,535 bytes in all, 32,767 in a section.
void CheckUninstallLog(const ScriptInput& input, const ScriptPlan& plan,
                       std::size_t packedSize, Diagnostics& diagnostics);

// Why the setup program makes no shortcut of a [Links] pair whose linkfile
// value is `name`, as a phrase to follow the value, or nothing: a name
// that is empty, "." or "..", or holds "\", "/" or ":" does not stay in the
// Start-menu folder.
std::optional<std::string> LinkFileProblem(std::string_view name);

// The same for a link target or another path relative to the install
// directory: one that leaves it (a ".." component, a drive, a leading "\"
// or "/", a network path), as "leaves the install directory (...)".
std::optional<std::string> LinkTargetProblem(std::string_view target);

// The candidate nearest to `word` without regard to ASCII case when it is
// near enough to be a slip of the keyboard (one or two edits).
std::optional<std::string> NearestName(std::string_view word,
                                       const std::vector<std::string>& candidates);

} // namespace mksetup
