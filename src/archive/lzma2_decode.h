// LZMA2 decoder: the xz project's chunked form of LZMA (Igor Pavlov's
// range-coded LZ77 with literal contexts, four repeated distances and a
// 12-state machine). Raw chunks, no .xz container. Portable: no
// operating-system calls, no allocation; the caller owns the state and
// the dictionary, gives the input in pieces of any size and takes the
// decoded bytes out of the dictionary after every call.
//
// A stream is a series of chunks, each opened by a control byte:
//   0x00       end of the stream
//   0x01       uncompressed chunk, dictionary reset first
//   0x02       uncompressed chunk, dictionary kept
//   0x80-0xFF  LZMA chunk; bits 5-6 say what is reset before it:
//              0 nothing, 1 the state, 2 the state and new lc/lp/pb,
//              3 all that and the dictionary
// An uncompressed chunk carries 1 to 65,536 bytes (16-bit size - 1). An
// LZMA chunk unpacks to 1 to 2 MiB (21-bit size - 1: five bits in the
// control byte, two bytes) from 1 to 65,536 packed bytes (16-bit size - 1),
// then the lc/lp/pb byte where new properties come. Sizes are big-endian.
// Every LZMA chunk starts its range decoder afresh; its probabilities,
// state and distances carry over unless reset.
#pragma once

// The range decoder of one LZMA chunk. Bits come from the interval
// [code, range): a probability model splits it at bound, and whichever part
// holds code is the bit; whenever range drops below 2^24 another byte is
// shifted in.
struct Lzma2RangeDecoder {
    unsigned range;
    unsigned code;
    const unsigned char* in; // next byte, in Lzma2Decoder::chunk
};

enum {
    LZMA2_DICT_PROP_MAX = 40,            // largest dictionary-size byte
    LZMA2_LCLP_MAX = 4,                  // lc + lp in LZMA2
    LZMA2_PACKED_MAX = 1 << 16,          // packed bytes of one chunk
    LZMA2_UNPACKED_MAX = 1 << 21,        // unpacked bytes of one chunk
    // Zero bytes kept behind a chunk's packed data: more than one symbol
    // can read (27 bytes), so the decoding loop tests for a damaged chunk
    // running past its end once per symbol instead of once per byte.
    LZMA2_CHUNK_PAD = 32,
    // Probabilities: 1,846 for the match, distance and length models,
    // 0x300 per literal context, at most 16 contexts.
    LZMA2_PROBS = 1846 + (0x300 << LZMA2_LCLP_MAX)
};

// The dictionary size that a dictionary-size byte stands for: 4 KiB, 6 KiB,
// 8 KiB, 12 KiB, ... (2 or 3 times a power of two), 3 GiB for 39 and
// 0xFFFFFFFF for 40. 0 for a byte above 40, which no stream may carry.
unsigned long Lzma2DictSize(unsigned prop);

// Decoding state of one stream. About 95 KB; the caller allocates it and
// starts every stream with Lzma2Begin. Members the caller reads are
// first; the rest is the decoder's own.
struct Lzma2Decoder {
    unsigned char* dic;         // the caller's dictionary
    unsigned long dicBufSize;   // its size
    unsigned long dicPos;       // where the next decoded byte goes

    unsigned long dicLimit;     // distances reach back at most this far
    unsigned long unpackLeft;   // bytes still to come from this chunk
    unsigned posBase;           // stream position of dic[0], modulo 2^32
    unsigned wrapped;           // the dictionary has been filled once
    Lzma2RangeDecoder rc;       // its `in` also walks uncompressed chunks
    unsigned packSize;          // bytes of the chunk in chunk[]
    unsigned need, filled;      // bytes being gathered into chunk[]
    unsigned state, rep0, rep1, rep2, rep3;
    unsigned remainLen;         // bytes of a match still to be copied
    unsigned lc, lpMask, pbMask;
    unsigned phase, needInit, control;
    unsigned short probs[LZMA2_PROBS];
    unsigned char chunk[LZMA2_PACKED_MAX + LZMA2_CHUNK_PAD]; // the chunk's
                                // header, then its bytes
};

