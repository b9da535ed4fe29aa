// The LZMA method: the stub's LZMA2 decoder and x86 branch filter against
// liblzma (the xz project's encoder and filter) on real files of this
// machine, on input cut into pieces of every size, on solid streams across
// files, and on crafted and damaged streams; and mksetup's packing of a
// program's files, read back through our decoder.
#include <gtest/gtest.h>
#include <lzma.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bcj_x86.h"
#include "lzma2_decode.h"
#include "lzma_pack.h"
#include "tool_error.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- liblzma as the reference ----

struct Lzma2Options {
    int preset = 6;
    std::uint32_t dictSize = 1 << 20;
    int lc = 3, lp = 0, pb = 2;
};

// One raw LZMA2 stream over `files`, flushed (LZMA_SYNC_FLUSH) at the end
// of each so that every file ends on a chunk boundary; file i is coded with
// options[i] (lc/lp/pb changed by lzma_filters_update). With `finish` the
// stream ends in an end marker. `ends` gets the stream offset after each
// file.
Bytes EncodeFiles(const std::vector<Bytes>& files, const std::vector<Lzma2Options>& options,
                  bool finish, std::vector<std::size_t>* ends = nullptr)
{
    lzma_stream s = LZMA_STREAM_INIT;
    Bytes out;
    for (std::size_t i = 0; i < files.size(); i++) {
        lzma_options_lzma o;
        lzma_lzma_preset(&o, options[i].preset);
        o.dict_size = options[i].dictSize;
        o.lc = options[i].lc;
        o.lp = options[i].lp;
        o.pb = options[i].pb;
        lzma_filter chain[2] = {{LZMA_FILTER_LZMA2, &o}, {LZMA_VLI_UNKNOWN, nullptr}};
        if (i == 0) EXPECT_EQ(lzma_raw_encoder(&s, chain), LZMA_OK);
        else EXPECT_EQ(lzma_filters_update(&s, chain), LZMA_OK);
        s.next_in = files[i].data();
        s.avail_in = files[i].size();
        const bool last = i + 1 == files.size();
        const lzma_action action = last && finish ? LZMA_FINISH : LZMA_SYNC_FLUSH;
        for (;;) {
            std::uint8_t buf[4096];
            s.next_out = buf;
            s.avail_out = sizeof buf;
            const lzma_ret r = lzma_code(&s, action);
            out.insert(out.end(), buf, buf + (sizeof buf - s.avail_out));
            if (r == LZMA_STREAM_END) break;
            EXPECT_EQ(r, LZMA_OK);
            if (r != LZMA_OK) break;
        }
        if (ends) ends->push_back(out.size());
    }
    lzma_end(&s);
    return out;
}

Bytes Encode(const Bytes& data, Lzma2Options options = {})
{
    return EncodeFiles({data}, {options}, true);
}

