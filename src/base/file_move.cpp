#include <windows.h>
#include "file_move.h"
#include "text.h"
#include "journal.h"

int TempFileBeside(const char* path, char* temp)
{
    char dir[MAX_PATH];
    CopyText(dir, path, sizeof dir);
    char* cut = dir + TextLength(dir);
    while (cut > dir && *cut != '\\') --cut;
    *cut = 0;
    // GetTempFileNameA takes no longer folder path. The name is noted in
    // the journal before anything of that name exists (given a number,
    // GetTempFileNameA only composes it): a run killed at any moment
    // leaves no temporary file that the next run does not delete.
    if (cut == dir || cut - dir > MAX_PATH - 14) return 0;
    UINT unique = GetTickCount();
    do {
        unique = (unique + 1) & 0xFFFF;
        GetTempFileNameA(dir, "~zs", unique | 1, temp);
    } while (GetFileAttributesA(temp) != INVALID_FILE_ATTRIBUTES);
    return JournalNote(NoteTemp, temp, 0);
}

int MakeFolder(const char* path)
{
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return 0;
    return JournalNote(NoteFolder, path, 0) && CreateDirectoryA(path, 0);
}

int SetAside(const char* path, char* aside)
{
    aside[0] = 0;
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return JournalNote(NoteNew, path, 0);
    // A fresh name: the move replaces nothing.
    if (!TempFileBeside(path, aside)) return 0;
    return JournalNote(NoteAside, path, aside) && MoveFileA(path, aside);
}

// The identity of the file at `path`; 0 when it cannot be opened. No access
// right is needed to ask, and every sharing is granted to other openers.
// Windows 95 knows neither a handle without access nor delete sharing and
// refuses such an open: it is asked with read access instead.
static int FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info)
{
    HANDLE file = CreateFileA(path, 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE |
                                  FILE_SHARE_DELETE,
                              0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE)
        file = CreateFileA(path, GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return 0;
    int known = GetFileInformationByHandle(file, info);
    CloseHandle(file);
    return known;
}

// 1 when `target` holds a file that may be replaced by `source`: both
// exist, they are two different files, and the target is no folder and
// not read-only (a file that could not be deleted is not replaced).
// 2 when both paths name one file, 1 when they name two, 0 when either
// cannot be asked.
static int Identities(const char* a, const char* b, BY_HANDLE_FILE_INFORMATION* to)
{
    BY_HANDLE_FILE_INFORMATION from;
    if (!FileIdentity(a, &from) || !FileIdentity(b, to)) return 0;
    return from.dwVolumeSerialNumber == to->dwVolumeSerialNumber &&
                   from.nFileIndexHigh == to->nFileIndexHigh &&
                   from.nFileIndexLow == to->nFileIndexLow
               ? 2 : 1;
}

int IsSameFile(const char* a, const char* b)
{
    BY_HANDLE_FILE_INFORMATION info;
    return Identities(a, b, &info) == 2;
}

static int IsReplaceable(const char* source, const char* target)
{
    BY_HANDLE_FILE_INFORMATION to;
    return Identities(source, target, &to) == 1 &&
           !(to.dwFileAttributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

int MoveIntoPlace(const char* source, const char* target, int mayReplace)
{
    int existed = GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES;
    if (!existed) {
        if (!JournalNote(NoteNew, target, 0)) return MoveRefused;
        if (MoveFileA(source, target)) return MoveDone;
        // Across volumes a move is a copy: one cut short by a full disk
        // must not stay behind as a file that looks whole.
        DeleteFileA(target);
        return MoveRefused;
    }
    if (!mayReplace || !IsReplaceable(source, target)) return MoveRefused;
    char aside[MAX_PATH];
    if (!SetAside(target, aside)) return MoveRefused;
    if (MoveFileA(source, target)) {
        // Under a journal the old file is kept until the commit.
        if (!JournalOpen()) DeleteFileA(aside);
        return MoveDone;
    }
    return MoveFileA(aside, target) ? MoveRefused : MoveBroken;
}