// Starts a new stream in `dic` (dicBufSize bytes, at least 1): the first
// chunk must reset the dictionary. dictSize is what the stream's
// dictionary-size byte says (Lzma2DictSize). The dictionary may be smaller
// than dictSize if it is at least as large as everything the stream
// decodes to; then no distance needs more. Matches reaching further back
// than min(dicBufSize, dictSize) or than the stream has decoded are damage.
void Lzma2Begin(Lzma2Decoder* p, unsigned char* dic, unsigned long dicBufSize,
                unsigned long dictSize);

enum Lzma2Result {
    Lzma2NeedInput = 1,  // every input byte taken; more are needed
    Lzma2LimitReached,   // outLimit bytes produced
    Lzma2DicEnd,         // the dictionary's end reached, or a chunk resets
                         // the dictionary: call again, the decoder goes on
                         // at its start (after the bytes have been taken)
    Lzma2StreamEnd,      // the end marker was taken; from now on every call
                         // returns Lzma2StreamEnd and takes nothing
    Lzma2Damaged         // the stream is damaged; so is every later call
};

// Decodes from in[0 .. *inSize) into the dictionary, at most outLimit
// bytes. On return *inSize is the number of input bytes taken and *outSize
// the number of bytes decoded: they are the *outSize bytes before
// p->dicPos, in one piece, and the caller writes them out before the next
// call. dicPos goes back to 0 only in a call that has produced nothing
// yet: at its start when the previous call filled the dictionary, and when
// a chunk resets the dictionary (a call that has produced bytes returns
// before such a chunk).
//
// The same bytes come out, and the same result, however the input is cut
// into pieces and the output limited, as long as the caller passes on what
// was not taken. Once outLimit bytes are out the decoder takes nothing
// more, except an end marker that follows at a chunk boundary. What the
// caller can check afterwards:
//   Lzma2NeedInput     *inSize equals the size given; *outSize may be > 0.
//   Lzma2LimitReached  *outSize == outLimit (also for outLimit 0).
//                      Lzma2AtChunkBoundary tells whether a chunk ended
//                      exactly there (its packed size used up, its range
//                      decoder finished cleanly).
//   Lzma2DicEnd        p->dicPos == p->dicBufSize, or a dictionary reset
//                      comes next; *outSize < outLimit.
//   Lzma2StreamEnd     the end marker was the last byte taken.
//   Lzma2Damaged       a control byte that is not defined; a first chunk
//                      (after Lzma2Begin, or after an uncompressed chunk
//                      that reset the dictionary) without the resets it
//                      needs; lc/lp/pb out of range (lc + lp > 4, pb > 4);
//                      a match reaching before the stream's first byte or
//                      beyond the dictionary; an LZMA chunk whose symbols
//                      overrun its packed or unpacked size, do not use up
//                      its packed bytes or leave the range decoder unclean;
//                      an end-of-payload marker, which LZMA2 does not use.
//                      The bytes of the call before the damage was found
//                      are still reported in *outSize; none is written
//                      outside the dictionary, none read outside the input.
//
// Decoding an entry of a setup program: give the entry's chunks with
// outLimit = bytes still due for the file. When the file is complete
// (Lzma2LimitReached) call once more with the entry's remaining bytes and
// outLimit 0: the entry is sound when the decoder is then at a chunk
// boundary (or the call returned Lzma2StreamEnd) and every byte was taken.
// The next entry of a solid stream continues with further calls; the
// state carries over.
int Lzma2Decode(Lzma2Decoder* p, const unsigned char* in, unsigned long* inSize,
                unsigned long outLimit, unsigned long* outSize);

// 1 when the last chunk has ended and the next byte is a control byte (or
// the stream has ended), 0 inside a chunk or after damage.
int Lzma2AtChunkBoundary(const Lzma2Decoder* p);
