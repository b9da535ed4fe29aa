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
}

unsigned long Crc32Update(const unsigned long* table, unsigned long crc,
                          const unsigned char* data, unsigned long size)
{
    crc = ~crc & 0xFFFFFFFFul;
    while (size--) crc = table[(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return ~crc & 0xFFFFFFFFul;
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
