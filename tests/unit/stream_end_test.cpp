// A stream that decodes to its stated size from fewer bytes than it holds
// was shortened by damage: mksetup's reader refuses it in the one decode,
// so `verify` reports it and `extract` never writes it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "archive.h"
#include "commands.h"
#include "mksetup_support.h"
#include "stream_check.h"
#include "tool_error.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Noise(std::size_t size, unsigned tag)
{
    std::mt19937 random(tag);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random() % 40);
    return bytes;
}

// An entry whose stream has `pad` bytes of `fill` behind it, the length
// field counting them.
Bytes PaddedEntry(const std::string& name, const Bytes& data, std::size_t pad, std::uint8_t fill)
{
    archive::EntrySpec wanted;
    wanted.name = name;
    wanted.data = data;
    Bytes entry = archive::MakeEntry(wanted);
    entry.resize(entry.size() + pad, fill);
    for (int i = 0; i < 4; ++i) entry[4 + i] = static_cast<std::uint8_t>(entry.size() >> (8 * i));
    return entry;
}

Bytes Program(const std::vector<Bytes>& entries)
{
    Bytes program = MakeStub();
    for (const Bytes& entry : entries) program.insert(program.end(), entry.begin(), entry.end());
    return program;
}

// DecodeEntry's error for the program's only entry; empty when it decodes.
std::string DecodeError(const Bytes& program)
{
    std::string error;
    std::vector<archive::EntryInfo> entries = archive::ListEntries(program, &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(entries.size(), 1u);
    if (entries.size() != 1) return "no entry";
    return archive::DecodeEntry(program, entries[0], &error) ? "" : error;
}

const char kUnusedTail[] = "compressed data is damaged (the file ends before its stream does)";

} // namespace

TEST(StreamEnd, BytesNoSymbolUsedBehindTheStreamAreDamage)
{
    // The last symbol of a sound stream ends in its last byte; up to
    // kTailProbe - 1 bytes behind it pass (other encoders may flush more),
    // kTailProbe and more are what a damaged bit that shortens the code
    // leaves behind.
    for (Bytes data : {Noise(3000, 6), Bytes{'a'}}) {
        SCOPED_TRACE(data.size());
        EXPECT_EQ(DecodeError(Program({PaddedEntry("pad.txt", data, 0, 0x55)})), "");
        EXPECT_EQ(DecodeError(Program({PaddedEntry("pad.txt", data, archive::kTailProbe - 1, 0x55)})), "");
        EXPECT_EQ(DecodeError(Program({PaddedEntry("pad.txt", data, archive::kTailProbe, 0x55)})),
                  kUnusedTail);
        EXPECT_EQ(DecodeError(Program({PaddedEntry("pad.txt", data, 100, 0x55)})), kUnusedTail);
        // A tail of zero bytes gives no verdict.
        EXPECT_EQ(DecodeError(Program({PaddedEntry("pad.txt", data, 100, 0)})), "");
    }
    // An empty file has an empty stream: kTailProbe bytes are too few to
    // tell, one more is a tail no symbol used.
    EXPECT_EQ(DecodeError(Program({PaddedEntry("pad.txt", {}, archive::kTailProbe, 0x55)})), "");
    EXPECT_EQ(DecodeError(Program({PaddedEntry("pad.txt", {}, archive::kTailProbe + 1, 0x55)})),
              kUnusedTail);
}

TEST(StreamEnd, CheckedFromTheDecodersAccount)
{
    // 14 header bytes, a name of 3, a stream of 10: its last 4 bytes are
    // 23 to 26.
    Bytes block(27, 0x11);
    block[9] = 3;
    EXPECT_FALSE(archive::CheckStreamEnd(block, 27));
    EXPECT_FALSE(archive::CheckStreamEnd(block, 24));
    EXPECT_EQ(archive::CheckStreamEnd(block, 23).value_or(""), kUnusedTail);
    EXPECT_TRUE(archive::CheckStreamEnd(block, 17));
    // Too short a stream to tell.
    block.resize(21);
    EXPECT_FALSE(archive::CheckStreamEnd(block, 17));
}

TEST(StreamEnd, ExtractWritesNoFileThatVerifyCallsDamaged)
{
    std::string pattern = (fs::temp_directory_path() / "stream-end-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    std::string inf = "[Install]\r\nAppName=Pad\r\nFileNum=3\r\n";
    Bytes setupInfo(inf.begin(), inf.end());
    auto write = [&](const std::string& name, const std::vector<Bytes>& entries) {
        Bytes program = Program(entries);
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(program.data()),
                   static_cast<std::streamsize>(program.size()));
        return dir / name;
    };
    auto entries = [&](std::size_t pad) {
        return std::vector<Bytes>{PaddedEntry("Uninstal.inf", setupInfo, 0, 0),
                                  PaddedEntry("License.txt", Noise(500, 1), 0, 0),
                                  PaddedEntry("a.bin", Noise(2000, 2), 0, 0),
                                  PaddedEntry("b.bin", Noise(2000, 3), pad, 0x55),
                                  PaddedEntry("c.bin", Noise(2000, 4), 0, 0)};
    };
    fs::path sound = write("sound.exe", entries(0));
    fs::path padded = write("padded.exe", entries(16));

    std::ostringstream out, errors;
    EXPECT_EQ(mksetup::VerifySetup(sound, out, errors), 0) << errors.str();
    EXPECT_EQ(mksetup::ExtractSetup(sound, dir / "sound", out), 0);
    EXPECT_TRUE(fs::exists(dir / "sound" / "b.bin"));

    errors.str("");
    EXPECT_EQ(mksetup::VerifySetup(padded, out, errors), 1);
    EXPECT_NE(errors.str().find("entry 4 \"b.bin\": " + std::string(kUnusedTail)),
              std::string::npos) << errors.str();
    try {
        mksetup::ExtractSetup(padded, dir / "padded", out);
        ADD_FAILURE() << "extract succeeded";
    } catch (const mksetup::ToolError& error) {
        EXPECT_EQ(error.reason(), "entry 4 \"b.bin\": " + std::string(kUnusedTail));
    }
    EXPECT_FALSE(fs::exists(dir / "padded" / "b.bin"));
    fs::remove_all(dir);
}
