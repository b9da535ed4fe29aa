// The keys of a series as the setup program writes them ("filea" ... "file~",
// "file31", ...), how mksetup reads an author's key, and why the series
// leaves single letters after "~": on Windows NT the profile functions
// compare key names without regard to case in Unicode, where the old
// letters past "~" fold together in the ANSI code pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unordered_set>
#include <utility>

#include "code_page.h"
#include "package.h"
#include "series_key.h"

using namespace mksetup;

namespace {

// Unicode's simple case folding (CaseFolding.txt, status C and S) for
// exactly the characters that the supported code pages reach: every
// character that a byte 0x20 to 0x7E or 0x80 to 0xFF decodes to in the ten
// pages of tools/mksetup/code_page.cpp (681 characters), looked up in
// /usr/share/unicode/CaseFolding.txt of Debian's unicode-data 15.0.0-1
// (Unicode 15.0.0): 182 of them fold. Made once with a few lines of Python
// that read the pages' tables from code_page.cpp and the file's
// "code; status; mapping" lines.
constexpr std::pair<char32_t, char32_t> kSimpleFolding[] = {
    {0x0041, 0x0061}, {0x0042, 0x0062}, {0x0043, 0x0063}, {0x0044, 0x0064}, {0x0045, 0x0065},
    {0x0046, 0x0066}, {0x0047, 0x0067}, {0x0048, 0x0068}, {0x0049, 0x0069}, {0x004A, 0x006A},
    {0x004B, 0x006B}, {0x004C, 0x006C}, {0x004D, 0x006D}, {0x004E, 0x006E}, {0x004F, 0x006F},
    {0x0050, 0x0070}, {0x0051, 0x0071}, {0x0052, 0x0072}, {0x0053, 0x0073}, {0x0054, 0x0074},
    {0x0055, 0x0075}, {0x0056, 0x0076}, {0x0057, 0x0077}, {0x0058, 0x0078}, {0x0059, 0x0079},
    {0x005A, 0x007A}, {0x00B5, 0x03BC}, {0x00C0, 0x00E0}, {0x00C1, 0x00E1}, {0x00C2, 0x00E2},
    {0x00C3, 0x00E3}, {0x00C4, 0x00E4}, {0x00C5, 0x00E5}, {0x00C6, 0x00E6}, {0x00C7, 0x00E7},
    {0x00C8, 0x00E8}, {0x00C9, 0x00E9}, {0x00CA, 0x00EA}, {0x00CB, 0x00EB}, {0x00CC, 0x00EC},
    {0x00CD, 0x00ED}, {0x00CE, 0x00EE}, {0x00CF, 0x00EF}, {0x00D0, 0x00F0}, {0x00D1, 0x00F1},
    {0x00D2, 0x00F2}, {0x00D3, 0x00F3}, {0x00D4, 0x00F4}, {0x00D5, 0x00F5}, {0x00D6, 0x00F6},
    {0x00D8, 0x00F8}, {0x00D9, 0x00F9}, {0x00DA, 0x00FA}, {0x00DB, 0x00FB}, {0x00DC, 0x00FC},
    {0x00DD, 0x00FD}, {0x00DE, 0x00FE}, {0x0100, 0x0101}, {0x0102, 0x0103}, {0x0104, 0x0105},
    {0x0106, 0x0107}, {0x010C, 0x010D}, {0x010E, 0x010F}, {0x0110, 0x0111}, {0x0112, 0x0113},
    {0x0116, 0x0117}, {0x0118, 0x0119}, {0x011A, 0x011B}, {0x011E, 0x011F}, {0x0122, 0x0123},
    {0x012A, 0x012B}, {0x012E, 0x012F}, {0x0136, 0x0137}, {0x0139, 0x013A}, {0x013B, 0x013C},
    {0x013D, 0x013E}, {0x0141, 0x0142}, {0x0143, 0x0144}, {0x0145, 0x0146}, {0x0147, 0x0148},
    {0x014C, 0x014D}, {0x0150, 0x0151}, {0x0152, 0x0153}, {0x0154, 0x0155}, {0x0156, 0x0157},
    {0x0158, 0x0159}, {0x015A, 0x015B}, {0x015E, 0x015F}, {0x0160, 0x0161}, {0x0162, 0x0163},
    {0x0164, 0x0165}, {0x016A, 0x016B}, {0x016E, 0x016F}, {0x0170, 0x0171}, {0x0172, 0x0173},
    {0x0178, 0x00FF}, {0x0179, 0x017A}, {0x017B, 0x017C}, {0x017D, 0x017E}, {0x01A0, 0x01A1},
    {0x01AF, 0x01B0}, {0x0386, 0x03AC}, {0x0388, 0x03AD}, {0x0389, 0x03AE}, {0x038A, 0x03AF},
    {0x038C, 0x03CC}, {0x038E, 0x03CD}, {0x038F, 0x03CE}, {0x0391, 0x03B1}, {0x0392, 0x03B2},
    {0x0393, 0x03B3}, {0x0394, 0x03B4}, {0x0395, 0x03B5}, {0x0396, 0x03B6}, {0x0397, 0x03B7},
    {0x0398, 0x03B8}, {0x0399, 0x03B9}, {0x039A, 0x03BA}, {0x039B, 0x03BB}, {0x039C, 0x03BC},
    {0x039D, 0x03BD}, {0x039E, 0x03BE}, {0x039F, 0x03BF}, {0x03A0, 0x03C0}, {0x03A1, 0x03C1},
    {0x03A3, 0x03C3}, {0x03A4, 0x03C4}, {0x03A5, 0x03C5}, {0x03A6, 0x03C6}, {0x03A7, 0x03C7},
    {0x03A8, 0x03C8}, {0x03A9, 0x03C9}, {0x03AA, 0x03CA}, {0x03AB, 0x03CB}, {0x03C2, 0x03C3},
    {0x0401, 0x0451}, {0x0402, 0x0452}, {0x0403, 0x0453}, {0x0404, 0x0454}, {0x0405, 0x0455},
    {0x0406, 0x0456}, {0x0407, 0x0457}, {0x0408, 0x0458}, {0x0409, 0x0459}, {0x040A, 0x045A},
    {0x040B, 0x045B}, {0x040C, 0x045C}, {0x040E, 0x045E}, {0x040F, 0x045F}, {0x0410, 0x0430},
    {0x0411, 0x0431}, {0x0412, 0x0432}, {0x0413, 0x0433}, {0x0414, 0x0434}, {0x0415, 0x0435},
    {0x0416, 0x0436}, {0x0417, 0x0437}, {0x0418, 0x0438}, {0x0419, 0x0439}, {0x041A, 0x043A},
    {0x041B, 0x043B}, {0x041C, 0x043C}, {0x041D, 0x043D}, {0x041E, 0x043E}, {0x041F, 0x043F},
    {0x0420, 0x0440}, {0x0421, 0x0441}, {0x0422, 0x0442}, {0x0423, 0x0443}, {0x0424, 0x0444},
    {0x0425, 0x0445}, {0x0426, 0x0446}, {0x0427, 0x0447}, {0x0428, 0x0448}, {0x0429, 0x0449},
    {0x042A, 0x044A}, {0x042B, 0x044B}, {0x042C, 0x044C}, {0x042D, 0x044D}, {0x042E, 0x044E},
    {0x042F, 0x044F}, {0x0490, 0x0491},
};

// `key` (bytes of `page`) as Windows NT compares profile key names: each
// byte to its Unicode character, each character folded.
std::u32string Folded(const CodePage& page, std::string_view key)
{
    std::u32string folded;
    for (char byte : key) {
        char32_t c = page.Decode(static_cast<std::uint8_t>(byte));
        auto found = std::lower_bound(std::begin(kSimpleFolding), std::end(kSimpleFolding),
                                      std::make_pair(c, char32_t{0}));
        folded.push_back(found != std::end(kSimpleFolding) && found->first == c ? found->second
                                                                                 : c);
    }
    return folded;
}

std::string Key(const char* stem, unsigned long n, unsigned size = 32)
{
    char key[32] = "untouched";
    unsigned length = SeriesKey(key, size, stem, n);
    EXPECT_EQ(length, std::string(key).size());
    return key;
}

} // namespace

