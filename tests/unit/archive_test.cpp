// The archive as mksetup writes and reads it: entries made by MakeEntry come
// back whole through ListEntries and DecodeEntry, and a malformed chain is
// refused with the entry and the reason instead of being read past its end.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "archive.h"
#include "seal.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Stub()
{
    Bytes stub(archive::kArchiveStart, 0);
    stub[archive::kStubImageSize] = '\r';
    stub[archive::kStubImageSize + 1] = '\n';
    return stub;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Noise(std::size_t size, unsigned long tag)
{
    std::mt19937 random(tag);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

archive::EntrySpec Wanted(const std::string& name, Bytes data)
{
    archive::EntrySpec wanted;
    wanted.name = name;
    wanted.data = std::move(data);
    wanted.dosDate = 0x5B87;
    wanted.dosTime = 0x7A2F;
    return wanted;
}

void Append(Bytes& program, const archive::EntrySpec& wanted, int level = 9)
{
    Bytes entry = archive::MakeEntry(wanted, level);
    program.insert(program.end(), entry.begin(), entry.end());
}

void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::string ListError(const Bytes& program, std::size_t* count = nullptr)
{
    std::string error;
    auto entries = archive::ListEntries(program, &error);
    if (count) *count = entries.size();
    return error;
}

} // namespace

TEST(MakeEntry, WritesTheLayoutTheSetupProgramReads)
{
    archive::EntrySpec wanted = Wanted("help\\Guide.txt", Text("Hello, world\r\n"));
    wanted.attributes = 0x21;
    Bytes entry = archive::MakeEntry(wanted);
    ASSERT_GE(entry.size(), 18u + wanted.name.size());
    EXPECT_EQ(Bytes(entry.begin(), entry.begin() + 4), (Bytes{'W', 'Y', '1', 0}));
    std::uint32_t length = entry[4] | entry[5] << 8 | entry[6] << 16 | entry[7] << 24;
    EXPECT_EQ(length, entry.size());
    EXPECT_EQ(entry[8] | entry[9] << 8, 0x5B87);
    EXPECT_EQ(entry[10] | entry[11] << 8, 0x7A2F);
    EXPECT_EQ(entry[12], 0x21);
    EXPECT_EQ(entry[13], wanted.name.size());
    EXPECT_EQ(std::string(entry.begin() + 14, entry.begin() + 14 + wanted.name.size()),
              wanted.name);
    std::size_t at = 14 + wanted.name.size();
    EXPECT_EQ(entry[at] | entry[at + 1] << 8 | entry[at + 2] << 16 | entry[at + 3] << 24,
              14);
}

TEST(MakeEntry, RefusesNamesLongerThan255Bytes)
{
    EXPECT_NO_THROW(archive::MakeEntry(Wanted(std::string(255, 'a'), {})));
    EXPECT_THROW(archive::MakeEntry(Wanted(std::string(256, 'a'), {})), std::length_error);
}

TEST(ArchiveRoundTrip, EveryEntryComesBackWithItsFields)
{
    // Sizes around the decoder's 4,095-byte write blocks, empty data,
    // repetitive and incompressible data, and every compression level.
    std::vector<archive::EntrySpec> inputs = {
        Wanted("Uninstal.inf", Text("[Install]\r\nFileNum=6\r\n")),
        Wanted("License.txt", Bytes(4095, 'L')),
        Wanted("empty.dat", {}),
        Wanted("a", Noise(4096, 1)),
        Wanted("sub\\dir\\b.bin", Noise(20000, 2)),
        Wanted("c.txt", Bytes(70000, ' ')),
        Wanted(std::string(255, 'n'), Noise(1, 3)),
        Wanted("d", Noise(8191, 4)),
    };
    inputs[3].attributes = 0x27;
    Bytes program = Stub();
    for (std::size_t i = 0; i < inputs.size(); ++i)
        Append(program, inputs[i], static_cast<int>(1 + i % 9));

    std::string error;
    auto entries = archive::ListEntries(program, &error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(entries.size(), inputs.size());
    std::uint32_t offset = archive::kArchiveStart;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(inputs[i].name);
        EXPECT_EQ(entries[i].offset, offset);
        offset += entries[i].entryLength;
        EXPECT_EQ(entries[i].name, inputs[i].name);
        EXPECT_EQ(entries[i].decodedSize, inputs[i].data.size());
        EXPECT_EQ(entries[i].dosDate, inputs[i].dosDate);
        EXPECT_EQ(entries[i].dosTime, inputs[i].dosTime);
        EXPECT_EQ(entries[i].attributes, inputs[i].attributes);
        EXPECT_EQ(entries[i].streamSize, entries[i].entryLength - 18 - inputs[i].name.size());
        auto data = archive::DecodeEntry(program, entries[i], &error);
        ASSERT_TRUE(data) << error;
        EXPECT_EQ(*data, inputs[i].data);
    }
    EXPECT_EQ(offset, program.size());
}

TEST(ArchiveRoundTrip, SameInputSameBytes)
{
    archive::EntrySpec wanted = Wanted("x.bin", Noise(30000, 9));
    EXPECT_EQ(archive::MakeEntry(wanted), archive::MakeEntry(wanted));
}

TEST(ListEntries, ProgramOfStubAloneHasNoEntries)
{
    std::size_t count = 99;
    EXPECT_EQ(ListError(Stub(), &count), "");
    EXPECT_EQ(count, 0u);
    EXPECT_NE(ListError(Bytes(archive::kArchiveStart - 1, 0)), "");
    EXPECT_NE(ListError(Bytes()), "");
}

TEST(ListEntries, WalksOffsetsAndLengthsUpTo4GiB)
{
    // A program of 4 GiB - 1 bytes, sparse and mapped, so that only the
    // headers are ever touched: an entry of 2 GiB, past which the 32-bit
    // offsets turn negative if taken as signed, and one that ends on the
    // file's last byte.
    std::string path = (std::filesystem::temp_directory_path() / "big-XXXXXX").string();
    int fd = ::mkstemp(path.data());
    ASSERT_GE(fd, 0);
    ::unlink(path.c_str());
    const std::uint64_t size = 0xFFFFFFFFu;
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    const std::uint32_t first = 0x80000000u;
    const std::uint32_t second = static_cast<std::uint32_t>(size - archive::kArchiveStart - first);
    auto put = [&](std::uint64_t at, const Bytes& bytes) {
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)),
                  static_cast<ssize_t>(bytes.size()));
    };
    put(archive::kStubImageSize, Text("\r\n"));
    for (auto [at, length, name] : {std::tuple{std::uint64_t{archive::kArchiveStart}, first, "one"},
                                    std::tuple{std::uint64_t{archive::kArchiveStart} + first, second,
                                               "two"}}) {
        Bytes header = Text("WY1");
        header.resize(18 + 3, 0);
        PutLe32(header, 4, length);
        header[13] = 3;
        std::copy(name, name + 3, header.begin() + 14);
        PutLe32(header, 17, length - 21);
        put(at, header);
    }
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ASSERT_NE(map, MAP_FAILED);
    std::span<const std::uint8_t> program(static_cast<const std::uint8_t*>(map), size);
    std::string error;
    std::vector<archive::EntryInfo> entries = archive::ListEntries(program, &error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].offset, archive::kArchiveStart + first);
    EXPECT_EQ(entries[1].entryLength, second);
    EXPECT_EQ(entries[1].name, "two");
    EXPECT_EQ(entries[1].decodedSize, second - 21);
    EXPECT_EQ(archive::CheckSeal(program).kind, archive::SealStatus::Unsealed);
    // One byte more than the chain holds is no setup program's.
    std::span<const std::uint8_t> cut = program.first(size - 1);
    archive::ListEntries(cut, &error);
    EXPECT_NE(error.find("entry 2 \"two\" (offset 2147522562): truncated"), std::string::npos)
        << error;
    ::munmap(map, size);
    ::close(fd);
}

