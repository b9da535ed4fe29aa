// Streams written symbol by symbol with the published 1988 tree code, so
// that a test can put any symbol at any moment: in particular the one that
// makes the tree rebuild, at the leaf position it chooses. Shared by the
// unit tests, the comparison with the plain decoder and the decoder's fuzz
// target.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

namespace craft {

using Bytes = std::vector<std::uint8_t>;

constexpr int N = 4096, F = 60, THRESHOLD = 2;
constexpr int N_CHAR = 256 - THRESHOLD + F, T = N_CHAR * 2 - 1, R = T - 1;
constexpr unsigned MAX_FREQ = 0x8000;

// Position codes of the upper 6 bits: length and code (left-aligned in a
// byte), the encoder's side of the decoder's d_code and d_len.
inline constexpr unsigned char p_len[64] = {
    3, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    6, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};
inline constexpr unsigned char p_code[64] = {
    0x00, 0x20, 0x30, 0x40, 0x50, 0x58, 0x60, 0x68, 0x70, 0x78, 0x80, 0x88, 0x90,
    0x94, 0x98, 0x9C, 0xA0, 0xA4, 0xA8, 0xAC, 0xB0, 0xB4, 0xB8, 0xBC, 0xC0, 0xC2,
    0xC4, 0xC6, 0xC8, 0xCA, 0xCC, 0xCE, 0xD0, 0xD2, 0xD4, 0xD6, 0xD8, 0xDA, 0xDC,
    0xDE, 0xE0, 0xE2, 0xE4, 0xE6, 0xE8, 0xEA, 0xEC, 0xEE, 0xF0, 0xF1, 0xF2, 0xF3,
    0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};

// The published tree code, transcribed plainly.
struct RefTree {
    unsigned freq[T + 1];
    int son[T];
    int prnt[T + N_CHAR];
    unsigned long rebuilds = 0;

    RefTree()
    {
        int i, j;
        for (i = 0; i < N_CHAR; i++) {
            freq[i] = 1;
            son[i] = i + T;
            prnt[i + T] = i;
        }
        i = 0;
        j = N_CHAR;
        while (j <= R) {
            freq[j] = freq[i] + freq[i + 1];
            son[j] = i;
            prnt[i] = prnt[i + 1] = j;
            i += 2;
            j++;
        }
        freq[T] = 0xffff;
        prnt[R] = 0;
    }

    void reconst()
    {
        int i, j, k;
        unsigned f, l;
        ++rebuilds;
        j = 0;
        for (i = 0; i < T; i++) {
            if (son[i] >= T) {
                freq[j] = (freq[i] + 1) / 2;
                son[j] = son[i];
                j++;
            }
        }
        for (i = 0, j = N_CHAR; j < T; i += 2, j++) {
            k = i + 1;
            f = freq[j] = freq[i] + freq[k];
            for (k = j - 1; f < freq[k]; k--)
                ;
            k++;
            l = (j - k) * sizeof(unsigned);
            std::memmove(&freq[k + 1], &freq[k], l);
            freq[k] = f;
            l = (j - k) * sizeof(int);
            std::memmove(&son[k + 1], &son[k], l);
            son[k] = i;
        }
        for (i = 0; i < T; i++) {
            if ((k = son[i]) >= T) {
                prnt[k] = i;
            } else {
                prnt[k] = prnt[k + 1] = i;
            }
        }
    }

    void update(int c)
    {
        int i, j, l;
        unsigned k;
        if (freq[R] == MAX_FREQ) reconst();
        c = prnt[c + T];
        do {
            k = ++freq[c];
            if (k > freq[l = c + 1]) {
                while (k > freq[++l])
                    ;
                l--;
                freq[c] = freq[l];
                freq[l] = k;
                i = son[c];
                prnt[i] = l;
                if (i < T) prnt[i + 1] = l;
                j = son[l];
                son[l] = i;
                prnt[j] = c;
                if (j < T) prnt[j + 1] = c;
                son[c] = j;
                c = l;
            }
        } while ((c = prnt[c]) != 0);
    }

    // Writes the code of symbol c, first bit first, through bit(int).
    template <typename BitWriter>
    void WriteCode(int c, BitWriter bit) const
    {
        int path[T];
        int depth = 0;
        for (int k = prnt[c + T]; k != R; k = prnt[k]) path[depth++] = k & 1;
        while (depth) bit(path[--depth]);
    }
};

// Where the leaf that makes the tree rebuild stands once it is rebuilt.
enum class LeafAt {
    NodeZero,  // the rarest leaf, at node 0
    LastLeaf,  // node 313, the most frequent leaf
    InsideRun, // between two leaves of the same (halved) frequency
    Anywhere   // any of the 314
};

// Writes chosen symbols with the reference tree and keeps the bytes they
// stand for, so that streams can say exactly what a test needs.
class StreamCrafter {
public:
    StreamCrafter() { std::fill(ring_, ring_ + N - F, ' '); }

    void Literal(unsigned char b)
    {
        Symbol(b);
        Put(b);
    }

