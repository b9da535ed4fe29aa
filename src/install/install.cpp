// The installation sequence: question, wizard, application files, license
// and log records, uninstaller, registry, Start-menu folder and shortcuts.
#include "install.h"
#include "text.h"
#include "extract.h"
#include "file_move.h"
#include "setupinfo.h"
#include "registry.h"
#include "shortcuts.h"
#include "startmenu.h"
#include "wizard.h"
#include "inside_folder.h"
#include "switches.h"
#include "journal.h"
#include "series_key.h"
#include "backdrop.h"

static const char installSection[] = "Install";
static const char uninstallSection[] = "Uninstall";

// path := base + name, cut at the buffer's end; 1 when it fit whole.
static int JoinPath(char* path, const char* base, const char* name)
{
    return CopyText(path, base, SETUP_PATH_SIZE) &&
           AppendText(path, name, SETUP_PATH_SIZE);
}

// The log of an earlier installation of this application (same AppName)
// in the install directory: what it recorded is the application's own.
static void LoadOwnLog(SetupState* state)
{
    char path[SETUP_PATH_SIZE];
    char name[SETUP_PATH_SIZE];
    JoinPath(path, state->installDir, "\\" SETUP_INFO_NAME);
    if (!LoadInfFile(path, &state->ownLog)) return;
    ReadInfValue(&state->ownLog, installSection, "AppName", name,
                 INF_VALUE_LIMIT);
    if (lstrcmpiA(name, state->appName) != 0) FreeInfFile(&state->ownLog);
    else UseOwnLog(&state->ownLog);
}

int ExtractApplicationFiles(SetupState* state)
{
    int count = ReadInfInt(installSection, "FileNum", 0);
    int result = 1;
    char path[TARGET_PATH_SIZE];
    state->payloadSize = MeasureEntries(count);
    for (int i = 0; i < count && result; ++i) {
        // ExtractEntry appends the entry's name to the directory given.
        CopyText(path, state->installDir, sizeof path);
        result = ExtractEntry(state->instance, path, ExtractInstall,
                              state->infPath);
    }
    return result;
}


// A Windows directory that cannot be had (0) or does not fit (more than the
// limit) leaves the buffer as it was: it counts as empty then.
void WindowsPath(char* path, const char* name)
{
    char windows[SETUP_PATH_SIZE];
    UINT length = GetWindowsDirectoryA(windows, INF_VALUE_LIMIT);
    if (!length || length > INF_VALUE_LIMIT) windows[0] = 0;
    JoinPath(path, windows, name);
}

// [Install] DefDir, AppName and AppBy; the install directory starts as
// DefDir, the caption is the name and " Setup".
static void ReadInstallSection(SetupState* state)
{
    ReadInfString(installSection, "DefDir", state->defDir);
    ReadInfString(installSection, "AppName", state->appName);
    ReadInfString(installSection, "AppBy", state->appBy);
    CopyText(state->installDir, state->defDir, sizeof state->installDir);
    CopyText(state->caption, state->appName, sizeof state->caption);
    AppendText(state->caption, " Setup", sizeof state->caption);
}

// Where the first folder this run made above the install directory ends
// in its path; 0 when it made none.
static int folderMadeAt;

// Creates the install directory and the folders above it, before the
// files: even an installation without application files has its license
// and its log there.
static void CreateInstallDir(const char* dir)
{
    char path[SETUP_PATH_SIZE];
    CopyText(path, dir, sizeof path);
    for (char* p = path + 3; *p; ++p) {
        if (*p != '\\' && *p != '/') continue;
        char kept = *p;
        *p = 0;
        if (MakeFolder(path) && !folderMadeAt) folderMadeAt = static_cast<int>(p - path);
        *p = kept;
    }
    MakeFolder(path);
}

