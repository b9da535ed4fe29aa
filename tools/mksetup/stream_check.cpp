#include "stream_check.h"

#include <memory>
#include <vector>

#include "lzhuf.h"

namespace archive {
namespace {

int Discard(void*, const unsigned char*, unsigned long) { return 1; }

} // namespace

std::optional<std::string> CheckStreamEnd(std::span<const std::uint8_t> program,
                                          const EntryInfo& info)
{
    // Gives no verdict for an entry that does not lie within the program.
    if (info.streamSize <= kTailProbe || info.entryLength < 4 ||
        info.offset > program.size() ||
        info.entryLength > program.size() - info.offset)
        return std::nullopt;
    std::uint32_t shortLength = info.entryLength - kTailProbe;
    std::vector<std::uint8_t> block(program.begin() + info.offset + 4,
                                    program.begin() + info.offset + shortLength);
    for (int i = 0; i < 4; ++i)
        block[i] = static_cast<std::uint8_t>(shortLength >> (8 * i));
    auto decoder = std::make_unique<LzhufDecoder>();
    if (Decode(decoder.get(), block.data(), block.size(), Discard, nullptr) != LzhufOk)
        return std::nullopt;
    return "compressed data is damaged (the file ends before its stream does)";
}

} // namespace archive
