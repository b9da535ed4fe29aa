#include "integrity.h"

const unsigned char kIntegrityMagic[4] = {'W', 'Y', 'C', 0};

static unsigned long GetLe32(const unsigned char* p)
{
    return static_cast<unsigned long>(p[0]) |
           static_cast<unsigned long>(p[1]) << 8 |
           static_cast<unsigned long>(p[2]) << 16 |
           static_cast<unsigned long>(p[3]) << 24;
}

static void PutLe32(unsigned char* p, unsigned long value)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

static int HasMagic(const unsigned char* p)
{
    for (int i = 0; i < 4; ++i)
        if (p[i] != kIntegrityMagic[i]) return 0;
    return 1;
}

void Crc32MakeTable(unsigned long* table)
{
    for (unsigned long n = 0; n < 256; ++n) {
        unsigned long c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320ul ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    // table[256 k + n]: the CRC of byte n followed by k zero bytes.
    for (unsigned long n = 256; n < CRC32_TABLE_SIZE; ++n)
        table[n] = table[table[n - 256] & 0xFF] ^ (table[n - 256] >> 8);
}

unsigned long Crc32Update(const unsigned long* table, unsigned long crc,
                          const unsigned char* data, unsigned long size)
{
    unsigned c = static_cast<unsigned>(~crc);
    for (; size >= 4; size -= 4, data += 4) {
        c ^= data[0] | data[1] << 8 | data[2] << 16 |
             static_cast<unsigned>(data[3]) << 24;
        c = static_cast<unsigned>(table[768 + (c & 0xFF)] ^
                                  table[512 + ((c >> 8) & 0xFF)] ^
                                  table[256 + ((c >> 16) & 0xFF)] ^
                                  table[c >> 24]);
    }
    while (size--) c = static_cast<unsigned>(table[(c ^ *data++) & 0xFF]) ^ (c >> 8);
    return ~c & 0xFFFFFFFFul;
}

int ReadStubTrailer(const unsigned char* trailer, unsigned long* archiveLength)
{
    if (!HasMagic(trailer)) return 0;
    *archiveLength = GetLe32(trailer + 4);
    return 1;
}

void MakeStubTrailer(unsigned char* trailer, unsigned long archiveLength)
{
    for (int i = 0; i < 4; ++i) trailer[i] = kIntegrityMagic[i];
    PutLe32(trailer + 4, archiveLength);
}

int ReadIntegrityRecord(const unsigned char* bytes, IntegrityRecord* record)
{
    if (!HasMagic(bytes) || GetLe32(bytes + 4) != INTEGRITY_RECORD_SIZE) return 0;
    record->archiveLength = GetLe32(bytes + 8);
    record->crc = GetLe32(bytes + 12);
    record->entryCount = GetLe32(bytes + 16);
    return 1;
}

void MakeIntegrityRecord(unsigned char* bytes, const IntegrityRecord& record)
{
    for (int i = 0; i < 4; ++i) bytes[i] = kIntegrityMagic[i];
    PutLe32(bytes + 4, INTEGRITY_RECORD_SIZE);
    PutLe32(bytes + 8, record.archiveLength);
    PutLe32(bytes + 12, record.crc);
    PutLe32(bytes + 16, record.entryCount);
}
