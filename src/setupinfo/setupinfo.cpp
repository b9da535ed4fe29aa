#include <windows.h>
#include "setupinfo.h"
#include "entry_format.h"
#include "text.h"
#include "setup_state.h"
#include "series_key.h"

unsigned long ReadInfString(const char* section, const char* key, char* value)
{
    return ReadInfValue(&setupState.inf, section, key, value, INF_VALUE_LIMIT);
}

int ReadInfInt(const char* section, const char* key, int fallback)
{
    InfSection found;
    InfValue value;
    InfFindSection(&setupState.inf, section, &found);
    InfFindKey(&setupState.inf, &found, key, &value);
    return static_cast<int>(InfInteger(value.text, value.length, fallback));
}

int ScanInfSeries(const char* section, const char* stem, InfSeries* series)
{
    InfSection found;
    InfFindSection(&setupState.inf, section, &found);
    series->numbered = InfCountLines(&setupState.inf, &found);
    series->slots = static_cast<InfValue*>(GlobalAlloc(
        GPTR, (INF_LETTER_KEYS + series->numbered) * sizeof(InfValue)));
    if (!series->slots) return 0;
    InfScanSeries(&setupState.inf, &found, stem, series->slots,
                  series->slots + INF_LETTER_KEYS, series->numbered);
    return 1;
}

InfValue SeriesValue(const InfSeries* series, unsigned long n)
{
    InfValue none = {0, 0};
    if (!series->slots || n == 0) return none;
    if (n <= INF_SERIES_LETTERS) return series->slots[n - 1];
    n -= INF_SERIES_LETTERS + 1;
    return n < series->numbered ? series->slots[INF_LETTER_KEYS + n] : none;
}

int LoadInfFile(const char* path, InfText* inf)
{
    inf->text = 0;
    inf->size = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD high = 0, size = GetFileSize(file, &high), got = 0;
    char* text = 0;
    // A log of a million files is some 100 MB; more is no log of ours.
    if (!high && size < INF_FILE_LIMIT)
        text = static_cast<char*>(GlobalAlloc(GMEM_FIXED, size + 1));
    if (text && ReadFile(file, text, size, &got, 0) && got == size) {
        text[size] = 0;
        inf->text = text;
        inf->size = size;
    } else if (text) {
        GlobalFree(text);
    }
    CloseHandle(file);
    return inf->text != 0;
}

void FreeInfFile(InfText* inf)
{
    if (inf->text) GlobalFree(const_cast<char*>(inf->text));
    inf->text = 0;
    inf->size = 0;
}

unsigned long ReadInfValue(const InfText* inf, const char* section,
                           const char* key, char* buffer, unsigned long size)
{
    InfSection found;
    InfValue value;
    InfFindSection(inf, section, &found);
    InfFindKey(inf, &found, key, &value);
    return InfCopyValue(buffer, size, value.text, value.length);
}

InfValue* ListFileRecords(const InfText* log, unsigned long* count)
{
    InfSection section;
    *count = 0;
    InfFindSection(log, "Uninstall", &section);
    unsigned long lines = InfCountLines(log, &section);
    InfValue* slots = static_cast<InfValue*>(
        GlobalAlloc(GMEM_FIXED, (INF_LETTER_KEYS + lines) * sizeof(InfValue)));
    if (slots) *count = InfListSeries(log, &section, "file", 1, slots, lines);
    return slots;
}

int IsRecordedIn(const InfText* log, const char* path)
{
    unsigned long count;
    InfValue* listed = ListFileRecords(log, &count);
    int found = 0;
    char record[SETUP_PATH_SIZE];
    for (unsigned long i = 0; i < count && !found; ++i)
        found = listed[i].length < sizeof record &&
                InfCopyValue(record, sizeof record, listed[i].text,
                             listed[i].length) &&
                lstrcmpiA(record, path) == 0;
    if (listed) GlobalFree(listed);
    return found;
}

DWORD ClearOwnReadOnly(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) !=
            FILE_ATTRIBUTE_READONLY ||
        !setupState.ownLog.text || !IsRecordedIn(&setupState.ownLog, path) ||
        !SetFileAttributesA(path, (attributes & ~FILE_ATTRIBUTE_READONLY) |
                                      FILE_ATTRIBUTE_NORMAL))
        return INVALID_FILE_ATTRIBUTES;
    return attributes;
}

void PutAttributesBack(const char* path, DWORD attributes)
{
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path, attributes);
}

// The records, "key=value" lines each ended by a NUL, as
// WritePrivateProfileSectionA takes a section.
static char* records;
static unsigned long recordsSize, recordsRoom, lastRecord;
static unsigned long nextFileKey; // the series' number to try next
static InfSection shipped;         // the [Uninstall] the file brought

static int Append(const char* text, unsigned long length)
{
    if (recordsSize + length + 2 > recordsRoom) {
        unsigned long room = recordsRoom ? recordsRoom * 2 : 8192;
        while (room < recordsSize + length + 2) room *= 2;
        char* grown = static_cast<char*>(GlobalAlloc(GMEM_FIXED, room));
        if (!grown) return 0;
        if (records) {
            memcpy(grown, records, recordsSize);
            GlobalFree(records);
        }
        records = grown;
        recordsRoom = room;
    }
    memcpy(records + recordsSize, text, length);
    recordsSize += length;
    return 1;
}

static int AppendRecord(const char* key, unsigned long keyLength,
                        const char* value, unsigned long valueLength)
{
    unsigned long start = recordsSize;
    if (Append(key, keyLength) && Append("=", 1) &&
        Append(value, valueLength) && Append("", 1)) {
        lastRecord = start;
        return 1;
    }
    recordsSize = start;
    return 0;
}

// The first time: the records the setup information file brought along
// come first, and keep their keys.
static void BeginRecords()
{
    if (nextFileKey) return;
    nextFileKey = 1;
    InfFindSection(&setupState.inf, "Uninstall", &shipped);
    InfValue name, value;
    for (unsigned long at = shipped.begin;
         InfNextKey(&setupState.inf, &shipped, &at, &name, &value);)
        AppendRecord(name.text, name.length, value.text, value.length);
}

unsigned long AddFileRecord(const char* value, char* key)
{
    BeginRecords();
    InfValue taken;
    do
        SeriesKey(key, INF_KEY_SIZE, "file", nextFileKey++);
    while (InfFindKey(&setupState.inf, &shipped, key, &taken) && taken.length);
    return AppendRecord(key, TextLength(key), value, TextLength(value))
               ? nextFileKey - 1 : 0;
}

void AddRecord(const char* key, const char* value)
{
    BeginRecords();
    AppendRecord(key, TextLength(key), value, TextLength(value));
}

void DropLastRecord()
{
    recordsSize = lastRecord;
    --nextFileKey;
}

void ClearRecords()
{
    if (records) GlobalFree(records);
    records = 0;
    recordsSize = recordsRoom = lastRecord = nextFileKey = 0;
}

int WriteRecords(const char* path)
{
    BeginRecords();
    if (!recordsSize) return 1; // nothing recorded: the file stays as it is
    if (!Append("", 1)) return 0;
    --recordsSize; // the section's end, not a record
    return WritePrivateProfileSectionA("Uninstall", records, path) != 0;
}