// Records each folder above the install directory that this run made
// ("foldera", ...), so that the uninstaller removes it again when empty.
// The folders made are the innermost ones: from folderMadeAt on.
static void AddFolderRecords(const char* dir)
{
    if (!folderMadeAt) return;
    char path[SETUP_PATH_SIZE];
    CopyText(path, dir, sizeof path);
    for (char* p = path + folderMadeAt; *p; ++p) {
        if (*p != '\\' && *p != '/') continue;
        char kept = *p;
        *p = 0;
        AddFolderRecord(path);
        *p = kept;
    }
}

// Writes `text` (kept in memory since its extraction, so never the copy
// beside the program, which others may change) to installDir + name: into
// a fresh file beside it first, with the [Uninstall] records too when
// asked, then moved into place over an earlier installation's file (a
// read-only one too, when this application's log recorded it). The old
// file goes only once the new one is whole. 1 when it is in place.
static int PlaceFromMemory(SetupState* state, const char* name, const InfText* text,
                           const FILETIME* stamp, DWORD attributes, char* path)
{
    char temp[MAX_PATH];
    JoinPath(path, state->installDir, name);
    if (!TempFileBeside(path, temp)) return 0;
    HANDLE out = CreateFileA(temp, GENERIC_WRITE, 0, 0, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, 0);
    DWORD written = 0;
    int done = out != INVALID_HANDLE_VALUE &&
               WriteFile(out, text->text, text->size, &written, 0) &&
               written == text->size;
    if (done && stamp) SetFileTime(out, 0, 0, stamp);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    // The whole section in one write: the log's time grows with its size,
    // not with its square.
    done = done && (stamp || WriteRecords(temp));
    DWORD kept = ClearOwnReadOnly(path);
    if (done && MoveIntoPlace(temp, path, 1) == MoveDone) {
        SetFileAttributesA(path, attributes);
        return 1;
    }
    PutAttributesBack(path, kept);
    DeleteFileA(temp);
    return 0;
}

// A step after the files that could not be done: the run is not complete.
static int Incomplete(SetupState* state)
{
    state->exitCode = ExitIncomplete;
    return 0;
}

// Everything after the wizard, up to the closing message: the application
// files, the license and log records, the uninstaller, the registry, the
// Start-menu folder and its shortcuts. 0 when an extraction failed (then
// nothing after the files is done), or when the license, the uninstaller
// or the uninstall entry could not be put in place (state->exitCode says
// ExitIncomplete); a shortcut that cannot be made is no failure.
// The registry's part, last before the commit: the uninstall entry (its
// key noted when this run makes it) and one more user of the shared
// uninstaller, counted once per application.
static int Register(SetupState* state, const char* uninstaller)
{
    char key[SETUP_PATH_SIZE];
    UninstallKeyPath(key, state->appName);
    HKEY existing;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &existing) == ERROR_SUCCESS)
        RegCloseKey(existing);
    else if (state->appName[0] && !JournalNote(NoteKey, key, 0))
        return 0;
    return UpdateRegistry(state, 0);
}

