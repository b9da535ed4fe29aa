// Fuzz target: the stub's LZHUF decoder on arbitrary entry blocks, and on
// streams crafted so that the tree goes through states random bytes seldom
// reach.
//
// Input: one option byte, then the entry block (length field, date, time,
// attributes, nameLength, name, decodedSize, stream). An option byte of
// 0xF0 or more makes the sink refuse its (byte - 0xEF)th block.
//
// An option byte from 0xE0 to 0xEF makes the rest a script for the test
// crafter instead (crafted_script.h; its generator starts from the option
// byte): literals, matches, filler, and rebuilds of the tree made by a leaf
// at node 0, the last leaf, inside a run of equal frequencies or anywhere.
// The crafted stream must decode with LzhufOk to exactly the bytes the
// crafter meant, and end where its last bit is.
//
// What must hold for every block:
//   - no sanitizer report, no hang;
//   - the sink gets blocks of exactly 4,095 bytes and then at most one
//     shorter final block, nothing after a refusal;
//   - the output never exceeds decodedSize, nor 60 bytes per stream bit
//     (the two bytes of look-ahead counted) plus one window;
//   - LzhufOk means exactly decodedSize bytes and a final block;
//     LzhufBadHeader exactly when the block is shorter than its header;
//     LzhufSinkFailed exactly when the sink refused;
//   - the result and the bytes do not depend on what the caller's state
//     held before (the decoder sets up everything it reads).
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "crafted_script.h"
#include "fuzz_check.h"
#include "lzhuf.h"

namespace {

struct Sink {
    std::uint64_t limit = 0; // decodedSize
    std::uint64_t bound = 0; // what the stream's bits can give at most
    unsigned refuseAt = 0;   // 1-based number of the block to refuse; 0 never
    std::uint64_t total = 0;
    unsigned calls = 0;
    bool refused = false;
    bool finished = false;   // a short block came; it must be the last
    std::uint64_t hash = 1469598103934665603ull;
};

int Take(void* context, const unsigned char* data, unsigned long size)
{
    auto* sink = static_cast<Sink*>(context);
    FUZZ_CHECK(!sink->refused);
    FUZZ_CHECK(!sink->finished);
    FUZZ_CHECK(size <= LZHUF_WRITE_BLOCK);
    FUZZ_CHECK(size == 0 || data != nullptr);
    ++sink->calls;
    if (size < LZHUF_WRITE_BLOCK) sink->finished = true;
    sink->total += size;
    FUZZ_CHECK(sink->total <= sink->limit);
    FUZZ_CHECK(sink->total <= sink->bound);
    for (unsigned long i = 0; i < size; ++i)
        sink->hash = (sink->hash ^ data[i]) * 1099511628211ull;
    if (sink->calls == sink->refuseAt) {
        sink->refused = true;
        return 0;
    }
    return 1;
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

int Run(const std::uint8_t* block, std::size_t size, unsigned char fill,
        Sink* sink)
{
    // A fresh heap object per run, so that the sanitizer sees its bounds;
    // filled with rubbish the decoder must not rely on, all but `source`,
    // which the caller sets (none: the block comes whole).
    auto decoder = std::make_unique<LzhufDecoder>();
    std::memset(decoder.get(), fill, sizeof(LzhufDecoder));
    decoder->source = nullptr;
    return Decode(decoder.get(), block, size, Take, sink);
}

// Compares what the decoder gives with what a crafted stream stands for.
struct Expected {
    const std::vector<std::uint8_t>* bytes;
    std::size_t taken = 0;
    bool finished = false;
};

int Compare(void* context, const unsigned char* data, unsigned long size)
{
    auto* expected = static_cast<Expected*>(context);
    FUZZ_CHECK(!expected->finished);
    FUZZ_CHECK(size <= LZHUF_WRITE_BLOCK);
    if (size < LZHUF_WRITE_BLOCK) expected->finished = true;
    FUZZ_CHECK(size <= expected->bytes->size() - expected->taken);
    FUZZ_CHECK(size == 0 ||
               std::memcmp(data, expected->bytes->data() + expected->taken, size) == 0);
    expected->taken += size;
    return 1;
}

void CheckCrafted(unsigned option, const std::uint8_t* script, std::size_t size)
{
    const CraftedStream crafted = CraftFromScript(option, script, size);
    std::vector<std::uint8_t> block(14, 0);
    const std::size_t textsize = crafted.expected.size();
    for (int i = 0; i < 4; i++) block[10 + i] = static_cast<std::uint8_t>(textsize >> (8 * i));
    block.insert(block.end(), crafted.stream.begin(), crafted.stream.end());
    Expected expected{&crafted.expected};
    auto decoder = std::make_unique<LzhufDecoder>();
    std::memset(decoder.get(), 0x5A, sizeof(LzhufDecoder));
    decoder->source = nullptr;
    FUZZ_CHECK(Decode(decoder.get(), block.data(), block.size(), Compare, &expected) == LzhufOk);
    FUZZ_CHECK(expected.taken == textsize);
    FUZZ_CHECK(expected.finished);
    FUZZ_CHECK(decoder->streamEnd == block.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    if (data[0] >= 0xE0 && data[0] < 0xF0) {
        CheckCrafted(data[0], data + 1, size - 1);
        return 0;
    }
    const unsigned refuseAt = data[0] >= 0xF0 ? data[0] - 0xEF : 0;
    const std::uint8_t* block = data + 1;
    const std::size_t blockSize = size - 1;

    const bool headerShort = blockSize < 10 || blockSize < 14u + block[9];
    Sink first, second;
    if (!headerShort) {
        const unsigned nameLength = block[9];
        first.limit = Le32(block + 10 + nameLength);
        const std::uint64_t streamSize = blockSize - 14 - nameLength;
        first.bound = (streamSize + 2) * 8 * LZHUF_F + LZHUF_N;
    }
    first.refuseAt = refuseAt;
    second = first;

    const int result = Run(block, blockSize, 0x00, &first);
    FUZZ_CHECK(result == LzhufOk || result == LzhufBadHeader ||
               result == LzhufDamaged || result == LzhufSinkFailed);
    FUZZ_CHECK((result == LzhufBadHeader) == headerShort);
    if (headerShort) FUZZ_CHECK(first.calls == 0);
    FUZZ_CHECK((result == LzhufSinkFailed) == first.refused);
    if (result == LzhufOk) {
        FUZZ_CHECK(first.total == first.limit);
        FUZZ_CHECK(first.finished);
    }
    if (!headerShort && first.limit == 0 && !first.refused) {
        // Nothing to produce: one write of 0 bytes and success.
        FUZZ_CHECK(result == LzhufOk);
        FUZZ_CHECK(first.calls == 1);
    }

    const int again = Run(block, blockSize, 0xFF, &second);
    FUZZ_CHECK(again == result);
    FUZZ_CHECK(second.total == first.total);
    FUZZ_CHECK(second.calls == first.calls);
    FUZZ_CHECK(second.hash == first.hash);
    return 0;
}
