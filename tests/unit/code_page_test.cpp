// The author's UTF-8 as the setup program reads it: single bytes of an ANSI
// code page, lines ended by CR LF, with every character a page cannot hold
// refused by line instead of packed as mojibake.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "author_text.h"
#include "code_page.h"
#include "license_box.h"
#include "mksetup_support.h"

using namespace mksetup;
using namespace std::string_literals;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string Packed(const std::string& text, int page = 1252)
{
    Diagnostics diagnostics;
    std::optional<AuthorText> read = ReadAuthorText(Bytes(text), "t", diagnostics);
    std::vector<std::string> lines;
    for (const std::string& line : read->lines)
        lines.push_back(EncodeLine(line, *CodePage::Find(page)).value());
    std::vector<std::uint8_t> bytes = JoinLines(lines, read->lastLineEnded);
    return {bytes.begin(), bytes.end()};
}

} // namespace

TEST(Utf8, DecodesEveryLengthAndRefusesWhatIsNotUtf8)
{
    EXPECT_EQ(DecodeUtf8("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
              (std::u32string{U'A', 0xE9, 0x20AC, 0x1F600}));
    EXPECT_EQ(EncodeUtf8(U"A\u00E9\u20AC\U0001F600"), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    struct Bad {
        const char* what;
        std::string text;
        std::size_t offset;
    } bad[] = {
        {"a Latin-1 byte", "Caf\xE9", 3},
        {"a lone continuation byte", "a\x80", 1},
        {"an overlong slash", "\xC0\xAF", 0},
        {"an overlong three-byte form", "ab\xE0\x80\x80", 2},
        {"a surrogate", "\xED\xA0\x80", 0},
        {"past U+10FFFF", "\xF4\x90\x80\x80", 0},
        {"cut short", "x\xE2\x82", 1},
    };
    for (const Bad& b : bad) {
        std::size_t offset = 99;
        EXPECT_FALSE(DecodeUtf8(b.text, &offset)) << b.what;
        EXPECT_EQ(offset, b.offset) << b.what;
    }
}

TEST(CodePages, MapTheBytesAsWindowsDoes)
{
    // Points of each table checked against the published pages.
    struct Point {
        int page;
        std::uint8_t byte;
        char32_t character;
    } points[] = {
        {1252, 0x80, 0x20AC}, {1252, 0x8E, 0x017D}, {1252, 0x9F, 0x0178},
        {1252, 0xE9, 0x00E9}, {1252, 0xFF, 0x00FF}, {1250, 0x8A, 0x0160},
        {1250, 0xF8, 0x0159}, {1251, 0xC0, 0x0410}, {1251, 0xFF, 0x044F},
        {1253, 0xC1, 0x0391}, {1254, 0xDD, 0x0130}, {1255, 0xE0, 0x05D0},
        {1256, 0xC7, 0x0627}, {1257, 0xC0, 0x0104}, {1258, 0xD5, 0x01A0},
        {874, 0xA1, 0x0E01},
    };
    for (const Point& p : points) {
        const CodePage* page = CodePage::Find(p.page);
        ASSERT_NE(page, nullptr) << p.page;
        EXPECT_EQ(page->Decode(p.byte), p.character) << p.page << " " << int(p.byte);
        EXPECT_EQ(page->Encode(p.character), p.byte) << p.page << " " << int(p.byte);
    }
    // Every defined byte of every page comes back from its character.
    for (int number : CodePage::Numbers()) {
        const CodePage& page = *CodePage::Find(number);
        for (unsigned byte = 0; byte <= 0xFF; ++byte)
            if (char32_t c = page.Decode(static_cast<std::uint8_t>(byte)); c || byte == 0)
                EXPECT_EQ(page.Encode(c), byte) << number << " " << byte;
    }
    const CodePage& western = *CodePage::Find(1252);
    EXPECT_EQ(western.Decode(0x81), 0u); // undefined in 1252
    EXPECT_EQ(western.Encode(0x0416), std::nullopt);
    EXPECT_EQ(CodePage::Find(65001), nullptr);
    EXPECT_EQ(CodePage::Find(932), nullptr);
}

TEST(CodePages, FoldCaseBeyondAscii)
{
    EXPECT_EQ(CodePage::Find(1252)->Fold("CAF\xC9 \x8A\x8C\x9F"), "caf\xE9 \x9A\x9C\xFF");
    EXPECT_EQ(CodePage::Find(1252)->Fold("\xD7\xDF"), "\xD7\xDF"); // times, sharp s
    EXPECT_EQ(CodePage::Find(1251)->Fold("\xC6\xA8\x80"), "\xE6\xB8\x90");   // Ж Ё Ђ
    EXPECT_EQ(CodePage::Find(1253)->Fold("\xA2\xD3\xF2"), "\xDC\xF3\xF3");   // Ά Σ ς
    EXPECT_EQ(CodePage::Find(1254)->Fold("\xDD\xFD"), "\xDD\xFD");           // İ ı apart
    EXPECT_EQ(CodePage::Find(1258)->Fold("\xD5\xDD"), "\xF5\xFD");           // Ơ Ư
}

TEST(CodePages, ShowTheProgramsTextWithControlsAndUndefinedBytesEscaped)
{
    EXPECT_EQ(CodePage::Find(1252)->Show("Caf\xE9 \x80\x1B[2J\x7F\x81\t\\x"),
              "Caf\xC3\xA9 \xE2\x82\xAC\\x1B[2J\\x7F\\x81\\x09\\x");
    EXPECT_EQ(CodePage::Find(1251)->Show("\xC6\x98"), "\xD0\x96\\x98");
}

TEST(AuthorText, EndsEveryLineWithCrLfInTheCodePage)
{
    EXPECT_EQ(Packed("Caf\xC3\xA9\nline\r\nmac\rlast"), "Caf\xE9\r\nline\r\nmac\r\nlast");
    EXPECT_EQ(Packed("a\n\n"), "a\r\n\r\n");
    EXPECT_EQ(Packed(""), "");
    EXPECT_EQ(Packed("\xEF\xBB\xBF\xD0\x96\xD1\x83\xD0\xBA\n", 1251), "\xC6\xF3\xEA\r\n");

    Diagnostics diagnostics;
    AuthorText text = *ReadAuthorText(Bytes("\xEF\xBB\xBFx\ny\r\n"), "t", diagnostics);
    EXPECT_EQ(ConversionSummary(text, *CodePage::Find(1252)),
              "line ends to CR LF, byte order mark dropped");
    text = *ReadAuthorText(Bytes("\xE2\x82\xAC\r\n"), "t", diagnostics);
    EXPECT_EQ(ConversionSummary(text, *CodePage::Find(1252)), "UTF-8 to code page 1252");
    text = *ReadAuthorText(Bytes("plain\r\ntext"), "t", diagnostics);
    EXPECT_EQ(ConversionSummary(text, *CodePage::Find(1252)), "");
    EXPECT_TRUE(diagnostics.all().empty());
}

TEST(AuthorText, RefusesWhatIsNoUtf8TextOrNotInTheCodePage)
{
    Diagnostics diagnostics;
    EXPECT_FALSE(ReadAuthorText(Bytes("ok\nCaf\xE9\nok\nnul\0x"s), "lic.txt", diagnostics));
    EXPECT_FALSE(ReadAuthorText(Bytes("\xFF\xFEh\0i\0"s), "u16.txt", diagnostics));
    EXPECT_EQ(Said(diagnostics),
              "lic.txt:2: error: not UTF-8 (byte 0xE9 in column 4); save the file as UTF-8\n"
              "lic.txt:4: error: holds a NUL byte; not a text file\n"
              "u16.txt: error: UTF-16 text; save it as UTF-8\n");

    Diagnostics missing;
    AuthorText text =
        *ReadAuthorText(Bytes("fine\n\xE2\x9C\x93 \xD0\x96 \xE2\x9C\x93\n\xE2\x82\xAC\n"), "lic.txt", missing);
    EXPECT_FALSE(CheckCodePage(text, *CodePage::Find(1252), "lic.txt", missing));
    EXPECT_EQ(Said(missing),
              "lic.txt:2: error: \"\xE2\x9C\x93\" (U+2713), \"\xD0\x96\" (U+0416) are not in "
              "code page 1252 (Western European); choose another with --codepage\n");
    Diagnostics cyrillic;
    EXPECT_FALSE(CheckCodePage(text, *CodePage::Find(1251), "lic.txt", cyrillic));
    EXPECT_NE(Said(cyrillic).find("\"\xE2\x9C\x93\" (U+2713) is not in code page 1251"),
              std::string::npos);
}

TEST(LicenseBox, JoinsRunningTextAndLeavesWhatLooksPreformatted)
{
    const std::vector<std::string> lines = {
        "TITLE",
        "",
        "  An indented first line,",
        "going on   ",
        "and ending.",
        "",
        "- a marker first",
        "and more",
        "",
        "1. A list",
        "2. of two",
        "",
        "Name    Value",
        "Other   Thing",
        "",
        "Ends.  Two blanks",
        "follow a sentence.",
        "\f",
        "  an indented",
        "  block",
        "----",
        "below a rule",
    };
    LicenseLines reflowed = ReflowLicense(lines);
    EXPECT_EQ(reflowed.lines,
              (std::vector<std::string>{"TITLE", "", "  An indented first line, going on and ending.",
                                        "", "- a marker first and more", "", "1. A list",
                                        "2. of two", "", "Name    Value", "Other   Thing", "",
                                        "Ends.  Two blanks follow a sentence.", "\f",
                                        "  an indented", "  block", "----", "below a rule"}));
    EXPECT_EQ(reflowed.paragraphs, 3u);
    EXPECT_EQ(reflowed.origin[2], 3u);
    EXPECT_EQ(reflowed.origin[6], 10u);
    EXPECT_EQ(reflowed.origin.back(), 22u);
    EXPECT_TRUE(reflowed.joined[12]);
    EXPECT_FALSE(reflowed.joined[13]);
    EXPECT_EQ(LicenseAsWritten(lines).lines, lines);
    // MS Sans Serif 8 pt: "i" 2 pixels, "W" 11, "m" 8; blanks at the end
    // take no room, beyond ASCII the average.
    EXPECT_EQ(LicenseLineWidth("iW m  "), 2 + 11 + 3 + 8);
    EXPECT_EQ(LicenseLineWidth("\xC3\xA9"), 6);
}
