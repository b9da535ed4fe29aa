// LZHUF encoding: LZSS matches found with hash chains, coded with the same
// adaptive Huffman tree the decoder keeps. The tree must evolve exactly as
// the decoder's does (same set-up, same update, same rebuild with its tie
// rule), since every code depends on the whole history of symbols.
#include "lzhuf_encoder.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <stdexcept>

namespace lzhuf {
namespace {

constexpr int N = 4096;               // ring buffer size
constexpr int F = 60;                 // longest match
constexpr int THRESHOLD = 2;          // matches are at least 3 bytes
constexpr int N_CHAR = 256 - THRESHOLD + F;
constexpr int T = N_CHAR * 2 - 1;
constexpr int R = T - 1;
constexpr unsigned MAX_FREQ = 0x8000;
constexpr int kInitialSpaces = N - F; // the window starts with these

// A 12-bit position p names the byte p + 1 back, so matches reach back the
// whole window. The decoder reads a byte of its window before it writes
// over it, so even the oldest byte, the one at the place being written,
// is still there to copy.
constexpr int kMaxDistance = N;
constexpr int kMinMatch = THRESHOLD + 1;

// Published codes for the upper 6 bits of a match position: the code sits
// in the top p_len bits of p_code.
constexpr std::array<std::uint8_t, 64> p_len = {
    0x03, 0x04, 0x04, 0x04, 0x05, 0x05, 0x05, 0x05,
    0x05, 0x05, 0x05, 0x05, 0x06, 0x06, 0x06, 0x06,
    0x06, 0x06, 0x06, 0x06, 0x06, 0x06, 0x06, 0x06,
    0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07,
    0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07,
    0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07,
    0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08,
    0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08};
constexpr std::array<std::uint8_t, 64> p_code = {
    0x00, 0x20, 0x30, 0x40, 0x50, 0x58, 0x60, 0x68,
    0x70, 0x78, 0x80, 0x88, 0x90, 0x94, 0x98, 0x9C,
    0xA0, 0xA4, 0xA8, 0xAC, 0xB0, 0xB4, 0xB8, 0xBC,
    0xC0, 0xC2, 0xC4, 0xC6, 0xC8, 0xCA, 0xCC, 0xCE,
    0xD0, 0xD2, 0xD4, 0xD6, 0xD8, 0xDA, 0xDC, 0xDE,
    0xE0, 0xE2, 0xE4, 0xE6, 0xE8, 0xEA, 0xEC, 0xEE,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7,
    0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};

// Collects bits most significant first; the last byte is padded with 0.
class BitWriter {
public:
    // Appends the low `bits` bits of value (at most 32).
    void Put(std::uint32_t value, int bits)
    {
        acc_ = (acc_ << bits) | (value & ((std::uint64_t{1} << bits) - 1));
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(acc_ >> count_));
        }
    }

    std::vector<std::uint8_t> Finish() &&
    {
        if (count_ != 0)
            out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - count_)));
        return std::move(out_);
    }

    void Reserve(std::size_t bytes) { out_.reserve(bytes); }

private:
    std::vector<std::uint8_t> out_;
    std::uint64_t acc_ = 0; // the low count_ bits are not yet written
    int count_ = 0;
};

// The adaptive Huffman tree, node for node the decoder's.
class HuffmanTree {
public:
    HuffmanTree()
    {
        for (int i = 0; i < N_CHAR; ++i) {
            freq_[i] = 1;
            son_[i] = i + T;
            prnt_[i + T] = i;
        }
        for (int i = 0, j = N_CHAR; j <= R; i += 2, ++j) {
            freq_[j] = freq_[i] + freq_[i + 1];
            son_[j] = i;
            prnt_[i] = prnt_[i + 1] = j;
        }
        freq_[T] = 0xFFFF;
        prnt_[R] = 0;
    }

    // Writes the code of symbol c (the path from the root to its leaf) and
    // counts the symbol.
    void Encode(int c, BitWriter& out)
    {
        // Node k is the second child of its parent when k is odd: children
        // always start at even indices.
        std::uint64_t code = 0;
        int length = 0;
        for (int k = prnt_[c + T]; k != R; k = prnt_[k]) {
            code |= static_cast<std::uint64_t>(k & 1) << length;
            if (++length == 64)
                throw std::logic_error("LZHUF code longer than 64 bits");
        }
        for (int shift = length; shift > 0;) {
            int take = std::min(shift, 32);
            shift -= take;
            out.Put(static_cast<std::uint32_t>(code >> shift), take);
        }
        Update(c);
    }

