// The decoder fuzz target's crafted streams: a script of two-byte steps
// turned into a stream by the test crafter (tests/unit/lzhuf_crafter.h).
// Compiled without the fuzzer's instrumentation, so that the time goes to
// the decoder and the coverage that guides the fuzzer is the decoder's.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct CraftedStream {
    std::vector<std::uint8_t> stream;   // ends in the byte of its last bit
    std::vector<std::uint8_t> expected; // what it decodes to
};

// Steps (first byte a, second b):
//   a % 4 == 0  the literal b;
//   a % 4 == 1  a match of 3 + b % 58 bytes from position
//               (a / 4) * 64 + b % 64;
//   a % 4 == 2  symbols of filler kind a / 4 % 4 (text, matches, flat,
//               dominant) up to the next rebuild, and the symbol that makes
//               it a leaf that will stand at node 0, the last leaf, inside a
//               run or anywhere (a / 16 % 4), the choice among several
//               made by a generator that starts from b;
//   a % 4 == 3  b * 16 symbols of filler kind a / 4 % 4.
// The filler's generator starts from `start`. At most four rebuilds and
// about 150,000 symbols are made, then 2,000 symbols of text filler, whose
// codes depend on the last step's counts.
CraftedStream CraftFromScript(unsigned start, const std::uint8_t* script, std::size_t size);
