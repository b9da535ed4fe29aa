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

static const char installSection[] = "Install";
static const char uninstallSection[] = "Uninstall";

int ExtractApplicationFiles(SetupState* state)
{
    int count = ReadInfInt(installSection, "FileNum", 0, state->infPath);
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

// path := base + name, cut at the buffer's end; 1 when it fit whole.
static int JoinPath(char* path, const char* base, const char* name)
{
    return CopyText(path, base, SETUP_PATH_SIZE) &&
           AppendText(path, name, SETUP_PATH_SIZE);
}

// Records `value` under the current letter key and advances the letter.
// The letters end at 0xFF, where the uninstaller stops reading: after that
// one the key is left empty, the series is full and no further record is
// written (none may replace another, nor go where it is never read).
static void RecordNext(char* key, const char* value, const char* infPath)
{
    if (!key[0]) return;
    WriteInfString(uninstallSection, key, value, infPath);
    if (!StepLetter(key + 4)) key[0] = 0;
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
    ReadInfString(installSection, "DefDir", state->defDir, state->infPath);
    ReadInfString(installSection, "AppName", state->appName, state->infPath);
    ReadInfString(installSection, "AppBy", state->appBy, state->infPath);
    CopyText(state->installDir, state->defDir, sizeof state->installDir);
    CopyText(state->caption, state->appName, sizeof state->caption);
    AppendText(state->caption, " Setup", sizeof state->caption);
}

// Everything after the wizard, up to the closing message: the application
// files, the license and log records, the uninstaller, the registry, the
// Start-menu folder and its shortcuts. 0 when an extraction failed; then
// nothing after the files is done.
static int InstallApplication(HWND window, SetupState* state)
{
    char path[SETUP_PATH_SIZE];
    char key[6];

    if (!ExtractApplicationFiles(state)) {
        if (!state->silent)
            MessageBoxA(window, "Setup Error!", "Setup Error", MB_OK);
        return 0;
    }

    FindFreeLetterKey(uninstallSection, "file", state->infPath,
                      INF_VALUE_LIMIT, key);
    // An earlier installation's license is replaced by this one's. An
    // empty destination names the drive's root, which is no installation's,
    // and a path cut at the buffer's end names some other file: a file
    // there is not replaced.
    int whole = JoinPath(path, state->installDir, "\\" LICENSE_NAME);
    MoveIntoPlace(state->licensePath, path, whole && state->installDir[0]);
    RecordNext(key, path, state->infPath);
    JoinPath(path, state->installDir, "\\" SETUP_INFO_NAME);
    RecordNext(key, path, state->infPath);
    WriteInfString(uninstallSection, "dir", state->installDir, state->infPath);

    WindowsPath(path, "\\" UNINSTALLER_NAME);
    ExtractEntry(state->instance, path, ExtractStub, state->infPath);
    UpdateRegistry(state, 0);
    // A silent run starts no other program: the conversion waits in
    // RunOnce for the next start of Windows.
    ScheduleGroupConversion(!state->silent);

    FindStartMenuFolder(path, state->appName);
    CreateDirectoryA(path, 0);
    WriteInfString(uninstallSection, "linkdir", path, state->infPath);
    AppendText(path, "\\", sizeof path);
    CreateStartMenuLinks(state, path, key);
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
    return InstallApplication(0, state);
}