TEST(ListEntries, RefusesMalformedChainsNamingTheEntry)
{
    Bytes good = Stub();
    Append(good, Wanted("one", Text("first")));
    std::size_t second = good.size();
    Append(good, Wanted("two", Text("second entry")));

    struct Case {
        const char* what;
        std::uint32_t length;
        const char* expected;
    } cases[] = {
        {"length 0", 0, "entry 2 (offset "},
        {"length below the header", 17, "smaller than the 18-byte header"},
        {"length past the end", 1000, "runs past the end of the file"},
        {"length wrapping the offset", 0xFFFFFFF0u, "runs past the end of the file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bad = good;
        PutLe32(bad, second + 4, c.length);
        std::size_t count = 0;
        std::string error = ListError(bad, &count);
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_EQ(count, 1u); // the good first entry is still listed
    }
    Bytes zero = good;
    PutLe32(zero, second + 4, 0);
    EXPECT_NE(ListError(zero).find("entry length is 0"), std::string::npos);
}

TEST(ListEntries, RefusesHeadersCutOffByTheEnd)
{
    Bytes good = Stub();
    Append(good, Wanted("name.txt", Text("data")));
    // Every cut inside the entry is refused, never read past.
    for (std::size_t cut = 1; cut < good.size() - archive::kArchiveStart; ++cut) {
        Bytes bad(good.begin(), good.end() - static_cast<std::ptrdiff_t>(cut));
        EXPECT_NE(ListError(bad), "") << "cut " << cut;
    }
    // An entry whose name runs past its own end, with the length consistent.
    Bytes longName = Stub();
    Append(longName, Wanted("", {}));
    longName[archive::kArchiveStart + 13] = 200;
    EXPECT_NE(ListError(longName).find("runs past the end of the entry"), std::string::npos);
}

TEST(ListEntries, NamesTheEntryOfATruncatedFile)
{
    Bytes program = Stub();
    Append(program, Wanted("one", Text("first")));
    const std::size_t second = program.size();
    const std::string offset = "(offset " + std::to_string(second) + ")";
    Append(program, Wanted("help\\Guide.txt", Noise(3000, 5)));
    program.resize(program.size() - 10);
    std::string error = ListError(program);
    EXPECT_NE(error.find("entry 2 \"help\\Guide.txt\" " + offset + ": truncated: entry length "),
              std::string::npos)
        << error;
    // Cut inside the name: the entry is named by number and offset only.
    program.resize(second + 20);
    EXPECT_NE(ListError(program).find("entry 2 " + offset + ": truncated"), std::string::npos);
    program.resize(second + 5);
    EXPECT_NE(ListError(program).find("entry 2 " + offset + ": truncated: the file ends inside"),
              std::string::npos);
}

TEST(ListEntries, OtherMagicIsReadLikeAnyOther)
{
    Bytes program = Stub();
    Append(program, Wanted("m", Text("magic")));
    program[archive::kArchiveStart] = 'X';
    std::size_t count = 0;
    EXPECT_EQ(ListError(program, &count), "");
    EXPECT_EQ(count, 1u);
}

TEST(DecodeEntry, ReportsDamageInsteadOfWrongData)
{
    Bytes program = Stub();
    Append(program, Wanted("big.bin", Noise(5000, 5)));
    std::string error;
    auto entries = archive::ListEntries(program, &error);
    ASSERT_EQ(entries.size(), 1u);

    // A decodedSize far beyond what the stream holds: no huge allocation,
    // an error instead.
    Bytes inflated = program;
    PutLe32(inflated, archive::kArchiveStart + 14 + 7, 0xFFFFFFF0u);
    auto infos = archive::ListEntries(inflated, &error);
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_FALSE(archive::DecodeEntry(inflated, infos[0], &error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;

    // A stream cut short, the length field following the cut.
    Bytes cut(program.begin(), program.end() - 100);
    PutLe32(cut, archive::kArchiveStart + 4, entries[0].entryLength - 100);
    infos = archive::ListEntries(cut, &error);
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_FALSE(archive::DecodeEntry(cut, infos[0], &error));

    // Information that does not fit the program is refused, not followed.
    archive::EntryInfo stale = entries[0];
    stale.entryLength += 1;
    EXPECT_FALSE(archive::DecodeEntry(program, stale, &error));
    stale.offset = 0xFFFFFFF0u;
    EXPECT_FALSE(archive::DecodeEntry(program, stale, &error));
}
