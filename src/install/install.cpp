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
}

int ExtractApplicationFiles(SetupState* state)
{
    int count = ReadInfInt(installSection, "FileNum", 0);
    int result = 1;
    char path[TARGET_PATH_SIZE];
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

// Creates the install directory and the folders above it; even an
// installation without application files has its license and its log
// there.
static void CreateInstallDir(const char* dir)
{
    char path[SETUP_PATH_SIZE];
    CopyText(path, dir, sizeof path);
    for (char* p = path + 1; *p; ++p) {
        if (*p != '\\' && *p != '/') continue;
        char kept = *p;
        *p = 0;
        CreateDirectoryA(path, 0);
        *p = kept;
    }
    CreateDirectoryA(path, 0);
}

// Moves `source` into the install directory under `name`, replacing an
// earlier installation's file there (and a read-only one this
// application's log recorded). 1 when it is in place.
static int PlaceInInstallDir(SetupState* state, const char* source,
                             const char* name, char* path)
{
    JoinPath(path, state->installDir, name);
    DWORD attributes = ClearOwnReadOnly(path);
    if (MoveIntoPlace(source, path, 1) == MoveDone) return 1;
    PutAttributesBack(path, attributes);
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
static int InstallApplication(HWND window, SetupState* state)
{
    char path[SETUP_PATH_SIZE];
    char key[INF_KEY_SIZE];

    LoadOwnLog(state);
    if (!ExtractApplicationFiles(state)) {
        // The records of the files installed so far stay with the setup
        // information file beside the program.
        WriteRecords(state->infPath);
        if (!state->silent)
            MessageBoxA(window, "Setup Error!", "Setup Error", MB_OK);
        return 0;
    }
    CreateInstallDir(state->installDir);

    // The install directory leaves room for both names (INSTALL_DIR_LIMIT).
    // A license, uninstaller or uninstall entry that cannot be put in place
    // ends the run there, as a failed file does: no uninstall entry names
    // a log that would never come.
    int placed = PlaceInInstallDir(state, state->licensePath, "\\" LICENSE_NAME,
                                   path);
    AddFileRecord(path, key);
    JoinPath(path, state->installDir, "\\" SETUP_INFO_NAME);
    AddFileRecord(path, key);
    AddRecord("dir", state->installDir);

    WindowsPath(path, "\\" UNINSTALLER_NAME);
    if (!placed || !ExtractEntry(state->instance, path, ExtractStub, state->infPath) ||
        !UpdateRegistry(state, 0)) {
        WriteRecords(state->infPath);
        if (!state->silent)
            MessageBoxA(window, "Setup Error!", "Setup Error", MB_OK);
        return Incomplete(state);
    }
    // A silent run starts no other program: the conversion waits in
    // RunOnce for the next start of Windows.
    ScheduleGroupConversion(!state->silent);

    FindStartMenuFolder(path, state->appName);
    CreateDirectoryA(path, 0);
    AddRecord("linkdir", path);
    AppendText(path, "\\", sizeof path);
    CreateStartMenuLinks(state, path);
    // The whole section in one write: the log's time grows with its size,
    // not with its square.
    if (!WriteRecords(state->infPath)) {
        if (!state->silent)
            MessageBoxA(window, "Setup Error!", "Setup Error", MB_OK);
        return Incomplete(state);
    }
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
