// The pure rules of the payload archive: what an entry must look like, which
// stored names may be joined to an install directory, and how stored
// attributes and times become the extracted file's.
#include <gtest/gtest.h>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>
#include "entry_format.h"
#include "text.h"

namespace {

std::vector<unsigned char> Block(const std::string& name, unsigned long decodedSize,
                                 unsigned streamBytes)
{
    unsigned long blockSize = 14 + name.size() + streamBytes;
    std::vector<unsigned char> b(blockSize, 0xAB);
    unsigned long entryLength = blockSize + 4;
    for (int i = 0; i < 4; ++i) b[i] = (entryLength >> (8 * i)) & 0xFF;
    b[4] = 0x21; b[5] = 0x2B; // date
    b[6] = 0xC0; b[7] = 0x53; // time
    b[8] = 0x21;
    b[9] = static_cast<unsigned char>(name.size());
    std::memcpy(b.data() + 10, name.data(), name.size());
    for (int i = 0; i < 4; ++i) b[10 + name.size() + i] = (decodedSize >> (8 * i)) & 0xFF;
    return b;
}

bool Safe(const std::string& name) { return IsSafeStoredName(name.data(), name.size()); }

unsigned short Dos(unsigned y, unsigned m, unsigned d) { return ((y - 1980) << 9) | (m << 5) | d; }
unsigned short Time(unsigned h, unsigned m, unsigned s) { return (h << 11) | (m << 5) | (s / 2); }

} // namespace

TEST(EntryLength, RefusesZeroTooSmallAndPastTheEnd)
{
    EXPECT_FALSE(CheckEntryLength(0, 38914, 50000));
    EXPECT_FALSE(CheckEntryLength(17, 38914, 50000));
    EXPECT_TRUE(CheckEntryLength(18, 38914, 38914 + 18));
    EXPECT_FALSE(CheckEntryLength(19, 38914, 38914 + 18));
    // No wrap-around for lengths near 4 GB.
    EXPECT_FALSE(CheckEntryLength(0xFFFFFFF0ul, 38914, 50000));
}

TEST(EntryBlock, ParsesEveryField)
{
    auto b = Block("help\\guide.txt", 1234, 7);
    ArchiveEntry e;
    ASSERT_TRUE(ParseEntryBlock(b.data(), b.size(), &e));
    EXPECT_EQ(e.entryLength, b.size() + 4);
    EXPECT_EQ(e.dosDate, 0x2B21);
    EXPECT_EQ(e.dosTime, 0x53C0);
    EXPECT_EQ(e.dosAttributes, 0x21);
    EXPECT_EQ(std::string(e.name, e.nameLength), "help\\guide.txt");
    EXPECT_EQ(e.decodedSize, 1234u);
    EXPECT_EQ(e.streamSize, 7u);
    EXPECT_EQ(e.stream, b.data() + 14 + 14);
}

TEST(EntryBlock, EmptyNameAndEmptyStream)
{
    auto b = Block("", 0, 0);
    ArchiveEntry e;
    ASSERT_TRUE(ParseEntryBlock(b.data(), b.size(), &e));
    EXPECT_EQ(e.nameLength, 0);
    EXPECT_EQ(e.streamSize, 0u);
}

TEST(EntryBlock, RefusesHeaderCutOffOrLengthMismatch)
{
    auto b = Block("name.txt", 5, 0);
    ArchiveEntry e;
    // Cut inside the decoded size, inside the name, inside the fixed part.
    EXPECT_FALSE(ParseEntryBlock(b.data(), b.size() - 1, &e));
    EXPECT_FALSE(ParseEntryBlock(b.data(), 12, &e));
    EXPECT_FALSE(ParseEntryBlock(b.data(), 5, &e));
    // A nameLength that claims more than the block holds.
    b[9] = 200;
    EXPECT_FALSE(ParseEntryBlock(b.data(), b.size(), &e));
}

TEST(StoredName, AcceptsPlainNamesAndSubdirectories)
{
    EXPECT_TRUE(Safe("Readme.txt"));
    EXPECT_TRUE(Safe("help\\guide.txt"));
    EXPECT_TRUE(Safe("a\\b\\c\\d.bin"));
    EXPECT_TRUE(Safe("name with blanks.txt"));
    EXPECT_TRUE(Safe("..hidden"));
    EXPECT_TRUE(Safe("x..y"));
    EXPECT_TRUE(Safe("\xE9t\xE9.txt")); // ANSI letters above 0x7F
}

