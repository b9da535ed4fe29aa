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

// section/key of the log into a buffer of SETUP_PATH_SIZE bytes; "" when
// absent or longer than the buffer holds (a cut path names another file).
static void ReadWhole(const InfText* log, const char* section, const char* key,
                      char* buffer)
{
    InfSection found;
    InfValue value;
    InfFindSection(log, section, &found);
    InfFindKey(log, &found, key, &value);
    if (value.length >= SETUP_PATH_SIZE) value.length = 0;
    InfCopyValue(buffer, SETUP_PATH_SIZE, value.text, value.length);
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

// Deletes one recorded file; a read-only one too, since the log says it
// is the application's. 1 when nothing is left at the path.
static int DeleteRecorded(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 1;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path) || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return 1;
    SetFileAttributesA(path, attributes);
    return 0;
}

int RunUninstall()
{
    SetupState* s = &setupState;
    // The whole log is read first: it is itself among the recorded files.
    InfText log;
    LoadInfFile(s->infPath, &log);
    ReadWhole(&log, "Uninstall", "dir", s->defDir);
    ReadWhole(&log, "Uninstall", "linkdir", s->licensePath);
    ReadInfValue(&log, "Install", "AppName", s->appName, INF_VALUE_LIMIT);
    char compReg[SETUP_PATH_SIZE];
    ReadInfValue(&log, "Install", "CompReg", compReg, INF_VALUE_LIMIT);
    // A log that cannot be read, or names no install directory, is no
    // uninstall log: nothing is removed on its word, and the user is told
    // so rather than told that an application was removed.
    if (!s->defDir[0]) {
        if (s->silent) {
            s->exitCode = ExitNoLog;
        } else {
            char text[SETUP_PATH_SIZE + 96];
            CopyText(text, "The uninstall log\n", sizeof text);
            AppendText(text, s->infPath, sizeof text);
            AppendText(text, "\ncannot be read. Nothing was removed.", sizeof text);
            MessageBoxA(0, text, "Uninstall", MB_ICONERROR | MB_OK);
        }
        FreeInfFile(&log);
        return 0;
    }
    // Composed apart from appBy: the name and both parts need more room.
    char question[SETUP_PATH_SIZE + 64];
    CopyText(question, "Are you sure you want to completely\nremove ",
             sizeof question);
    AppendText(question, s->appName, sizeof question);
    AppendText(question, " from your computer?", sizeof question);
    CopyText(s->appBy, question, sizeof s->appBy);
    if (!s->silent &&
        MessageBoxA(0, question, "Uninstall", MB_ICONQUESTION | MB_YESNO) != IDYES) {
        FreeInfFile(&log);
        return 0;
    }

    unsigned long count;
    InfValue* records = ListFileRecords(&log, &count);
    for (unsigned long i = 0; i < count; ++i) {
        // A record longer than a path names no file this installation made.
        if (!InfCopyValue(s->compReg, sizeof s->compReg, records[i].text,
                          records[i].length) ||
            records[i].length >= sizeof s->compReg || !DeleteRecorded(s->compReg))
            s->exitCode = ExitFilesRemain; // told by a silent run's exit code
    }
    for (unsigned long i = 0; i < count; ++i)
        if (records[i].length < sizeof s->compReg) {
            InfCopyValue(s->compReg, sizeof s->compReg, records[i].text,
                         records[i].length);
            RemoveEmptyFolders(s->compReg);
        }
    if (records) GlobalFree(records);
    FreeInfFile(&log);
    RemoveDirectoryA(s->defDir);
    RemoveDirectoryA(s->licensePath);
    // The log is gone by now: the registry removal takes CompReg, read
    // before the first deletion, from compReg.
    CopyText(s->compReg, compReg, sizeof s->compReg);
    UpdateRegistry(s, 1);
    return 1;
}
