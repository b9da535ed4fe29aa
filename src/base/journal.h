// The installation's journal: before each change to the machine the setup
// program appends a line saying how to undo it, so that a failed,
// cancelled or killed run can be taken back, in reverse order, to the
// machine as it was. Lines are only ever appended (a kill leaves at most
// a last line without its line end, which is ignored); the commit is one
// more line, after which nothing is undone.
//
// One line per change: a letter, a blank, a path and, for a file moved
// aside, "|" and the name it lies under (no file name holds "|"):
//   D folder        a folder made           undo: remove it (when empty)
//   T file          a temporary file        undo: delete it
//   N file          a file made where none was          undo: delete it
//   A file|aside    a file replaced, the old one kept aside
//                                  undo: put it back; commit: delete it
//   K key           the uninstall entry's key made       undo: delete it
//   S value         one more user counted in SharedDLLs  undo: one fewer
//   C               the commit
#pragma once

enum {
    NoteFolder = 'D',
    NoteTemp = 'T',
    NoteNew = 'N',
    NoteAside = 'A',
    NoteKey = 'K',
    NoteShared = 'S',
    NoteCommit = 'C'
};

// Starts the journal at `path` (a file of its own; one left by a killed
// run must have been recovered first). 1 when it can be written.
int JournalBegin(const char* path);
// Appends one line; 1 when it was written whole (or no journal is kept).
// The change may be made only after it.
int JournalNote(char kind, const char* path, const char* aside);
// Whether a journal is being kept.
int JournalOpen();
// The commit: the line "C", then the files kept aside are deleted and the
// journal itself. Nothing is undone afterwards.
void JournalCommit();
// Undoes every change noted, last first, and deletes the journal.
void JournalRollBack();
// A journal that a killed run left at `path`: finished when it holds its
// commit, else rolled back. Nothing happens when there is none.
void JournalRecover(const char* path);

// The journal of the application `appName`, in the Windows directory
// (MAX_PATH bytes): where a run keeps it and the next run or the
// uninstaller looks for it.
void JournalPath(char* path, const char* appName);
