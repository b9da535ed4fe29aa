// The setup program reads its setup information file from memory with its
// own reader; mksetup checks the author's file with a reader of the same
// rules. Both must read every text alike, or mksetup would approve a file
// the setup program reads otherwise: proven on crafted texts that hit each
// rule and on random ones built from the same pieces.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "inf_text.h"
#include "setup_info.h"

namespace {

std::optional<std::string> StubValue(const std::string& text, const char* section,
                                     const char* key)
{
    InfText inf{text.data(), static_cast<unsigned long>(text.size())};
    InfSection found;
    InfFindSection(&inf, section, &found);
    InfValue value;
    if (!InfFindKey(&inf, &found, key, &value)) return std::nullopt;
    return std::string(value.text, value.length);
}

std::optional<std::string> ToolValue(const std::string& text, const char* section,
                                     const char* key)
{
    return mksetup::SetupInfo::Parse(text).Value(section, key);
}

TEST(InfText, ReadsEachRuleAsTheProfileFunctionsDo)
{
    struct Case {
        const char* text;
        const char* section;
        const char* key;
        const char* expected; // nullptr: absent
    } cases[] = {
        {"[Install]\r\nAppName=Hello\r\n", "Install", "AppName", "Hello"},
        {"[install]\nappname = Hello World \n", "INSTALL", "APPNAME", "Hello World"},
        {"[Install]\rA=1\rB=2", "Install", "B", "2"},          // CR alone, no last line end
        {"[Install]\r\nA=\" quoted \"\r\n", "Install", "A", " quoted "},
        {"[Install]\r\nA='x'\r\n", "Install", "A", "x"},
        {"[Install]\r\nA=\"x'\r\n", "Install", "A", "\"x'"},     // quotes must match
        {"[Install]\r\nA=\"\r\n", "Install", "A", "\""},          // a lone quote stays
        {"[Install]\r\nA=1\r\nA=2\r\n", "Install", "A", "1"},     // first key counts
        {"[Install]\r\nA=1\r\n[Install]\r\nB=2\r\n", "Install", "B", nullptr}, // first section
        {"[Install]\r\n;A=1\r\n", "Install", "A", nullptr},       // a comment
        {"[Install]\r\n  ;A=1\r\n", "Install", "A", nullptr},
        {"[Install]\r\nA\r\n", "Install", "A", ""},                // no "=": no value
        {"A=1\r\n[Install]\r\n", "Install", "A", nullptr},         // before any section
        {"[ Install ]\r\nA=1\r\n", "Install", "A", "1"},
        {"[Install\r\nA=1\r\n", "Install", "A", nullptr},          // no "]"
        {"[Other]\r\n[Install\r\nA=1\r\n", "Other", "A", "1"},     // still in [Other]
        {"[Install]x\r\nA=1\r\n", "Install", "A", "1"},
        {"[Install]\r\nA = = b\r\n", "Install", "A", "= b"},
        {"[Install]\r\n\tA\t=\tb\t\r\n", "Install", "A", "b"},
        {"[Install]\r\n=b\r\n", "Install", "", "b"},
        {"[Install]\r\nA=1\r\n[Links]\r\nA=2\r\n", "Links", "A", "2"},
        {"", "Install", "A", nullptr},
    };
    for (const Case& c : cases) {
        std::optional<std::string> expected;
        if (c.expected) expected = c.expected;
        EXPECT_EQ(StubValue(c.text, c.section, c.key), expected) << c.text;
        EXPECT_EQ(ToolValue(c.text, c.section, c.key), expected) << c.text;
    }
}

TEST(InfText, RandomTextsReadAlikeByBothReaders)
{
    const char* pieces[] = {"[Install]", "[install ]", "[Links]", "[Links", "[Copymode]",
                            "A", "a", "B", " A ", "A=", "A=1", "a = 2", "B='3'", "B=\"4\"",
                            "=5", ";A=6", " ; B=7", "x", "A==8", "\t[Links]\t"};
    const char* ends[] = {"\r\n", "\n", "\r", " \r\n", ""};
    const char* sections[] = {"Install", "Links", "Copymode"};
    const char* keys[] = {"A", "B", "a", ""};
    std::mt19937 random(12345);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        int lines = static_cast<int>(random() % 8);
        for (int i = 0; i < lines; ++i) {
            text += pieces[random() % std::size(pieces)];
            text += ends[random() % std::size(ends)];
        }
        for (const char* section : sections)
            for (const char* key : keys)
                ASSERT_EQ(StubValue(text, section, key), ToolValue(text, section, key))
                    << "[" << text << "] " << section << " " << key;
    }
}

