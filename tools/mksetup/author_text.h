// The author's text files, the setup information file and the license, as
// lines of UTF-8, and the bytes the setup program gets: the same lines in
// the ANSI code page, each ended by CR LF (the license field breaks lines
// at CR LF only, and the profile functions read single-byte text).
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "code_page.h"
#include "diagnostics.h"

namespace mksetup {

struct AuthorText {
    std::vector<std::string> lines; // UTF-8, without their line ends
    bool lastLineEnded = false;     // the text ends in a line end
    bool byteOrderMark = false;     // it began with one (dropped)
    bool otherLineEnds = false;     // some line ended in LF or CR alone
    bool nonAscii = false;          // it holds characters beyond ASCII
};

// Splits `bytes` into lines at CR LF, LF or CR. Reports on `diagnostics`,
// naming `file` and the line, text that is not UTF-8 or holds NUL bytes,
// and returns nothing then.
std::optional<AuthorText> ReadAuthorText(std::span<const std::uint8_t> bytes,
                                         const std::string& file,
                                         Diagnostics& diagnostics);

// Reports every character of `text` that `page` lacks, line by line;
// false when there was one.
bool CheckCodePage(const AuthorText& text, const CodePage& page,
                   const std::string& file, Diagnostics& diagnostics);

// One UTF-8 line in `page`; nothing when the page lacks a character.
std::optional<std::string> EncodeLine(std::string_view line, const CodePage& page);

// Lines already in the code page, each followed by CR LF (the last one
// only when `lastLineEnded`).
std::vector<std::uint8_t> JoinLines(const std::vector<std::string>& lines,
                                    bool lastLineEnded);

// What packing changes in `text`, for a note: "line ends to CR LF, UTF-8
// to code page 1252"; empty when nothing.
std::string ConversionSummary(const AuthorText& text, const CodePage& page);

} // namespace mksetup
