// The LZHUF codec: the stub's decoder against a slow reference written out
// plainly from the published algorithm, against streams crafted symbol by
// symbol, against damaged input; and mksetup's encoder in round trips over
// generated data and real files.
#include <gtest/gtest.h>

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

#include "lzhuf.h"
#include "lzhuf_crafter.h"
#include "lzhuf_encoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- Reference model: the published decoder over the crafter's tree ----

using craft::F;
using craft::p_code;
using craft::p_len;
using craft::N;
using craft::R;
using craft::T;
using craft::THRESHOLD;
using craft::LeafAt;
using craft::RefTree;
using craft::StreamCrafter;

// The published decoder with a 16-bit bit buffer. It knows no damage:
// it decodes until textsize bytes are produced.
class ReferenceDecoder {
public:
    explicit ReferenceDecoder(const Bytes& stream) : stream_(stream)
    {
        for (int v = 0; v < 64; v++) {
            int run = 1 << (8 - p_len[v]);
            for (int i = 0; i < run; i++) {
                d_code_[p_code[v] + i] = static_cast<unsigned char>(v);
                d_len_[p_code[v] + i] = p_len[v];
            }
        }
        for (int i = 0; i < N - F; i++) text_buf_[i] = ' ';
    }

    // Decodes one symbol and appends its bytes.
    void Step()
    {
        int c = DecodeChar();
        if (c < 256) {
            Put(static_cast<unsigned char>(c));
        } else {
            int i = (r_ - DecodePosition() - 1) & (N - 1);
            int j = c - 255 + THRESHOLD;
            for (int k = 0; k < j; k++) Put(text_buf_[(i + k) & (N - 1)]);
        }
    }

    Bytes Decode(unsigned long textsize)
    {
        while (output.size() < textsize) Step();
        return output;
    }

    // Bits handed out so far.
    unsigned long Consumed() const { return fetched_ * 8 - getlen_; }

    Bytes output;

private:
    void Refill()
    {
        while (getlen_ <= 8) {
            unsigned b = pos_ < stream_.size() ? stream_[pos_++] : 0;
            fetched_++;
            getbuf_ = (getbuf_ | (b << (8 - getlen_))) & 0xFFFF;
            getlen_ += 8;
        }
    }
    int GetBit()
    {
        Refill();
        int bit = (getbuf_ >> 15) & 1;
        getbuf_ = (getbuf_ << 1) & 0xFFFF;
        getlen_--;
        return bit;
    }
    int GetByte()
    {
        Refill();
        int byte = getbuf_ >> 8;
        getbuf_ = (getbuf_ << 8) & 0xFFFF;
        getlen_ -= 8;
        return byte;
    }
    int DecodeChar()
    {
        int c = tree_.son[R];
        while (c < T) {
            c += GetBit();
            c = tree_.son[c];
        }
        c -= T;
        tree_.update(c);
        return c;
    }
    int DecodePosition()
    {
        int i = GetByte();
        int c = d_code_[i] << 6;
        int j = d_len_[i] - 2;
        while (j--) i = (i << 1) + GetBit();
        return c | (i & 0x3f);
    }
    void Put(unsigned char b)
    {
        output.push_back(b);
        text_buf_[r_] = b;
        r_ = (r_ + 1) & (N - 1);
    }

    const Bytes& stream_;
    std::size_t pos_ = 0;
    unsigned long fetched_ = 0;
    unsigned getbuf_ = 0, getlen_ = 0;
    RefTree tree_;
    unsigned char d_code_[256] = {}, d_len_[256] = {};
    unsigned char text_buf_[N] = {};
    int r_ = N - F;
};

// ---- Harness for the decoder under test ----

Bytes Block(const Bytes& stream, unsigned long decodedSize, const std::string& name = "")
{
    Bytes b(14 + name.size());
    unsigned long entryLength = b.size() + stream.size() + 4;
    for (int i = 0; i < 4; ++i) b[i] = (entryLength >> (8 * i)) & 0xFF;
    b[9] = static_cast<std::uint8_t>(name.size());
    std::memcpy(b.data() + 10, name.data(), name.size());
    for (int i = 0; i < 4; ++i) b[10 + name.size() + i] = (decodedSize >> (8 * i)) & 0xFF;
    b.insert(b.end(), stream.begin(), stream.end());
    return b;
}

