// A check for damage that decoding alone cannot see: the format has no
// checksum, and a damaged stream may still yield decodedSize bytes, only
// from fewer bits than it holds. A sound stream's last symbol ends in its
// last byte or the one before (the encoder's final flush), so the entry
// decoded from a block cut short by kTailProbe bytes must fail.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "archive.h"

namespace archive {

constexpr std::uint32_t kTailProbe = 4;

// A reason when the entry's stream decodes to the same bytes with its last
// kTailProbe bytes removed (they were never needed, so the code that
// should have used them was shortened by damage); nothing otherwise, for a
// tail of zero bytes, or for streams too short to tell. The entry must have come from ListEntries on `program`.
std::optional<std::string> CheckStreamEnd(std::span<const std::uint8_t> program,
                                          const EntryInfo& info);

} // namespace archive
