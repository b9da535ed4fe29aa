// The integrity record: what lets a setup program tell, before it writes
// anything, that its payload archive is whole and unchanged. Portable: no
// platform calls; the stub and mksetup share it.
//
// A setup program made by mksetup ends its archive with a record of its own
// form behind the last entry, and the stub's last eight bytes before the
// CR LF (zero padding in the bare stub) say that one is there:
//
//   stub trailer, file offset 38,904 (8 bytes)
//     0  4  magic "WYC" NUL
//     4  4  archive length A: the entries' bytes from offset 38,914 on
//
//   integrity record, file offset 38,914 + A (20 bytes)
//     0  4  magic "WYC" NUL (no entry's magic: entries carry "WY1" NUL)
//     4  4  record length, 20: where an entry keeps its entryLength, so a
//           reader that walks the chain steps over the record exactly
//     8  4  archive length A, again
//    12  4  CRC-32 (the zlib polynomial) of the A bytes from 38,914 on
//    16  4  number of entries in the chain
//
// All integers little-endian. The archive ends at the record: bytes behind
// it (an Authenticode signature appended later) are never read as entries.
// A reader that takes FileNum + 2 entries never reaches the record. A
// program without the trailer (a bare stub, another tool) has no record
// and is read as the entry chain alone.
#pragma once

#ifndef STUB_FILE_SIZE
#define STUB_FILE_SIZE 38914 // as in entry_format.h
#endif

enum {
    CRC32_TABLE_SIZE = 4 * 256,  // four tables: four bytes a step
    INTEGRITY_RECORD_SIZE = 20,
    STUB_TRAILER_OFFSET = STUB_FILE_SIZE - 10, // before CR LF, 8 bytes
    STUB_TRAILER_SIZE = 8
};

// The magic of the trailer and the record.
extern const unsigned char kIntegrityMagic[4];

// Fills the CRC32_TABLE_SIZE entries Crc32Update needs; built at run time
// so that the stub's file image does not carry them.
void Crc32MakeTable(unsigned long* table);
// Continues a CRC-32 (start with 0) over `size` bytes, four bytes a step
// (the tables of the byte-wise method for one, two, three and four bytes
// ahead), the bytes before and after one at a time.
unsigned long Crc32Update(const unsigned long* table, unsigned long crc,
                          const unsigned char* data, unsigned long size);

// 1 and the archive length when the 8 bytes at STUB_TRAILER_OFFSET are a
// trailer; 0 for anything else (the zero padding of a bare stub).
int ReadStubTrailer(const unsigned char* trailer, unsigned long* archiveLength);
void MakeStubTrailer(unsigned char* trailer, unsigned long archiveLength);

struct IntegrityRecord {
    unsigned long archiveLength;
    unsigned long crc;
    unsigned long entryCount;
};

// 1 when the 20 bytes are a record of this form (magic, length 20); fills
// `record`. 0 otherwise.
int ReadIntegrityRecord(const unsigned char* bytes, IntegrityRecord* record);
void MakeIntegrityRecord(unsigned char* bytes, const IntegrityRecord& record);
