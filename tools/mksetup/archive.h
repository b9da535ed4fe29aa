// The payload archive as the author's tool sees it: making entries and
// reading them back. Portable C++20, no I/O (callers hand in bytes).
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace archive {

// The stub of the product: a 38,912-byte image and CR LF; the archive
// starts behind it. The x86_64 build of the same sources, a test vehicle
// for machines that cannot run 32-bit programs, has a larger stub (its
// code is larger): 51,202 bytes. Which one a program has follows from its
// stub's machine (StubSizeOf).
constexpr std::uint32_t kArchiveStart = 38914;
constexpr std::uint32_t kStubImageSize = 38912;
constexpr std::uint32_t kWideStubSize = 51202;

// The size of the stub at the start of `program` (or of a stub alone):
// kWideStubSize for an x86-64 program, kArchiveStart otherwise.
std::uint32_t StubSizeOf(std::span<const std::uint8_t> program);

struct EntrySpec {
    std::string name;              // stored name, '\' between directories
    std::vector<std::uint8_t> data;
    std::uint16_t dosDate = 0;
    std::uint16_t dosTime = 0;
    std::uint8_t attributes = 0x20;
};

// The most a setup program can be: the setup program reads it with 32-bit
// offsets.
constexpr std::uint64_t kMaxProgramSize = 0xFFFFFFFFu;

// One whole entry: magic "WY1\0", entryLength, date, time, attributes,
// nameLength, name, decodedSize, stream. Throws std::length_error for a
// name longer than 255 bytes or data or an entry of 4 GiB or more.
std::vector<std::uint8_t> MakeEntry(const EntrySpec& wanted, int level = 9);

// The same entry appended to `out`; returns its length.
std::uint64_t AppendEntry(std::vector<std::uint8_t>& out, const EntrySpec& wanted,
                          int level = 9);

// An entry of the LZMA method appended to `out`: magic "WY2\0", the header
// of `wanted` (its data gives decodedSize), then `part`, the stream part
// that lzmapack::Pack made of the data (flags, dictionary byte, chunks;
// docs/FORMAT.md, "LZMA entries"). Returns its length; throws as
// AppendEntry does.
std::uint64_t AppendLzmaEntry(std::vector<std::uint8_t>& out, const EntrySpec& wanted,
                              std::span<const std::uint8_t> part);

// How an entry's stream is coded, as the setup program tells it by the
// magic: "WY2\0" LZMA, anything else LZHUF.
enum class Method { Lzhuf, Lzma };

// An entry found in a setup program.
struct EntryInfo {
    std::uint32_t offset = 0;      // file offset of its magic
    std::uint32_t entryLength = 0;
    std::uint16_t dosDate = 0, dosTime = 0;
    std::uint8_t attributes = 0;
    std::string name;
    std::uint32_t decodedSize = 0;
    std::uint32_t streamOffset = 0; // file offset of its stream
    std::uint32_t streamSize = 0;
    Method method = Method::Lzhuf;
};

// The stream of entry `info` in `program` (as ListEntries found it).
std::span<const std::uint8_t> StreamOf(std::span<const std::uint8_t> program,
                                       const EntryInfo& info);

// Walks the entry chain of a whole setup program (stub + archive). Returns
// the entries, or an error text naming the entry number and the reason
// (via `error`) for a chain that is malformed.
std::vector<EntryInfo> ListEntries(std::span<const std::uint8_t> program,
                                   std::string* error);

// Decodes entry `info` of `program`, an LZHUF entry; an error text on
// damage, including a stream that ends before its last bytes
// (CheckStreamEnd). An LZMA entry may need the entries before it in its
// stream: it is refused here with an error text, and decoded with its
// stream (payload_reader.h).
std::optional<std::vector<std::uint8_t>> DecodeEntry(
    std::span<const std::uint8_t> program, const EntryInfo& info,
    std::string* error);

} // namespace archive
