// A setup information file held in memory, read the way the platform's
// profile functions read it: lines end in CR LF, LF or CR; blanks and tabs
// around names and values do not count; ";" starts a comment line; section
// and key names match without regard to ASCII case; only the first section
// of a name counts, and in it only the first key of a name; a value in one
// pair of matching quotes (" or ') loses them; a line with no "=" is a key
// without a value. Pure code: no platform calls, the caller's text.
//
// Reading it once, from memory, rather than through the profile functions
// costs no file access per value and cannot be changed by another program
// between two reads; and a lookup that resumes where the last one ended
// makes walking a series of keys written in order cost one step per key.
#pragma once

struct InfText {
    const char* text;
    unsigned long size;
};

// Where the lines of one section lie: from `begin` (just after its header
// line) up to `end` (the next section's header, or the text's end).
struct InfSection {
    unsigned long begin, end;
};

// The first section named `name`; 0 when there is none (*section is then
// empty, begin == end, so that every lookup in it fails).
int InfFindSection(const InfText* inf, const char* name, InfSection* section);

// A value found in the text: `text` points at it (unquoted, not
// NUL-terminated) and `length` is its length (0 for "key=" and for a line
// without "="); `text` is 0 when the key is absent.
struct InfValue {
    const char* text;
    unsigned long length;
};

// The first line of `section` whose name is `key`; 0 when there is none.
int InfFindKey(const InfText* inf, const InfSection* section, const char* key,
               InfValue* value);

// The key lines of a section one after the other: start with *offset =
// section->begin; each call gives the next line's name and value and
// returns 1, or 0 after the last.
int InfNextKey(const InfText* inf, const InfSection* section,
               unsigned long* offset, InfValue* name, InfValue* value);

// The number of lines of a section: a bound on the keys it can hold.
unsigned long InfCountLines(const InfText* inf, const InfSection* section);

// The keys of a series in one pass over the section, each taken from its
// first line as a lookup would: a series key is `stem` followed by one
// letter from "a" to "~" (n = 1 to 30; "A" to "Z" count as "a" to "z"),
// by a letter from 0x7F to 0xFF (n = 31 to 159, the single letters that
// older setup programs went on with), or by a decimal n from 31 on without
// leading zeros ("file31"). letters[n - 1] receives the single letters
// (159 slots), numbered[n - 31] the decimal ones below 31 + numberedCount;
// every other slot is left as it was (clear them first). Walking a series
// of F keys so costs one pass, however the author ordered the lines.
void InfScanSeries(const InfText* inf, const InfSection* section,
                   const char* stem, InfValue* letters, InfValue* numbered,
                   unsigned long numberedCount);

enum {
    INF_LETTER_KEYS = 0xFF - 'a' + 1, // 159 single letters, a to 0xFF
    INF_SERIES_LETTERS = '~' - 'a' + 1 // 30: the letters the series starts with
};

// The values of a series in the order the uninstaller walks it, into
// slots[0 .. result): the letters "a" to "~"; when all 30 are there, the
// older programs' letters from 0x7F on (only with `withOldLetters`) for as
// long as they go on; then the decimal keys from 31 on. The walk ends at
// the first key that is absent or empty. `slots` has INF_LETTER_KEYS +
// numbered slots: the scan's room, reused for the list.
unsigned long InfListSeries(const InfText* inf, const InfSection* section,
                            const char* stem, int withOldLetters,
                            InfValue* slots, unsigned long numbered);

// Copies a value as a profile read with a buffer of `size` bytes does: at
// most size - 1 characters, then a NUL. Returns the number copied.
unsigned long InfCopyValue(char* buffer, unsigned long size, const char* value,
                           unsigned long length);

// An integer value as the profile functions read it: leading blanks, an
// optional sign, a 0x/0o/0b prefix, then digits up to the first other
// character ("4 files" is 4), wrapped to 32 bits; `fallback` when the
// value is empty.
long InfInteger(const char* value, unsigned long length, long fallback);

// 1 when the two names are the same without regard to ASCII case.
int InfSameName(const char* a, unsigned long aLength, const char* b);