// What liblzma's x86 filter makes of `data`: encoded through [x86, LZMA2],
// decoded through [LZMA2] alone.
Bytes LiblzmaX86(const Bytes& data)
{
    lzma_options_lzma o;
    lzma_lzma_preset(&o, 0);
    o.dict_size = 4096; // only the filtered bytes count here
    lzma_filter chain[3] = {{LZMA_FILTER_X86, nullptr}, {LZMA_FILTER_LZMA2, &o},
                            {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes packed(data.size() + data.size() / 2 + 1024);
    std::size_t packedSize = 0;
    EXPECT_EQ(lzma_raw_buffer_encode(chain, nullptr, data.data(), data.size(), packed.data(),
                                     &packedSize, packed.size()), LZMA_OK);
    Bytes filtered(data.size() + 1);
    std::size_t inPos = 0, outPos = 0;
    EXPECT_EQ(lzma_raw_buffer_decode(chain + 1, nullptr, packed.data(), &inPos, packedSize,
                                     filtered.data(), &outPos, filtered.size()), LZMA_OK);
    filtered.resize(outPos);
    return filtered;
}

// An LZMA chunk made by hand around liblzma's raw LZMA1 output for `data`
// (the same range-coded symbols, with an end-of-payload marker at the end):
// control byte, unpacked and packed sizes as given, the lc/lp/pb byte.
Bytes HandChunk(const Bytes& data, unsigned control, unsigned long unpacked,
                unsigned long packedDelta = 0, unsigned props = 0x5D)
{
    lzma_options_lzma o;
    lzma_lzma_preset(&o, 6);
    o.dict_size = 1 << 16;
    lzma_filter chain[2] = {{LZMA_FILTER_LZMA1, &o}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes lzma(data.size() * 2 + 64);
    std::size_t size = 0;
    EXPECT_EQ(lzma_raw_buffer_encode(chain, nullptr, data.data(), data.size(), lzma.data(),
                                     &size, lzma.size()), LZMA_OK);
    lzma.resize(size);
    const unsigned long u = unpacked - 1, pk = size - 1 + packedDelta;
    Bytes chunk = {static_cast<std::uint8_t>(control | (u >> 16)), static_cast<std::uint8_t>(u >> 8),
                   static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(pk >> 8),
                   static_cast<std::uint8_t>(pk)};
    if (control >= 0xC0) chunk.push_back(static_cast<std::uint8_t>(props));
    chunk.insert(chunk.end(), lzma.begin(), lzma.end());
    return chunk;
}

// ---- our decoder, driven as the stub will ----

struct Decoded {
    Bytes out;
    int result = 0;        // the last call's
    std::size_t taken = 0; // input bytes taken
};

// Decodes `stream` into a dictionary of dicSize bytes (property dictSize),
// the input in pieces of `piece` bytes and at most `limit` bytes per call,
// until the stream ends, is damaged or the input runs out.
Decoded Decode(const Bytes& stream, unsigned long dicSize, unsigned long dictSize,
           std::size_t piece = 65536, unsigned long limit = ~0ul, std::uint8_t fill = 0)
{
    auto d = std::make_unique<Lzma2Decoder>();
    std::memset(d.get(), fill, sizeof *d); // nothing may depend on it
    Bytes dic(dicSize);
    Lzma2Begin(d.get(), dic.data(), dic.size(), dictSize);
    Decoded run;
    for (int idle = 0; idle < 3;) {
        unsigned long in = std::min(piece, stream.size() - run.taken), out = 0;
        run.result = Lzma2Decode(d.get(), stream.data() + run.taken, &in, limit, &out);
        EXPECT_LE(out, limit);
        EXPECT_LE(d->dicPos, dic.size());
        EXPECT_GE(d->dicPos, out);
        run.out.insert(run.out.end(), dic.data() + d->dicPos - out, dic.data() + d->dicPos);
        run.taken += in;
        if (run.result == Lzma2StreamEnd || run.result == Lzma2Damaged) break;
        if (run.result == Lzma2NeedInput && run.taken == stream.size()) break;
        idle = in || out ? 0 : idle + 1; // no progress three times: a hang
    }
    return run;
}

// ---- a corpus of this machine's files, bounded ----

Bytes ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

// Sources and documents of this project, programs of /usr/bin and PE files
// of the mingw runtime, every k-th in sorted order, at most `perDir` bytes
// from each folder and 384 KB per file.
const std::vector<Bytes>& Corpus()
{
    static const std::vector<Bytes> corpus = [] {
        std::vector<Bytes> files;
        const std::vector<std::pair<std::string, std::size_t>> dirs = {
            {std::string(SOURCE_DIR) + "/src", 700000}, {std::string(SOURCE_DIR) + "/docs", 300000},
            {"/usr/bin", 1200000}, {"/usr/lib/gcc/i686-w64-mingw32", 800000},
            {"/usr/share/common-licenses", 100000}};
        for (const auto& [dir, budget] : dirs) {
            std::vector<std::filesystem::path> paths;
            std::error_code ec;
            for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
                 it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
                if (ec) break;
                if (it->is_regular_file(ec) && !it->is_symlink(ec)) paths.push_back(it->path());
            }
            std::sort(paths.begin(), paths.end());
            std::size_t used = 0;
            for (std::size_t i = 0; i < paths.size() && used < budget; i += 1 + paths.size() / 30) {
                Bytes data = ReadFile(paths[i]);
                if (data.empty() || data.size() > 384 * 1024) continue;
                used += data.size();
                files.push_back(std::move(data));
            }
        }
        return files;
    }();
    return corpus;
}

Bytes Random(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& c : b) c = static_cast<std::uint8_t>(rng());
    return b;
}

// Text with long repeats, a stretch of random bytes (stored by liblzma as
// an uncompressed chunk) and more text: every kind of chunk and symbol.
const Bytes& Mixed()
{
    static const Bytes mixed = [] {
    Bytes b;
    for (int i = 0; b.size() < 30000; i++) {
        const std::string line = "line " + std::to_string(i % 97) + ": the quick brown fox\n";
        b.insert(b.end(), line.begin(), line.end());
    }
    const Bytes noise = Random(70000, 3);
    b.insert(b.end(), noise.begin(), noise.end());
    b.insert(b.end(), b.begin(), b.begin() + 20000);
    return b;
    }();
    return mixed;
}

// ---- the decoder against liblzma ----

TEST(Lzma2Decoder, DecodesEveryCorpusFileAsLiblzmaEncodedIt)
{
    const std::vector<Bytes>& corpus = Corpus();
    ASSERT_GT(corpus.size(), 40u);
    std::size_t index = 0;
    for (const Bytes& file : corpus) {
        // Presets 0 (fast, hash chains), 6 and 9 in turn, with lc/lp/pb
        // as liblzma's defaults and as its settings for text and code.
        Lzma2Options o;
        o.preset = index % 3 == 0 ? 0 : index % 3 == 1 ? 6 : 9;
        o.dictSize = std::max<std::uint32_t>(4096, std::min<std::size_t>(file.size(), 1 << 22));
        if (index % 4 == 1) o.lc = 4, o.pb = 0;
        if (index % 4 == 3) o.lc = 0, o.lp = 2;
        const Bytes stream = Encode(file, o);
        const Decoded run = Decode(stream, o.dictSize, o.dictSize);
        ASSERT_EQ(run.result, Lzma2StreamEnd) << "file " << index;
        ASSERT_TRUE(run.out == file) << "file " << index;
        ASSERT_EQ(run.taken, stream.size());
        index++;
    }
}

TEST(Lzma2Decoder, LcLpPbChangedBetweenFilesOfOneStream)
{
    // Every lc + lp <= 4 and every pb, a file each, in one stream.
    std::vector<Bytes> files;
    std::vector<Lzma2Options> options;
    const Bytes mixed = Mixed();
    for (int pb = 0; pb <= 4; pb++)
        for (int lc = 0; lc <= 4; lc++)
            for (int lp = 0; lc + lp <= 4; lp += 2) {
                const std::size_t at = files.size() * 731 % (mixed.size() - 3000);
                files.emplace_back(mixed.begin() + at, mixed.begin() + at + 3000);
                options.push_back({6, 1 << 20, lc, lp, pb});
            }
    std::vector<std::size_t> ends;
    const Bytes stream = EncodeFiles(files, options, false, &ends);

    auto d = std::make_unique<Lzma2Decoder>();
    Bytes dic(1 << 20);
    Lzma2Begin(d.get(), dic.data(), dic.size(), 1 << 20);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < files.size(); i++) {
        unsigned long in = ends[i] - pos, out = 0;
        ASSERT_EQ(Lzma2Decode(d.get(), stream.data() + pos, &in, files[i].size(), &out),
                  Lzma2LimitReached) << "file " << i;
        EXPECT_EQ(in, ends[i] - pos) << "file " << i;
        EXPECT_TRUE(Lzma2AtChunkBoundary(d.get()));
        EXPECT_EQ(0, std::memcmp(dic.data() + d->dicPos - out, files[i].data(), out));
        pos = ends[i];
    }
}