TEST(SeriesKey, ThirtyLettersThenTheNumberInDecimal)
{
    EXPECT_EQ(Key("file", 1), "filea");
    EXPECT_EQ(Key("file", 26), "filez");
    EXPECT_EQ(Key("file", 27), "file{");
    EXPECT_EQ(Key("file", 30), "file~");
    EXPECT_EQ(Key("file", 31), "file31");
    EXPECT_EQ(Key("linkargs", 100), "linkargs100");
    EXPECT_EQ(Key("file", 1000), "file1000");
    EXPECT_EQ(Key("file", 4294967295ul), "file4294967295");
    EXPECT_EQ(Key("file", 0), "");
    // The key and its NUL must fit; otherwise nothing is written but "".
    EXPECT_EQ(Key("file", 1, 6), "filea");
    EXPECT_EQ(Key("file", 1, 5), "");
    EXPECT_EQ(Key("file", 31, 7), "file31");
    EXPECT_EQ(Key("file", 31, 6), "");
    char untouched = 'x';
    EXPECT_EQ(SeriesKey(&untouched, 0, "file", 1), 0u);
    EXPECT_EQ(untouched, 'x');
}

TEST(SeriesKey, ReadsAnAuthorsKeyAsTheSetupProgramDoes)
{
    auto match = [](std::string_view key, std::string_view stem = "file") {
        SeriesMatch m = MatchSeriesKey(key, stem);
        return std::make_pair(m.kind, m.n);
    };
    EXPECT_EQ(match("FILEA"), std::make_pair(SeriesMatch::Key, std::size_t{1}));
    EXPECT_EQ(match("File~"), std::make_pair(SeriesMatch::Key, std::size_t{30}));
    EXPECT_EQ(match("file\x7F"), std::make_pair(SeriesMatch::OldLetter, std::size_t{31}));
    EXPECT_EQ(match("file\xFF"), std::make_pair(SeriesMatch::OldLetter, std::size_t{159}));
    EXPECT_EQ(match("file5"), std::make_pair(SeriesMatch::Misnumbered, std::size_t{5}));
    EXPECT_EQ(match("file031"), std::make_pair(SeriesMatch::Misnumbered, std::size_t{31}));
    EXPECT_EQ(match("file0"), std::make_pair(SeriesMatch::Misnumbered, std::size_t{0}));
    for (std::string_view none : {"file", "file_", "file`", "filex1", "files.txt", "fil"})
        EXPECT_EQ(match(none).first, SeriesMatch::None) << none;
    EXPECT_EQ(match("linkfilea", "link").first, SeriesMatch::None);
    for (const char* stem : {"file", "link", "linkfile", "linkargs"})
        for (std::size_t n = 1; n <= 2000; ++n)
            ASSERT_EQ(match(SeriesKeyOf(stem, n), stem), std::make_pair(SeriesMatch::Key, n))
                << stem << n;
}

