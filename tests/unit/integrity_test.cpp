// The integrity record's pieces: the CRC-32 the stub and mksetup share, and
// the record and trailer layouts as bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "integrity.h"

namespace {

unsigned long Crc(const std::vector<unsigned char>& bytes)
{
    unsigned long table[256];
    Crc32MakeTable(table);
    return Crc32Update(table, 0, bytes.data(), bytes.size());
}

TEST(Crc32, MatchesTheZlibCheckValues)
{
    std::vector<unsigned char> digits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc(digits), 0xCBF43926ul);
    EXPECT_EQ(Crc({}), 0ul);
    EXPECT_EQ(Crc({0}), 0xD202EF8Dul);
    EXPECT_EQ(Crc(std::vector<unsigned char>(32, 0xFF)), 0xFF6CAB0Bul);
}

TEST(Crc32, ContinuesAcrossPieces)
{
    unsigned long table[256];
    Crc32MakeTable(table);
    std::vector<unsigned char> data(100000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 + i / 251);
    unsigned long whole = Crc32Update(table, 0, data.data(), data.size());
    unsigned long crc = 0;
    for (size_t at = 0; at < data.size(); at += 16384)
        crc = Crc32Update(table, crc, data.data() + at,
                          std::min<size_t>(16384, data.size() - at));
    EXPECT_EQ(crc, whole);
    data[54321] ^= 0x10; // one bit
    EXPECT_NE(Crc32Update(table, 0, data.data(), data.size()), whole);
}

TEST(IntegrityRecord, LaysOutItsFieldsLittleEndian)
{
    unsigned char bytes[INTEGRITY_RECORD_SIZE];
    MakeIntegrityRecord(bytes, IntegrityRecord{0x01020304, 0xCBF43926, 7});
    const unsigned char expected[INTEGRITY_RECORD_SIZE] = {
        'W', 'Y', 'C', 0,  20, 0, 0, 0,  4, 3, 2, 1,
        0x26, 0x39, 0xF4, 0xCB,  7, 0, 0, 0};
    EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);
    IntegrityRecord back{};
    ASSERT_TRUE(ReadIntegrityRecord(bytes, &back));
    EXPECT_EQ(back.archiveLength, 0x01020304ul);
    EXPECT_EQ(back.crc, 0xCBF43926ul);
    EXPECT_EQ(back.entryCount, 7ul);
}

TEST(IntegrityRecord, AnEntryOrOtherBytesAreNoRecord)
{
    unsigned char bytes[INTEGRITY_RECORD_SIZE] = {'W', 'Y', '1', 0, 20};
    IntegrityRecord record;
    EXPECT_FALSE(ReadIntegrityRecord(bytes, &record)); // an entry's magic
    MakeIntegrityRecord(bytes, IntegrityRecord{1, 2, 3});
    bytes[4] = 21; // a record of another length
    EXPECT_FALSE(ReadIntegrityRecord(bytes, &record));
}

TEST(StubTrailer, ZeroPaddingIsNoTrailer)
{
    unsigned char trailer[STUB_TRAILER_SIZE] = {};
    unsigned long length = 99;
    EXPECT_FALSE(ReadStubTrailer(trailer, &length));
    EXPECT_EQ(length, 99ul);
    MakeStubTrailer(trailer, 123456);
    ASSERT_TRUE(ReadStubTrailer(trailer, &length));
    EXPECT_EQ(length, 123456ul);
    EXPECT_EQ(STUB_TRAILER_OFFSET + STUB_TRAILER_SIZE + 2, 38914);
}

} // namespace