TEST(Lzma2Decoder, SameBytesHoweverInputAndOutputAreCut)
{
    // Text, a stored stretch and text again, 40 KB.
    Bytes data(Mixed().begin() + 10000, Mixed().begin() + 45000);
    data.insert(data.end(), Mixed().begin(), Mixed().begin() + 5000);
    Lzma2Options o;
    o.dictSize = 1 << 16;
    const Bytes stream = Encode(data, o);
    ASSERT_NE(std::find(stream.begin(), stream.end(), 0x02), stream.end());
    for (std::size_t piece = 1; piece <= 300; piece++) {
        const Decoded run = Decode(stream, 1 << 16, 1 << 16, piece);
        ASSERT_EQ(run.result, Lzma2StreamEnd) << "pieces of " << piece;
        ASSERT_TRUE(run.out == data) << "pieces of " << piece;
    }
    for (std::size_t piece : {4095, 4096, 65535, 65536, 65537}) {
        const Decoded run = Decode(stream, 1 << 16, 1 << 16, piece);
        ASSERT_TRUE(run.result == Lzma2StreamEnd && run.out == data) << "pieces of " << piece;
    }
    for (unsigned long limit : {1ul, 2ul, 3ul, 272ul, 273ul, 274ul, 4099ul}) {
        const Decoded run = Decode(stream, 1 << 16, 1 << 16, 777, limit);
        ASSERT_TRUE(run.result == Lzma2StreamEnd && run.out == data) << "limit " << limit;
    }
    // Nothing depends on what the state held before.
    EXPECT_TRUE(Decode(stream, 1 << 16, 1 << 16, 999, ~0ul, 0xFF).out == data);
}

