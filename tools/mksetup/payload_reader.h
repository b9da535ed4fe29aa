// Reading back every entry of a setup program, of either method: an LZHUF
// entry by itself, the LZMA entries through the streams they form, with
// the setup program's own decoders. What verify and extract share.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "archive.h"

namespace mksetup {

// Receives an entry's decoded file: its index in the entries and its bytes
// (valid during the call).
using SoundEntry = std::function<void(std::size_t, std::span<const std::uint8_t>)>;
// Receives a damaged entry's index and what is wrong, with the entry named
// ("entry 5 \"bin\\tool.exe\": ..."): also each entry lost with an earlier
// entry of its solid stream.
using DamagedEntry = std::function<void(std::size_t, const std::string&)>;

// Decodes `entries` of `program` in their order and passes each to `sound`
// or to `damaged`, one call per entry; the indexes rise from call to call
// of each callback (a damaged entry of a stream may be told after the
// sound entries behind it). An LZMA entry continues the stream of the LZMA entry right
// before it; an LZHUF entry between them ends the stream, so that an
// LZMA entry after it that does not start a stream is damaged. Entries 1
// and 2 (the setup information file and the license) are damaged when
// they are LZMA entries: the setup program reads them only as LZHUF.
void DecodeEntries(std::span<const std::uint8_t> program,
                   std::span<const archive::EntryInfo> entries, const SoundEntry& sound,
                   const DamagedEntry& damaged);

// The dictionary the setup program allocates for the stream that entry
// `index` (an LZMA entry with flag 0x02) starts: the smaller of what its
// dictionary byte says and the decoded sizes of the stream's entries. 0
// for any other entry, or one whose stream part is too short to say.
std::uint64_t StreamDictionary(std::span<const std::uint8_t> program,
                               std::span<const archive::EntryInfo> entries, std::size_t index);

} // namespace mksetup