TEST(StoredName, RefusesNamesThatLeaveTheDirectoryOrForgeRecords)
{
    for (const char* bad : {"", "..", "..\\x", "a\\..\\..\\x", "a\\..", ".", ".\\x",
                            "\\x", "x\\", "a\\\\b", "C:x", "C:\\x", "a:b", "a/b",
                            "/etc/passwd", "a\r\nfileb=C:\\x", "tab\there", "del\x7f"})
        EXPECT_FALSE(Safe(bad)) << bad;
}

TEST(Attributes, KeepArchiveSystemHiddenReadOnlyDropDirectoryAndLabel)
{
    EXPECT_EQ(MapDosAttributes(0x21), 0x21u);
    EXPECT_EQ(MapDosAttributes(0x10), 0x80u);
    EXPECT_EQ(MapDosAttributes(0x00), 0x80u);
    EXPECT_EQ(MapDosAttributes(0x08), 0x80u);
    EXPECT_EQ(MapDosAttributes(0x27), 0x27u);
    EXPECT_EQ(MapDosAttributes(0x20), 0x20u);
    EXPECT_EQ(MapDosAttributes(0x3F), 0x27u);
    // Bits above the DOS range run through the same chain.
    EXPECT_EQ(MapDosAttributes(0x40), 0x26u);
    EXPECT_EQ(MapDosAttributes(0x80), 0x26u);
    for (unsigned a = 0; a < 0x40; ++a) {
        unsigned long kept = a & 0x27;
        EXPECT_EQ(MapDosAttributes(a), kept ? kept : 0x80u) << a;
    }
}

TEST(TimeAdjustment, AddsSixHoursOnTheSameDay)
{
    unsigned short d = Dos(1997, 5, 14), t = Time(10, 30, 0);
    AdjustDosTime(&d, &t);
    EXPECT_EQ(d, Dos(1997, 5, 14));
    EXPECT_EQ(t, Time(16, 30, 0));
    d = Dos(2001, 1, 1), t = Time(17, 59, 58);
    AdjustDosTime(&d, &t);
    EXPECT_EQ(t, Time(23, 59, 58));
    EXPECT_EQ(d, Dos(2001, 1, 1));
}

TEST(TimeAdjustment, CarriesIntoTheNextDayMonthAndYear)
{
    struct { unsigned short date, time, wantDate, wantTime; } cases[] = {
        {Dos(1999, 12, 31), Time(20, 0, 0), Dos(2000, 1, 1), Time(2, 0, 0)},
        {Dos(2000, 2, 28), Time(18, 0, 0), Dos(2000, 2, 29), Time(0, 0, 0)},
        {Dos(2001, 2, 28), Time(23, 59, 58), Dos(2001, 3, 1), Time(5, 59, 58)},
        {Dos(1900 + 200, 2, 28), Time(19, 1, 2), Dos(2100, 3, 1), Time(1, 1, 2)},
        {Dos(1998, 4, 30), Time(18, 0, 0), Dos(1998, 5, 1), Time(0, 0, 0)},
    };
    for (auto c : cases) {
        unsigned short d = c.date, t = c.time;
        AdjustDosTime(&d, &t);
        EXPECT_EQ(d, c.wantDate);
        EXPECT_EQ(t, c.wantTime);
    }
}