// Everything after the wizard, up to the closing message, as one
// transaction: every change is noted in the journal before it is made,
// and the run commits once the log is complete in the install directory
// and the uninstall entry written. Any failure before that (a file, the
// license, the uninstaller copy, the log, the uninstall entry; a kill, of
// which the next run finds the journal) takes every change back, last
// first. A shortcut that cannot be made is no failure. 0 on failure
// (state->exitCode says why).
static int InstallApplication(HWND window, SetupState* state)
{
    char path[SETUP_PATH_SIZE];
    char key[INF_KEY_SIZE];

    // What a killed run of this application left is taken back (or
    // finished) first; then this run keeps its own journal.
    JournalPath(path, state->appName);
    JournalRecover(path);
    if (!JournalBegin(path)) return Incomplete(state);
    LoadOwnLog(state);
    CreateInstallDir(state->installDir);
    BeginProgress(window);
    int done = ExtractApplicationFiles(state);
    EndProgress();
    if (done) {
        // The install directory leaves room for both names.
        done = PlaceFromMemory(state, "\\" LICENSE_NAME, &state->license,
                               &state->licenseStamp, state->licenseAttributes, path);
        if (!done) state->exitCode = ExitIncomplete;
    }
    if (done) {
        AddFileRecord(path, key);
        JoinPath(path, state->installDir, "\\" SETUP_INFO_NAME);
        AddFileRecord(path, key);
        AddRecord("dir", state->installDir);
        AddFolderRecords(state->installDir);

        // One more user of the shared uninstaller, once per application:
        // the uninstall entry of an earlier version says it counted.
        WindowsPath(path, "\\" UNINSTALLER_NAME);
        done = UsesSharedUninstaller(state->appName) ||
               (JournalNote(NoteShared, path, SharedUseCounted(path) ? 0 : "new") &&
                CountSharedUse(path, 1) > 0);
        done = done && ExtractEntry(state->instance, path, ExtractStub, state->infPath);

        FindStartMenuFolder(path, state->appName);
        MakeFolder(path);
        AddRecord("linkdir", path);
        AppendText(path, "\\", sizeof path);
        CreateStartMenuLinks(state, path);
        MergeOwnRecords();
        // The log: the setup information file as extracted and the
        // records, in place before the closing message; then the entry.
        WindowsPath(key, "\\" UNINSTALLER_NAME);
        done = done && PlaceFromMemory(state, "\\" SETUP_INFO_NAME, &state->inf, 0,
                                       FILE_ATTRIBUTE_NORMAL, path) &&
               Register(state, key);
        if (!done) state->exitCode = ExitIncomplete;
    }
    if (!done) {
        JournalRollBack();
        if (!state->silent && !state->cancelled)
            MessageBoxA(window, "Setup Error!", "Setup Error", MB_OK);
        return 0;
    }
    JournalCommit();
    // A silent run starts no other program: the conversion waits in
    // RunOnce for the next start of Windows.
    ScheduleGroupConversion(!state->silent);
    return 1;
}

int RunInstall(HWND window, SetupState* state)
{
    char question[SETUP_PATH_SIZE];
    char message[512];

    ReadInstallSection(state);
    CopyText(question, "If you have a previous version of ", sizeof question);
    AppendText(question, state->appName, sizeof question);
    AppendText(question, " running,\nyou must exit it before running this "
               "setup program.  Continue?", sizeof question);

    SetWindowTextA(window, state->caption);
    ShowWindow(window, SW_SHOWMAXIMIZED);
    UpdateWindow(window);

    // A sheet that could not be created (-1) is no permission to install:
    // the license was never shown.
    if (MessageBoxA(0, question, state->caption, MB_ICONQUESTION | MB_YESNO)
            != IDYES ||
        RunWizard(window, state->instance) <= 0) {
        DeleteFileA(state->infPath);
        DeleteFileA(state->licensePath);
        return 0;
    }

    if (!InstallApplication(window, state)) return 0;

    // The name appears three times; over-long names are cut at the end.
    static const char* const pieces[] = {
        0, " Setup is complete.  To run ", 0,
        ", click its menu\nitem on the Start Menu.  If you need help getting "
        "started,\nclick the ", 0, " Help menu item there."};
    message[0] = 0;
    for (int i = 0; i < 6; ++i)
        AppendText(message, pieces[i] ? pieces[i] : state->appName,
                   sizeof message);
    MessageBoxA(window, message, "Setup Complete", MB_OK);
    return 1;
}

int RunSilentInstall(SetupState* state, const char* dir)
{
    ReadInstallSection(state);
    if (dir[0]) CopyText(state->installDir, dir, sizeof state->installDir);
    // DefDir as the author wrote it, under the same rule as /D=.
    TrimInstallDir(state->installDir);
    if (!IsUsableInstallDir(state->installDir)) {
        state->exitCode = ExitBadSwitches;
        return 0;
    }
    return InstallApplication(0, state);
}
