// The stub's decoder against the plain 1988 decoder on streams of random
// bytes: any byte string is a stream, so these drive every path of the bit
// reader (word refills, the last bytes, zeros past the end), the climb
// along the way down and along prnt, and the rebuild at 0x8000. Where ours
// reports a sound stream the two outputs must be equal; where it reports
// damage its output must be the start of what the plain decoder makes.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "baseline_lzhuf.h"
#include "lzhuf.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

int Collect(void* context, const unsigned char* data, unsigned long size)
{
    auto* out = static_cast<Bytes*>(context);
    out->insert(out->end(), data, data + size);
    return 1;
}

int Ours(const Bytes& stream, std::uint32_t size, Bytes& out)
{
    Bytes block(14, 0);
    for (int i = 0; i < 4; i++) block[10 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    block.insert(block.end(), stream.begin(), stream.end());
    auto decoder = std::make_unique<LzhufDecoder>();
    return Decode(decoder.get(), block.data(), block.size(), Collect, &out);
}

void Compare(const Bytes& stream, std::uint32_t size)
{
    Bytes ours;
    int result = Ours(stream, size, ours);
    Bytes plain = baseline::Decode(stream.data(), stream.size(), size);
    ASSERT_TRUE(result == LzhufOk || result == LzhufDamaged) << result;
    if (result == LzhufOk) {
        ASSERT_EQ(ours.size(), size);
        ASSERT_TRUE(ours == plain);
    } else {
        ASSERT_LE(ours.size(), plain.size());
        ASSERT_TRUE(std::equal(ours.begin(), ours.end(), plain.begin()));
    }
}

TEST(DecoderAgainstPlain, ShortRandomStreamsOfEveryLength)
{
    std::mt19937 rng(7);
    for (int length = 0; length < 64; length++) {
        for (int round = 0; round < 20; round++) {
            Bytes stream(length);
            for (auto& b : stream) b = static_cast<std::uint8_t>(rng());
            SCOPED_TRACE(length);
            // Sizes a stream of this length can fill, just fill, and not fill.
            Compare(stream, static_cast<std::uint32_t>(rng() % (length * 8 + 2)));
        }
    }
}

TEST(DecoderAgainstPlain, LongStreamsThroughManyRebuilds)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 4; round++) {
        // Skewed bytes make deep trees and many exchanges; uniform ones flat
        // trees with long runs of equal frequencies.
        Bytes stream(60000);
        for (auto& b : stream) b = static_cast<std::uint8_t>(round % 2 ? rng() : rng() % 7 * (rng() % 3));
        Compare(stream, 150000);
        Compare(stream, 0xFFFFFFFFu >> 12);
    }
}

} // namespace
