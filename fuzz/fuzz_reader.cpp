// Fuzz target: mksetup's reader and its encoder.
//
// The first input byte chooses what the rest is (its value modulo 4):
//   0  the archive part of a setup program: it is put behind a stand-in
//      stub ("MZ", zero bytes up to 38,912 and CR LF) and the chain is
//      listed, every entry decoded and its stream end checked;
//   1  a whole file, as `mksetup list` would read it (short files, files
//      cut inside the stub);
//   2  data for a round trip: the next byte picks the level, the rest is
//      encoded, decoded again by the stub's decoder and by mksetup's
//      reader, and must come back unchanged;
//   3  as 0, but through the commands themselves: list, verify and extract
//      on a file in a scratch directory; the extraction must write nothing
//      outside its target directory, and succeeds only when every entry
//      decodes.
// In 0 and 1 every entry is also read as verify and extract read it, LZMA
// entries through their streams: each entry is told once, sound with its
// decodedSize or damaged with a reason.
// No crash, no sanitizer report, no exception other than the tool's own
// errors, and the listing must describe a chain that lies within the file.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "archive.h"
#include "commands.h"
#include "entry_format.h"
#include "fuzz_check.h"
#include "lzhuf.h"
#include "lzhuf_encoder.h"
#include "payload_reader.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::uint8_t>& StandInStub()
{
    static const std::vector<std::uint8_t> stub = [] {
        std::vector<std::uint8_t> bytes(ARCHIVE_START, 0);
        // The commands refuse a file that does not begin like a Windows program.
        bytes[0] = 'M';
        bytes[1] = 'Z';
        bytes[STUB_IMAGE_SIZE] = '\r';
        bytes[STUB_IMAGE_SIZE + 1] = '\n';
        return bytes;
    }();
    return stub;
}

std::vector<std::uint8_t> BehindStub(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> program = StandInStub();
    program.insert(program.end(), data, data + size);
    return program;
}

std::uint64_t OutputBound(const archive::EntryInfo& entry)
{
    return (std::uint64_t{entry.streamSize} + 2) * 8 * LZHUF_F + LZHUF_N;
}

void CheckChain(const std::vector<std::uint8_t>& program)
{
    std::string error;
    const std::vector<archive::EntryInfo> entries = archive::ListEntries(program, &error);
    if (program.size() < ARCHIVE_START) {
        FUZZ_CHECK(entries.empty());
        FUZZ_CHECK(!error.empty());
        return;
    }
    std::uint64_t offset = ARCHIVE_START;
    for (const archive::EntryInfo& entry : entries) {
        FUZZ_CHECK(entry.offset == offset);
        FUZZ_CHECK(entry.entryLength >= ENTRY_FIXED_SIZE);
        FUZZ_CHECK(offset + entry.entryLength <= program.size());
        FUZZ_CHECK(entry.name.size() <= 255);
        FUZZ_CHECK(entry.name.size() == program[offset + 13]);
        FUZZ_CHECK(ENTRY_FIXED_SIZE + entry.name.size() + entry.streamSize ==
                   entry.entryLength);
        offset += entry.entryLength;
    }
    // Without an error the chain ends exactly at the end of the file; with
    // one, it stopped at an entry that begins before the end.
    if (error.empty())
        FUZZ_CHECK(offset == program.size());
    else
        FUZZ_CHECK(offset < program.size());

    for (const archive::EntryInfo& entry : entries) {
        std::string reason;
        std::optional<std::vector<std::uint8_t>> bytes =
            archive::DecodeEntry(program, entry, &reason);
        if (bytes) {
            FUZZ_CHECK(bytes->size() == entry.decodedSize);
            FUZZ_CHECK(bytes->size() <= OutputBound(entry));
            FUZZ_CHECK(reason.empty());
        } else {
            FUZZ_CHECK(!reason.empty());
        }
    }

    // Both methods as verify and extract read them: one call per entry, in
    // order within each callback, no more bytes than the entry can hold
    // (for LZMA 7,090 per byte of its stream part).
    std::vector<int> told(entries.size());
    std::size_t nextSound = 0, nextDamaged = 0;
    mksetup::DecodeEntries(
        program, entries,
        [&](std::size_t i, std::span<const std::uint8_t> bytes) {
            FUZZ_CHECK(i < entries.size() && i >= nextSound);
            nextSound = i + 1;
            told[i]++;
            FUZZ_CHECK(bytes.size() == entries[i].decodedSize);
            FUZZ_CHECK(bytes.size() <= (entries[i].method == archive::Method::Lzhuf
                                            ? OutputBound(entries[i])
                                            : std::uint64_t{entries[i].streamSize} * 7090));
        },
        [&](std::size_t i, const std::string& reason) {
            FUZZ_CHECK(i < entries.size() && i >= nextDamaged);
            nextDamaged = i + 1;
            told[i]++;
            FUZZ_CHECK(!reason.empty());
        });
    for (int count : told) FUZZ_CHECK(count == 1);

    // An entry description that did not come from the listing: the reader
    // must refuse what lies outside the file rather than read there.
    if (program.size() >= ARCHIVE_START + 8) {
        archive::EntryInfo forged;
        const std::uint8_t* p = program.data() + ARCHIVE_START;
        forged.offset = static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) +
                        ARCHIVE_START - 0x8000;
        forged.entryLength = static_cast<std::uint32_t>(p[3] | p[4] << 8 | p[5] << 16);
        forged.decodedSize = static_cast<std::uint32_t>(p[6] | p[7] << 8);
        std::string reason;
        (void)archive::DecodeEntry(program, forged, &reason);
    }
}

