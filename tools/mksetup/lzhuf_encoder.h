// LZHUF encoder: produces streams that any LZHUF decoder with the classic
// parameters (N 4096, F 60, THRESHOLD 2) reads. They never copy from the
// window's initial content, so a decoder may start it with spaces, as the
// published one does, or with anything else. Portable C++20, no I/O.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace lzhuf {

// Compression level: 1 fast ... 9 best. Levels 1-3 take the longest match
// wherever there is one, 4-6 look one byte ahead for a longer one, 7-9
// choose the cheapest parse at the code lengths of the moment; higher
// levels within each group search further.
constexpr int kFastest = 1;
constexpr int kBest = 9;

// Encodes `input` whole and returns the stream (without any header).
std::vector<std::uint8_t> Encode(std::span<const std::uint8_t> input,
                                 int level = kBest);

} // namespace lzhuf
