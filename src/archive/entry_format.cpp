#include "entry_format.h"

static unsigned long ReadLe32(const unsigned char* p)
{
    return static_cast<unsigned long>(p[0]) |
           static_cast<unsigned long>(p[1]) << 8 |
           static_cast<unsigned long>(p[2]) << 16 |
           static_cast<unsigned long>(p[3]) << 24;
}

static unsigned short ReadLe16(const unsigned char* p)
{
    return static_cast<unsigned short>(p[0] | p[1] << 8);
}

int CheckEntryLength(unsigned long entryLength, unsigned long offset,
                     unsigned long fileSize)
{
    if (entryLength < ENTRY_FIXED_SIZE) return 0;
    if (offset > fileSize) return 0;
    return entryLength <= fileSize - offset;
}

int ParseEntryBlock(const unsigned char* block, unsigned long blockSize,
                    ArchiveEntry* entry)
{
    return ParseEntryHead(block, blockSize, blockSize, entry);
}

int ParseEntryHead(const unsigned char* block, unsigned long headSize,
                   unsigned long blockSize, ArchiveEntry* entry)
{
    if (headSize < ENTRY_BLOCK_FIXED || headSize > blockSize) return 0;
    unsigned long entryLength = ReadLe32(block);
    if (entryLength != blockSize + 4) return 0;
    unsigned nameLength = block[9];
    if (headSize < ENTRY_BLOCK_FIXED + nameLength) return 0;
    entry->entryLength = entryLength;
    entry->dosDate = ReadLe16(block + 4);
    entry->dosTime = ReadLe16(block + 6);
    entry->dosAttributes = block[8];
    entry->nameLength = static_cast<unsigned char>(nameLength);
    entry->name = reinterpret_cast<const char*>(block + 10);
    entry->decodedSize = ReadLe32(block + 10 + nameLength);
    entry->stream = block + ENTRY_BLOCK_FIXED + nameLength;
    entry->streamSize = blockSize - ENTRY_BLOCK_FIXED - nameLength;
    return 1;
}

int IsSafeStoredName(const char* name, unsigned length)
{
    if (length == 0) return 0;
    if (name[0] == '\\' || name[length - 1] == '\\') return 0;
    unsigned componentStart = 0;
    for (unsigned i = 0; i <= length; ++i) {
        unsigned char c = i < length ? static_cast<unsigned char>(name[i]) : 0;
        if (i < length) {
            if (c < 0x20 || c == 0x7F || c == ':' || c == '/') return 0;
            if (c != '\\') continue;
        }
        // A component ends at i: refuse "", "." and "..".
        unsigned size = i - componentStart;
        if (size == 0) return 0;
        if (size <= 2 && name[componentStart] == '.' &&
            (size == 1 || name[componentStart + 1] == '.'))
            return 0;
        componentStart = i + 1;
    }
    return 1;
}

unsigned long MapDosAttributes(unsigned char dosAttributes)
{
    unsigned a = dosAttributes;
    unsigned long result = 0;
    if (a >= 0x20) { result = 0x20; a -= 0x20; }
    if (a >= 0x10) a -= 0x10;
    if (a >= 0x08) a -= 0x08;
    if (a >= 0x04) { result |= 0x04; a -= 0x04; }
    if (a >= 0x02) { result |= 0x02; a -= 0x02; }
    if (a == 0x01) result |= 0x01;
    if (result == 0) result = 0x80;
    return result;
}

static unsigned DaysInMonth(unsigned year, unsigned month)
{
    static const unsigned char days[12] = {31, 28, 31, 30, 31, 30,
                                           31, 31, 30, 31, 30, 31};
    if (month == 2 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0))
        return 29;
    return days[month - 1];
}

void AdjustDosTime(unsigned short* dosDate, unsigned short* dosTime)
{
    unsigned hour = (*dosTime >> 11) + 6;
    unsigned rest = *dosTime & 0x07FF;
    if (hour >= 24) {
        unsigned year = 1980 + (*dosDate >> 9);
        unsigned month = (*dosDate >> 5) & 0x0F;
        unsigned day = *dosDate & 0x1F;
        int known = month >= 1 && month <= 12 && day >= 1 &&
                    day <= DaysInMonth(year, month);
        // 2107-12-31 is the last day the format holds.
        if (!known || (year == 2107 && month == 12 && day == 31)) {
            // No next day to carry into: the day's last moment, 23:59:58,
            // rather than an hour that wraps back into the same day.
            hour = 23;
            rest = 59 << 5 | 29;
        } else {
            hour -= 24;
            if (++day > DaysInMonth(year, month)) {
                day = 1;
                if (++month > 12) {
                    month = 1;
                    ++year;
                }
            }
            *dosDate = static_cast<unsigned short>((year - 1980) << 9 |
                                                   month << 5 | day);
        }
    }
    *dosTime = static_cast<unsigned short>(hour << 11 | rest);
}

int StepLetter(char* letter)
{
    unsigned char c = static_cast<unsigned char>(*letter);
    if (c == 0xFF) return 0;
    *letter = static_cast<char>(c + 1);
    return 1;
}
