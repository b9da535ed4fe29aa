// The setup information file: read once, from the copy in memory that the
// extraction of entry 1 keeps (setupState.inf), so that a value costs no
// file access and nobody can change it between two reads; the [Uninstall]
// records of the run gathered in memory and written in one piece.
#pragma once
#include "inf_text.h"

enum {
    INF_VALUE_LIMIT = 255,        // size argument of every string read
    INF_FILE_LIMIT = 256ul << 20, // the largest file read whole
    INF_KEY_SIZE = 24             // a series key: stem and up to ten digits
};

// section/key of setupState.inf into a buffer of 256 bytes, as a profile
// read with the limit 255 gives it (at most 254 characters, "" when
// absent). Returns the number of characters read.
unsigned long ReadInfString(const char* section, const char* key, char* value);
// An integer value, `fallback` when absent or empty.
int ReadInfInt(const char* section, const char* key, int fallback);

// Reads the file at `path` whole into memory; 1 when read (free it with
// FreeInfFile), 0 when it cannot be read or is no file of that size.
int LoadInfFile(const char* path, InfText* inf);
void FreeInfFile(InfText* inf);
// section/key of a file in memory, copied as a profile read with a buffer
// of `size` bytes would; the number of characters copied.
unsigned long ReadInfValue(const InfText* inf, const char* section,
                           const char* key, char* buffer, unsigned long size);

// A series of setupState.inf scanned once: SeriesValue(series, n) is the
// value of the n-th key (n from 1), text 0 when absent, for every n up to
// `last` or the section's number of lines, whichever is more. 0 when there
// was no memory for it.
struct InfSeries {
    InfValue* slots;
    unsigned long numbered;
};
int ScanInfSeries(const char* section, const char* stem, unsigned long last,
                  InfSeries* series);
InfValue SeriesValue(const InfSeries* series, unsigned long n);

// The [Uninstall] records of a series ("file", "folder") in the order the
// uninstaller walks them, in a block to be freed with GlobalFree (0 when
// there was no memory; then *count is 0 too).
InfValue* ListRecords(const InfText* log, const char* stem, unsigned long* count);
// Takes this application's earlier log (the one found in the install
// directory) as the one whose records IsOwnFile knows; each lookup is one
// step. 1 when `path` is one of them (ASCII letters of either case alike).
void UseOwnLog(const InfText* log);
int IsOwnFile(const char* path);

// A read-only file that this application's own log (state's ownLog)
// recorded is the application's: its read-only attribute is cleared, so
// that it can be replaced, and its attributes are returned for
// PutAttributesBack should that fail. A user's read-only file (one no log
// of this application recorded) stays protected: INVALID_FILE_ATTRIBUTES,
// nothing changed.
unsigned long ClearOwnReadOnly(const char* path);
void PutAttributesBack(const char* path, unsigned long attributes);

// The [Uninstall] records of the run. They start with whatever [Uninstall]
// the setup information file brought with it; a file record goes under the
// next "file" key of the series that holds no value yet (the search goes
// on from the last key it found: records are only ever added, so that is
// the first free one). Returns the key's number, 0 when there was no
// memory; `key` (INF_KEY_SIZE bytes) receives the key.
unsigned long AddFileRecord(const char* value, char* key);
// A folder this installation made above its directory, under the next
// key of the series "folder".
void AddFolderRecord(const char* path);
// A record under a key of its own ("dir", "linkdir").
void AddRecord(const char* key, const char* value);
// Takes back the record just added (a file that was not written).
void DropLastRecord();
// The record just added names a file that was there before this
// application's first installation and was kept (copy mode 2 or 3): it is
// the user's. Its value gains a "*" in front, and the uninstaller leaves it.
void MarkLastRecordKept();
// Adds every record of the earlier installation (UseOwnLog) that this run
// did not make, after this run's own.
void MergeOwnRecords();
// Forgets the records, to begin again (for the tests of the pieces).
void ClearRecords();
// Writes the records as the [Uninstall] section of the file at `path` in
// one call (replacing any section of that name). 1 when written.
int WriteRecords(const char* path);
