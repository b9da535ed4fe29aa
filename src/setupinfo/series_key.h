// The keys of a series: "filea", "fileb", ... in [Uninstall] and
// [Copymode]; "linka", "linkfilea", "linkargsa", ... in [Links]. The first
// 30 keys are the stem and one letter, "a" to "~" (0x61 to 0x7E); from the
// 31st on, the stem and the number in decimal without leading zeros
// ("file31", "file32", ..., "file1000"). A key is thus made of ASCII
// letters, digits and { | } ~ only: Windows NT compares profile key names
// without regard to case in Unicode, and letters of an ANSI code page past
// "~" fold together there ("file\x8A" and "file\x9A" are one key in code
// page 1252). Pure code: no platform calls.
#pragma once

enum {
    SERIES_LETTERS = 30,   // keys 1 to 30 end in one letter
    SERIES_TAIL_LIMIT = 20 // characters after the stem at most (a 64-bit n)
};

// Writes the n-th key of the series `stem` (n from 1) into `key`, `size`
// bytes, NUL-terminated, and returns its length. Returns 0 when n is 0 or
// the key and its NUL do not fit; `key` then holds "" (when size > 0).
unsigned SeriesKey(char* key, unsigned size, const char* stem, unsigned long n);
