// Text as the setup program reads it: single-byte strings in a Windows ANSI
// code page. Authors write UTF-8; mksetup writes the setup information
// file, the license and the stored file names in the code page that the
// installation targets, with tables of its own (no conversion library).
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mksetup {

constexpr int kDefaultCodePage = 1252;

// The code points of `text`, or nothing when it is not UTF-8 (overlong
// forms, surrogates and code points past U+10FFFF included); `badOffset`
// then receives the offset of the first byte that does not fit.
std::optional<std::u32string> DecodeUtf8(std::string_view text,
                                         std::size_t* badOffset = nullptr);

std::string EncodeUtf8(std::u32string_view text);

// "\"é\" (U+00E9)" for messages; a control character without its glyph.
std::string DescribeCharacter(char32_t c);

// The lower-case form of `c` in the scripts the supported code pages hold
// (Latin, Greek, Cyrillic); other characters are their own.
char32_t LowerCase(char32_t c);

class CodePage {
public:
    // The page of that number, or nullptr when it is not supported.
    static const CodePage* Find(int number);
    // The numbers of the supported pages, ascending.
    static std::vector<int> Numbers();

    int number() const { return number_; }
    const char* script() const { return script_; }

    // The byte of `c`, nothing when the page has no such character.
    std::optional<std::uint8_t> Encode(char32_t c) const;
    // The character of `byte`; 0 for a byte the page leaves undefined.
    char32_t Decode(std::uint8_t byte) const;

    // `text` in this page, or nothing; `missing` then receives each
    // character the page lacks, once, in order of appearance.
    std::optional<std::string> EncodeText(std::u32string_view text,
                                          std::u32string* missing = nullptr) const;

    // `bytes` (text in this page) as UTF-8 for a terminal: control
    // characters (below 0x20, 0x7F and U+0080 to U+009F) and bytes the page
    // leaves undefined as \xNN, never raw.
    std::string Show(std::string_view bytes) const;

    // `bytes` with every letter in its lower-case form where the page holds
    // that form too: how Windows matches file names without regard to case.
    std::string Fold(std::string_view bytes) const;

    CodePage(int number, const char* script, const std::array<char16_t, 128>& high);

private:
    int number_;
    const char* script_;
    std::array<char16_t, 128> high_; // the characters of 0x80 .. 0xFF
    std::vector<std::pair<char32_t, std::uint8_t>> reverse_; // sorted
    std::array<std::uint8_t, 256> lower_{};
};

} // namespace mksetup
