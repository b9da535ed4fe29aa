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

int ScanInfSeries(const char* section, const char* stem, unsigned long last,
                  InfSeries* series)
{
    InfSection found;
    InfFindSection(&setupState.inf, section, &found);
    // A series without gaps has no more keys than lines; one of scattered
    // keys (a copy mode for the odd file) needs a slot up to its last.
    series->numbered = InfCountLines(&setupState.inf, &found);
    if (last > series->numbered) series->numbered = last;
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

InfValue* ListRecords(const InfText* log, const char* stem, unsigned long* count)
{
    InfSection section;
    *count = 0;
    InfFindSection(log, "Uninstall", &section);
    unsigned long lines = InfCountLines(log, &section);
    InfValue* slots = static_cast<InfValue*>(
        GlobalAlloc(GMEM_FIXED, (INF_LETTER_KEYS + lines) * sizeof(InfValue)));
    if (slots) *count = InfListSeries(log, &section, stem, 1, slots, lines);
    return slots;
}

// A set of paths (values in a text), letters of either case alike, for
// lookups in one step each however many there are.
struct PathSet {
    const InfValue* values;
    unsigned long* slots; // value index + 1, or 0
    unsigned long mask;
};

static char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

static unsigned long HashPath(const char* text, unsigned long length)
{
    unsigned long hash = 2166136261ul;
    while (length--) hash = (hash ^ static_cast<unsigned char>(FoldAscii(*text++))) * 16777619ul;
    return hash;
}

static int SamePath(const InfValue& value, const char* text, unsigned long length)
{
    if (value.length != length) return 0;
    for (unsigned long i = 0; i < length; ++i)
        if (FoldAscii(value.text[i]) != FoldAscii(text[i])) return 0;
    return 1;
}

// Slot of `text` in the set: where it is, or the empty slot it would take.
static unsigned long FindSlot(const PathSet* set, const char* text, unsigned long length)
{
    unsigned long i = HashPath(text, length) & set->mask;
    while (set->slots[i] && !SamePath(set->values[set->slots[i] - 1], text, length))
        i = (i + 1) & set->mask;
    return i;
}

static int BuildPathSet(PathSet* set, const InfValue* values, unsigned long count)
{
    unsigned long size = 16;
    while (size < 2 * count) size *= 2;
    set->values = values;
    set->mask = size - 1;
    set->slots = static_cast<unsigned long*>(GlobalAlloc(GPTR, size * sizeof(unsigned long)));
    if (!set->slots) return 0;
    for (unsigned long i = 0; i < count; ++i) {
        unsigned long slot = FindSlot(set, values[i].text, values[i].length);
        if (!set->slots[slot]) set->slots[slot] = i + 1;
    }
    return 1;
}

static int InPathSet(const PathSet* set, const char* text, unsigned long length)
{
    return set->slots && set->slots[FindSlot(set, text, length)];
}

// This application's earlier log, as a set of what it recorded.
static InfValue* ownRecords;
static unsigned long ownCount;
static PathSet ownSet;

void UseOwnLog(const InfText* log)
{
    ownRecords = ListRecords(log, "file", &ownCount);
    if (ownRecords) BuildPathSet(&ownSet, ownRecords, ownCount);
}

int IsOwnFile(const char* path)
{
    return InPathSet(&ownSet, path, TextLength(path));
}

DWORD ClearOwnReadOnly(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) !=
            FILE_ATTRIBUTE_READONLY ||
        !IsOwnFile(path) ||
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
static unsigned long folderKeys;  // "folder" records made
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

void AddFolderRecord(const char* path)
{
    char key[INF_KEY_SIZE];
    SeriesKey(key, sizeof key, "folder", ++folderKeys);
    AddRecord(key, path);
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
    recordsSize = recordsRoom = lastRecord = nextFileKey = folderKeys = 0;
}

int WriteRecords(const char* path)
{
    BeginRecords();
    if (!recordsSize) return 1; // nothing recorded: the file stays as it is
    if (!Append("", 1)) return 0;
    --recordsSize; // the section's end, not a record
    return WritePrivateProfileSectionA("Uninstall", records, path) != 0;
}

void MarkLastRecordKept()
{
    // "key=value": a "*" before the value. Recorded so that the series has
    // no gap; an older uninstaller's DeleteFileA fails on such a name.
    if (!Append("", 1)) return; // may move the records
    char* value = records + lastRecord;
    while (*value != '=') ++value;
    ++value;
    for (char* p = records + recordsSize - 1; p > value; --p) *p = p[-1];
    *value = '*';
}

// The values of this run's records, in order, for a set of them.
static InfValue* RecordValues(unsigned long* count)
{
    unsigned long n = 0;
    for (unsigned long at = 0; at < recordsSize; ++at) n += !records[at];
    InfValue* values = static_cast<InfValue*>(GlobalAlloc(GMEM_FIXED, (n + 1) * sizeof(InfValue)));
    *count = 0;
    if (!values) return 0;
    for (unsigned long at = 0; at < recordsSize;) {
        const char* line = records + at;
        unsigned long length = TextLength(line);
        const char* value = line;
        while (*value && *value != '=') ++value;
        if (*value) ++value;
        values[*count].text = value;
        values[(*count)++].length = length - static_cast<unsigned long>(value - line);
        at += length + 1;
    }
    return values;
}

void MergeOwnRecords()
{
    // Every record of the earlier installation that this run did not make
    // again: the uninstaller then removes what every version installed.
    unsigned long count;
    InfValue* values = RecordValues(&count);
    PathSet mine;
    char key[INF_KEY_SIZE];
    char value[SETUP_PATH_SIZE];
    if (values && BuildPathSet(&mine, values, count)) {
        for (unsigned long i = 0; i < ownCount; ++i) {
            const InfValue& old = ownRecords[i];
            if (old.length >= sizeof value || InPathSet(&mine, old.text, old.length))
                continue;
            InfCopyValue(value, sizeof value, old.text, old.length);
            AddFileRecord(value, key);
        }
        GlobalFree(mine.slots);
    }
    if (values) GlobalFree(values);
    // The folders the earlier installation made above its directory.
    unsigned long count2;
    InfValue* folders = ListRecords(&setupState.ownLog, "folder", &count2);
    for (unsigned long i = 0; i < count2; ++i)
        if (folders[i].length < sizeof value) {
            InfCopyValue(value, sizeof value, folders[i].text, folders[i].length);
            AddFolderRecord(value);
        }
    if (folders) GlobalFree(folders);
}
