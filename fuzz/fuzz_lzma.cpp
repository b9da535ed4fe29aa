// Fuzz target: the stub's LZMA2 decoder and x86 branch filter on arbitrary
// streams.
//
// Input: one option byte, then the stream (raw LZMA2 chunks). The option
// byte's low three bits choose the dictionary: 1, 7, 4,096, 5,000, 65,536
// or 1 MiB bytes (property 1 MiB, so that small ones wrap or are too small
// for the distances); its high five bits choose how the second decode cuts
// the input into pieces and limits each call's output.
//
// What must hold for every stream:
//   - no sanitizer report, no hang (each call takes input or gives output,
//     or the run ends);
//   - no call gives more than its limit; the bytes lie before dicPos,
//     within the dictionary;
//   - decoding it whole with no limit and decoding it in pieces with
//     limits (state filled with 0x00 and 0xFF before) give the same bytes
//     and end the same way: damaged, at the end marker, or wanting input;
//   - no more bytes than the chunk headers can state (2 MiB per 6 bytes);
//   - the x86 filter, decoding those bytes whole or in the same pieces,
//     gives the same result, and encoding gives the input back.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bcj_x86.h"
#include "fuzz_check.h"
#include "lzma2_decode.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Output beyond this ends a run (both runs alike): a few chunk headers
// can claim gigabytes.
const unsigned long kOutputCap = 8ul << 20;

struct Outcome {
    Bytes out;
    int end = 0; // Lzma2Damaged, Lzma2StreamEnd, Lzma2NeedInput, or
                 // Lzma2LimitReached at the cap
};

// A small generator for piece sizes and limits.
struct Steps {
    std::uint32_t state;
    unsigned Next(unsigned range)
    {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % range;
    }
};

Outcome Run(const std::uint8_t* stream, std::size_t size, unsigned long dicSize, bool cut,
            unsigned cutBits)
{
    auto d = std::make_unique<Lzma2Decoder>();
    std::memset(d.get(), cut ? 0xFF : 0x00, sizeof *d);
    Bytes dic(dicSize);
    Lzma2Begin(d.get(), dic.data(), dic.size(), 1ul << 20);
    Steps steps{cutBits};
    Outcome o;
    std::size_t taken = 0;
    for (unsigned idle = 0;;) {
        unsigned long in = size - taken;
        unsigned long limit = kOutputCap - o.out.size();
        if (cut) {
            const unsigned long piece = 1 + steps.Next(steps.Next(4) ? 40 : 70000);
            if (in > piece) in = piece;
            const unsigned long most = steps.Next(3) ? 1 + steps.Next(600) : steps.Next(300000);
            if (limit > most) limit = most;
        }
        const unsigned long given = in;
        unsigned long out = 0;
        const int r = Lzma2Decode(d.get(), stream + taken, &in, limit, &out);
        FUZZ_CHECK(in <= given);
        FUZZ_CHECK(out <= limit);
        FUZZ_CHECK(d->dicPos <= dic.size() && out <= d->dicPos);
        FUZZ_CHECK(r >= Lzma2NeedInput && r <= Lzma2Damaged);
        if (r == Lzma2NeedInput) FUZZ_CHECK(in == given);
        o.out.insert(o.out.end(), dic.data() + d->dicPos - out, dic.data() + d->dicPos);
        taken += in;
        if (r == Lzma2Damaged || r == Lzma2StreamEnd) {
            o.end = r;
            break;
        }
        if (o.out.size() == kOutputCap || (r == Lzma2NeedInput && taken == size)) {
            o.end = o.out.size() == kOutputCap ? Lzma2LimitReached : Lzma2NeedInput;
            break;
        }
        idle = in || out ? 0 : idle + 1;
        // A call with a limit of 0 may rightly do nothing; never twice
        // with room to work.
        FUZZ_CHECK(idle < 4);
    }
    return o;
}

void CheckFilter(const Bytes& data, unsigned cutBits)
{
    Bytes whole = data;
    BcjX86 s;
    BcjX86Begin(&s);
    const unsigned long done = BcjX86Code(&s, whole.data(), whole.size(), 0);
    FUZZ_CHECK(whole.size() < 5 ? done == 0 : done + 4 >= whole.size() && done <= whole.size());

    Bytes pieces = data;
    Steps steps{cutBits};
    BcjX86Begin(&s);
    std::size_t start = 0, end = 0;
    while (end < pieces.size()) {
        end += 1 + steps.Next(steps.Next(2) ? 9 : 5000);
        if (end > pieces.size()) end = pieces.size();
        start += BcjX86Code(&s, pieces.data() + start, end - start, 0);
        FUZZ_CHECK(end - start <= 4);
    }
    FUZZ_CHECK(pieces == whole);

    BcjX86Begin(&s);
    BcjX86Code(&s, whole.data(), whole.size(), 1);
    FUZZ_CHECK(whole == data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    static const unsigned long kDictionaries[8] = {1, 7, 4096, 5000, 65536, 1ul << 20, 65536, 4096};
    const unsigned long dicSize = kDictionaries[data[0] & 7];
    const unsigned cutBits = data[0] >> 3;
    const std::uint8_t* stream = data + 1;
    const std::size_t streamSize = size - 1;

    const Outcome whole = Run(stream, streamSize, dicSize, false, cutBits);
    const Outcome cut = Run(stream, streamSize, dicSize, true, cutBits);
    FUZZ_CHECK(whole.end == cut.end);
    FUZZ_CHECK(whole.out == cut.out);
    FUZZ_CHECK(whole.out.size() <= (streamSize / 6 + 1) * LZMA2_UNPACKED_MAX);

    if (whole.out.size() <= 1 << 16) CheckFilter(whole.out, cutBits);
    return 0;
}