struct Sink {
    Bytes data;
    std::vector<unsigned long> writes;
    int refuseAt = -1; // index of the write to refuse

    static int Take(void* context, const unsigned char* bytes, unsigned long size)
    {
        auto* self = static_cast<Sink*>(context);
        self->writes.push_back(size);
        if (static_cast<int>(self->writes.size()) - 1 == self->refuseAt) return 0;
        self->data.insert(self->data.end(), bytes, bytes + size);
        return 1;
    }
};

struct Result {
    int code;
    Sink sink;
    unsigned long streamEnd; // the decoder's, after LzhufOk
};

// The rest of a block after its first piece, in pieces of 1 to 7 bytes.
struct Pieces {
    const Bytes* block;
    size_t at;
    size_t step;
    static int Next(void* context, const unsigned char** data, unsigned long* size)
    {
        Pieces* p = static_cast<Pieces*>(context);
        if (p->at >= p->block->size()) return 0;
        p->step = p->step % 7 + 1;
        *size = static_cast<unsigned long>(std::min(p->step, p->block->size() - p->at));
        *data = p->block->data() + p->at;
        p->at += *size;
        return 1;
    }
};

// Decodes the block given whole, and once more given in small pieces
// after its header: every result must be the same either way.
Result DecodeBlock(const Bytes& block)
{
    auto decoder = std::make_unique<LzhufDecoder>();
    // Garbage in the working state must not matter.
    std::memset(decoder.get(), 0xA5, sizeof(LzhufDecoder));
    decoder->source = nullptr;
    Result result{0, {}, 0};
    result.code = Decode(decoder.get(), block.data(), block.size(), Sink::Take, &result.sink);
    result.streamEnd = decoder->streamEnd;

    size_t head = block.size() >= 10 ? std::min(block.size(), size_t(14) + block[9] + 1)
                                     : block.size();
    Pieces pieces{&block, head, 0};
    std::memset(decoder.get(), 0x5A, sizeof(LzhufDecoder));
    decoder->source = Pieces::Next;
    decoder->sourceContext = &pieces;
    Result streamed{0, {}, 0};
    streamed.code = Decode(decoder.get(), block.data(), static_cast<unsigned long>(head),
                           Sink::Take, &streamed.sink);
    EXPECT_EQ(streamed.code, result.code);
    EXPECT_TRUE(streamed.sink.data == result.sink.data);
    if (result.code == LzhufOk) EXPECT_EQ(decoder->streamEnd, result.streamEnd);
    return result;
}

Result RunStream(const Bytes& stream, unsigned long decodedSize)
{
    return DecodeBlock(Block(stream, decodedSize));
}

Bytes Generated(std::size_t size, unsigned salt, int alphabet = 256)
{
    std::mt19937 rng(salt);
    Bytes out(size);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng() % alphabet);
    return out;
}

Bytes ReadFile(const std::filesystem::path& path, std::size_t cap)
{
    std::ifstream in(path, std::ios::binary);
    Bytes data((std::istreambuf_iterator<char>(in)), {});
    if (data.size() > cap) data.resize(cap);
    return data;
}

// Real files of the machine, up to `total` bytes, in a stable order.
std::vector<Bytes> RealFiles(std::size_t total)
{
    std::vector<Bytes> files;
    std::size_t sum = 0;
    for (const char* dir : {"/usr/include", "/usr/share/common-licenses", "/usr/bin"}) {
        std::vector<std::filesystem::path> paths;
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (ec) break;
            if (it->is_regular_file(ec) && !it->is_symlink(ec)) paths.push_back(it->path());
        }
        std::sort(paths.begin(), paths.end());
        for (std::size_t i = 0; i < paths.size() && sum < total; i += 1 + paths.size() / 12) {
            Bytes data = ReadFile(paths[i], 400 * 1024);
            if (data.empty()) continue;
            sum += data.size();
            files.push_back(std::move(data));
        }
    }
    return files;
}

} // namespace

// ---- Decoder ----

TEST(LzhufDecode, EmptyEntryMakesOnlyOneZeroByteWrite)
{
    for (const Bytes& stream : {Bytes{}, Bytes{0xFF, 0x12, 0x34}}) {
        Result r = RunStream(stream, 0);
        EXPECT_EQ(r.code, LzhufOk);
        EXPECT_EQ(r.sink.writes, std::vector<unsigned long>{0});
    }
}

