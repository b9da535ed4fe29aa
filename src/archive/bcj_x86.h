// The x86 branch filter (BCJ): the 32-bit displacements of CALL (E8) and
// JMP (E9) instructions become absolute addresses before compression, so
// that calls to one function look alike wherever they are; decoding turns
// them back. The same conversion as the xz project's "x86" filter with
// start offset 0, byte for byte. Portable: no operating-system calls.
#pragma once

// What the filter carries from one piece of a file to the next. Set up
// with BcjX86Begin at the file's first byte.
struct BcjX86 {
    unsigned pos;      // file position of the next piece's first byte
    unsigned prevPos;  // file position of the last E8/E9 looked at
    unsigned prevMask; // which of the bytes before it were E8/E9, and
                       // whose fourth byte after was 00 or FF
};

void BcjX86Begin(BcjX86* s);

// Converts buf[0 .. size) in place, encoding (before compression) when
// `encoding` is nonzero, decoding otherwise. Returns how many leading
// bytes are final: 0 when size is below 5, else at least size - 4. The
// rest may start an instruction whose operand is not there yet: the
// caller passes those bytes again at the start of the next piece,
// followed by the bytes after them. At the end of the file the bytes
// that are left are final as they are.
unsigned long BcjX86Code(BcjX86* s, unsigned char* buf, unsigned long size,
                         int encoding);
