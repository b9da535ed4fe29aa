// The x86 branch filter. An E8 or E9 byte followed by a 32-bit operand
// whose top byte is 00 or FF (a displacement within +-16 MiB) counts as an
// instruction and its operand is converted between relative (to the end
// of the instruction) and absolute. Where an E8/E9 lay among the three
// bytes before, the operand may be part of another instruction's operand;
// prevMask remembers those bytes (bits 1-3: E8/E9 one to three bytes back,
// bits 5-7: and their fourth byte after was 00/FF), and some of these
// patterns are left alone. Where the converted value's byte above an
// E8/E9 inside the operand would itself look like such a top byte, the
// conversion is applied again so that decoding finds the same pattern.
// The operand's top byte finally repeats bit 24, so that the result keeps
// its +-16 MiB form.
//
// Compiled into the stub (no C runtime) and natively for tests and tools.
#include "bcj_x86.h"

namespace {

// 00 or FF: the top byte of a displacement within +-16 MiB.
inline int IsTopByte(unsigned b)
{
    return ((b + 1) & 0xFF) <= 1;
}

} // namespace

void BcjX86Begin(BcjX86* s)
{
    s->pos = 0;
    s->prevPos = 0u - 5; // as if the last E8/E9 lay far back
    s->prevMask = 0;
}

unsigned long BcjX86Code(BcjX86* s, unsigned char* buf, unsigned long size,
                         int encoding)
{
    if (size < 5) return 0;
    const unsigned long end = size - 4; // an operand fits behind i < end
    unsigned mask = s->prevMask;
    unsigned prevPos = s->prevPos;
    unsigned long i = 0;

    while (i < end) {
        if ((buf[i] & 0xFE) != 0xE8) {
            i++;
            continue;
        }
        const unsigned here = s->pos + static_cast<unsigned>(i);
        unsigned gap = here - prevPos;
        prevPos = here;
        // Age the mask by the distance to the last E8/E9: a mark leaves
        // after three bytes.
        if (gap > 5) mask = 0;
        else while (gap--) mask = (mask & 0x77) << 1;

        unsigned char* op = buf + i + 1;
        // Converted when none of the three bytes before had a 00/FF fourth
        // byte after it (bits 5-7 clear) and at most one of them was an
        // E8/E9: the patterns 0, 1, 2 and 4 of bits 1-3, set in 0x17.
        if (IsTopByte(op[3]) && (mask >> 1) < 0x10 && ((0x17 >> ((mask >> 1) & 7)) & 1)) {
            unsigned src = op[0] | (op[1] << 8) | (op[2] << 16) |
                           (static_cast<unsigned>(op[3]) << 24);
            // Relative to the instruction's end, 5 bytes on.
            const unsigned delta = encoding ? here + 5 : 0u - (here + 5);
            unsigned dest;
            for (;;) {
                dest = src + delta;
                if (mask == 0) break;
                // The byte of dest that the nearest E8/E9 before (one to
                // three bytes back; mask is not 0 here, so not this one)
                // would have taken for its own operand's top byte.
                const unsigned shift = 8 * ((0x33332210u >> (4 * (mask >> 1))) & 0xF);
                if (!IsTopByte((dest >> (24 - shift)) & 0xFF)) break;
                src = dest ^ ((1u << (32 - shift)) - 1);
            }
            op[0] = static_cast<unsigned char>(dest);
            op[1] = static_cast<unsigned char>(dest >> 8);
            op[2] = static_cast<unsigned char>(dest >> 16);
            op[3] = static_cast<unsigned char>(0u - ((dest >> 24) & 1));
            i += 5;
            mask = 0;
        } else {
            i++;
            mask |= 1;
            if (IsTopByte(op[3])) mask |= 0x10;
        }
    }

    s->pos += static_cast<unsigned>(i);
    s->prevPos = prevPos;
    s->prevMask = mask;
    return i;
}
