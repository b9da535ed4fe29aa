// Moving a finished file into its place, replacing an older file there
// without ever losing both.
#pragma once

enum MoveResult {
    MoveBroken = -1,  // the old file lies aside and could not go back
    MoveRefused = 0,  // nothing changed: source and target as they were
    MoveDone = 1      // the source now has the target's name
};

// A fresh name ("~zsXXXX.tmp") in the folder of `path` (the folder's path
// must be shorter than MAX_PATH - 14) that no file has, noted in the
// journal before the caller makes a file of it; the full name goes to
// `temp` (MAX_PATH bytes). 1 when done, 0 otherwise.
int TempFileBeside(const char* path, char* temp);

// Moves the file `source` to `target`. When a file is already there it is
// replaced only with `mayReplace` set, and only when it is provably another
// file than the source (volume serial number and file index, not the
// spelling of the two paths), neither a folder nor read-only: the old file
// is first moved aside under a fresh name in the same folder, the source
// moved in, then the old file deleted - or, while a journal is kept, left
// aside until the commit; it is moved back if the source cannot take its
// place. MoveBroken only when that move back fails too: the old file then
// keeps the fresh name and the source is left where it was, so neither is
// lost. Every step is noted in the journal first (journal.h).
//
// Before the move the existence of a file at `target` is tested anew: a
// file that appeared meanwhile is never replaced by the plain move.
int MoveIntoPlace(const char* source, const char* target, int mayReplace);

// Makes the folder `path` when it is not there, noting it in the journal
// first; 1 when this call made it.
int MakeFolder(const char* path);

// Before a file at `path` is written where it stands: a file there is
// moved aside under a fresh name beside it (aside, MAX_PATH bytes, "" when
// there was none) and noted, so that a roll-back puts it back and the
// commit deletes it; no file there is noted as a new one. 1 when done.
int SetAside(const char* path, char* aside);

// 1 when the two paths name one and the same file (volume serial number
// and file index, not the spelling).
int IsSameFile(const char* a, const char* b);