// Where no next day exists to carry into, the time must not wrap back
// into the same day (20:00 becoming 02:00, eighteen hours earlier than
// stored): it stops at the day's last moment.
TEST(TimeAdjustment, StopsAtTheDaysEndWhereNoNextDayExists)
{
    struct { unsigned short date, time; } cases[] = {
        {Dos(2107, 12, 31), Time(20, 0, 0)},  // the last day the format holds
        {Dos(2107, 12, 31), Time(18, 0, 0)},
        {Dos(1990, 13, 5), Time(20, 0, 0)},   // no 13th month
        {Dos(1990, 0, 5), Time(23, 59, 58)},  // no month 0
        {Dos(2001, 2, 29), Time(19, 30, 0)},  // not a leap year
        {Dos(2000, 4, 31), Time(18, 0, 2)},
        {Dos(2000, 1, 0), Time(22, 0, 0)},    // no day 0
    };
    for (auto c : cases) {
        unsigned short d = c.date, t = c.time;
        AdjustDosTime(&d, &t);
        EXPECT_EQ(d, c.date) << c.date;
        EXPECT_EQ(t, Time(23, 59, 58)) << c.date;
    }
    // Before 18:00 nothing needs carrying: six hours on, whatever the date.
    unsigned short d = Dos(1990, 13, 5), t = Time(11, 15, 30);
    AdjustDosTime(&d, &t);
    EXPECT_EQ(d, Dos(1990, 13, 5));
    EXPECT_EQ(t, Time(17, 15, 30));
    d = Dos(2107, 12, 30), t = Time(20, 0, 0);
    AdjustDosTime(&d, &t);
    EXPECT_EQ(d, Dos(2107, 12, 31));
    EXPECT_EQ(t, Time(2, 0, 0));
}

// Every stored stamp comes out no earlier than it went in and at most six
// hours later (a date the calendar does not know keeps its date and only
// moves forward within it): no wrap, whatever the date and hour.
TEST(TimeAdjustment, NeverMovesBackInTime)
{
    using namespace std::chrono;
    auto stamp = [](unsigned short date, unsigned short time, bool* known) {
        year_month_day ymd{year(1980 + (date >> 9)), month((date >> 5) & 0x0F),
                           day(date & 0x1F)};
        *known = ymd.ok();
        long day = *known ? sys_days(ymd).time_since_epoch().count() : 0;
        return day * 86400L + (time >> 11) * 3600L + ((time >> 5) & 0x3F) * 60L +
               (time & 0x1F) * 2L;
    };
    for (unsigned year : {1980u, 2000u, 2001u, 2100u, 2107u})
        for (unsigned month = 0; month < 16; ++month)
            for (unsigned day = 0; day < 32; ++day)
                for (unsigned hour = 0; hour < 24; ++hour) {
                    unsigned short date = Dos(year, month, day);
                    unsigned short time = Time(hour, 59, 58);
                    unsigned short d = date, t = time;
                    AdjustDosTime(&d, &t);
                    bool known = false, stillKnown = false;
                    long before = stamp(date, time, &known);
                    long after = stamp(d, t, &stillKnown);
                    if (!known) ASSERT_EQ(d, date);
                    ASSERT_EQ(stillKnown, known);
                    ASSERT_GE(after, before) << year << "-" << month << "-" << day << " "
                                             << hour;
                    ASSERT_LE(after - before, 6 * 3600L);
                }
}

TEST(LetterSeries, StepsAndStopsAtTheEndOfTheByteRange)
{
    char key[] = "filea";
    ASSERT_TRUE(StepLetter(key + 4));
    EXPECT_STREQ(key, "fileb");
    key[4] = 'z';
    ASSERT_TRUE(StepLetter(key + 4));
    EXPECT_STREQ(key, "file{");
    key[4] = static_cast<char>(0xFE);
    ASSERT_TRUE(StepLetter(key + 4));
    EXPECT_EQ(static_cast<unsigned char>(key[4]), 0xFF);
    EXPECT_FALSE(StepLetter(key + 4));
    EXPECT_EQ(static_cast<unsigned char>(key[4]), 0xFF);
}

TEST(BoundedText, CutsAtTheBufferEndAndSaysSo)
{
    char b[8];
    EXPECT_TRUE(CopyText(b, "abc", sizeof b));
    EXPECT_TRUE(AppendText(b, "defg", sizeof b));
    EXPECT_STREQ(b, "abcdefg");
    EXPECT_FALSE(AppendText(b, "h", sizeof b));
    EXPECT_STREQ(b, "abcdefg");
    EXPECT_FALSE(CopyText(b, "0123456789", sizeof b));
    EXPECT_STREQ(b, "0123456");
    char full[4] = {'x', 'y', 'z', 'w'}; // not terminated: nothing appended
    EXPECT_FALSE(AppendText(full, "a", sizeof full));
    EXPECT_EQ(full[3], 'w');
}
