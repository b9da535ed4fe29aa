// LZMA2 decoding. The chunk framing is a small state machine fed byte by
// byte; an LZMA chunk's packed bytes are gathered whole into the state
// (at most 64 KiB) and decoded from there, so the symbol loop never waits
// for input in the middle of a symbol and needs no second, cautious path
// for the last bytes of a piece. The names follow the published
// description of LZMA: lc, lp, pb, state, rep0..rep3, range and code, the
// probability models IsMatch, IsRep, ..., Literal.
//
// Compiled into the stub (no C runtime) and natively for tests and tools,
// so plain C-style code only; nothing here needs CMOV or BSWAP.
#include "lzma2_decode.h"

namespace {

enum {
    kNumBitModelTotalBits = 11,
    kBitModelTotal = 1 << kNumBitModelTotalBits,
    kNumMoveBits = 5,
    kNumStates = 12,
    kNumPosBitsMax = 4,
    kNumLenToPosStates = 4,
    kNumAlignBits = 4,
    kEndPosModelIndex = 14,
    kNumFullDistances = 1 << (kEndPosModelIndex >> 1),
    kMatchMinLen = 2,
    kLiteralCoderSize = 0x300,

    // A length model: a choice between 8 short, 8 middle and 256 long
    // lengths, the first two per pb position.
    LenChoice = 0,
    LenChoice2 = 1,
    LenLow = 2,
    LenMid = LenLow + (1 << kNumPosBitsMax) * 8,
    LenHigh = LenMid + (1 << kNumPosBitsMax) * 8,
    kNumLenProbs = LenHigh + 256,