TEST(LzhufDecode, WritesBlocksOfExactly4095Bytes)
{
    struct Case { unsigned long size; std::vector<unsigned long> writes; };
    for (const Case& c : {Case{4094, {4094}}, Case{4095, {4095, 0}}, Case{4096, {4095, 1}},
                          Case{8190, {4095, 4095, 0}}, Case{10000, {4095, 4095, 1810}}}) {
        StreamCrafter s;
        s.Literal('x');
        while (s.expected.size() < c.size) {
            std::size_t left = c.size - s.expected.size();
            if (left < 3) s.Literal('x');
            else s.Match(0, static_cast<int>(std::min<std::size_t>(60, left)));
        }
        SCOPED_TRACE(c.size);
        Result r = RunStream(s.Stream(), c.size);
        EXPECT_EQ(r.code, LzhufOk);
        EXPECT_EQ(r.sink.writes, c.writes);
        EXPECT_EQ(r.sink.data, Bytes(c.size, 'x'));
    }
}

TEST(LzhufDecode, MatchesIntoTheInitialWindowGiveSpaces)
{
    StreamCrafter s;
    s.Match(100, 10);   // the very first symbol: a match
    s.Literal('A');
    s.Match(4035, 60);  // as far back as the initial spaces reach
    s.Literal('B');
    s.Match(61, 3);     // the 'A' and two of the spaces after it
    Bytes expected(10, ' ');
    expected.push_back('A');
    expected.insert(expected.end(), 60, ' ');
    expected.push_back('B');
    expected.insert(expected.end(), {'A', ' ', ' '});
    EXPECT_EQ(s.expected, expected);
    Result r = RunStream(s.Stream(), s.expected.size());
    EXPECT_EQ(r.code, LzhufOk);
    EXPECT_EQ(r.sink.data, s.expected);
}

TEST(LzhufDecode, OverlappingMatchesRepeatWhatTheyProduce)
{
    StreamCrafter s;
    s.Literal('a');
    s.Literal('b');
    s.Match(0, 5);   // position 0: the byte just produced, five times
    s.Literal('c');
    s.Match(2, 60);  // "bbc" repeated by a match overlapping itself
    std::string expected = "abbbbbb";
    expected += "c";
    std::string tail;
    for (int i = 0; i < 60; i++) tail += "bbc"[i % 3];
    expected += tail;
    EXPECT_EQ(std::string(s.expected.begin(), s.expected.end()), expected);
    Result r = RunStream(s.Stream(), expected.size());
    EXPECT_EQ(r.code, LzhufOk);
    EXPECT_EQ(std::string(r.sink.data.begin(), r.sink.data.end()), expected);
}

TEST(LzhufDecode, LongStreamsSurviveTreeRebuilds)
{
    // Far more than the 32,455 symbols after which the tree is first rebuilt,
    // with skewed symbol counts so that the rebuild meets ties.
    StreamCrafter s;
    std::mt19937 rng(7);
    int symbols = 0;
    for (; symbols < 120000; symbols++) {
        unsigned roll = rng() % 100;
        if (roll < 55 || s.expected.size() < 100) {
            s.Literal(static_cast<unsigned char>("etaoin shrdlu"[rng() % 13] + (roll % 7 == 0 ? rng() % 64 : 0)));
        } else {
            int position = roll < 80 ? static_cast<int>(rng() % 64) : static_cast<int>(rng() % 4036);
            int length = roll < 90 ? 3 + static_cast<int>(rng() % 6) : 3 + static_cast<int>(rng() % 58);
            s.Match(position, length);
        }
    }
    Bytes stream = s.Stream();
    Result r = RunStream(stream, s.expected.size());
    EXPECT_EQ(r.code, LzhufOk);
    EXPECT_TRUE(r.sink.data == s.expected) << "first difference at byte "
        << (std::mismatch(r.sink.data.begin(), r.sink.data.end(), s.expected.begin(), s.expected.end()).first - r.sink.data.begin());
    ReferenceDecoder ref(stream);
    EXPECT_TRUE(ref.Decode(s.expected.size()) == s.expected);
}