TEST(SeriesKey, NoTwoKeysTheSetupProgramWritesFoldTogetherInAnyCodePage)
{
    // The keys of one log and one [Links] section, all distinct as bytes.
    std::unordered_set<std::string> keys = {"dir", "linkdir"};
    std::size_t written = keys.size();
    for (const char* stem : {"file", "link", "linkfile", "linkargs"})
        for (std::size_t n = 1; n <= 100000; ++n, ++written) keys.insert(SeriesKeyOf(stem, n));
    ASSERT_EQ(keys.size(), written);
    // Folding maps each character to one character, so two keys of bytes
    // fold together exactly when they differ only in bytes that fold
    // together: no two keys do when no two of the bytes they are made of do.
    std::string alphabet;
    for (const std::string& key : keys)
        for (char byte : key)
            if (alphabet.find(byte) == std::string::npos) alphabet += byte;
    EXPECT_EQ(alphabet.find_first_not_of("abcdefghijklmnopqrstuvwxyz{|}~0123456789"),
              std::string::npos);
    for (int number : CodePage::Numbers()) {
        const CodePage& page = *CodePage::Find(number);
        for (std::size_t a = 0; a < alphabet.size(); ++a)
            for (std::size_t b = a + 1; b < alphabet.size(); ++b)
                EXPECT_NE(Folded(page, alphabet.substr(a, 1)), Folded(page, alphabet.substr(b, 1)))
                    << "code page " << number << ": " << alphabet[a] << " and " << alphabet[b];
    }
}

TEST(SeriesKey, TheOldLettersPastTildeFoldTogether)
{
    // What the series guards against: the single letters up to 0xFF that
    // older setup programs wrote are one key for Windows NT in pairs.
    const CodePage& western = *CodePage::Find(1252);
    EXPECT_EQ(Folded(western, "file\x8A"), Folded(western, "file\x9A")); // Š š
    EXPECT_EQ(Folded(western, "file\xC0"), Folded(western, "file\xE0")); // À à
    std::size_t pairs = 0;
    for (unsigned a = 0x7F; a <= 0xFF; ++a)
        for (unsigned b = a + 1; b <= 0xFF; ++b)
            pairs += Folded(western, "file" + std::string(1, char(a))) ==
                     Folded(western, "file" + std::string(1, char(b)));
    EXPECT_GE(pairs, 30u);
    const CodePage& cyrillic = *CodePage::Find(1251);
    for (unsigned upper = 0xC0; upper <= 0xDF; ++upper)
        EXPECT_EQ(Folded(cyrillic, "file" + std::string(1, char(upper))),
                  Folded(cyrillic, "file" + std::string(1, char(upper + 0x20))))
            << upper;
}
