#include "stream_check.h"

#include <memory>
#include <vector>

#include "lzhuf.h"

namespace archive {
namespace {

int Collect(void* context, const unsigned char* data, unsigned long size)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    out->insert(out->end(), data, data + size);
    return 1;
}

// Decodes an entry block whole; nothing when it does not decode cleanly.
std::optional<std::vector<std::uint8_t>> DecodeBlock(std::vector<std::uint8_t>& block)
{
    auto decoder = std::make_unique<LzhufDecoder>();
    std::vector<std::uint8_t> out;
    if (Decode(decoder.get(), block.data(), block.size(), Collect, &out) != LzhufOk)
        return std::nullopt;
    return out;
}

} // namespace

std::optional<std::string> CheckStreamEnd(std::span<const std::uint8_t> program,
                                          const EntryInfo& info)
{
    // Gives no verdict for an entry that does not lie within the program.
    if (info.streamSize <= kTailProbe || info.entryLength < 4 ||
        info.offset > program.size() ||
        info.entryLength > program.size() - info.offset)
        return std::nullopt;
    auto begin = program.begin() + info.offset;
    std::vector<std::uint8_t> whole(begin + 4, begin + info.entryLength);
    // A tail of zero bytes reads the same as no tail at all: no verdict.
    bool tailHoldsBits = false;
    for (auto it = whole.end() - kTailProbe; it != whole.end(); ++it)
        tailHoldsBits = tailHoldsBits || *it != 0;
    if (!tailHoldsBits) return std::nullopt;

    std::uint32_t shortLength = info.entryLength - kTailProbe;
    std::vector<std::uint8_t> cut(whole.begin(), whole.end() - kTailProbe);
    for (int i = 0; i < 4; ++i)
        cut[i] = static_cast<std::uint8_t>(shortLength >> (8 * i));
    // Zero bits in place of the tail may decode to other symbols that end
    // on the same size; only the same bytes show that the tail was unused.
    auto full = DecodeBlock(whole);
    auto shortened = DecodeBlock(cut);
    if (!full || !shortened || *full != *shortened) return std::nullopt;
    return "compressed data is damaged (the file ends before its stream does)";
}

} // namespace archive
