// The payload archive's entry layout and the pure rules around it: header
// parsing and validation, stored-name safety, the MS-DOS attribute mapping,
// the time-stamp adjustment and the letter-series step. No platform calls.
#pragma once

// The stub's size in the file: its image, padded, then CR LF. 38,914 for
// the product; the x86_64 build of the same sources, a test vehicle for
// machines that cannot run 32-bit programs, is larger (its compiler's code
// is), and its build says so (STUB_FILE_SIZE=51202).
#ifndef STUB_FILE_SIZE
#define STUB_FILE_SIZE 38914
#endif

enum {
    ARCHIVE_START = STUB_FILE_SIZE,   // stub image + CR LF
    STUB_IMAGE_SIZE = STUB_FILE_SIZE - 2,
    ENTRY_FIXED_SIZE = 18,     // header bytes besides the name
    ENTRY_BLOCK_FIXED = 14,    // the same, counted from the length field
    TARGET_PATH_SIZE = 256     // every target path buffer
};

// Extraction modes of ExtractEntry.
enum ExtractMode {
    ExtractRewind = 0,
    ExtractAlways = 1,
    ExtractAsk = 2,
    ExtractKeep = 3,
    ExtractInstall = 6,
    ExtractStub = 7
};

// One entry, as parsed from its entry block (the entry minus its magic).
struct ArchiveEntry {
    unsigned long entryLength;
    unsigned short dosDate;
    unsigned short dosTime;
    unsigned char dosAttributes;
    unsigned char nameLength;
    const char* name;            // points into the block; not NUL-terminated
    unsigned long decodedSize;
    const unsigned char* stream; // points into the block
    unsigned long streamSize;
};

// Checks an entry's length field against the file before anything is read:
// 1 when entryLength covers at least its fixed header and stays within the
// file (offset + entryLength <= fileSize), 0 otherwise. entryLength 0 fails.
int CheckEntryLength(unsigned long entryLength, unsigned long offset,
                     unsigned long fileSize);

// Parses an entry block of blockSize bytes (entryLength - 4). Returns 1 and
// fills `entry` when the block holds its whole header (14 + nameLength
// bytes) and its length field equals blockSize + 4; 0 otherwise.
int ParseEntryBlock(const unsigned char* block, unsigned long blockSize,
                    ArchiveEntry* entry);
// The same for the first headSize bytes of a block of blockSize bytes, as
// read from the program file before the rest: they must hold the whole
// header. `entry->stream` then points at the part of the stream that
// came with them.
int ParseEntryHead(const unsigned char* block, unsigned long headSize,
                   unsigned long blockSize, ArchiveEntry* entry);

// 1 when a stored name may be joined to an install directory: not empty,
// no drive or ':' anywhere, no '/', no control characters (below 0x20 or
// 0x7F), no leading or trailing '\', no empty component ("\\"), and no
// component that is "." or "..". 0 otherwise.
int IsSafeStoredName(const char* name, unsigned length);

// The attributes an extracted file gets from its stored MS-DOS byte:
// archive, system, hidden and read-only are kept, directory and volume
// label dropped; 0x80 (normal) when nothing is left.
unsigned long MapDosAttributes(unsigned char dosAttributes);

// Adds the six hours that stored times lack. An hour that reaches 24 or
// more is carried into the next day (month and year roll over; leap years
// count). Where there is no next day to carry into - a date the calendar
// does not know, or 2107-12-31, the last day the format holds - the date
// stays and the time becomes that day's last moment, 23:59:58: never
// earlier than the stored time.
void AdjustDosTime(unsigned short* dosDate, unsigned short* dosTime);

// Steps the letter of a letter-series key ("filea" -> "fileb"). Returns 0,
// leaving the letter alone, at the end of the single-byte range (0xFF).
int StepLetter(char* letter);
