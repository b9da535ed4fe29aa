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

// The classic encoder never refers further back than N - F - 1 bytes;
// staying within that keeps our streams readable by every decoder that
// reads its streams.
constexpr int kMaxDistance = N - F - 1;
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

struct LevelConfig {
    int maxChain;      // chain links followed per position
    bool lazy;         // look one byte ahead for a longer match
    int goodLength;    // a match this long ends the look-ahead at once
};

constexpr std::array<LevelConfig, 10> kLevels = {{
    {0, false, 0},
    {4, false, F},
    {8, false, F},
    {16, false, F},
    {16, true, 16},
    {32, true, 32},
    {64, true, F},
    {256, true, F},
    {1024, true, F},
    {4096, true, F},
}};

// Hash chains over the text as the decoder's window sees it: the initial
// spaces followed by the input.
class MatchFinder {
public:
    MatchFinder(std::span<const std::uint8_t> text, int maxChain)
        : text_(text), maxChain_(maxChain), head_(kHashSize, -1), prev_(N, -1)
    {
    }

    // Enters every position up to (not including) `end` into the chains.
    void InsertUpTo(std::size_t end)
    {
        end = std::min(end, text_.size() >= 2 ? text_.size() - 2 : 0);
        for (; inserted_ < end; ++inserted_) {
            std::uint32_t h = Hash(inserted_);
            prev_[inserted_ & (N - 1)] = head_[h];
            head_[h] = static_cast<std::int32_t>(inserted_);
        }
    }

    // Longest match for the bytes at `pos`, the nearest among equals.
    // Positions before `pos` must have been inserted.
    Match Find(std::size_t pos) const
    {
        Match best;
        std::size_t limit = std::min<std::size_t>(F, text_.size() - pos);
        if (limit < static_cast<std::size_t>(kMinMatch)) return best;
        const std::uint8_t* here = text_.data() + pos;
        std::int32_t candidate = head_[Hash(pos)];
        for (int chain = maxChain_; candidate >= 0 && chain > 0; --chain) {
            std::size_t distance = pos - static_cast<std::size_t>(candidate);
            if (distance > static_cast<std::size_t>(kMaxDistance)) break;
            const std::uint8_t* there = text_.data() + candidate;
            if (there[best.length] == here[best.length] && there[0] == here[0]) {
                std::size_t length = 1;
                while (length < limit && there[length] == here[length]) ++length;
                if (static_cast<int>(length) > best.length) {
                    best.length = static_cast<int>(length);
                    best.distance = static_cast<int>(distance);
                    if (length == limit) break;
                }
            }
            candidate = prev_[static_cast<std::size_t>(candidate) & (N - 1)];
        }
        if (best.length < kMinMatch) best = Match{};
        return best;
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
    std::vector<std::int32_t> prev_;
    std::size_t inserted_ = 0;
};

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

    std::vector<std::uint8_t> Finish() && { return std::move(bits_).Finish(); }

private:
    HuffmanTree tree_;
    BitWriter bits_;
};

} // namespace

std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> input, int level)
{
    const LevelConfig& config = kLevels[std::clamp(level, kFastest, kBest)];

    // Matches may reach back into the initial spaces, so they are part of
    // the searched text.
    std::vector<std::uint8_t> text(kInitialSpaces + input.size(), ' ');
    std::copy(input.begin(), input.end(), text.begin() + kInitialSpaces);

    MatchFinder finder(text, config.maxChain);
    StreamWriter writer(input.size());
    std::size_t pos = kInitialSpaces;
    const std::size_t end = text.size();
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
        if (config.lazy && match.length < config.goodLength && pos + 1 < end) {
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
    return std::move(writer).Finish();
}

} // namespace lzhuf
