// The plain LZHUF decoder of the 1988 publication, kept as the yardstick
// for the stub's decoder: same parameters, same tree code, a bit at a time.
#pragma once
#include <cstdint>
#include <vector>

namespace baseline {

// Decodes `textsize` bytes from the stream; bytes past its end read as 0.
std::vector<std::uint8_t> Decode(const std::uint8_t* stream, std::size_t size,
                                 std::uint32_t textsize);

} // namespace baseline
