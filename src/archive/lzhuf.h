// LZHUF decoder: LZSS over a 4,096-byte window with an adaptive Huffman code
// for literals and match lengths (the published 1988 scheme). Portable: no
// operating-system calls; the caller supplies the working state and a sink
// that receives the decoded bytes.
#pragma once

enum {
    LZHUF_N = 4096,                          // ring buffer size
    LZHUF_F = 60,                            // longest match
    LZHUF_THRESHOLD = 2,                     // matches are at least 3 bytes
    LZHUF_N_CHAR = 256 - LZHUF_THRESHOLD + LZHUF_F, // 314 symbols
    LZHUF_T = LZHUF_N_CHAR * 2 - 1,          // 627 tree nodes
    LZHUF_R = LZHUF_T - 1,                   // root node
    LZHUF_MAX_FREQ = 0x8000,                 // rebuild when the root gets here
    LZHUF_WRITE_BLOCK = 4095                 // every write during decoding
};

// Receives decoded bytes: blocks of exactly LZHUF_WRITE_BLOCK bytes while
// decoding, then one final block of 0 to 4,094 bytes (a call with size 0
// when nothing is left). Returns nonzero when the bytes were taken whole.
typedef int (*LzhufSink)(void* context, const unsigned char* data,
                         unsigned long size);

// Gives the next piece of an entry block that arrives in pieces: sets
// *data and *size and returns nonzero, or returns 0 when the block has no
// more (its end, or a read that failed).
typedef int (*LzhufSource)(void* context, const unsigned char** data,
                           unsigned long* size);

// Working state of one decode. Large (about 12 KB): the stub allocates it
// per entry; nothing in it needs initialising by the caller but `source`.
struct LzhufDecoder {
    unsigned short freq[LZHUF_T + 1];
    short son[LZHUF_T];
    short prnt[LZHUF_T + LZHUF_N_CHAR];
    unsigned char text_buf[LZHUF_N];
    unsigned char out[LZHUF_WRITE_BLOCK + 1];
    unsigned long streamEnd; // a result of Decode (see there)
    // The pieces of the block after the one given to Decode, for a block
    // too large to hold whole; 0 when Decode is given the whole block.
    LzhufSource source;
    void* sourceContext;
};

enum LzhufResult {
    LzhufOk = 1,        // exactly decodedSize bytes reached the sink
    LzhufBadHeader = 2, // block shorter than 14 + nameLength bytes
    LzhufDamaged = 3,   // the stream is damaged (see Decode)
    LzhufSinkFailed = 4 // the sink refused a block; decoding stopped there
};

// Decodes one entry block: the entry from its length field to the end of
// its stream (entryLength - 4 bytes). nameLength is at offset 9,
// decodedSize at 10 + nameLength, the stream from 14 + nameLength on.
// `block` may be the block's first piece only (at least its header, 14 +
// nameLength bytes; blockSize is then that piece's size): the rest comes
// from decoder->source, piece by piece, and every result below counts
// offsets in the whole block, as if it had been given at once.
//
// Returns LzhufOk when decodedSize bytes were produced and taken. Then
// decoder->streamEnd is the offset in the block just past the byte that
// holds the last bit of the last symbol: 14 + nameLength when decodedSize
// is 0, and up to blockSize + 2 when the last symbol used zero bits from
// beyond the block. A caller can check with it that no bytes lie unused
// behind a stream (an encoder's stream ends in the byte of its last bit).
// Returns LzhufDamaged, after having passed at most decodedSize bytes to the
// sink, when a symbol needed bits more than two bytes beyond the end of the
// block (the bit reader's own look-ahead does not count), or when a match
// would have carried the output past decodedSize. A damaged stream's output
// is thus bounded by its input (at most 60 bytes per bit).
// Returns LzhufBadHeader without calling the sink, and LzhufSinkFailed as
// soon as the sink returns 0.
int Decode(LzhufDecoder* decoder, const unsigned char* block,
           unsigned long blockSize, LzhufSink sink, void* context);