TEST(InfText, SeriesScanTakesEachKeysFirstLineInOnePass)
{
    std::string text =
        "[Copymode]\r\nfileb=2\r\nFILEA=3\r\nfilea=1\r\nfile~=4\r\nfile\x80=5\r\n"
        "file31=6\r\nfile031=7\r\nfile32=8\r\nfile40=9\r\nfile1000000000=10\r\n"
        "fileab=11\r\nfile=12\r\nlinka=13\r\n";
    InfText inf{text.data(), static_cast<unsigned long>(text.size())};
    InfSection section;
    ASSERT_TRUE(InfFindSection(&inf, "Copymode", &section));
    EXPECT_EQ(InfCountLines(&inf, &section), 13u);
    InfValue letters[INF_LETTER_KEYS] = {};
    InfValue numbered[5] = {};
    InfScanSeries(&inf, &section, "file", letters, numbered, 5);
    auto at = [](const InfValue& v) {
        return v.text ? std::string(v.text, v.length) : std::string("(absent)");
    };
    EXPECT_EQ(at(letters[0]), "3");            // FILEA comes first
    EXPECT_EQ(at(letters[1]), "2");
    EXPECT_EQ(at(letters[2]), "(absent)");
    EXPECT_EQ(at(letters['~' - 'a']), "4");
    EXPECT_EQ(at(letters[0x80 - 'a']), "5");   // an older program's letter
    EXPECT_EQ(at(numbered[0]), "6");           // file31; file031 is no key of it
    EXPECT_EQ(at(numbered[1]), "8");
    EXPECT_EQ(at(numbered[2]), "(absent)");
    // file40 lies past the five slots asked for and is left alone.
    for (const InfValue& v : numbered) EXPECT_NE(at(v), "9");
}

TEST(InfText, IntegersAsTheProfileFunctionsReadThem)
{
    struct Case {
        const char* value;
        long expected;
    } cases[] = {{"4", 4},          {"4 files", 4},  {" 12", 12},      {"-3", -3},
                 {"+7", 7},         {"0x1F", 31},    {"0b101", 5},     {"0o17", 15},
                 {"six", 0},        {"", 99},        {"4294967297", 1}, {"-0x10", -16},
                 {"2147483648", -2147483647 - 1}};
    for (const Case& c : cases) {
        std::string value = c.value;
        EXPECT_EQ(InfInteger(value.data(), value.size(), 99), c.expected) << c.value;
        if (!value.empty())
            EXPECT_EQ(mksetup::ProfileInteger(value).value_or(99), c.expected) << c.value;
    }
}

TEST(InfText, CopiesAtMostOneCharacterLessThanTheBuffer)
{
    char buffer[8];
    EXPECT_EQ(InfCopyValue(buffer, sizeof buffer, "abcdefghij", 10), 7u);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(InfCopyValue(buffer, sizeof buffer, "abc", 3), 3u);
    EXPECT_STREQ(buffer, "abc");
}

} // namespace

namespace {

std::vector<std::string> Walk(const std::string& records, int withOldLetters)
{
    std::string text = "[Uninstall]\r\n" + records;
    InfText inf{text.data(), static_cast<unsigned long>(text.size())};
    InfSection section;
    InfFindSection(&inf, "Uninstall", &section);
    unsigned long lines = InfCountLines(&inf, &section);
    std::vector<InfValue> slots(INF_LETTER_KEYS + lines);
    unsigned long n = InfListSeries(&inf, &section, "file", withOldLetters, slots.data(), lines);
    std::vector<std::string> walked;
    for (unsigned long i = 0; i < n; ++i) walked.emplace_back(slots[i].text, slots[i].length);
    return walked;
}

// Keys for records 1 to n of the continued series, or of the older one.
std::string Records(int n, bool old)
{
    std::string text;
    for (int i = 1; i <= n; ++i) {
        std::string key = i <= 30 || old ? std::string(1, static_cast<char>(0x60 + i))
                                         : std::to_string(i);
        text += "file" + key + "=r" + std::to_string(i) + "\r\n";
    }
    return text;
}

} // namespace

TEST(InfText, RecordsWalkedInTheUninstallersOrder)
{
    EXPECT_EQ(Walk(Records(5, false), 1).size(), 5u);
    EXPECT_EQ(Walk(Records(30, false), 1).size(), 30u);
    std::vector<std::string> walked = Walk(Records(5000, false), 1);
    ASSERT_EQ(walked.size(), 5000u);
    EXPECT_EQ(walked[30], "r31");
    EXPECT_EQ(walked[4999], "r5000");
    // An older program's 159 letters, and its 0x7F..0xFF only with them.
    EXPECT_EQ(Walk(Records(159, true), 1).size(), 159u);
    EXPECT_EQ(Walk(Records(159, true), 0).size(), 30u);
    // A gap ends the walk; past the letters, decimal keys go on only after
    // all thirty of them.
    EXPECT_EQ(Walk("filea=1\r\nfilec=3\r\n", 1), std::vector<std::string>{"1"});
    EXPECT_EQ(Walk("filea=1\r\nfileb=\r\nfilec=3\r\n", 1).size(), 1u);
    EXPECT_EQ(Walk("filea=1\r\nfile31=3\r\n", 1).size(), 1u);
    EXPECT_EQ(Walk(Records(30, false) + "file32=x\r\n", 1).size(), 30u);
    // Out of order, the walk is the same.
    EXPECT_EQ(Walk("fileb=2\r\nfilea=1\r\n", 1), (std::vector<std::string>{"1", "2"}));
}
