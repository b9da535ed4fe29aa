// The integrity record as mksetup writes and reads it (layout in
// src/archive/integrity.h and docs/FORMAT.md): a sealed setup program says
// in its stub's trailer where its archive ends, and the record there holds
// the archive's CRC-32 and entry count. Portable C++20, no I/O.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace archive {

constexpr std::uint32_t kTrailerOffset = 38904;
constexpr std::uint32_t kRecordSize = 20;

// Seals a whole setup program (stub and entries, nothing behind them):
// writes the trailer into the stub's padding and appends the record.
// Throws std::invalid_argument when `program` is shorter than the stub or
// its entry chain does not end exactly at its end.
void Seal(std::vector<std::uint8_t>& program);

struct SealStatus {
    enum Kind {
        Unsealed, // no trailer: the chain runs to the end of the file
        Sound,    // record in place, chain ends on it, CRC matches
        Damaged   // a trailer, but the record or the archive does not hold
    };
    Kind kind = Unsealed;
    std::uint64_t archiveEnd = 0;    // where the entries end
    std::uint32_t crcStored = 0;     // the record's CRC (when it was read)
    std::uint32_t crcComputed = 0;   // the archive's CRC (when computed)
    std::uint32_t entryCount = 0;    // the record's count (when it was read)
    std::uint64_t bytesBehind = 0;   // after the record (a signature)
    std::string problem;             // Damaged: what does not hold
};

// Reads the trailer and the record of a whole setup program and checks them
// the way the setup program does before it writes anything.
SealStatus CheckSeal(std::span<const std::uint8_t> program);

} // namespace archive
