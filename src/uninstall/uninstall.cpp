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
#include "journal.h"
#include "file_move.h"
#include "install.h"

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

    // What a killed installation of this application left is taken back
    // first (it may have been an upgrade of this very one).
    char path[MAX_PATH];
    JournalPath(path, s->appName);
    JournalRecover(path);

    // The recorded files, but for the log itself and the files the user
    // had before the first installation ("*": kept, they are the user's).
    // The log and the uninstall entry go last, and only when nothing else
    // recorded is left: an uninstall that stops halfway (a file in use, a
    // kill) can be run again from the same entry and finishes the job.
    unsigned long count;
    InfValue* records = ListRecords(&log, "file", &count);
    int remains = 0, logRecorded = 0;
    for (unsigned long i = 0; i < count; ++i) {
        InfCopyValue(s->compReg, sizeof s->compReg, records[i].text, records[i].length);
        // A record longer than a path names no file this installation made.
        if (records[i].length >= sizeof s->compReg) remains = 1;
        else if (IsSameFile(s->compReg, s->infPath)) logRecorded = 1;
        else if (s->compReg[0] != '*') remains |= !DeleteRecorded(s->compReg);
    }
    for (unsigned long i = 0; i < count; ++i)
        if (records[i].length < sizeof s->compReg) {
            InfCopyValue(s->compReg, sizeof s->compReg, records[i].text,
                         records[i].length);
            RemoveEmptyFolders(s->compReg);
        }
    if (records) GlobalFree(records);
    RemoveDirectoryA(s->licensePath);
    if (remains) {
        s->exitCode = ExitFilesRemain; // told by a silent run's exit code
    } else {
        // The uninstaller itself, shared by every application installed
        // this way: one user fewer, and the last one deletes it (when
        // Windows next starts: it is running now).
        if (UsesSharedUninstaller(s->appName)) {
            WindowsPath(path, "\\" UNINSTALLER_NAME); // as the install counted it
            if (CountSharedUse(path, -1) == 0) DeleteAtRestart(path);
        }
        // The log is read: the registry removal takes CompReg, read before,
        // from compReg.
        CopyText(s->compReg, compReg, sizeof s->compReg);
        UpdateRegistry(s, 1);
        // A log that does not record itself stays, as it always did.
        if (logRecorded) DeleteRecorded(s->infPath);
        RemoveDirectoryA(s->defDir);
        // The folders the installation made above its directory, deepest
        // (last made) first, each only when empty.
        InfValue* folders = ListRecords(&log, "folder", &count);
        for (unsigned long i = count; i-- > 0;)
            if (InfCopyValue(path, sizeof path, folders[i].text, folders[i].length) ==
                folders[i].length)
                RemoveDirectoryA(path);
        if (folders) GlobalFree(folders);
    }
    FreeInfFile(&log);
    return 1;
}
