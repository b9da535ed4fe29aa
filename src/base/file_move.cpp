#include <windows.h>
#include "file_move.h"
#include "text.h"

int TempFileBeside(const char* path, char* temp)
{
    char dir[MAX_PATH];
    CopyText(dir, path, sizeof dir);
    char* cut = dir + TextLength(dir);
    while (cut > dir && *cut != '\\') --cut;
    *cut = 0;
    // GetTempFileNameA takes no longer folder path.
    return cut != dir && cut - dir <= MAX_PATH - 14 &&
           GetTempFileNameA(dir, "~zs", 0, temp);
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
static int IsReplaceable(const char* source, const char* target)
{
    BY_HANDLE_FILE_INFORMATION from, to;
    if (!FileIdentity(source, &from) || !FileIdentity(target, &to)) return 0;
    if (to.dwFileAttributes &
        (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))
        return 0;
    return from.dwVolumeSerialNumber != to.dwVolumeSerialNumber ||
           from.nFileIndexHigh != to.nFileIndexHigh ||
           from.nFileIndexLow != to.nFileIndexLow;
}

int MoveIntoPlace(const char* source, const char* target, int mayReplace)
{
    int existed = GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES;
    if (MoveFileA(source, target)) return MoveDone;
    DWORD error = GetLastError();
    // Across volumes a move is a copy: one cut short by a full disk must
    // not stay behind as a file that looks whole.
    if (!existed) {
        DeleteFileA(target);
        return MoveRefused;
    }
    if (!mayReplace ||
        (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) ||
        !IsReplaceable(source, target))
        return MoveRefused;
    char aside[MAX_PATH];
    // The fresh name is taken by an empty file; the move must not replace
    // anything, so that file goes first.
    if (!TempFileBeside(target, aside)) return MoveRefused;
    DeleteFileA(aside);
    if (!MoveFileA(target, aside)) return MoveRefused;
    if (MoveFileA(source, target)) {
        DeleteFileA(aside);
        return MoveDone;
    }
    return MoveFileA(aside, target) ? MoveRefused : MoveBroken;
}
