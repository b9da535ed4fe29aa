#include "payload_reader.h"

#include <algorithm>

#include "lzma2_decode.h"
#include "lzma_pack.h"

namespace mksetup {
namespace {

using archive::EntryInfo;
using archive::Method;

std::string Label(std::size_t index, const EntryInfo& entry)
{
    return "entry " + std::to_string(index + 1) + " \"" + entry.name + "\"";
}

bool StartsStream(std::span<const std::uint8_t> program, const EntryInfo& entry)
{
    return entry.method == Method::Lzma && entry.streamSize >= 2 &&
           (program[entry.streamOffset] & lzmapack::kFlagNewStream);
}

// Decodes entries [first, end), LZMA entries that follow one another, as
// the streams they form.
void DecodeLzmaRun(std::span<const std::uint8_t> program, std::span<const EntryInfo> entries,
                   std::size_t first, std::size_t end, const SoundEntry& sound,
                   const DamagedEntry& damaged)
{
    std::vector<lzmapack::EntryPart> parts;
    for (std::size_t i = first; i < end; ++i)
        parts.push_back({static_cast<unsigned>(i + 1), entries[i].name, entries[i].decodedSize,
                         archive::StreamOf(program, entries[i])});
    std::vector<bool> passed(parts.size());
    std::vector<std::string> problems =
        lzmapack::DecodeRun(parts, [&](std::size_t i, std::span<const std::uint8_t> file) {
            passed[i] = true;
            sound(first + i, file);
        });
    // One message for each entry not passed on, in their order.
    std::size_t next = 0;
    for (std::size_t i = 0; i < parts.size() && next < problems.size(); ++i)
        if (!passed[i]) damaged(first + i, problems[next++]);
}

} // namespace

void DecodeEntries(std::span<const std::uint8_t> program, std::span<const EntryInfo> entries,
                   const SoundEntry& sound, const DamagedEntry& damaged)
{
    for (std::size_t i = 0; i < entries.size();) {
        const EntryInfo& entry = entries[i];
        if (entry.method == Method::Lzma && i < 2) {
            damaged(i, Label(i, entry) + ": an LZMA entry; the setup program reads the setup "
                                         "information file and the license only as LZHUF entries");
            ++i;
        } else if (entry.method == Method::Lzma) {
            std::size_t end = i + 1;
            while (end < entries.size() && entries[end].method == Method::Lzma) ++end;
            DecodeLzmaRun(program, entries, i, end, sound, damaged);
            i = end;
        } else {
            std::string reason;
            if (std::optional<std::vector<std::uint8_t>> data =
                    archive::DecodeEntry(program, entry, &reason))
                sound(i, *data);
            else
                damaged(i, Label(i, entry) + ": " + reason);
            ++i;
        }
    }
}

std::uint64_t StreamDictionary(std::span<const std::uint8_t> program,
                               std::span<const EntryInfo> entries, std::size_t index)
{
    if (index >= entries.size() || !StartsStream(program, entries[index])) return 0;
    const std::uint8_t dictByte = program[entries[index].streamOffset + 1];
    if (dictByte > LZMA2_DICT_PROP_MAX) return 0;
    std::uint64_t total = entries[index].decodedSize;
    for (std::size_t i = index + 1; i < entries.size(); ++i) {
        // Where DecodeRun takes a stream to end.
        if (entries[i].method != Method::Lzma || entries[i].streamSize == 0 ||
            (program[entries[i].streamOffset] & lzmapack::kFlagNewStream))
            break;
        total += entries[i].decodedSize;
    }
    return std::max<std::uint64_t>(1, std::min<std::uint64_t>(Lzma2DictSize(dictByte), total));
}

} // namespace mksetup
