// Fuzz target: the stub's LZHUF decoder on arbitrary entry blocks.
//
// Input: one option byte, then the entry block (length field, date, time,
// attributes, nameLength, name, decodedSize, stream). An option byte of
// 0xF0 or more makes the sink refuse its (byte - 0xEF)th block.
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
    // filled with rubbish the decoder must not rely on.
    auto decoder = std::make_unique<LzhufDecoder>();
    std::memset(decoder.get(), fill, sizeof(LzhufDecoder));
    return Decode(decoder.get(), block, size, Take, sink);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
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