TEST(Lzma2Decoder, DictionaryWrapsAroundWhenSmallerThanTheStream)
{
    const Bytes data = Mixed();
    for (std::uint32_t dict : {4096u, 65536u}) {
        Lzma2Options o;
        o.dictSize = dict;
        const Bytes stream = Encode(data, o);
        // The size the property says, and a few bytes more (a caller
        // rounding up); pieces and limits across the wrap.
        for (unsigned long size : {dict + 0ul, dict + 5ul}) {
            const Decoded run = Decode(stream, size, dict, 1000, 3000);
            EXPECT_EQ(run.result, Lzma2StreamEnd) << dict << " in " << size;
            EXPECT_TRUE(run.out == data) << dict << " in " << size;
        }
    }
}

TEST(Lzma2Decoder, DictionarySmallerThanItsPropertyWorksWhileItHoldsTheStream)
{
    // Matches 100,000 bytes back; the property says 8 MiB.
    Bytes data = Random(100000, 9);
    data.insert(data.end(), data.begin(), data.end());
    Lzma2Options o;
    o.dictSize = 8 << 20;
    const Bytes stream = Encode(data, o);
    const Decoded whole = Decode(stream, data.size(), 8 << 20);
    EXPECT_EQ(whole.result, Lzma2StreamEnd);
    EXPECT_TRUE(whole.out == data);
    EXPECT_TRUE(Decode(stream, 100000, 8 << 20).out == data);
    // One byte short of the distance: refused, not read from the wrong place.
    const Decoded shortRun = Decode(stream, 99999, 8 << 20);
    EXPECT_EQ(shortRun.result, Lzma2Damaged);
    EXPECT_TRUE(std::equal(shortRun.out.begin(), shortRun.out.end(), data.begin()));
}

TEST(Lzma2Decoder, SolidEntriesEndOnChunkBoundariesAndTheStreamOnItsMarker)
{
    // Three files of a solid stream, the second empty and the third a
    // copy of the first (matches reach into the earlier file).
    const Bytes first = Mixed();
    const std::vector<Bytes> files = {first, {}, first};
    std::vector<std::size_t> ends;
    const Bytes stream = EncodeFiles(files, std::vector<Lzma2Options>(3), true, &ends);
    ASSERT_EQ(stream.back(), 0);
    EXPECT_LT(ends[2] - ends[1], 200u); // the copy costs next to nothing

    auto d = std::make_unique<Lzma2Decoder>();
    Bytes dic(1 << 20);
    Lzma2Begin(d.get(), dic.data(), dic.size(), 1 << 20);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < files.size(); i++) {
        Bytes out;
        for (;;) {
            unsigned long in = std::min<std::size_t>(ends[i] - pos, 5000), n = 0;
            const int r = Lzma2Decode(d.get(), stream.data() + pos, &in,
                                      files[i].size() - out.size(), &n);
            pos += in;
            out.insert(out.end(), dic.data() + d->dicPos - n, dic.data() + d->dicPos);
            // The marker right behind the last file comes with it.
            if (r == Lzma2LimitReached || r == Lzma2StreamEnd) break;
            ASSERT_TRUE(r == Lzma2NeedInput || r == Lzma2DicEnd) << r;
        }
        EXPECT_TRUE(out == files[i]) << "file " << i;
        // The entry's rest: nothing, or the end marker after the last file.
        unsigned long in = ends[i] - pos, n = 0;
        const int r = Lzma2Decode(d.get(), stream.data() + pos, &in, 0, &n);
        EXPECT_EQ(r, i == 2 ? Lzma2StreamEnd : Lzma2LimitReached);
        EXPECT_EQ(in, ends[i] - pos);
        EXPECT_TRUE(Lzma2AtChunkBoundary(d.get()));
        pos += in;
    }
    // Once ended, the stream takes nothing more.
    unsigned long in = 10, n = 0;
    EXPECT_EQ(Lzma2Decode(d.get(), stream.data(), &in, 100, &n), Lzma2StreamEnd);
    EXPECT_EQ(in + n, 0u);
}

// ---- crafted and damaged streams ----

int DecodeResult(const Bytes& stream, unsigned long limit = ~0ul)
{
    return Decode(stream, 1 << 16, 1 << 16, 65536, limit).result;
}