    // All probability models in one array. PosDecoders holds the reverse
    // bit trees of distance slots 4 to 13: node 1 of the tree of slot s,
    // base distance d, is at PosDecoders + d - s, so that the ten trees
    // lie next to each other in 114 models.
    IsMatch = 0,
    IsRep = IsMatch + (kNumStates << kNumPosBitsMax),
    IsRepG0 = IsRep + kNumStates,
    IsRepG1 = IsRepG0 + kNumStates,
    IsRepG2 = IsRepG1 + kNumStates,
    IsRep0Long = IsRepG2 + kNumStates,
    PosSlot = IsRep0Long + (kNumStates << kNumPosBitsMax),
    PosDecoders = PosSlot + (kNumLenToPosStates << 6),
    Align = PosDecoders + kNumFullDistances - kEndPosModelIndex,
    LenCoder = Align + (1 << kNumAlignBits),
    RepLenCoder = LenCoder + kNumLenProbs,
    Literal = RepLenCoder + kNumLenProbs
};

static_assert(Literal + (kLiteralCoderSize << LZMA2_LCLP_MAX) == LZMA2_PROBS,
              "probability layout");

const unsigned kTopValue = 1u << 24;

// The ended and damaged phases are numbered as the results that every
// later call returns.
enum {
    PhaseControl,  // a control byte comes next
    PhaseHeader,   // gathering the chunk's header into p->chunk
    PhaseData,     // gathering its packed or uncompressed bytes
    PhaseOutput,   // decoding or copying them into the dictionary
    PhaseEnded = Lzma2StreamEnd,
    PhaseDamaged = Lzma2Damaged
};

// One bit of probability model *prob, which moves 1/32 of the way towards
// what was seen. Expanded in place only where the time goes (the literal
// and tree loops, IsMatch); everywhere else through Bit, to keep the stub
// small.
__attribute__((always_inline)) inline unsigned DecodeBit(Lzma2RangeDecoder* rc, unsigned short* prob)
{
    unsigned v = *prob;
    if (rc->range < kTopValue) {
        rc->range <<= 8;
        rc->code = (rc->code << 8) | *rc->in++;
    }
    const unsigned bound = (rc->range >> kNumBitModelTotalBits) * v;
    if (rc->code < bound) {
        rc->range = bound;
        *prob = static_cast<unsigned short>(v + ((kBitModelTotal - v) >> kNumMoveBits));
        return 0;
    }
    rc->range -= bound;
    rc->code -= bound;
    *prob = static_cast<unsigned short>(v - (v >> kNumMoveBits));
    return 1;
}

__attribute__((noinline)) unsigned Bit(Lzma2RangeDecoder* rc, unsigned short* prob)
{
    return DecodeBit(rc, prob);
}

// A bit tree, most significant bit first: from node m (1 for a whole
// tree) down until m reaches `top` (2^bits); model of node m at probs[m].
// Returns m, the symbol with `top` added.
__attribute__((noinline)) unsigned Tree(Lzma2RangeDecoder* rc, unsigned short* probs,
                                        unsigned m, unsigned top)
{
    do m = (m << 1) | DecodeBit(rc, probs + m); while (m < top);
    return m;
}

// A reverse bit tree: `bits` bits, least significant first.
unsigned ReverseTree(Lzma2RangeDecoder* rc, unsigned short* probs, unsigned bits)
{
    unsigned m = 1, symbol = 0;
    for (unsigned i = 0; i < bits; i++) {
        const unsigned bit = Bit(rc, probs + m);
        m = (m << 1) | bit;
        symbol |= bit << i;
    }
    return symbol;
}

// A length, 0-based: 3 bits after choice 0, 8 + 3 bits after choice2 0,
// else 16 + 8 bits; the short ones per pb position.
unsigned DecodeLen(Lzma2RangeDecoder* rc, unsigned short* probs, unsigned posState)
{
    if (!Bit(rc, probs + LenChoice))
        return Tree(rc, probs + LenLow + (posState << 3), 1, 8) - 8;
    if (!Bit(rc, probs + LenChoice2))
        return Tree(rc, probs + LenMid + (posState << 3), 1, 8);
    return Tree(rc, probs + LenHigh, 1, 0x100) - 0x100 + 16;
}

// A new distance (rep0) for a match of 0-based length len: a 6-bit slot
// per length class (0, 1, 2, 3 and up); slots 4 and up give the top two
// bits and how many follow, through a reverse bit tree for slots below
// 14, else as direct bits and a reverse tree for the low four.
unsigned DecodeDistance(Lzma2RangeDecoder* rc, unsigned short* probs, unsigned len)
{
    if (len > kNumLenToPosStates - 1) len = kNumLenToPosStates - 1;
    const unsigned slot = Tree(rc, probs + PosSlot + (len << 6), 1, 0x40) - 0x40;
    if (slot < 4) return slot;
    unsigned bits = (slot >> 1) - 1;
    unsigned dist = (2 | (slot & 1)) << bits;
    if (slot < kEndPosModelIndex)
        return dist + ReverseTree(rc, probs + PosDecoders + dist - slot - 1, bits);
    // Direct bits: halve the range and take the half the code lies in,
    // without a branch.
    unsigned direct = 0;
    bits -= kNumAlignBits;
    do {
        if (rc->range < kTopValue) {
            rc->range <<= 8;
            rc->code = (rc->code << 8) | *rc->in++;
        }
        rc->range >>= 1;
        unsigned code = rc->code - rc->range;
        const unsigned below = 0u - (code >> 31); // all ones for a 0
        rc->code = code + (rc->range & below);
        direct = (direct << 1) + (below + 1);
    } while (--bits);
    return dist + (direct << kNumAlignBits) + ReverseTree(rc, probs + Align, kNumAlignBits);
}

// Decodes symbols of the gathered LZMA chunk into the dictionary, `room`
// bytes (at least 1; they fit before the dictionary's end and within the
// chunk's unpacked size). A match cut short by `room` is finished first by
// the next call. Returns 1 on damage, 0 otherwise.
int DecodeSymbols(Lzma2Decoder* p, unsigned long room)
{
    unsigned char* const dic = p->dic;
    const unsigned long dicBufSize = p->dicBufSize;
    unsigned short* const probs = p->probs;
    Lzma2RangeDecoder* const rc = &p->rc;
    unsigned state = p->state;
    unsigned rep0 = p->rep0;
    unsigned long pos = p->dicPos;
    const unsigned long limit = pos + room;
    const unsigned long chunkEnd = pos + p->unpackLeft;
    unsigned len = p->remainLen;
    int damaged = 0;
    unsigned posState, symbol;
    unsigned short* prob;
    unsigned long src, n;

    if (len) goto copy;
    while (pos < limit) {
        // A sound chunk's symbols stay within its packed bytes; the zero
        // bytes behind them hold a damaged one's last symbol.
        if (rc->in > p->chunk + p->packSize) {
            damaged = 1;
            break;
        }
        posState = (p->posBase + static_cast<unsigned>(pos)) & p->pbMask;
        if (!DecodeBit(rc, probs + IsMatch + (state << kNumPosBitsMax) + posState)) {
            // A literal, coded in the context of the byte before it and
            // the lp low bits of its position. Before the first byte of a
            // dictionary that is the zero its last byte got at the reset.
            symbol = dic[(pos ? pos : dicBufSize) - 1];
            prob = probs + Literal + kLiteralCoderSize *
                ((((p->posBase + static_cast<unsigned>(pos)) & p->lpMask) << p->lc) +
                 (symbol >> (8 - p->lc)));
            symbol = 1;
            if (state >= 7) {
                // After a match the byte at rep0 predicts the bits, up to
                // the first one that differs.
                src = pos - rep0 - 1;
                if (rep0 >= pos) src += dicBufSize;
                unsigned matchByte = dic[src];
                do {
                    const unsigned matchBit = (matchByte >> 7) & 1;
                    matchByte <<= 1;
                    const unsigned bit = DecodeBit(rc, prob + 0x100 + (matchBit << 8) + symbol);
                    symbol = (symbol << 1) | bit;
                    if (bit != matchBit) break;
                } while (symbol < 0x100);
            }
            if (symbol < 0x100) symbol = Tree(rc, prob, symbol, 0x100);
            dic[pos++] = static_cast<unsigned char>(symbol);
            state = state < 4 ? 0 : (state < 10 ? state - 3 : state - 6);
            continue;
        }

        if (Bit(rc, probs + IsRep + state)) {
            // A repeated distance: rep0 for one byte (a short rep) or a
            // match, or rep1..rep3 moved to the front.
            if (!Bit(rc, probs + IsRepG0 + state)) {
                if (!Bit(rc, probs + IsRep0Long + (state << kNumPosBitsMax) + posState)) {
                    state = state < 7 ? 9 : 11;
                    len = 1;
                    goto check;
                }
            } else {
                unsigned dist;
                if (!Bit(rc, probs + IsRepG1 + state)) {
                    dist = p->rep1;
                } else {
                    if (!Bit(rc, probs + IsRepG2 + state)) {
                        dist = p->rep2;
                    } else {
                        dist = p->rep3;
                        p->rep3 = p->rep2;
                    }
                    p->rep2 = p->rep1;
                }
                p->rep1 = rep0;
                rep0 = dist;
            }
            state = state < 7 ? 8 : 11;
            len = DecodeLen(rc, probs + RepLenCoder, posState) + kMatchMinLen;
        } else {
            p->rep3 = p->rep2;
            p->rep2 = p->rep1;
            p->rep1 = rep0;
            state = state < 7 ? 7 : 10;
            len = DecodeLen(rc, probs + LenCoder, posState);
            rep0 = DecodeDistance(rc, probs, len);
            len += kMatchMinLen;
        }

    check:
        // rep0 + 1 bytes back must lie within what the stream has decoded
        // and the dictionary holds; 0xFFFFFFFF, the end-of-payload marker
        // of plain LZMA, fails here too. The match must end in the chunk.
        if (rep0 >= p->dicLimit || (!p->wrapped && rep0 >= pos) || len > chunkEnd - pos) {
            damaged = 1;
            break;
        }
    copy:
        n = limit - pos;
        if (n > len) n = len;
        len -= static_cast<unsigned>(n);
        src = pos - rep0 - 1;
        if (rep0 >= pos) src += dicBufSize;
        // The source may run into the dictionary's end (the destination
        // never does): copy up to there, then on from its start.
        while (n) {
            unsigned long piece = dicBufSize - src;
            if (piece > n) piece = n;
            n -= piece;
            unsigned char* d = dic + pos;
            const unsigned char* s = dic + src;
            pos += piece;
            src += piece;
            if (src == dicBufSize) src = 0;
            do *d++ = *s++; while (--piece);
        }
        if (len) break;
    }

    p->state = state;
    p->rep0 = rep0;
    p->remainLen = len;
    p->dicPos = pos;
    return damaged;
}

} // namespace