struct Collector {
    std::vector<std::uint8_t> bytes;
};

int Collect(void* context, const unsigned char* data, unsigned long size)
{
    auto* collector = static_cast<Collector*>(context);
    collector->bytes.insert(collector->bytes.end(), data, data + size);
    return 1;
}

void PutLe32(std::vector<std::uint8_t>& out, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void CheckRoundTrip(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return;
    const int level = data[0] % 9 + 1;
    const std::vector<std::uint8_t> input(data + 1, data + size);
    const std::vector<std::uint8_t> stream = lzhuf::Encode(input, level);

    // The stub's decoder on an entry block with an empty name.
    std::vector<std::uint8_t> block(ENTRY_BLOCK_FIXED + stream.size(), 0);
    PutLe32(block, 0, static_cast<std::uint32_t>(block.size() + 4));
    PutLe32(block, 10, static_cast<std::uint32_t>(input.size()));
    std::copy(stream.begin(), stream.end(), block.begin() + ENTRY_BLOCK_FIXED);
    Collector collector;
    auto decoder = std::make_unique<LzhufDecoder>();
    FUZZ_CHECK(Decode(decoder.get(), block.data(), block.size(), Collect, &collector) ==
               LzhufOk);
    FUZZ_CHECK(collector.bytes == input);
    // The stream ends in the byte of its last bit.
    FUZZ_CHECK(decoder->streamEnd == block.size());

    // The same through a whole entry and mksetup's reader, which checks
    // for streams that end early: a sound stream must pass.
    archive::EntrySpec wanted;
    wanted.name = "data.bin";
    wanted.data = input;
    const std::vector<std::uint8_t> entry = archive::MakeEntry(wanted, level);
    FUZZ_CHECK(entry.size() == ENTRY_FIXED_SIZE + wanted.name.size() + stream.size());
    FUZZ_CHECK(std::equal(stream.begin(), stream.end(),
                          entry.begin() + ENTRY_FIXED_SIZE + wanted.name.size()));
    std::vector<std::uint8_t> program = BehindStub(entry.data(), entry.size());
    std::string error;
    const std::vector<archive::EntryInfo> entries = archive::ListEntries(program, &error);
    FUZZ_CHECK(error.empty());
    FUZZ_CHECK(entries.size() == 1);
    std::optional<std::vector<std::uint8_t>> decoded =
        archive::DecodeEntry(program, entries[0], &error);
    FUZZ_CHECK(decoded.has_value());
    FUZZ_CHECK(*decoded == input);
}

const fs::path& Scratch()
{
    // Made once per process and removed at its exit; kept on the heap so
    // that it outlives every static destructor.
    static const fs::path* directory = [] {
        std::string pattern = (fs::temp_directory_path() / "fuzz_reader.XXXXXX").string();
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        auto* path = new fs::path(pattern);
        std::atexit([] { std::error_code ignored; fs::remove_all(Scratch(), ignored); });
        return path;
    }();
    return *directory;
}

void CheckCommands(const std::vector<std::uint8_t>& program)
{
    const fs::path setup = Scratch() / "setup.exe";
    const fs::path target = Scratch() / "out";
    {
        std::ofstream file(setup, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(program.data()),
                   static_cast<std::streamsize>(program.size()));
        FUZZ_CHECK(file.good());
    }
    std::ostringstream out, errors;
    // mksetup reports every std::exception as an error of its own.
    try { mksetup::ListSetup(setup, out); } catch (const std::exception&) {}
    try { mksetup::VerifySetup(setup, out, errors); } catch (const std::exception&) {}
    fs::create_directory(target);
    bool extracted = false;
    try { extracted = mksetup::ExtractSetup(setup, target, out) == 0; } catch (const std::exception&) {}

    // An extraction that succeeds has met no entry the reader calls damaged.
    if (extracted) {
        std::string error;
        const std::vector<archive::EntryInfo> entries = archive::ListEntries(program, &error);
        mksetup::DecodeEntries(
            program, entries, [](std::size_t, std::span<const std::uint8_t>) {},
            [](std::size_t, const std::string&) { FUZZ_CHECK(false); });
    }

    // Nothing but the setup program and the target directory's contents.
    for (auto it = fs::recursive_directory_iterator(Scratch());
         it != fs::recursive_directory_iterator(); ++it) {
        const fs::path& path = it->path();
        FUZZ_CHECK(!it->is_symlink());
        if (path == setup || path == target) continue;
        const fs::path relative = path.lexically_relative(target);
        FUZZ_CHECK(!relative.empty() && *relative.begin() != "..");
    }
    fs::remove_all(target);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const std::uint8_t* rest = data + 1;
    const std::size_t restSize = size - 1;
    switch (data[0] % 4) {
    case 0:
        CheckChain(BehindStub(rest, restSize));
        break;
    case 1:
        CheckChain(std::vector<std::uint8_t>(rest, rest + restSize));
        break;
    case 2:
        CheckRoundTrip(rest, restSize);
        break;
    case 3:
        CheckCommands(BehindStub(rest, restSize));
        break;
    }
    return 0;
}
