// Shared by the unit tests that hand our streams to other LHA programs:
// bare-stream decoding into bytes, LHA's CRC-16 and a level-0 -lh1- member.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lzhuf.h"

namespace lh1 {

using Bytes = std::vector<std::uint8_t>;

inline int Collect(void* context, const unsigned char* data, unsigned long size)
{
    auto* out = static_cast<Bytes*>(context);
    out->insert(out->end(), data, data + size);
    return 1;
}

// Decodes a bare stream of `size` bytes with our decoder; the decoder's result.
inline int DecodeStream(const Bytes& stream, std::uint32_t size, Bytes& out)
{
    Bytes block(14, 0);
    for (int i = 0; i < 4; i++) block[10 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    block.insert(block.end(), stream.begin(), stream.end());
    auto decoder = std::make_unique<LzhufDecoder>();
    return Decode(decoder.get(), block.data(), block.size(), Collect, &out);
}

// CRC-16 as LHA stores it: polynomial 0x8005 reflected (0xA001), start 0.
inline std::uint16_t Crc16(const Bytes& data)
{
    std::uint16_t crc = 0;
    for (std::uint8_t b : data) {
        crc ^= b;
        for (int i = 0; i < 8; i++) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

inline void PutLe(Bytes& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; i++) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// One member with a level-0 header: size and checksum of the header, then
// method, sizes, DOS time, attribute, level, name and CRC of the original.
inline void AppendMember(Bytes& archive, const std::string& name, const Bytes& original,
                         const Bytes& stream)
{
    Bytes header;
    for (char c : std::string("-lh1-")) header.push_back(static_cast<std::uint8_t>(c));
    PutLe(header, static_cast<std::uint32_t>(stream.size()), 4);
    PutLe(header, static_cast<std::uint32_t>(original.size()), 4);
    PutLe(header, (12u << 11) | (34u << 5), 2);              // 12:34:00
    PutLe(header, ((2020u - 1980) << 9) | (6u << 5) | 15, 2); // 2020-06-15
    header.push_back(0x20);
    header.push_back(0);
    header.push_back(static_cast<std::uint8_t>(name.size()));
    header.insert(header.end(), name.begin(), name.end());
    PutLe(header, Crc16(original), 2);
    std::uint8_t sum = 0;
    for (std::uint8_t b : header) sum = static_cast<std::uint8_t>(sum + b);
    archive.push_back(static_cast<std::uint8_t>(header.size()));
    archive.push_back(sum);
    archive.insert(archive.end(), header.begin(), header.end());
    archive.insert(archive.end(), stream.begin(), stream.end());
}

} // namespace lh1
