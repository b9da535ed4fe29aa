#include "stream_check.h"

#include <algorithm>

#include "entry_format.h"

namespace archive {

std::optional<std::string> CheckStreamEnd(std::span<const std::uint8_t> block,
                                          unsigned long streamEnd)
{
    if (block.size() < ENTRY_BLOCK_FIXED) return std::nullopt;
    const std::size_t streamStart = ENTRY_BLOCK_FIXED + block[9];
    if (block.size() < streamStart + kTailProbe + 1) return std::nullopt;
    auto tail = block.last(kTailProbe);
    if (std::all_of(tail.begin(), tail.end(), [](std::uint8_t b) { return b == 0; }))
        return std::nullopt;
    if (streamEnd > block.size() - kTailProbe) return std::nullopt;
    return "compressed data is damaged (the file ends before its stream does)";
}

} // namespace archive