TEST(Lzma2Decoder, RefusesChunksTheStreamsPositionForbids)
{
    const Bytes text(Mixed().begin(), Mixed().begin() + 2000);
    const Bytes raw = {0x01, 0x00, 0x02, 'a', 'b', 'c'}; // uncompressed, dictionary reset
    auto after = [&](Bytes second) {
        Bytes s = raw;
        s.insert(s.end(), second.begin(), second.end());
        s.push_back(0);
        return s;
    };
    // The first chunk must reset the dictionary; after an uncompressed
    // reset the first LZMA chunk must bring lc/lp/pb.
    EXPECT_EQ(DecodeResult(after({})), Lzma2StreamEnd);
    EXPECT_EQ(DecodeResult({0x02, 0x00, 0x00, 'a', 0x00}), Lzma2Damaged);
    for (unsigned control : {0x80u, 0xA0u, 0xC0u})
        EXPECT_EQ(DecodeResult(HandChunk(text, control, text.size())), Lzma2Damaged) << control;
    EXPECT_EQ(DecodeResult(after(HandChunk(text, 0x80, text.size()))), Lzma2Damaged);
    EXPECT_EQ(DecodeResult(after(HandChunk(text, 0xA0, text.size()))), Lzma2Damaged);
    EXPECT_EQ(DecodeResult(after({0x02, 0x00, 0x00, 'd'})), Lzma2StreamEnd);
    // Control bytes 3 to 0x7F mean nothing.
    for (unsigned control = 3; control < 0x80; control++)
        EXPECT_EQ(DecodeResult(after({static_cast<std::uint8_t>(control), 0, 0, 'x'})), Lzma2Damaged);
}

TEST(Lzma2Decoder, RefusesChunksThatDoNotAddUp)
{
    const Bytes text(Mixed().begin(), Mixed().begin() + 3000);
    // The hand-made chunk still holds LZMA1's end-of-payload marker: as one
    // more symbol it is refused, left unread it is packed bytes unused.
    Decoded run = Decode(HandChunk(text, 0xE0, text.size() + 1), 1 << 16, 1 << 16);
    EXPECT_EQ(run.result, Lzma2Damaged);
    EXPECT_TRUE(run.out == text); // what came before the damage
    run = Decode(HandChunk(text, 0xE0, text.size()), 1 << 16, 1 << 16);
    EXPECT_EQ(run.result, Lzma2Damaged);
    EXPECT_TRUE(run.out == text);
    // Unpacked sizes that end inside a match or inside the packed data,
    // packed sizes that cut the symbols short.
    EXPECT_EQ(DecodeResult(HandChunk(text, 0xE0, text.size() - 1)), Lzma2Damaged);
    EXPECT_EQ(DecodeResult(HandChunk(text, 0xE0, text.size() - 1000)), Lzma2Damaged);
    Bytes cut = HandChunk(text, 0xE0, text.size());
    cut[4] -= 8; // 8 packed bytes fewer than the symbols need
    EXPECT_EQ(DecodeResult(cut), Lzma2Damaged);
    // lc/lp/pb out of range, a range decoder that does not start at 0.
    for (unsigned props : {225u, 255u, 13u /* lc 4 lp 1 */, 40u /* lc 4 lp 4 */})
        EXPECT_EQ(DecodeResult(HandChunk(text, 0xE0, text.size() + 1, 0, props)), Lzma2Damaged);
    Bytes nonZero = HandChunk(text, 0xE0, text.size() + 1);
    nonZero[6] = 1;
    EXPECT_EQ(DecodeResult(nonZero), Lzma2Damaged);
    // The largest sizes the fields can state: 2 MiB unpacked (the marker
    // left over), 64 KiB stored.
    const Bytes zeros(1 << 21, 0);
    run = Decode(HandChunk(zeros, 0xE0, 1 << 21), 1 << 21, 1 << 21);
    EXPECT_EQ(run.result, Lzma2Damaged);
    EXPECT_TRUE(run.out == zeros);
    Bytes stored = {0x01, 0xFF, 0xFF};
    stored.insert(stored.end(), zeros.begin(), zeros.begin() + 65536);
    stored.push_back(0);
    run = Decode(stored, 1 << 16, 1 << 16);
    EXPECT_EQ(run.result, Lzma2StreamEnd);
    EXPECT_EQ(run.out.size(), 65536u);
}

TEST(Lzma2Decoder, RefusesMatchesBeforeTheStreamsStart)
{
    // File 2 repeats file 1 (random, so stored uncompressed); put a
    // 504-byte uncompressed chunk with a dictionary reset in place of file
    // 1's 1,000 bytes (the same position modulo 16): file 2 opens with a
    // match 1,000 bytes back, before the stream's first byte.
    const Bytes one = Random(1000, 4);
    std::vector<std::size_t> ends;
    const Bytes stream = EncodeFiles({one, one}, std::vector<Lzma2Options>(2), true, &ends);
    ASSERT_EQ(stream[0], 0x01);
    ASSERT_GE(stream[ends[0]], 0xC0);
    Bytes forged = {0x01, 0x01, 0xF7};
    forged.insert(forged.end(), one.begin(), one.begin() + 504);
    forged.insert(forged.end(), stream.begin() + ends[0], stream.end());
    const Decoded run = Decode(forged, 1 << 16, 1 << 16);
    EXPECT_EQ(run.result, Lzma2Damaged);
    EXPECT_EQ(run.out.size(), 504u);
}