    // A match of `length` bytes whose source is position + 1 bytes back.
    void Match(int position, int length)
    {
        Symbol(255 - THRESHOLD + length);
        int upper = position >> 6;
        for (int i = p_len[upper] - 1; i >= 0; i--) Bit(((p_code[upper] >> (8 - p_len[upper])) >> i) & 1);
        for (int i = 5; i >= 0; i--) Bit((position >> i) & 1);
        int from = (r_ - position - 1) & (N - 1);
        for (int k = 0; k < length; k++) Put(ring_[(from + k) & (N - 1)]);
    }

    // Symbol c as a literal or, from 256 on, as a match from `position`.
    // The window's last 60 bytes have no defined content until the output
    // first reaches them, so a position that would read them is folded back.
    void Emit(int c, unsigned position)
    {
        if (c < 256) {
            Literal(static_cast<unsigned char>(c));
            return;
        }
        position &= N - 1;
        if (expected.size() < F) position %= N - F + expected.size();
        Match(static_cast<int>(position), c - (255 - THRESHOLD));
    }

    // True when the next symbol's update starts with a rebuild.
    bool RebuildNext() const { return tree_.freq[R] == MAX_FREQ; }
    unsigned long Rebuilds() const { return tree_.rebuilds; }
    unsigned long Symbols() const { return symbols_; }

    // The symbols of the leaves in node order with their frequencies: a
    // rebuild keeps this order and halves the frequencies (rounding up).
    std::vector<std::pair<int, unsigned>> Leaves() const
    {
        std::vector<std::pair<int, unsigned>> leaves;
        for (int i = 0; i < T; i++)
            if (tree_.son[i] >= T) leaves.emplace_back(tree_.son[i] - T, tree_.freq[i]);
        return leaves;
    }

    // A symbol that will stand at `where` after the coming rebuild; `choice`
    // picks among several candidates. InsideRun falls back to Anywhere in
    // the rare tree without three equal neighbours.
    int LeafForRebuild(LeafAt where, unsigned choice) const
    {
        std::vector<std::pair<int, unsigned>> leaves = Leaves();
        const int count = static_cast<int>(leaves.size());
        if (where == LeafAt::NodeZero) return leaves.front().first;
        if (where == LeafAt::LastLeaf) return leaves.back().first;
        if (where == LeafAt::InsideRun) {
            std::vector<int> inside;
            for (int i = 1; i + 1 < count; i++) {
                unsigned f = (leaves[i].second + 1) / 2;
                if ((leaves[i - 1].second + 1) / 2 == f && (leaves[i + 1].second + 1) / 2 == f)
                    inside.push_back(i);
            }
            if (!inside.empty()) return leaves[inside[choice % inside.size()]].first;
        }
        return leaves[choice % count].first;
    }

    // The stream so far; its last byte is padded with zero bits.
    const Bytes& Stream() const { return stream_; }
    std::size_t BitCount() const { return bits_; }

    Bytes expected;

private:
    void Bit(int bit)
    {
        if (bits_ % 8 == 0) stream_.push_back(0);
        if (bit) stream_.back() |= static_cast<std::uint8_t>(0x80 >> (bits_ % 8));
        ++bits_;
    }
    void Symbol(int c)
    {
        tree_.WriteCode(c, [this](int bit) { Bit(bit); });
        tree_.update(c);
        ++symbols_;
    }
    void Put(unsigned char b)
    {
        expected.push_back(b);
        ring_[r_] = b;
        r_ = (r_ + 1) & (N - 1);
    }

    RefTree tree_;
    Bytes stream_;
    std::size_t bits_ = 0;
    unsigned long symbols_ = 0;
    unsigned char ring_[N] = {};
    int r_ = N - F;
};

// What the symbols between rebuilds look like.
enum class Filler {
    Text,     // literals of a small alphabet, a few short matches
    Matches,  // mostly matches, the shortest most often
    Flat,     // all 314 symbols alike: long runs of equal frequencies
    Dominant  // one literal nearly always: rebuilds as close as they come
};

// One symbol of the kind, near matches mostly, sometimes from anywhere.
inline void Fill(StreamCrafter& s, Filler kind, std::mt19937& rng)
{
    unsigned roll = rng() % 100;
    int c = 0;
    switch (kind) {
    case Filler::Text:
        c = roll < 90 ? "etaoin shrdlu"[rng() % 13] + static_cast<int>(roll % 4)
                      : 256 + static_cast<int>(rng() % 8);
        break;
    case Filler::Matches:
        c = roll < 70 ? 256 + static_cast<int>(rng() % (1 + roll % 20))
                      : static_cast<int>('0' + rng() % 10);
        break;
    case Filler::Flat:
        c = static_cast<int>(rng() % N_CHAR);
        break;
    case Filler::Dominant:
        c = roll < 97 ? 'x' : static_cast<int>(rng() % N_CHAR);
        break;
    }
    s.Emit(c, roll % 5 ? rng() % 64 : rng());
}

// Fills up to the next rebuild and lets the symbol that makes it be a leaf
// that will stand at `where`; returns that symbol.
inline int RunToRebuild(StreamCrafter& s, Filler kind, LeafAt where, std::mt19937& rng)
{
    while (!s.RebuildNext()) Fill(s, kind, rng);
    int c = s.LeafForRebuild(where, rng());
    s.Emit(c, rng());
    return c;
}

} // namespace craft