    // Current code length of every symbol: the depth of its leaf. Children
    // always sit below their parent in node order, so one pass from the
    // root downwards suffices.
    void CodeLengths(std::array<std::uint8_t, N_CHAR>& lengths) const
    {
        std::array<std::uint8_t, T> depth;
        depth[R] = 0;
        for (int k = R; k >= 0; --k) {
            int s = son_[k];
            if (s >= T) {
                lengths[s - T] = depth[k];
            } else {
                depth[s] = depth[s + 1] = static_cast<std::uint8_t>(depth[k] + 1);
            }
        }
    }

private:
    void Update(int c)
    {
        if (freq_[R] == MAX_FREQ) Rebuild();
        c = prnt_[c + T];
        do {
            unsigned k = ++freq_[c];
            int l = c + 1;
            if (k > freq_[l]) {
                while (k > freq_[l + 1]) ++l;
                freq_[c] = freq_[l];
                freq_[l] = static_cast<std::uint16_t>(k);
                int i = son_[c];
                prnt_[i] = l;
                if (i < T) prnt_[i + 1] = l;
                int j = son_[l];
                son_[l] = i;
                prnt_[j] = c;
                if (j < T) prnt_[j + 1] = c;
                son_[c] = j;
                c = l;
            }
            c = prnt_[c];
        } while (c != 0);
    }

    // Halves the frequencies and rebuilds the internal nodes, placing each
    // new node behind the nodes of equal frequency.
    void Rebuild()
    {
        int j = 0;
        for (int i = 0; i < T; ++i) {
            if (son_[i] >= T) {
                freq_[j] = static_cast<std::uint16_t>((freq_[i] + 1) / 2);
                son_[j] = son_[i];
                ++j;
            }
        }
        for (int i = 0, j = N_CHAR; j < T; i += 2, ++j) {
            unsigned f = freq_[i] + freq_[i + 1];
            int k = j - 1;
            while (f < freq_[k]) --k;
            ++k;
            std::copy_backward(freq_.begin() + k, freq_.begin() + j, freq_.begin() + j + 1);
            std::copy_backward(son_.begin() + k, son_.begin() + j, son_.begin() + j + 1);
            freq_[k] = static_cast<std::uint16_t>(f);
            son_[k] = i;
        }
        for (int i = 0; i < T; ++i) {
            int k = son_[i];
            prnt_[k] = i;
            if (k < T) prnt_[k + 1] = i;
        }
    }

    std::array<std::uint16_t, T + 1> freq_{};
    std::array<int, T> son_{};
    std::array<int, T + N_CHAR> prnt_{};
};

struct Match {
    int length = 0;
    int distance = 0;
};

// How a level chooses between literals and matches.
enum class Parse {
    Greedy,  // the longest match wherever there is one
    Lazy,    // a literal first when the next byte starts a longer match
    Optimal, // the cheapest path through a block at the code's current lengths
};

struct LevelConfig {
    int maxChain;   // chain links followed per position
    Parse parse;
    int goodLength; // lazy: a match this long ends the look-ahead at once;
                    // optimal: a match this long is taken without weighing
                    // the alternatives inside it
    int block;      // optimal: bytes parsed between two readings of the code
};

constexpr std::array<LevelConfig, 10> kLevels = {{
    {0, Parse::Greedy, 0, 0},
    {4, Parse::Greedy, F, 0},
    {8, Parse::Greedy, F, 0},
    {16, Parse::Greedy, F, 0},
    {16, Parse::Lazy, 16, 0},
    {32, Parse::Lazy, 32, 0},
    {256, Parse::Lazy, F, 0},
    {64, Parse::Optimal, 32, 1024},
    {512, Parse::Optimal, F, 1024},
    {4096, Parse::Optimal, F, 512},
}};

// Hash chains over the text as the decoder's window sees it: the initial
// spaces followed by the input.
class MatchFinder {
public:
    MatchFinder(std::span<const std::uint8_t> text, int maxChain)
        : text_(text), maxChain_(maxChain), head_(kHashSize, -1), prev_(2 * N, -1)
    {
    }

    // Enters every position up to (not including) `end` into the chains.
    void InsertUpTo(std::size_t end)
    {
        end = std::min(end, text_.size() >= 2 ? text_.size() - 2 : 0);
        for (; inserted_ < end; ++inserted_) {
            std::uint32_t h = Hash(inserted_);
            prev_[inserted_ & (2 * N - 1)] = head_[h];
            head_[h] = static_cast<std::int32_t>(inserted_);
        }
    }