TEST(Lzma2Decoder, TruncatedOrFlippedStreamsStayBoundedAndSafe)
{
    const Bytes data(Mixed().begin(), Mixed().begin() + 6000);
    const Bytes stream = Encode(data);
    // Cut anywhere: never success, and what comes out is the file's start.
    for (std::size_t size = 0; size < stream.size(); size++) {
        const Decoded run = Decode(Bytes(stream.begin(), stream.begin() + size), 1 << 16, 1 << 16, 7);
        ASSERT_NE(run.result, Lzma2StreamEnd) << "cut at " << size;
        ASSERT_TRUE(std::equal(run.out.begin(), run.out.end(), data.begin())) << "cut at " << size;
    }
    // Any bit flipped: whatever the result, within the limit and the
    // buffers (the sanitizers watch), and most flips are noticed.
    std::size_t noticed = 0, flips = 0;
    for (std::size_t bit = 0; bit < stream.size() * 8; bit += 3) {
        Bytes bad = stream;
        bad[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
        const Decoded run = Decode(bad, 1 << 16, 1 << 16, 64, 9000); // checks each call's limit
        ASSERT_LE(run.out.size(), 2u << 21);
        flips++;
        if (run.result == Lzma2Damaged || run.out != data) noticed++;
    }
    EXPECT_GT(noticed, flips * 9 / 10);
}

// ---- the x86 branch filter ----

// Our filter over `data` in pieces of 1 to maxPiece bytes (0: one piece),
// passing on what each call leaves, as the stub does.
Bytes Bcj(Bytes data, int encoding, unsigned maxPiece, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    BcjX86 s;
    BcjX86Begin(&s);
    std::size_t start = 0, end = 0;
    while (end < data.size()) {
        end = maxPiece ? std::min(data.size(), end + 1 + rng() % maxPiece) : data.size();
        start += BcjX86Code(&s, data.data() + start, end - start, encoding);
        EXPECT_LE(end - start, 4u);
    }
    return data;
}

// Bytes dense in what the filter looks at: E8/E9 and 00/FF.
Bytes BranchRich(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& c : b) {
        const unsigned r = rng() % 8;
        c = static_cast<std::uint8_t>(r < 3 ? 0xE8 | (rng() & 1) : r < 5 ? (rng() & 1 ? 0 : 0xFF) : rng());
    }
    return b;
}

TEST(BcjX86, MatchesLiblzmaX86FilterInAnyPieces)
{
    for (unsigned seed = 0; seed < 400; seed++) {
        const Bytes data = BranchRich(seed % 50 * 13 + seed % 7, seed);
        const Bytes want = LiblzmaX86(data);
        ASSERT_TRUE(Bcj(data, 1, 0) == want) << "seed " << seed;
        ASSERT_TRUE(Bcj(data, 1, 1 + seed % 23, seed) == want) << "seed " << seed;
        ASSERT_TRUE(Bcj(want, 0, 1 + seed % 11, seed) == data) << "seed " << seed;
    }
    std::size_t programs = 0;
    for (const Bytes& file : Corpus()) {
        const bool program = file.size() > 4 && (std::memcmp(file.data(), "MZ", 2) == 0 ||
                                                 std::memcmp(file.data(), "\x7F" "ELF", 4) == 0);
        if (!program) continue;
        const Bytes want = LiblzmaX86(file);
        ASSERT_TRUE(Bcj(file, 1, 4000) == want);
        ASSERT_TRUE(Bcj(want, 0, 65536) == file);
        programs++;
    }
    EXPECT_GT(programs, 10u);
}

TEST(BcjX86, LeavesShortPiecesForLater)
{
    BcjX86 s;
    BcjX86Begin(&s);
    unsigned char call[5] = {0xE8, 0x10, 0x00, 0x00, 0x00};
    EXPECT_EQ(BcjX86Code(&s, call, 4, 1), 0u); // the operand is not all there
    EXPECT_EQ(call[1], 0x10);
    EXPECT_EQ(BcjX86Code(&s, call, 5, 1), 5u);
    EXPECT_EQ(call[1], 0x15); // 0x10 + the instruction's end at 5
}

// ---- mksetup's packing, read back as the setup program will ----