// Symbols that neither the chosen one nor `avoid` is among: literals of a
// small alphabet and short matches, skewed so that frequencies differ.
void Filler(StreamCrafter& s, std::mt19937& rng, int avoid)
{
    for (;;) {
        unsigned roll = rng() % 100;
        int c = roll < 70 ? static_cast<int>("etaoin shrdlu"[rng() % 13] + roll % 3)
                          : 256 + static_cast<int>(rng() % (roll < 95 ? 6 : 40));
        if (c == avoid) continue;
        s.Emit(c, rng() % 200);
        return;
    }
}

TEST(LzhufDecode, RebuildMadeByTheLeafAtNodeZeroCountsIt)
{
    // The leaf at node 0 is the rarest one, and a rebuild keeps it there:
    // the symbol that makes the tree rebuild may well be that leaf, and its
    // count (and its ancestors') must not be lost, or every later code
    // differs from the encoder's. A literal there, then a match (the first
    // count of symbol 0 sends the match of 60 bytes, the last node of the
    // run of ones, to node 0).
    for (int atNodeZero : {0, 313}) {
        SCOPED_TRACE(atNodeZero);
        StreamCrafter s;
        std::mt19937 rng(static_cast<unsigned>(atNodeZero) + 1);
        if (atNodeZero == 313) s.Literal(0);
        while (!s.RebuildNext()) Filler(s, rng, atNodeZero);
        // Starting from 314, the root reaches 0x8000 after 32,454 symbols.
        ASSERT_EQ(s.Symbols(), 32454u);
        ASSERT_EQ(s.LeafForRebuild(LeafAt::NodeZero, 0), atNodeZero);
        s.Emit(atNodeZero, 17);
        ASSERT_EQ(s.Rebuilds(), 1u);
        // On through the next rebuild, which a lost count would move.
        while (s.Rebuilds() < 2 || s.Symbols() % 1000 != 0) Filler(s, rng, -1);

        Result r = RunStream(s.Stream(), s.expected.size());
        EXPECT_EQ(r.code, LzhufOk);
        EXPECT_TRUE(r.sink.data == s.expected) << "first difference at byte "
            << (std::mismatch(r.sink.data.begin(), r.sink.data.end(), s.expected.begin(),
                              s.expected.end()).first - r.sink.data.begin());
        if (r.code == LzhufOk) EXPECT_EQ(r.streamEnd, 14 + s.Stream().size());
    }
}

TEST(LzhufDecode, ReportsWhereTheLastSymbolEnded)
{
    // Whatever lies behind the stream, the end is the byte of its last bit.
    StreamCrafter s;
    for (int i = 0; i < 300; i++) {
        if (i % 7 == 3) s.Match(i % 50, 3 + i % 20);
        else s.Literal(static_cast<unsigned char>('a' + i % 5));
        Bytes stream = s.Stream();
        std::size_t end = 14 + stream.size();
        Result exact = RunStream(stream, s.expected.size());
        stream.insert(stream.end(), {0xFF, 0x00, 0x55, 0xAA, 0x12});
        Result padded = RunStream(stream, s.expected.size());
        SCOPED_TRACE(i);
        ASSERT_EQ(exact.code, LzhufOk);
        ASSERT_EQ(padded.code, LzhufOk);
        EXPECT_EQ(exact.streamEnd, end);
        EXPECT_EQ(padded.streamEnd, end);
    }
    // Nothing to decode: the stream's start, behind the name.
    EXPECT_EQ(DecodeBlock(Block({0xFF, 0xFF}, 0, "name")).streamEnd, 18u);
}

TEST(LzhufDecode, AgreesWithTheReferenceOnArbitraryBits)
{
    // Random bytes are a valid but meaningless stream until the input runs
    // out; the output must follow the reference byte for byte until then.
    for (unsigned salt = 1; salt <= 40; salt++) {
        Bytes stream = Generated(50 + salt * 97, salt);
        unsigned long size = salt % 4 == 0 ? 1000000 : (salt * 613) % 20000;
        Result r = RunStream(stream, size);
        ReferenceDecoder ref(stream);
        Bytes expected = ref.Decode(r.sink.data.size());
        SCOPED_TRACE(salt);
        ASSERT_LE(r.sink.data.size(), size);
        EXPECT_TRUE(std::equal(r.sink.data.begin(), r.sink.data.end(), expected.begin()));
        if (r.code == LzhufOk) EXPECT_EQ(r.sink.data.size(), size);
        else EXPECT_EQ(r.code, LzhufDamaged);
    }
}