unsigned long Lzma2DictSize(unsigned prop)
{
    if (prop > LZMA2_DICT_PROP_MAX) return 0;
    if (prop == LZMA2_DICT_PROP_MAX) return 0xFFFFFFFFul;
    return (2ul | (prop & 1)) << (prop / 2 + 11);
}

void Lzma2Begin(Lzma2Decoder* p, unsigned char* dic, unsigned long dicBufSize,
                unsigned long dictSize)
{
    p->dic = dic;
    p->dicBufSize = dicBufSize;
    p->dicPos = 0;
    p->dicLimit = dictSize < dicBufSize ? dictSize : dicBufSize;
    p->posBase = 0;
    p->wrapped = 0;
    p->remainLen = 0;
    p->needInit = 0xE0;
    p->phase = dicBufSize ? PhaseControl : PhaseDamaged;
}

int Lzma2AtChunkBoundary(const Lzma2Decoder* p)
{
    return p->phase == PhaseControl || p->phase == PhaseEnded;
}

int Lzma2Decode(Lzma2Decoder* p, const unsigned char* in, unsigned long* inSize,
                unsigned long outLimit, unsigned long* outSize)
{
    const unsigned long inAvail = *inSize;
    unsigned long taken = 0, produced = 0, n;
    int result;

    if (p->phase >= PhaseEnded) {
        result = static_cast<int>(p->phase);
        goto done;
    }
    if (p->dicPos == p->dicBufSize) {
        p->dicPos = 0;
        p->wrapped = 1;
        p->posBase += static_cast<unsigned>(p->dicBufSize);
    }

    for (;;) {
        if (p->phase == PhaseControl && taken < inAvail && in[taken] == 0) {
            taken++;
            p->phase = PhaseEnded;
            result = Lzma2StreamEnd;
            goto done;
        }
        if (produced == outLimit) {
            result = Lzma2LimitReached;
            goto done;
        }
        if (p->dicPos == p->dicBufSize) {
            result = Lzma2DicEnd;
            goto done;
        }

        if (p->phase == PhaseControl) {
            if (taken == inAvail) {
                result = Lzma2NeedInput;
                goto done;
            }
            const unsigned c = in[taken];
            if (c >= 0x80) {
                // An LZMA chunk must reset at least what the stream's
                // position requires (needInit).
                if (c < p->needInit) goto damaged;
                p->need = c >= 0xC0 ? 6 : 5;
            } else {
                if (c > 2 || (c == 2 && p->needInit == 0xE0)) goto damaged;
                p->need = 3;
            }
            if (c >= 0xE0 || c == 1) {
                // The bytes so far must reach the caller before the
                // dictionary starts over at 0.
                if (produced) {
                    result = Lzma2DicEnd;
                    goto done;
                }
                p->dicPos = 0;
                p->wrapped = 0;
                p->posBase = 0;
                p->dic[p->dicBufSize - 1] = 0;
                // After an uncompressed chunk that reset the dictionary
                // the first LZMA chunk must set lc/lp/pb.
                if (c == 1) p->needInit = 0xC0;
            }
            p->control = c;
            p->filled = 0;
            p->phase = PhaseHeader;
        }

        if (p->phase != PhaseOutput) {
            n = p->need - p->filled;
            if (n > inAvail - taken) n = inAvail - taken;
            __builtin_memcpy(p->chunk + p->filled, in + taken, n);
            p->filled += static_cast<unsigned>(n);
            taken += n;
            if (p->filled < p->need) {
                result = Lzma2NeedInput;
                goto done;
            }
            unsigned char* const h = p->chunk;
            const unsigned c = p->control;
            if (p->phase == PhaseHeader) {
                p->unpackLeft = ((h[1] << 8) | h[2]) + 1ul;
                p->need = static_cast<unsigned>(p->unpackLeft);
                if (c >= 0x80) {
                    p->unpackLeft += static_cast<unsigned long>(c & 0x1F) << 16;
                    p->need = ((h[3] << 8) | h[4]) + 1u;
                    if (c >= 0xC0) {
                        // (pb * 5 + lp) * 9 + lc
                        unsigned lc = h[5], lp = 0, pb = 0;
                        while (lc >= 9 * 5) lc -= 9 * 5, pb++;
                        while (lc >= 9) lc -= 9, lp++;
                        if (pb > 4 || lc + lp > LZMA2_LCLP_MAX) goto damaged;
                        p->lc = lc;
                        p->lpMask = (1u << lp) - 1;
                        p->pbMask = (1u << pb) - 1;
                    }
                    if (c >= 0xA0) {
                        // A state reset: every probability at one half,
                        // the state and the distances back at their start.
                        unsigned count = Literal + ((kLiteralCoderSize * (p->lpMask + 1)) << p->lc);
                        unsigned short* prob = p->probs;
                        while (count--) *prob++ = kBitModelTotal >> 1;
                        p->state = 0;
                        p->rep0 = p->rep1 = p->rep2 = p->rep3 = 0;
                    }
                    p->needInit = 0;
                }
                p->packSize = p->need;
                p->filled = 0;
                p->phase = PhaseData;
                continue;
            }
            // The chunk's bytes are all here. An LZMA chunk's range decoder
            // starts with a zero byte and a 32-bit code below the full
            // range; zero bytes behind the chunk take a damaged one's
            // overrun.
            p->rc.in = h;
            if (c >= 0x80) {
                __builtin_memset(h + p->packSize, 0, LZMA2_CHUNK_PAD);
                p->rc.code = (static_cast<unsigned>(h[1]) << 24) | (h[2] << 16) | (h[3] << 8) | h[4];
                p->rc.range = 0xFFFFFFFFu;
                p->rc.in = h + 5;
                if (h[0] != 0 || p->rc.code == 0xFFFFFFFFu) goto damaged;
            }
            p->phase = PhaseOutput;
            continue;
        }

        // PhaseOutput: as much as the limit, the dictionary's end and the
        // chunk allow.
        const unsigned long before = p->dicPos;
        n = outLimit - produced;
        if (n > p->dicBufSize - before) n = p->dicBufSize - before;
        if (n > p->unpackLeft) n = p->unpackLeft;
        if (p->control >= 0x80) {
            const int bad = DecodeSymbols(p, n);
            n = p->dicPos - before;
            if (bad) {
                produced += n;
                goto damaged;
            }
        } else {
            __builtin_memcpy(p->dic + before, p->rc.in, n);
            p->rc.in += n;
            p->dicPos += n;
        }
        produced += n;
        p->unpackLeft -= n;
        if (p->unpackLeft == 0) {
            if (p->control >= 0x80) {
                // The chunk is done: its range decoder must have used
                // exactly its packed bytes and end with code 0. (No match
                // is left over: none may pass the chunk's end.)
                unsigned code = p->rc.code;
                const unsigned char* inp = p->rc.in;
                if (p->rc.range < kTopValue) code = (code << 8) | *inp++;
                if (code != 0 || inp != p->chunk + p->packSize) goto damaged;
            }
            p->phase = PhaseControl;
        }
    }

damaged:
    p->phase = PhaseDamaged;
    result = Lzma2Damaged;
done:
    *inSize = taken;
    *outSize = produced;
    return result;
}