// A stand-in Windows program: an MZ/PE header for i386, then code dense in
// calls to a few targets.
Bytes FakeProgram(std::size_t size)
{
    Bytes b(size, 0x90);
    std::fill(b.begin(), b.begin() + 0x200, 0);
    b[0] = 'M', b[1] = 'Z', b[0x3C] = 0x80;
    std::memcpy(b.data() + 0x80, "PE\0\0\x4C\x01", 6);
    for (std::size_t i = 0x200; i + 5 < size; i += 13) {
        const std::uint32_t rel = static_cast<std::uint32_t>(0x4000 + i % 7 * 64 - i - 5);
        b[i] = 0xE8;
        std::memcpy(b.data() + i + 1, &rel, 4);
    }
    return b;
}

struct Unpacked {
    std::vector<Bytes> files;
    std::vector<std::string> problems;
};

Unpacked UnpackParts(const std::vector<Bytes>& parts, const std::vector<std::size_t>& sizes)
{
    std::vector<lzmapack::EntryPart> entries;
    for (std::size_t i = 0; i < parts.size(); i++)
        entries.push_back({static_cast<unsigned>(i + 3), "file" + std::to_string(i),
                           static_cast<std::uint32_t>(sizes[i]), parts[i]});
    Unpacked u;
    u.files.resize(parts.size());
    u.problems = lzmapack::DecodeRun(entries, [&](std::size_t i, std::span<const std::uint8_t> d) {
        u.files[i].assign(d.begin(), d.end());
    });
    return u;
}

std::vector<Bytes> SampleFiles()
{
    const Bytes& mixed = Mixed();
    return {FakeProgram(20000), Bytes(mixed.begin(), mixed.begin() + 30000), {}, Random(5000, 8),
            FakeProgram(20000), Bytes(mixed.begin(), mixed.begin() + 9000)};
}

std::vector<Bytes> PackFiles(const std::vector<Bytes>& files, lzmapack::Options options)
{
    std::vector<lzmapack::InputFile> input;
    for (std::size_t i = 0; i < files.size(); i++) input.push_back({"file" + std::to_string(i), files[i]});
    return lzmapack::Pack(input, options);
}

std::vector<std::size_t> Sizes(const std::vector<Bytes>& files)
{
    std::vector<std::size_t> sizes;
    for (const Bytes& f : files) sizes.push_back(f.size());
    return sizes;
}

TEST(LzmaPack, SolidAndSeparateStreamsComeBackWhole)
{
    const std::vector<Bytes> files = SampleFiles();
    std::size_t total = 0;
    for (const Bytes& f : files) total += f.size();
    for (const bool solid : {true, false}) {
        for (const int preset : {0, 9}) {
            lzmapack::Options o;
            o.preset = preset;
            o.solid = solid;
            o.dictSize = 1 << 16;
            const std::vector<Bytes> parts = PackFiles(files, o);
            ASSERT_EQ(parts.size(), files.size());
            for (std::size_t i = 0; i < parts.size(); i++) {
                ASSERT_GE(parts[i].size(), 2u);
                EXPECT_EQ(parts[i][0] & lzmapack::kFlagNewStream, solid && i ? 0 : lzmapack::kFlagNewStream);
                EXPECT_EQ((parts[i][0] & lzmapack::kFlagX86) != 0, i == 0 || i == 4) << i;
                // No more dictionary than the stream holds, at least 4 KiB.
                const std::size_t stream = solid ? total : files[i].size();
                EXPECT_EQ(parts[i][1], lzmapack::DictionaryByte(static_cast<std::uint32_t>(
                                           std::max<std::size_t>(4096, std::min<std::size_t>(stream, 1 << 16)))));
            }
            const Unpacked u = UnpackParts(parts, Sizes(files));
            EXPECT_TRUE(u.problems.empty()) << u.problems.front();
            EXPECT_TRUE(u.files == files);
            if (solid) EXPECT_LT(parts[4].size(), 300u); // the second program repeats the first
        }
    }
    // The same input gives the same bytes.
    EXPECT_TRUE(PackFiles(files, {}) == PackFiles(files, {}));
    EXPECT_EQ(lzmapack::DictionaryByte(4096), 0);
    EXPECT_EQ(lzmapack::DictionaryByte(4097), 1);
    EXPECT_EQ(Lzma2DictSize(lzmapack::DictionaryByte(lzmapack::kDefaultDictSize)), lzmapack::kDefaultDictSize);
    lzmapack::Options bad;
    bad.preset = 10;
    EXPECT_THROW(PackFiles(files, bad), mksetup::ToolError);
}