TEST(LzhufDecode, LastSymbolMayUseTwoBytesBeyondTheEndButNoMore)
{
    // An all-zero stream: find how many bits k symbols take, then give the
    // decoder just enough bytes, and one byte less.
    Bytes zeros(64, 0);
    ReferenceDecoder ref(zeros);
    for (int k = 1; k <= 40; k++) {
        ref.Step();
        unsigned long bits = ref.Consumed();
        unsigned long size = ref.output.size();
        unsigned long needed = (bits + 7) / 8; // bytes holding those bits
        SCOPED_TRACE(k);
        if (needed >= 2) {
            Result ok = RunStream(Bytes(needed - 2, 0), size);
            EXPECT_EQ(ok.code, LzhufOk);
            EXPECT_EQ(ok.sink.data, ref.output);
            EXPECT_EQ(ok.streamEnd, 14 + needed); // two bytes past the block
            Result whole = RunStream(Bytes(needed + 5, 0), size);
            EXPECT_EQ(whole.streamEnd, 14 + needed);
        }
        if (needed >= 3) {
            Result damaged = RunStream(Bytes(needed - 3, 0), size);
            EXPECT_EQ(damaged.code, LzhufDamaged);
            EXPECT_LT(damaged.sink.data.size(), size);
        }
    }
}

TEST(LzhufDecode, TruncatedStreamsAreDamagedWithBoundedOutput)
{
    Bytes original = Generated(200000, 3, 40);
    for (std::size_t i = 0; i < original.size(); i += 50) original[i] = 'z';
    Bytes stream = lzhuf::Encode(original, 5);
    ASSERT_EQ(RunStream(stream, original.size()).code, LzhufOk);
    // A cut of only a few bytes need not show: the zero bits read in place
    // of them may happen to end on the stated size (the format has no
    // checksum). Eight bytes are more than the slack and a match can cover.
    for (std::size_t keep : {std::size_t{0}, std::size_t{1}, std::size_t{100}, stream.size() / 2,
                             stream.size() - 8}) {
        Bytes cut(stream.begin(), stream.begin() + keep);
        Result r = RunStream(cut, original.size());
        SCOPED_TRACE(keep);
        EXPECT_EQ(r.code, LzhufDamaged);
        // At most 60 bytes for each bit it may read.
        EXPECT_LE(r.sink.data.size(), (keep + 3) * 8 * 60);
    }
    // A huge stated size with an empty stream stops at once.
    EXPECT_EQ(RunStream({}, 0xFFFFFFFFul).code, LzhufDamaged);
}

TEST(LzhufDecode, MatchCarryingPastTheSizeIsDamagedAndNotWritten)
{
    StreamCrafter s;
    for (char c : std::string("hello")) s.Literal(static_cast<unsigned char>(c));
    s.Match(4, 10);
    Result exact = RunStream(s.Stream(), 15);
    EXPECT_EQ(exact.code, LzhufOk);
    Result over = RunStream(s.Stream(), 12);
    EXPECT_EQ(over.code, LzhufDamaged);
    EXPECT_LE(over.sink.data.size(), 5u);
}

TEST(LzhufDecode, StopsAtTheFirstRefusedWrite)
{
    Bytes data = Generated(20000, 5, 4);
    Bytes stream = lzhuf::Encode(data, 1);
    for (int refuse : {0, 1, 4}) {
        auto decoder = std::make_unique<LzhufDecoder>();
        Sink sink;
        sink.refuseAt = refuse;
        Bytes block = Block(stream, data.size());
        EXPECT_EQ(Decode(decoder.get(), block.data(), block.size(), Sink::Take, &sink), LzhufSinkFailed);
        EXPECT_EQ(sink.writes.size(), static_cast<std::size_t>(refuse + 1));
    }
    // Even the final zero-byte write of an empty entry counts.
    auto decoder = std::make_unique<LzhufDecoder>();
    Sink sink;
    sink.refuseAt = 0;
    Bytes block = Block({}, 0);
    EXPECT_EQ(Decode(decoder.get(), block.data(), block.size(), Sink::Take, &sink), LzhufSinkFailed);
}

