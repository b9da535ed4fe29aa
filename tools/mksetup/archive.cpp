#include "archive.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>
#include <stdexcept>

#include "entry_format.h"
#include "lzhuf.h"
#include "lzhuf_encoder.h"
#include "stream_check.h"

namespace archive {
namespace {

constexpr std::uint32_t kLengthFieldEnd = 8; // magic + entryLength

void PutLe16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t GetLe32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::string EntryLabel(unsigned number, std::uint32_t offset)
{
    return "entry " + std::to_string(number) + " (offset " +
           std::to_string(offset) + ")";
}

// The label with the entry's stored name when its header is all there to
// read it from: "entry 6 \"help\\Guide.txt\" (offset 40321)".
std::string NamedEntryLabel(unsigned number, std::span<const std::uint8_t> program,
                            std::uint32_t offset)
{
    std::uint32_t remaining = static_cast<std::uint32_t>(program.size()) - offset;
    if (remaining < ENTRY_FIXED_SIZE ||
        remaining - ENTRY_FIXED_SIZE < program[offset + 13])
        return EntryLabel(number, offset);
    std::string name(reinterpret_cast<const char*>(program.data()) + offset + 14,
                     program[offset + 13]);
    return "entry " + std::to_string(number) + " \"" + name + "\" (offset " +
           std::to_string(offset) + ")";
}

constexpr std::uint8_t kLzhufMagic[4] = {'W', 'Y', '1', 0};
constexpr std::uint8_t kLzmaMagic[4] = {'W', 'Y', '2', 0};

void CheckSizes(const EntrySpec& wanted)
{
    if (wanted.name.size() > 255)
        throw std::length_error("stored name \"" + wanted.name +
                                "\" is longer than 255 bytes");
    if (wanted.data.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("\"" + wanted.name + "\" is larger than 4 GiB - 1 bytes");
}

// The entry: `magic`, entryLength, the header of `wanted`, decodedSize and
// `stream`.
std::uint64_t AppendWhole(std::vector<std::uint8_t>& out, const std::uint8_t (&magic)[4],
                          const EntrySpec& wanted, std::span<const std::uint8_t> stream)
{
    std::uint64_t length = ENTRY_FIXED_SIZE + wanted.name.size() + stream.size();
    if (length > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("\"" + wanted.name +
                                "\" compresses to an entry of more than 4 GiB - 1 bytes");

    out.insert(out.end(), std::begin(magic), std::end(magic));
    PutLe32(out, static_cast<std::uint32_t>(length));
    PutLe16(out, wanted.dosDate);
    PutLe16(out, wanted.dosTime);
    out.push_back(wanted.attributes);
    out.push_back(static_cast<std::uint8_t>(wanted.name.size()));
    out.insert(out.end(), wanted.name.begin(), wanted.name.end());
    PutLe32(out, static_cast<std::uint32_t>(wanted.data.size()));
    out.insert(out.end(), stream.begin(), stream.end());
    return length;
}

void SetError(std::string* error, std::string text)
{
    if (error) *error = std::move(text);
}

struct CollectingSink {
    std::vector<std::uint8_t>* bytes;
    std::uint32_t limit;
};

int Collect(void* context, const unsigned char* data, unsigned long size)
{
    auto* sink = static_cast<CollectingSink*>(context);
    // The decoder never passes more than decodedSize; refuse it if it did.
    if (size > sink->limit - sink->bytes->size()) return 0;
    sink->bytes->insert(sink->bytes->end(), data, data + size);
    return 1;
}

} // namespace

std::vector<std::uint8_t> MakeEntry(const EntrySpec& wanted, int level)
{
    std::vector<std::uint8_t> entry;
    AppendEntry(entry, wanted, level);
    return entry;
}

std::uint64_t AppendEntry(std::vector<std::uint8_t>& out, const EntrySpec& wanted, int level)
{
    CheckSizes(wanted);
    return AppendWhole(out, kLzhufMagic, wanted, lzhuf::Encode(wanted.data, level));
}

std::uint64_t AppendLzmaEntry(std::vector<std::uint8_t>& out, const EntrySpec& wanted,
                              std::span<const std::uint8_t> part)
{
    CheckSizes(wanted);
    return AppendWhole(out, kLzmaMagic, wanted, part);
}

std::span<const std::uint8_t> StreamOf(std::span<const std::uint8_t> program,
                                       const EntryInfo& info)
{
    return program.subspan(info.streamOffset, info.streamSize);
}

std::uint32_t StubSizeOf(std::span<const std::uint8_t> program)
{
    // The PE header's machine field: 0x8664 for x86-64.
    if (program.size() < 0x40 || program[0] != 'M' || program[1] != 'Z')
        return kArchiveStart;
    std::uint32_t pe = GetLe32(program.data() + 0x3C);
    if (pe > program.size() - 6 || pe > kStubImageSize) return kArchiveStart;
    return program[pe + 4] == 0x64 && program[pe + 5] == 0x86 ? kWideStubSize
                                                                : kArchiveStart;
}

std::vector<EntryInfo> ListEntries(std::span<const std::uint8_t> program,
                                   std::string* error)
{
    std::vector<EntryInfo> entries;
    SetError(error, {});
    const std::uint32_t start = StubSizeOf(program);
    if (program.size() < start) {
        SetError(error, "is " + std::to_string(program.size()) +
                            " bytes, shorter than the " + std::to_string(start) +
                            "-byte stub");
        return entries;
    }
    // The setup program walks the chain with 32-bit offsets.
    if (program.size() > std::numeric_limits<std::uint32_t>::max()) {
        SetError(error, "is larger than 4 GiB; the chain cannot be read");
        return entries;
    }
    const auto size = static_cast<std::uint32_t>(program.size());
    std::uint32_t offset = start;
    for (unsigned number = 1; offset < size; ++number) {
        std::string label = EntryLabel(number, offset);
        std::uint32_t remaining = size - offset;
        if (remaining < kLengthFieldEnd) {
            SetError(error, label + ": truncated: the file ends inside the entry's "
                                    "header (" + std::to_string(remaining) + " bytes left)");
            return entries;
        }
        std::uint32_t length = GetLe32(program.data() + offset + 4);
        if (!CheckEntryLength(length, offset, size)) {
            if (length == 0)
                SetError(error, label + ": entry length is 0");
            else if (length < ENTRY_FIXED_SIZE)
                SetError(error, label + ": entry length " + std::to_string(length) +
                                    " is smaller than the 18-byte header");
            else
                SetError(error, NamedEntryLabel(number, program, offset) +
                                    ": truncated: entry length " + std::to_string(length) +
                                    " runs past the end of the file (" +
                                    std::to_string(remaining) + " bytes left)");
            return entries;
        }
        ArchiveEntry parsed{};
        if (!ParseEntryBlock(program.data() + offset + 4, length - 4, &parsed)) {
            SetError(error, label + ": name of " +
                                std::to_string(program[offset + 13]) +
                                " bytes runs past the end of the entry (length " +
                                std::to_string(length) + ")");
            return entries;
        }
        EntryInfo info;
        info.offset = offset;
        info.entryLength = length;
        info.dosDate = parsed.dosDate;
        info.dosTime = parsed.dosTime;
        info.attributes = parsed.dosAttributes;
        info.name.assign(parsed.name, parsed.nameLength);
        info.decodedSize = static_cast<std::uint32_t>(parsed.decodedSize);
        info.streamOffset = static_cast<std::uint32_t>(parsed.stream - program.data());
        info.streamSize = static_cast<std::uint32_t>(parsed.streamSize);
        info.method = std::equal(std::begin(kLzmaMagic), std::end(kLzmaMagic),
                                 program.data() + offset)
                          ? Method::Lzma
                          : Method::Lzhuf;
        entries.push_back(std::move(info));
        offset += length; // cannot wrap: offset + length <= size
    }
    return entries;
}

std::optional<std::vector<std::uint8_t>> DecodeEntry(
    std::span<const std::uint8_t> program, const EntryInfo& info,
    std::string* error)
{
    SetError(error, {});
    if (info.offset > program.size() ||
        !CheckEntryLength(info.entryLength, 0, program.size() - info.offset)) {
        SetError(error, "entry lies outside the file");
        return std::nullopt;
    }
    if (info.method == Method::Lzma) {
        SetError(error, "an LZMA entry, decoded with the entries of its stream");
        return std::nullopt;
    }
    const std::uint8_t* block = program.data() + info.offset + 4;
    const std::uint32_t blockSize = info.entryLength - 4;

    // Grow the output as it comes rather than trusting decodedSize: a
    // damaged entry may claim 4 GiB. The decoder yields at most 60 bytes per
    // stream bit, which bounds what is worth reserving.
    std::vector<std::uint8_t> bytes;
    std::uint64_t bound = (static_cast<std::uint64_t>(blockSize) + 2) * 8 * LZHUF_F;
    bytes.reserve(static_cast<std::size_t>(
        std::min<std::uint64_t>({info.decodedSize, bound, std::uint64_t{1} << 26})));
    CollectingSink sink{&bytes, info.decodedSize};
    auto decoder = std::make_unique<LzhufDecoder>();
    int result = Decode(decoder.get(), block, blockSize, Collect, &sink);
    switch (result) {
    case LzhufOk:
        if (bytes.size() != info.decodedSize) {
            SetError(error, "decoded " + std::to_string(bytes.size()) +
                                " bytes instead of " +
                                std::to_string(info.decodedSize));
            return std::nullopt;
        }
        // The one decode also tells where the stream's last symbol ended.
        if (auto problem = CheckStreamEnd({block, blockSize}, decoder->streamEnd)) {
            SetError(error, *problem);
            return std::nullopt;
        }
        return bytes;
    case LzhufBadHeader:
        SetError(error, "header cut off by the end of the entry");
        return std::nullopt;
    case LzhufDamaged:
        SetError(error, "compressed data is damaged (stopped after " +
                            std::to_string(bytes.size()) + " of " +
                            std::to_string(info.decodedSize) + " bytes)");
        return std::nullopt;
    default:
        SetError(error, "decoder output refused after " +
                            std::to_string(bytes.size()) + " bytes");
        return std::nullopt;
    }
}

} // namespace archive