TEST(LzmaPack, DamageNamesTheEntryAndWhatItsStreamLoses)
{
    const std::vector<Bytes> files = SampleFiles();
    const std::vector<std::size_t> sizes = Sizes(files);
    lzmapack::Options o;
    o.dictSize = 1 << 16;
    const std::vector<Bytes> solid = PackFiles(files, o);
    auto with = [&](std::vector<Bytes> parts, std::size_t i, auto change) {
        change(parts[i]);
        return UnpackParts(parts, sizes);
    };
    // Entry 4 (index 1) cut short: it and every later entry of the stream.
    Unpacked u = with(solid, 1, [](Bytes& p) { p.pop_back(); });
    ASSERT_EQ(u.problems.size(), 5u);
    EXPECT_NE(u.problems[0].find("entry 4 \"file1\": "), std::string::npos) << u.problems[0];
    EXPECT_NE(u.problems[1].find("entry 5 \"file2\": lost with entry 4"), std::string::npos) << u.problems[1];
    EXPECT_TRUE(u.files[0] == files[0]); // what came before is sound
    // A byte behind the last chunk, a flag nobody knows, another
    // dictionary byte, a continued first entry, a part without its bytes.
    u = with(solid, 5, [](Bytes& p) { p.push_back(0x80); });
    ASSERT_EQ(u.problems.size(), 1u);
    EXPECT_NE(u.problems[0].find("1 bytes follow"), std::string::npos) << u.problems[0];
    u = with(solid, 5, [](Bytes& p) { p.push_back(0x00); }); // an end marker is fine
    EXPECT_TRUE(u.problems.empty());
    u = with(solid, 2, [](Bytes& p) { p[0] |= 0x04; });
    EXPECT_EQ(u.problems.size(), 4u);
    u = with(solid, 2, [](Bytes& p) { p[1]++; });
    EXPECT_EQ(u.problems.size(), 4u);
    u = with(solid, 0, [](Bytes& p) { p[0] &= ~lzmapack::kFlagNewStream; });
    ASSERT_EQ(u.problems.size(), 6u);
    EXPECT_NE(u.problems[0].find("no entry started"), std::string::npos) << u.problems[0];
    u = with(solid, 3, [](Bytes& p) { p.resize(1); });
    EXPECT_EQ(u.problems.size(), 3u);
    // After the stream's end marker nothing continues it.
    u = with(solid, 2, [](Bytes& p) { p.push_back(0x00); });
    ASSERT_EQ(u.problems.size(), 3u);
    EXPECT_NE(u.problems[0].find("entry 6 \"file3\": continues an LZMA2 stream that has ended"),
              std::string::npos) << u.problems[0];
    // One stream per file: the damage stays with its entry.
    o.solid = false;
    u = with(PackFiles(files, o), 1, [](Bytes& p) { p[p.size() / 2] ^= 0x40; });
    ASSERT_EQ(u.problems.size(), 1u);
    EXPECT_TRUE(u.files[5] == files[5]);
}

// The build packs a file at a time, from sizes taken before the files are
// read: the same parts as Pack, and a file that changed size meanwhile
// still comes back whole.
TEST(LzmaPack, OneFileAtATimeGivesPacksBytesAndSurvivesChangedSizes)
{
    const std::vector<Bytes> files = SampleFiles();
    std::vector<std::uint64_t> sizes(files.size());
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < files.size(); i++) total += sizes[i] = files[i].size();
    for (const bool solid : {true, false}) {
        lzmapack::Options o;
        o.solid = solid;
        lzmapack::Packer packer(o, sizes);
        std::vector<Bytes> parts;
        for (std::size_t i = 0; i < files.size(); i++) {
            EXPECT_EQ(packer.NextDictionary(), lzmapack::DictionaryFor(solid ? total : sizes[i], o)) << i;
            parts.push_back(packer.Next({"file" + std::to_string(i), files[i]}));
        }
        EXPECT_TRUE(parts == PackFiles(files, o)) << solid;
        EXPECT_THROW(packer.Next({"extra", files[0]}), std::logic_error);
    }
    // Announced far smaller than they are: a 4 KiB dictionary over 84 KB.
    lzmapack::Options o;
    lzmapack::Packer packer(o, std::vector<std::uint64_t>(files.size(), 1));
    std::vector<Bytes> parts;
    for (std::size_t i = 0; i < files.size(); i++) parts.push_back(packer.Next({"f", files[i]}));
    EXPECT_EQ(parts[0][1], 0); // the dictionary byte of 4 KiB
    const Unpacked u = UnpackParts(parts, Sizes(files));
    EXPECT_TRUE(u.problems.empty()) << u.problems.front();
    EXPECT_TRUE(u.files == files);
}

} // namespace
