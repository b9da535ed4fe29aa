// ExtractEntry: the one way into the payload archive behind the stub.
#pragma once
#include <windows.h>
#include "entry_format.h"

// Handles the next archive entry (or, in ExtractStub, writes the stub).
// target: a buffer of TARGET_PATH_SIZE bytes holding the target path; in
// ExtractInstall it holds the directory and receives the file's full path.
// setupInfoPath: the setup information file (ExtractInstall only).
// Returns 1 when the entry was written, or skipped under the overwrite
// policy, and for ExtractStub when the copy is whole (or a larger file is
// left at the target); 0 when the archive is exhausted, on
// a malformed or damaged entry, an unsafe name, a target that does not
// fit, an output file that cannot be written, or a program file that
// cannot be opened ("File Error!" / "Can't get memory!" where it says so).
int ExtractEntry(HINSTANCE instance, char* target, int mode,
                 const char* setupInfoPath);

// Checks the payload archive before anything is written: where the stub's
// trailer says an integrity record follows the archive, the record must be
// there, the entry chain (headers only) must end exactly on it, and the
// archive's CRC-32 must match. Then the archive ends at the record for
// every later ExtractEntry (archiveEnd). Returns 1 when the archive is
// sound or carries no record (a program made by another tool, read as
// before); 0 when it is damaged or incomplete. Shows nothing.
int CheckArchive(HINSTANCE instance);

// The decoded size of the next `count` entries from archiveOffset on, read
// from their headers; the sum ends early at an entry that cannot be read
// (its extraction will fail).
unsigned long MeasureEntries(int count);