TEST(LzhufDecode, HeaderMustHoldTheNameAndSize)
{
    Bytes full = Block({}, 0, "name.txt");
    for (std::size_t size : {std::size_t{0}, std::size_t{9}, std::size_t{13}, full.size() - 1}) {
        Result r = DecodeBlock(Bytes(full.begin(), full.begin() + size));
        EXPECT_EQ(r.code, LzhufBadHeader) << size;
        EXPECT_TRUE(r.sink.writes.empty());
    }
    EXPECT_EQ(DecodeBlock(full).code, LzhufOk);
    // The size and stream follow a name of any length, up to 255.
    Bytes data = Generated(3000, 9, 3);
    Result longName = DecodeBlock(Block(lzhuf::Encode(data), data.size(), std::string(255, 'n')));
    EXPECT_EQ(longName.code, LzhufOk);
    EXPECT_EQ(longName.sink.data, data);
}

// ---- Encoder ----

namespace {

void ExpectRoundTrip(const Bytes& data, int level)
{
    Bytes stream = lzhuf::Encode(data, level);
    Result r = RunStream(stream, data.size());
    ASSERT_EQ(r.code, LzhufOk) << "level " << level << ", " << data.size() << " bytes";
    ASSERT_TRUE(r.sink.data == data) << "level " << level << ", " << data.size() << " bytes";
    // Our streams end in the byte that holds their last bit.
    ASSERT_EQ(r.streamEnd, 14 + stream.size()) << "level " << level << ", " << data.size() << " bytes";
}

} // namespace

TEST(LzhufEncode, RoundTripsGeneratedDataAtEveryLevel)
{
    std::vector<Bytes> inputs = {
        {}, {'a'}, {'a', 'b'}, Bytes(3, ' '), Bytes(4095, 0), Bytes(4096, ' '), Bytes(100000, 0),
        Generated(65536, 1), Generated(30000, 2, 2), Generated(50000, 3, 16)};
    Bytes periodic;
    for (int i = 0; i < 70000; i++) periodic.push_back(static_cast<std::uint8_t>("abcabd"[i % 6] + (i / 5000)));
    inputs.push_back(periodic);
    Bytes everyByte;
    for (int i = 0; i < 256 * 40; i++) everyByte.push_back(static_cast<std::uint8_t>(i * 7 + i / 256));
    inputs.push_back(everyByte);
    for (int level = lzhuf::kFastest; level <= lzhuf::kBest; level++)
        for (const Bytes& data : inputs) ExpectRoundTrip(data, level);
}

TEST(LzhufEncode, RoundTripsRealFiles)
{
    std::vector<Bytes> files = RealFiles(1200 * 1024);
    ASSERT_FALSE(files.empty());
    std::size_t i = 0;
    for (const Bytes& data : files) {
        ExpectRoundTrip(data, lzhuf::kBest);
        ExpectRoundTrip(data, 1 + static_cast<int>(i++ % 8));
    }
}

TEST(LzhufEncode, ReferenceDecoderReadsItsStreams)
{
    std::vector<Bytes> files = RealFiles(150 * 1024);
    for (const Bytes& data : files) {
        Bytes stream = lzhuf::Encode(data);
        ReferenceDecoder ref(stream);
        ASSERT_TRUE(ref.Decode(data.size()) == data);
        // The stream ends where its last symbol's bits do.
        EXPECT_EQ(stream.size(), (ref.Consumed() + 7) / 8);
    }
}

TEST(LzhufEncode, CompressesAndStaysDeterministic)
{
    Bytes zeros(200000, 0);
    EXPECT_LT(lzhuf::Encode(zeros).size(), zeros.size() / 40); // 60 bytes per match at most
    Bytes text;
    for (const Bytes& f : RealFiles(300 * 1024)) text.insert(text.end(), f.begin(), f.end());
    Bytes fast = lzhuf::Encode(text, lzhuf::kFastest);
    Bytes best = lzhuf::Encode(text, lzhuf::kBest);
    EXPECT_LT(best.size(), text.size());
    EXPECT_LE(best.size(), fast.size());
    EXPECT_EQ(lzhuf::Encode(text, lzhuf::kBest), best);
    // Random data grows by no more than the literal codes' overhead.
    Bytes random = Generated(100000, 11);
    EXPECT_LT(lzhuf::Encode(random).size(), random.size() * 113 / 100);
}
