#include "seal.h"

#include <cstdio>
#include <stdexcept>

#include "entry_format.h"
#include "integrity.h"
#include "archive.h"

namespace archive {
namespace {

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t Crc(std::span<const std::uint8_t> bytes)
{
    static unsigned long table[CRC32_TABLE_SIZE];
    Crc32MakeTable(table);
    return static_cast<std::uint32_t>(Crc32Update(table, 0, bytes.data(), bytes.size()));
}

// Walks the entry lengths from the archive's start to `end`: the number of
// entries when the chain ends exactly there, -1 (and where it broke) when not.
long long CountEntries(std::span<const std::uint8_t> program, std::uint64_t end,
                       std::string* problem)
{
    std::uint64_t offset = StubSizeOf(program);
    long long count = 0;
    while (offset < end) {
        std::uint32_t length =
            end - offset >= 8 ? Le32(program.data() + offset + 4) : 0;
        if (!CheckEntryLength(length, static_cast<unsigned long>(offset),
                              static_cast<unsigned long>(end))) {
            *problem = "the chain of entries breaks at entry " + std::to_string(count + 1) +
                       " (offset " + std::to_string(offset) + ")";
            return -1;
        }
        offset += length;
        ++count;
    }
    return count;
}

} // namespace

void Seal(std::vector<std::uint8_t>& program)
{
    const std::uint32_t start = StubSizeOf(program);
    if (program.size() < start) throw std::invalid_argument("shorter than the stub");
    if (program.size() - start > 0xFFFFFFFFu - kRecordSize - start)
        throw std::invalid_argument("archive larger than 4 GiB");
    std::string problem;
    long long count = CountEntries(program, program.size(), &problem);
    if (count < 0) throw std::invalid_argument(problem);
    IntegrityRecord record;
    record.archiveLength = static_cast<unsigned long>(program.size() - start);
    record.crc = Crc(std::span(program).subspan(start));
    record.entryCount = static_cast<unsigned long>(count);
    MakeStubTrailer(program.data() + start - 10, record.archiveLength);
    std::uint8_t bytes[kRecordSize];
    MakeIntegrityRecord(bytes, record);
    program.insert(program.end(), bytes, bytes + kRecordSize);
}

SealStatus CheckSeal(std::span<const std::uint8_t> program)
{
    SealStatus status;
    status.archiveEnd = program.size();
    unsigned long archiveLength = 0;
    const std::uint32_t start = StubSizeOf(program);
    if (program.size() < start ||
        !ReadStubTrailer(program.data() + start - 10, &archiveLength))
        return status;
    status.kind = SealStatus::Damaged;
    std::uint64_t recordOffset = std::uint64_t{start} + archiveLength;
    IntegrityRecord record{};
    if (program.size() < recordOffset + kRecordSize) {
        status.problem = "truncated: the archive should end at offset " +
                         std::to_string(recordOffset) + " with its integrity record, but " +
                         "the file ends at " + std::to_string(program.size());
        return status;
    }
    if (!ReadIntegrityRecord(program.data() + recordOffset, &record) ||
        record.archiveLength != archiveLength) {
        status.problem = "no integrity record at offset " + std::to_string(recordOffset) +
                         ", where the stub's trailer says it is";
        return status;
    }
    status.archiveEnd = recordOffset;
    status.crcStored = static_cast<std::uint32_t>(record.crc);
    status.entryCount = static_cast<std::uint32_t>(record.entryCount);
    status.bytesBehind = program.size() - recordOffset - kRecordSize;
    status.crcComputed = Crc(program.subspan(start, archiveLength));
    long long count = CountEntries(program, recordOffset, &status.problem);
    if (count < 0) return status;
    if (static_cast<unsigned long>(count) != record.entryCount) {
        status.problem = "the record counts " + std::to_string(record.entryCount) +
                         " entries, the chain has " + std::to_string(count);
        return status;
    }
    if (status.crcComputed != status.crcStored) {
        status.problem = "CRC mismatch: the archive's CRC-32 is " + [&] {
            char text[64];
            std::snprintf(text, sizeof text, "%08X, the record says %08X", status.crcComputed,
                          status.crcStored);
            return std::string(text);
        }();
        return status;
    }
    status.kind = SealStatus::Sound;
    return status;
}

} // namespace archive
