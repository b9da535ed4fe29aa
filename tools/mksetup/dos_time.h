// MS-DOS dates and times as the archive stores them. The setup program adds
// six hours to every stored time before it sets it as a file's UTC
// last-write time, so mksetup stores each time six hours early.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace mksetup {

struct DosStamp {
    std::uint16_t date = 0; // bits 15-9 year - 1980, 8-5 month, 4-0 day
    std::uint16_t time = 0; // bits 15-11 hour, 10-5 minute, 4-0 seconds / 2

    friend bool operator==(const DosStamp&, const DosStamp&) = default;
};

// Seconds from 1970-01-01 00:00:00 UTC.
using UnixSeconds = std::int64_t;

constexpr UnixSeconds kStubTimeShift = 6 * 60 * 60;

// The stamp of a moment taken as UTC, rounded down to an even second and
// clamped to the range the format holds (1980-01-01 00:00:00 to
// 2107-12-31 23:59:58).
DosStamp ToDosStamp(UnixSeconds moment);

// The moment a valid stamp names, taken as UTC; nothing for a stamp whose
// fields are out of range (month 0, minute 60, hour 24, 30 February, ...).
std::optional<UnixSeconds> FromDosStamp(DosStamp stamp);

// What mksetup stores for a file modified at `mtime`.
DosStamp StoredStampFor(UnixSeconds mtime);

// The stamp the setup program gives a file from its stored stamp: six
// hours later, carried into the next day.
DosStamp RestoredStamp(DosStamp stored);

// "2026-12-07 14:03:22", or the raw fields marked invalid.
std::string FormatDosStamp(DosStamp stamp);

} // namespace mksetup
