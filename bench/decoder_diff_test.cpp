// The stub's decoder against the plain 1988 decoder on streams of random
// bytes: any byte string is a stream, so these drive every path of the bit
// reader (word refills, the last bytes, zeros past the end), the climb
// along the way down and along prnt, and the rebuild at 0x8000. Where ours
// reports a sound stream the two outputs must be equal; where it reports
// damage its output must be the start of what the plain decoder makes.
//
// Random bytes meet a rebuild with whatever symbol happens to come, so
// crafted streams make each kind of event coincide with one: the symbol
// that makes the tree rebuild stands at node 0, at the last leaf, inside a
// run of equal frequencies or anywhere, is a literal or a match, at the
// first rebuild, at rebuilds in quick succession and at the thousandth.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "baseline_lzhuf.h"
#include "lzhuf.h"
#include "lzhuf_crafter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

int Collect(void* context, const unsigned char* data, unsigned long size)
{
    auto* out = static_cast<Bytes*>(context);
    out->insert(out->end(), data, data + size);
    return 1;
}

int Ours(const Bytes& stream, std::uint32_t size, Bytes& out, unsigned long* streamEnd = nullptr)
{
    Bytes block(14, 0);
    for (int i = 0; i < 4; i++) block[10 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    block.insert(block.end(), stream.begin(), stream.end());
    auto decoder = std::make_unique<LzhufDecoder>();
    int result = Decode(decoder.get(), block.data(), block.size(), Collect, &out);
    if (streamEnd) *streamEnd = decoder->streamEnd;
    return result;
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

using craft::Filler;
using craft::LeafAt;
using craft::StreamCrafter;

// Fills up to each rebuild and lets the symbol that makes it come from
// `where(rebuild number)`, for `rebuilds` rebuilds, then a little more.
// Returns how many of those symbols were matches.
template <typename Where>
int CraftRebuilds(StreamCrafter& s, Filler kind, unsigned long rebuilds, std::mt19937& rng,
                  Where where)
{
    int matches = 0;
    while (s.Rebuilds() < rebuilds)
        matches += craft::RunToRebuild(s, kind, where(s.Rebuilds() + 1), rng) >= 256;
    for (int i = 0; i < 3000; i++) craft::Fill(s, kind, rng);
    return matches;
}

// Ours against the plain decoder and against what the stream was made of;
// a sound stream ends where its last bit is.
void CompareCrafted(const StreamCrafter& s)
{
    const Bytes& stream = s.Stream();
    const auto size = static_cast<std::uint32_t>(s.expected.size());
    Bytes ours;
    unsigned long streamEnd = 0;
    ASSERT_EQ(Ours(stream, size, ours, &streamEnd), LzhufOk);
    Bytes plain = baseline::Decode(stream.data(), stream.size(), size);
    ASSERT_TRUE(plain == s.expected) << "the crafter and the plain decoder disagree";
    ASSERT_TRUE(ours == plain) << "first difference at byte "
        << std::mismatch(ours.begin(), ours.end(), plain.begin(), plain.end()).first - ours.begin()
        << " of " << size;
    EXPECT_EQ(streamEnd, 14 + stream.size());
}

} // namespace

TEST(DecoderAgainstPlain, EveryLeafPositionAtTheRebuild)
{
    // Three rebuilds per stream, each made by a leaf at the same position;
    // symbol 0 counted first moves the match of 60 bytes to node 0, so that
    // node 0 holds a match as well as a literal.
    std::mt19937 rng(13);
    int literals[4] = {}, matches[4] = {};
    for (LeafAt where : {LeafAt::NodeZero, LeafAt::LastLeaf, LeafAt::InsideRun, LeafAt::Anywhere}) {
        for (Filler kind : {Filler::Text, Filler::Matches, Filler::Flat, Filler::Dominant}) {
            for (int first : {-1, 0}) {
                SCOPED_TRACE(testing::Message() << "position " << static_cast<int>(where)
                             << ", filler " << static_cast<int>(kind) << ", first " << first);
                StreamCrafter s;
                if (first >= 0) s.Literal(static_cast<unsigned char>(first));
                int m = CraftRebuilds(s, kind, 3, rng, [&](unsigned long) { return where; });
                matches[static_cast<int>(where)] += m;
                literals[static_cast<int>(where)] += 3 - m;
                CompareCrafted(s);
            }
        }
    }
    // Each position met both kinds of symbol.
    for (int i = 0; i < 4; i++) {
        EXPECT_GT(literals[i], 0) << i;
        EXPECT_GT(matches[i], 0) << i;
    }
}

TEST(DecoderAgainstPlain, RebuildsInQuickSuccession)
{
    // Rebuilds as close together as the tree allows (the root halves to
    // about 0x4000), each made by the next position in turn.
    std::mt19937 rng(17);
    StreamCrafter s;
    const LeafAt order[] = {LeafAt::NodeZero, LeafAt::InsideRun, LeafAt::LastLeaf, LeafAt::Anywhere};
    CraftRebuilds(s, Filler::Dominant, 16, rng, [&](unsigned long n) { return order[n % 4]; });
    EXPECT_LT(s.Symbols(), 32454u + 15 * 16800u);
    CompareCrafted(s);
}

TEST(DecoderAgainstPlain, TheThousandthRebuild)
{
    // A thousand rebuilds, each made by a leaf at node 0 or the last leaf,
    // then one inside a run.
    std::mt19937 rng(19);
    StreamCrafter s;
    CraftRebuilds(s, Filler::Dominant, 1000, rng, [](unsigned long n) {
        return n == 1000 ? LeafAt::InsideRun : n % 2 ? LeafAt::NodeZero : LeafAt::LastLeaf;
    });
    ASSERT_EQ(s.Rebuilds(), 1000u);
    CompareCrafted(s);
}
