// LZHUF decoding: an adaptive Huffman code for literals and match lengths,
// a fixed prefix code for the upper 6 bits of a match position, and an LZSS
// ring buffer of 4,096 bytes that starts with spaces. The tree code follows
// the published 1988 algorithm step by step; streams made by any encoder
// with these parameters depend on every detail of update and reconst.
//
// Compiled into the stub (no C runtime) and natively for tests and tools,
// so plain C-style code only.
#include "lzhuf.h"

namespace {

enum {
    N = LZHUF_N,
    F = LZHUF_F,
    THRESHOLD = LZHUF_THRESHOLD,
    N_CHAR = LZHUF_N_CHAR,
    T = LZHUF_T,
    R = LZHUF_R,
    MAX_FREQ = LZHUF_MAX_FREQ,
    WRITE_BLOCK = LZHUF_WRITE_BLOCK,
    // Bits a stream may leave owing at its end before it counts as damaged.
    SLACK_BITS = 2 * 8
};

// Bits come most significant first; bytes past the end of the stream read
// as 0. `buffer` holds the next `count` bits at its top, bit 31 first; what
// lies below them are the following stream bits or zeros, never anything
// else, so a refill may OR the same bits in again. `extra` counts the zero
// bytes taken past the end, so that the bits a symbol really used beyond
// the end are extra * 8 - count.
struct BitReader {
    const unsigned char* next;
    const unsigned char* end;
    unsigned buffer;
    unsigned count;
    unsigned long extra;
    unsigned long base;      // block offset of the piece `end` closes
    LzhufDecoder* decoder;   // its source gives the pieces after the first
};

// The next piece of the entry block from the decoder's source; 0 when
// there is none (or no source).
int NextPiece(BitReader& in)
{
    LzhufDecoder* d = in.decoder;
    const unsigned char* piece;
    unsigned long size;
    if (!d->source || !d->source(d->sourceContext, &piece, &size) || !size) return 0;
    in.next = piece;
    in.end = piece + size;
    in.base += size;
    return 1;
}

// Tops the buffer up to 24 bits or more; called with 24 or fewer. Four bytes at once while they are
// there: the bits that fit go in behind the ones held, whole bytes are
// counted as taken, and the rest of the word comes again next time.
inline void Refill(BitReader& in)
{
    if (in.end - in.next >= 4) {
        const unsigned char* p = in.next;
        unsigned word = (static_cast<unsigned>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
        in.buffer |= word >> in.count;
        in.next += (31 - in.count) >> 3;
        in.count |= 24;
        return;
    }
    while (in.count <= 24) {
        unsigned b = 0;
        if (in.next < in.end || NextPiece(in)) b = *in.next++;
        else ++in.extra;
        in.buffer |= b << (24 - in.count);
        in.count += 8;
    }
}

inline unsigned GetBit(BitReader& in)
{
    if (in.count == 0) Refill(in);
    unsigned bit = in.buffer >> 31;
    in.buffer <<= 1;
    --in.count;
    return bit;
}

void StartHuff(LzhufDecoder* d)
{
    int i, j;
    for (i = 0; i < N_CHAR; i++) {
        d->freq[i] = 1;
        d->son[i] = static_cast<short>(i + T);
        d->prnt[i + T] = static_cast<short>(i);
    }
    for (i = 0, j = N_CHAR; j <= R; i += 2, j++) {
        d->freq[j] = static_cast<unsigned short>(d->freq[i] + d->freq[i + 1]);
        d->son[j] = static_cast<short>(i);
        d->prnt[i] = d->prnt[i + 1] = static_cast<short>(j);
    }
    d->freq[T] = 0xFFFF;
    d->prnt[R] = 0;
}

// Rebuilds the tree from the leaves with halved frequencies. A new internal
// node goes behind the nodes of equal frequency; the encoder relies on it.
void reconst(LzhufDecoder* d)
{
    unsigned short* freq = d->freq;
    short* son = d->son;
    int i, j, k;

    for (i = 0, j = 0; i < T; i++) {
        if (son[i] >= T) {
            freq[j] = static_cast<unsigned short>((freq[i] + 1) / 2);
            son[j] = son[i];
            j++;
        }
    }
    for (i = 0, j = N_CHAR; j < T; i += 2, j++) {
        unsigned f = freq[i] + freq[i + 1];
        for (k = j - 1; f < freq[k]; k--) {
        }
        k++;
        for (int m = j; m > k; m--) {
            freq[m] = freq[m - 1];
            son[m] = son[m - 1];
        }
        freq[k] = static_cast<unsigned short>(f);
        son[k] = static_cast<short>(i);
    }
    for (i = 0; i < T; i++) {
        k = son[i];
        d->prnt[k] = static_cast<short>(i);
        if (k < T) d->prnt[k + 1] = static_cast<short>(i);
    }
}

// Node c has just been counted up to k, above the node behind it: moves
// it behind the last node below k (exchanging the two) and returns where
// it went.
int Exchange(LzhufDecoder* d, int c, unsigned k)
{
    unsigned short* freq = d->freq;
    short* son = d->son;
    short* prnt = d->prnt;
    int l = c + 1;
    // Runs of equal frequencies are long (all leaves start at 1), so they
    // are passed over a machine word of frequencies at a time while every
    // one of them is k - 1, which the one-by-one test would pass too.
    const unsigned long run = (k - 1) * (~0ul / 0xFFFF);
    const int perWord = sizeof(unsigned long) / sizeof(freq[0]);
    unsigned long next;
    while (l + perWord <= T) {
        __builtin_memcpy(&next, &freq[l + 1], sizeof next);
        if (next != run) break;
        l += perWord;
    }
    while (k > freq[l + 1]) l++;
    freq[c] = freq[l];
    freq[l] = static_cast<unsigned short>(k);
    int i = son[c];
    prnt[i] = static_cast<short>(l);
    if (i < T) prnt[i + 1] = static_cast<short>(l);
    int j = son[l];
    son[l] = static_cast<short>(i);
    prnt[j] = static_cast<short>(c);
    if (j < T) prnt[j + 1] = static_cast<short>(c);
    son[c] = static_cast<short>(j);
    return l;
}

enum { PATH = 32 }; // deeper than any tree whose root stays below 0x8000

// Counts symbol c once more and restores the order of frequencies by
// exchanging nodes on the way up: the leaf's node first, then each parent
// in turn up to the root. path[0 .. depth - 1] are the nodes DecodeChar
// went through below the root, the leaf last: as long as nothing is
// exchanged they are the way up, and reading them saves waiting for each
// parent in turn.
void update(LzhufDecoder* d, int c, const short* path, unsigned depth)
{
    unsigned short* freq = d->freq;
    const short* prnt = d->prnt;

    if (freq[R] == MAX_FREQ) {
        reconst(d);
        depth = PATH + 1;
    }
    if (depth <= PATH) {
        for (;;) {
            if (depth == 0) {
                ++freq[R];
                return;
            }
            c = path[--depth];
            unsigned k = ++freq[c];
            if (k > freq[c + 1]) {
                c = prnt[Exchange(d, c, k)];
                break;
            }
        }
    } else {
        // After a rebuild the way down is stale. The leaf's node may be
        // node 0, the same number that marks the root's parent, so each
        // node is counted before the test.
        c = prnt[c + T];
    }
    do {
        unsigned k = ++freq[c];
        if (k > freq[c + 1]) c = Exchange(d, c, k);
        c = prnt[c];
    } while (c != 0);
}

// The published position tables as runs: codes of 3 to 8 bits for the
// upper 6 bits of a position, this many values of each length.
const unsigned char kCodesPerLength[6] = {1, 3, 8, 12, 24, 16};

} // namespace

int Decode(LzhufDecoder* decoder, const unsigned char* block,
           unsigned long blockSize, LzhufSink sink, void* context)
{
    if (blockSize < 14) return LzhufBadHeader;
    unsigned long nameLength = block[9];
    if (blockSize < 14 + nameLength) return LzhufBadHeader;
    const unsigned char* p = block + 10 + nameLength;
    unsigned long textsize = p[0] | (p[1] << 8) | (p[2] << 16) |
                             (static_cast<unsigned long>(p[3]) << 24);

    unsigned char* out = decoder->out;
    unsigned long fill = 0;
    unsigned long used = 14 + nameLength; // where the last symbol ended
    if (textsize != 0) {
        unsigned char d_code[256], d_len[256];
        {
            int i = 0, code = 0;
            for (int len = 3; len <= 8; len++) {
                for (int n = kCodesPerLength[len - 3]; n; n--, code++) {
                    for (int k = 1 << (8 - len); k; k--, i++) {
                        d_code[i] = static_cast<unsigned char>(code);
                        d_len[i] = static_cast<unsigned char>(len);
                    }
                }
            }
        }

        StartHuff(decoder);
        unsigned char* text_buf = decoder->text_buf;
        for (int i = 0; i < N; i++) text_buf[i] = i < N - F ? ' ' : 0;

        BitReader in;
        in.next = p + 4;
        in.end = block + blockSize;
        in.buffer = in.count = in.extra = 0;
        in.base = blockSize;
        in.decoder = decoder;
        const short* son = decoder->son;
        unsigned r = N - F;
        unsigned long count = 0;

        while (count < textsize) {
            // DecodeChar
            short path[PATH];
            unsigned depth = 0;
            unsigned c = son[R];
            while (c < T) {
                c += GetBit(in);
                path[depth++ & (PATH - 1)] = static_cast<short>(c);
                c = son[c];
            }
            c -= T;
            update(decoder, c, path, depth);

            unsigned long length = 1;
            unsigned from = 0;
            if (c >= 256) {
                // DecodePosition: the first 8 bits pick the upper 6 bits
                // and the code's length, 9 to 14 bits in all; its last 6
                // bits are the lower 6 bits of the position.
                if (in.count < 14) Refill(in);
                unsigned i = in.buffer >> 24;
                unsigned bits = d_len[i] + 6u;
                unsigned code = in.buffer >> (32 - bits);
                in.buffer <<= bits;
                in.count -= bits;
                unsigned position = (static_cast<unsigned>(d_code[i]) << 6) | (code & 0x3F);
                from = (r - position - 1) & (N - 1);
                length = c - (255 - THRESHOLD);
            }
            if (in.extra * 8 > in.count + SLACK_BITS)
                return LzhufDamaged;
            if (length > textsize - count) return LzhufDamaged;
            count += length;

            do {
                unsigned char b;
                if (c < 256) {
                    b = static_cast<unsigned char>(c);
                } else {
                    b = text_buf[from];
                    from = (from + 1) & (N - 1);
                }
                text_buf[r] = b;
                r = (r + 1) & (N - 1);
                out[fill++] = b;
                if (fill == WRITE_BLOCK) {
                    if (!sink(context, out, WRITE_BLOCK)) return LzhufSinkFailed;
                    fill = 0;
                }
            } while (--length);
        }
        // The bits taken are those of the bytes counted as read, zeros
        // past the end included, less the ones still held.
        used = in.base - static_cast<unsigned long>(in.end - in.next) + in.extra -
               (in.count >> 3);
    }
    decoder->streamEnd = used;
    if (!sink(context, out, fill)) return LzhufSinkFailed;
    return LzhufOk;
}
