// mksetup as the author's compiler: checks the setup information file
// against what is packed, line by line, and makes the copy that goes into
// the setup program (entry 1). The copy differs from the author's file in
// exactly these ways: CR LF line ends; the ANSI code page instead of UTF-8,
// without a byte order mark; a "FileNum=N" line after the last key of
// [Install] when the author left FileNum out; and [Copymode] keys that name
// a file by its stored path ("data\config.ini=3") replaced by the file's
// letter key ("fileb=3"). Every other byte stays as written.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "author_text.h"
#include "code_page.h"
#include "diagnostics.h"
#include "package.h"
#include "setup_info.h"

namespace mksetup {

// The letter-series key of application file `index` ("filea" for the
// first) as the setup program spells it: one byte of the code page as the
// letter.
std::string FileLetterKey(std::size_t index);

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
    std::map<std::size_t, std::string> letterKeys; // line number -> key in the copy
    std::size_t shortcuts = 0;                 // pairs of [Links] that make one
};

// Reports every error and warning of the file on `diagnostics`, with the
// line it concerns.
ScriptPlan CheckScript(const ScriptInput& input, Diagnostics& diagnostics);

// The copy of the file that is packed: see the top of this header. The text
// must hold only characters of the code page (CheckCodePage).
std::vector<std::uint8_t> PackScript(const AuthorText& text, const ScriptPlan& plan,
                                     const CodePage& page, std::size_t fileCount);

// The candidate nearest to `word` without regard to ASCII case when it is
// near enough to be a slip of the keyboard (one or two edits).
std::optional<std::string> NearestName(std::string_view word,
                                       const std::vector<std::string>& candidates);

} // namespace mksetup
