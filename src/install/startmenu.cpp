// The Start-menu folder: the Windows 95 layout where it is on the disk,
// the shell's registered Programs folder everywhere else.
#include <windows.h>
#include <shlobj.h>
#include "startmenu.h"
#include "setup_state.h"
#include "setupinfo.h"
#include "text.h"

static int IsFolder(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

typedef BOOL(WINAPI* SpecialFolderPathA)(HWND, LPSTR, int, BOOL);

// The shell's folders come from SHGetSpecialFolderPathA, looked up at run
// time: a Windows 95 without the shell update lacks it, and an import
// would keep the program from loading there (that system has the Windows
// directory's folder instead). The function rather than the registry's
// "Shell Folders" and "User Shell Folders" keys: the first is a copy the
// shell keeps for old programs and may fill late, the second needs
// expanding, and in a 64-bit Wine prefix the 32-bit registry view, the
// one this program reads there, holds neither key for all users.
void FindStartMenuFolder(char* path, const char* appName)
{
    UINT length = GetWindowsDirectoryA(path, INF_VALUE_LIMIT);
    if (!length || length > INF_VALUE_LIMIT) path[0] = 0;
    AppendText(path, "\\Start Menu\\Programs", SETUP_PATH_SIZE);
    HMODULE shell = IsFolder(path) ? 0 : LoadLibraryA("shell32.dll");
    SpecialFolderPathA folderPath =
        shell ? (SpecialFolderPathA)GetProcAddress(
                    shell, "SHGetSpecialFolderPathA")
              : 0;
    // The folder for all users first: every user sees the shortcuts.
    static const int folders[] = {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS};
    char found[MAX_PATH];
    for (int i = 0; folderPath && i < 2; ++i)
        if (folderPath(0, found, folders[i], FALSE) && IsFolder(found) &&
            TextLength(found) < SETUP_PATH_SIZE) {
            CopyText(path, found, SETUP_PATH_SIZE);
            break;
        }
    AppendText(path, "\\", SETUP_PATH_SIZE);
    AppendText(path, appName, SETUP_PATH_SIZE);
}
