// The integrity record's pieces: the CRC-32 the stub and mksetup share, and
// the record and trailer layouts as bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "integrity.h"

namespace {

unsigned long Crc(const std::vector<unsigned char>& bytes)
{
    unsigned long table[CRC32_TABLE_SIZE];
    Crc32MakeTable(table);
    return Crc32Update(table, 0, bytes.data(), bytes.size());
}

// The plain bit-at-a-time CRC-32, the yardstick of the four-byte method.
unsigned long PlainCrc(const unsigned char* data, size_t size, unsigned long crc = 0)
{
    crc = ~crc & 0xFFFFFFFFul;
    while (size--) {
        crc ^= *data++;
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? 0xEDB88320ul ^ (crc >> 1) : crc >> 1;
    }
    return ~crc & 0xFFFFFFFFul;
}

TEST(Crc32, MatchesTheZlibCheckValues)
{
    std::vector<unsigned char> digits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc(digits), 0xCBF43926ul);
    EXPECT_EQ(Crc({}), 0ul);
    EXPECT_EQ(Crc({0}), 0xD202EF8Dul);
    EXPECT_EQ(Crc(std::vector<unsigned char>(32, 0xFF)), 0xFF6CAB0Bul);
}

// Every start alignment, every length around the four-byte steps, and
// pieces of every size: equal to the bit-at-a-time CRC.
TEST(Crc32, FourBytesAStepEqualsThePlainMethod)
{
    unsigned long table[CRC32_TABLE_SIZE];
    Crc32MakeTable(table);
    std::vector<unsigned char> data(4096 + 16);
    unsigned state = 12345;
    for (auto& b : data) {
        state = state * 1103515245u + 12345u;
        b = static_cast<unsigned char>(state >> 16);
    }
    for (size_t start = 0; start < 8; ++start)
        for (size_t size = 0; size < 40; ++size)
            ASSERT_EQ(Crc32Update(table, 0, data.data() + start, size),
                      PlainCrc(data.data() + start, size)) << start << " " << size;
    for (size_t piece = 1; piece < 12; ++piece) {
        unsigned long crc = 0;
        for (size_t at = 0; at < 4096; at += piece)
            crc = Crc32Update(table, crc, data.data() + at, std::min(piece, 4096 - at));
        ASSERT_EQ(crc, PlainCrc(data.data(), 4096)) << piece;
    }
    std::vector<unsigned char> ones(1000, 0xFF);
    EXPECT_EQ(Crc32Update(table, 0, ones.data(), ones.size()), PlainCrc(ones.data(), ones.size()));
}

TEST(Crc32, ContinuesAcrossPieces)
{
    unsigned long table[CRC32_TABLE_SIZE];
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

// --- mksetup's seal, as the setup program will check it ---------------

#include "archive.h"
#include "mksetup_support.h"
#include "seal.h"

namespace {

std::vector<std::uint8_t> SealedProgram(int files = 3)
{
    std::vector<std::uint8_t> program = MakeStub();
    for (int i = 0; i < files; ++i) {
        archive::EntrySpec wanted;
        wanted.name = "file" + std::to_string(i) + ".txt";
        wanted.data.assign(1000 + 100 * i, static_cast<std::uint8_t>('a' + i));
        std::vector<std::uint8_t> entry = archive::MakeEntry(wanted);
        program.insert(program.end(), entry.begin(), entry.end());
    }
    archive::Seal(program);
    return program;
}

TEST(Seal, WritesTheTrailerAndARecordThatCheckSound)
{
    std::vector<std::uint8_t> program = SealedProgram();
    archive::SealStatus seal = archive::CheckSeal(program);
    EXPECT_EQ(seal.kind, archive::SealStatus::Sound) << seal.problem;
    EXPECT_EQ(seal.archiveEnd, program.size() - archive::kRecordSize);
    EXPECT_EQ(seal.entryCount, 3u);
    EXPECT_EQ(seal.bytesBehind, 0u);
    unsigned long length = 0;
    ASSERT_TRUE(ReadStubTrailer(program.data() + STUB_TRAILER_OFFSET, &length));
    EXPECT_EQ(length, program.size() - archive::kRecordSize - 38914);
    // A walker of the plain entry chain steps over the record exactly.
    std::string error;
    std::vector<archive::EntryInfo> entries =
        archive::ListEntries(std::span(program).first(seal.archiveEnd), &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(entries.size(), 3u);
}

TEST(Seal, DataBehindTheRecordIsNotPartOfTheArchive)
{
    std::vector<std::uint8_t> program = SealedProgram();
    std::size_t sealed = program.size();
    program.insert(program.end(), {'W', 'Y', '1', 0, 30, 0, 0, 0});
    program.resize(program.size() + 100, 0x5A);
    archive::SealStatus seal = archive::CheckSeal(program);
    EXPECT_EQ(seal.kind, archive::SealStatus::Sound) << seal.problem;
    EXPECT_EQ(seal.archiveEnd, sealed - archive::kRecordSize);
    EXPECT_EQ(seal.bytesBehind, 108u);
}

TEST(Seal, EveryCutAndFlipIsDamage)
{
    const std::vector<std::uint8_t> sound = SealedProgram();
    // Cut anywhere from the stub's end to the last byte.
    for (std::size_t size : {sound.size() - 1, sound.size() - 20, sound.size() - 21,
                             std::size_t{38914} + (sound.size() - 38914) / 2,
                             std::size_t{38914}}) {
        std::vector<std::uint8_t> cut(sound.begin(), sound.begin() + size);
        archive::SealStatus seal = archive::CheckSeal(cut);
        EXPECT_EQ(seal.kind, archive::SealStatus::Damaged) << size;
        EXPECT_NE(seal.problem.find("truncated"), std::string::npos) << seal.problem;
    }
    // Every bit of the archive and of the record's fields counts.
    for (std::size_t at = 38914; at < sound.size(); at += 97) {
        std::vector<std::uint8_t> flipped = sound;
        flipped[at] ^= 0x01;
        EXPECT_EQ(archive::CheckSeal(flipped).kind, archive::SealStatus::Damaged) << at;
    }
    std::vector<std::uint8_t> count = sound;
    count[count.size() - 4] ^= 0x01;
    EXPECT_NE(archive::CheckSeal(count).problem.find("counts"), std::string::npos);
}

TEST(Seal, WithoutATrailerTheChainIsReadToTheEnd)
{
    std::vector<std::uint8_t> program = SealedProgram();
    program.erase(program.end() - archive::kRecordSize, program.end());
    std::fill(program.begin() + STUB_TRAILER_OFFSET,
              program.begin() + STUB_TRAILER_OFFSET + STUB_TRAILER_SIZE, 0);
    archive::SealStatus seal = archive::CheckSeal(program);
    EXPECT_EQ(seal.kind, archive::SealStatus::Unsealed);
    EXPECT_EQ(seal.archiveEnd, program.size());
}

TEST(Seal, RefusesAChainThatDoesNotEndAtTheEnd)
{
    std::vector<std::uint8_t> program = MakeStub();
    program.resize(program.size() + 10, 1);
    EXPECT_THROW(archive::Seal(program), std::invalid_argument);
}

} // namespace
