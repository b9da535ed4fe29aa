// The setup information file: an INI file read and written only through the
// platform's private-profile functions. These helpers carry the buffer and
// limit arguments so that no caller repeats them.
#pragma once

enum {
    INF_VALUE_LIMIT = 255, // size argument of every string read
    INF_PROBE_LIMIT = 63   // the free-key probe during file extraction
};

// Reads section/key of the file at `path` into a 256-byte buffer with the
// limit 255 and default "". Returns the number of characters read.
unsigned long ReadInfString(const char* section, const char* key,
                            char* value, const char* path);
// Reads an integer value, `fallback` when absent.
int ReadInfInt(const char* section, const char* key, int fallback,
               const char* path);
// Writes section/key := value. Failures go unnoticed (as every INI write).
void WriteInfString(const char* section, const char* key, const char* value,
                    const char* path);

// Finds the first key of the series stem + letter ("filea", "fileb", ...)
// whose value in `section` is empty, probing with a buffer of probeSize
// characters, writes it to `key` (room for the stem, one letter and the
// NUL) and returns 1. The letters end at the last one of the single-byte
// range (0xFF): when every key up to it holds a value the series is full,
// `key` is left empty ("") and the result is 0. A record has no place
// then; it must not replace another one.
int FindFreeLetterKey(const char* section, const char* stem,
                      const char* path, unsigned long probeSize, char* key);