    // Longest match for the bytes at `pos`, the nearest among equals.
    // Positions before `pos` must have been inserted.
    Match Find(std::size_t pos) const
    {
        Match found[F];
        int count = FindAll(pos, F, found);
        return count > 0 ? found[count - 1] : Match{};
    }

    // The matches at `pos` of at most `limit` bytes that are longer than
    // every nearer one, nearest first: for each length the nearest source.
    // Returns their number (at most F - 2), none shorter than kMinMatch.
    // Positions before `pos` must have been inserted; positions at or after
    // it may have been, up to F - 1 of them.
    int FindAll(std::size_t pos, std::size_t limit, Match* found) const
    {
        limit = std::min({limit, static_cast<std::size_t>(F), text_.size() - pos});
        if (limit < static_cast<std::size_t>(kMinMatch)) return 0;
        const std::uint8_t* here = text_.data() + pos;
        std::int32_t candidate = head_[Hash(pos)];
        // Later positions entered ahead of time are passed over; the chain
        // runs from the newest position to the oldest.
        while (candidate >= 0 && static_cast<std::size_t>(candidate) >= pos)
            candidate = prev_[static_cast<std::size_t>(candidate) & (2 * N - 1)];
        int count = 0;
        std::size_t best = kMinMatch - 1;
        for (int chain = maxChain_; candidate >= 0 && chain > 0; --chain) {
            std::size_t distance = pos - static_cast<std::size_t>(candidate);
            if (distance > static_cast<std::size_t>(kMaxDistance)) break;
            const std::uint8_t* there = text_.data() + candidate;
            if (there[best] == here[best] && there[0] == here[0]) {
                std::size_t length = 1;
                while (length < limit && there[length] == here[length]) ++length;
                if (length > best) {
                    best = length;
                    found[count++] = {static_cast<int>(length), static_cast<int>(distance)};
                    if (length == limit) break;
                }
            }
            candidate = prev_[static_cast<std::size_t>(candidate) & (2 * N - 1)];
        }
        return count;
    }

private:
    static constexpr std::size_t kHashBits = 15;
    static constexpr std::size_t kHashSize = std::size_t{1} << kHashBits;

    std::uint32_t Hash(std::size_t pos) const
    {
        std::uint32_t v = text_[pos] | (text_[pos + 1] << 8) | (text_[pos + 2] << 16);
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    std::span<const std::uint8_t> text_;
    int maxChain_;
    std::vector<std::int32_t> head_;
    // Links of the last 2N positions: room for the window and for the
    // positions an optimal parse enters ahead of the one it searches.
    std::vector<std::int32_t> prev_;
    // Matches come from the input alone, never from the initial spaces:
    // decoders that start their window otherwise (jLHA's fills it with
    // zeros) then read our streams too, at a cost of a few bytes per
    // megabyte where a file begins with spaces.
    std::size_t inserted_ = kInitialSpaces;
};

// Bits of the position code for a match `distance` bytes back.
int PositionBits(int distance)
{
    return p_len[static_cast<unsigned>(distance - 1) >> 6] + 6;
}

class StreamWriter {
public:
    explicit StreamWriter(std::size_t expected) { bits_.Reserve(expected / 2 + 16); }

    void Literal(std::uint8_t byte) { tree_.Encode(byte, bits_); }

    void Copy(const Match& match)
    {
        tree_.Encode(255 - THRESHOLD + match.length, bits_);
        // The decoder takes the source at (r - position - 1) mod N.
        unsigned position = static_cast<unsigned>(match.distance - 1);
        unsigned upper = position >> 6;
        bits_.Put(p_code[upper] >> (8 - p_len[upper]), p_len[upper]);
        bits_.Put(position & 0x3F, 6);
    }

    void CodeLengths(std::array<std::uint8_t, N_CHAR>& lengths) const { tree_.CodeLengths(lengths); }

