// The uninstall sequence: ask, delete the recorded files, remove the
// emptied folders, then the registry entries.
#include <windows.h>
#include "uninstall.h"
#include "setup_state.h"
#include "setupinfo.h"
#include "entry_format.h"
#include "inside_folder.h"
#include "registry.h"
#include "text.h"
#include "switches.h"

// Reads the "file" series until the first empty key into `list` (count
// slots of SETUP_PATH_SIZE; 0 only counts). Returns the number of keys.
static unsigned ReadFileList(char* list, unsigned count)
{
    char key[] = "filea";
    unsigned n = 0;
    while (ReadInfString("Uninstall", key, setupState.compReg,
                         setupState.infPath)) {
        if (list && n < count)
            CopyText(list + n * SETUP_PATH_SIZE, setupState.compReg,
                     SETUP_PATH_SIZE);
        ++n;
        if (!StepLetter(key + 4)) break;
    }
    return n;
}

// Removes the empty folders between the file at `path` and the install
// directory, deepest first. Only a file strictly inside an install
// directory that is itself below a drive's root counts, named without ".",
// "..", empty components, "/" or ":": nothing outside the install
// directory is touched, whatever the log says.
static void RemoveEmptyFolders(char* path)
{
    if (!IsStrictlyInside(setupState.defDir, path)) return;
    unsigned dirLength = TextLength(setupState.defDir);
    for (unsigned i = TextLength(path); --i > dirLength;)
        if (path[i] == '\\') {
            path[i] = 0;
            RemoveDirectoryA(path);
        }
}

int RunUninstall()
{
    SetupState* s = &setupState;
    ReadInfString("Uninstall", "dir", s->defDir, s->infPath);
    ReadInfString("Uninstall", "linkdir", s->licensePath, s->infPath);
    ReadInfString("Install", "AppName", s->appName, s->infPath);
    // Composed apart from appBy: the name and both parts need more room.
    char question[SETUP_PATH_SIZE + 64];
    CopyText(question, "Are you sure you want to completely\nremove ",
             sizeof question);
    AppendText(question, s->appName, sizeof question);
    AppendText(question, " from your computer?", sizeof question);
    CopyText(s->appBy, question, sizeof s->appBy);
    if (s->silent) {
        // Nobody to ask; a log that names no install directory is no
        // uninstall log, and nothing is removed on its word.
        if (!s->defDir[0]) {
            s->exitCode = ExitNoLog;
            return 0;
        }
    } else if (MessageBoxA(0, question, "Uninstall",
                           MB_ICONQUESTION | MB_YESNO) != IDYES) return 0;

    // Everything is read from the log before the first deletion, since
    // the log itself is among the recorded files.
    unsigned count = ReadFileList(0, 0);
    char* list = count ? (char*)GlobalAlloc(GMEM_FIXED,
                                             count * SETUP_PATH_SIZE) : 0;
    if (list) ReadFileList(list, count);
    else count = 0;
    char compReg[SETUP_PATH_SIZE];
    ReadInfString("Install", "CompReg", compReg, s->infPath);
    for (unsigned i = 0; i < count; ++i) {
        CopyText(s->compReg, list + i * SETUP_PATH_SIZE, sizeof s->compReg);
        DeleteFileA(s->compReg);
        // Told by a silent run's exit code.
        if (GetFileAttributesA(s->compReg) != INVALID_FILE_ATTRIBUTES)
            s->exitCode = ExitFilesRemain;
    }
    for (unsigned i = 0; i < count; ++i)
        RemoveEmptyFolders(list + i * SETUP_PATH_SIZE);
    if (list) GlobalFree(list);
    RemoveDirectoryA(s->defDir);
    RemoveDirectoryA(s->licensePath);
    // The log is gone by now: the registry removal takes CompReg, read
    // before the first deletion, from compReg.
    CopyText(s->compReg, compReg, sizeof s->compReg);
    UpdateRegistry(s, 1);
    return 1;
}