    std::vector<std::uint8_t> Finish() && { return std::move(bits_).Finish(); }

private:
    HuffmanTree tree_;
    BitWriter bits_;
};

void ParseGreedyOrLazy(std::span<const std::uint8_t> text, std::size_t pos,
                       const LevelConfig& config, MatchFinder& finder, StreamWriter& writer)
{
    const std::size_t end = text.size();
    const bool lazy = config.parse == Parse::Lazy;
    // A lazy parse carries the match found at `pos` over from the last step.
    Match pending;
    bool havePending = false;

    while (pos < end) {
        finder.InsertUpTo(pos);
        Match match = havePending ? pending : finder.Find(pos);
        havePending = false;
        if (match.length == 0) {
            writer.Literal(text[pos]);
            ++pos;
            continue;
        }
        if (lazy && match.length < config.goodLength && pos + 1 < end) {
            finder.InsertUpTo(pos + 1);
            Match next = finder.Find(pos + 1);
            if (next.length > match.length) {
                writer.Literal(text[pos]);
                ++pos;
                pending = next;
                havePending = true;
                continue;
            }
        }
        writer.Copy(match);
        pos += static_cast<std::size_t>(match.length);
    }
}

// Cheapest parse, block by block. The code changes with every symbol, so a
// block is priced with the lengths the code has when the block begins; it
// is parsed F bytes beyond its end so that matches may cross the border,
// and only the steps up to the border are written before the next block is
// priced afresh.
void ParseOptimal(std::span<const std::uint8_t> text, std::size_t pos,
                  const LevelConfig& config, MatchFinder& finder, StreamWriter& writer)
{
    const std::size_t end = text.size();
    const std::size_t span = static_cast<std::size_t>(config.block) + F;
    constexpr std::uint32_t kUnreached = 0xFFFFFFFF;
    // Per byte of the parsed span: the cheapest cost in bits of arriving
    // there and the last step of that path (length 1 is a literal).
    std::vector<std::uint32_t> cost(span + 1);
    std::vector<std::uint8_t> stepLength(span + 1);
    std::vector<std::uint16_t> stepDistance(span + 1);
    std::vector<Match> path;
    path.reserve(span);
    std::array<std::uint8_t, N_CHAR> bits;
    Match found[F];

    while (pos < end) {
        writer.CodeLengths(bits);
        const std::size_t border = std::min(end, pos + static_cast<std::size_t>(config.block));
        const std::size_t n = std::min(end, border + F) - pos;
        std::fill(cost.begin(), cost.begin() + static_cast<std::ptrdiff_t>(n) + 1, kUnreached);
        cost[0] = 0;
        std::size_t searchFrom = 0; // no search inside a match taken whole
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t base = cost[i];
            const std::uint32_t literal = base + bits[text[pos + i]];
            if (literal < cost[i + 1]) {
                cost[i + 1] = literal;
                stepLength[i + 1] = 1;
            }
            if (i < searchFrom) continue;
            finder.InsertUpTo(pos + i);
            int count = finder.FindAll(pos + i, n - i, found);
            if (count == 0) continue;
            const Match& longest = found[count - 1];
            int first = kMinMatch;
            int k = 0;
            if (longest.length >= config.goodLength) {
                first = longest.length;
                k = count - 1;
                searchFrom = i + static_cast<std::size_t>(longest.length);
            }
            for (int length = first; k < count; ++k) {
                const std::uint32_t position = base + static_cast<std::uint32_t>(PositionBits(found[k].distance));
                for (; length <= found[k].length; ++length) {
                    std::uint32_t c = position + bits[255 - THRESHOLD + length];
                    std::size_t to = i + static_cast<std::size_t>(length);
                    if (c < cost[to]) {
                        cost[to] = c;
                        stepLength[to] = static_cast<std::uint8_t>(length);
                        stepDistance[to] = static_cast<std::uint16_t>(found[k].distance);
                    }
                }
            }
        }
        path.clear();
        for (std::size_t at = n; at > 0; at -= stepLength[at])
            path.push_back({stepLength[at], stepLength[at] == 1 ? 0 : stepDistance[at]});
        for (auto step = path.rbegin(); step != path.rend() && pos < border; ++step) {
            if (step->length == 1)
                writer.Literal(text[pos]);
            else
                writer.Copy(*step);
            pos += static_cast<std::size_t>(step->length);
        }
    }
}

} // namespace

std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> input, int level)
{
    const LevelConfig& config = kLevels[std::clamp(level, kFastest, kBest)];

    // Positions in the text are those of the decoder's window: the initial
    // spaces, then the input.
    std::vector<std::uint8_t> text(kInitialSpaces + input.size(), ' ');
    std::copy(input.begin(), input.end(), text.begin() + kInitialSpaces);

    MatchFinder finder(text, config.maxChain);
    StreamWriter writer(input.size());
    if (config.parse == Parse::Optimal)
        ParseOptimal(text, kInitialSpaces, config, finder, writer);
    else
        ParseGreedyOrLazy(text, kInitialSpaces, config, finder, writer);
    return std::move(writer).Finish();
}

} // namespace lzhuf
