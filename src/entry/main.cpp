// Program entry: chooses the mode from the program's own file name,
// prepares install mode (entries 1 and 2 next to the program) and runs the
// backdrop's message loop, or runs the uninstall sequence.
#include <windows.h>
#include "setup_state.h"
#include "text.h"
#include "extract.h"
#include "backdrop.h"
#include "uninstall.h"
#include "install.h"
#include "switches.h"

static const char uninstalledText[] = " has been uninstalled.";
static const char leftoverText[] = "\r\nSome files could not be removed.";

// The command-line tail: everything after the program's name (a quoted
// name up to its closing quote) and the blanks that follow it, unchanged.
static const char* CommandTail(const char* line)
{
    if (*line == '"') {
        ++line;
        while (*line && *line != '"') ++line;
        if (*line == '"') ++line;
    } else {
        while (*line && *line != ' ' && *line != '\t') ++line;
    }
    while (*line == ' ' || *line == '\t') ++line;
    return line;
}

// A path ending in the uninstaller's name, in any case, means uninstall.
static int IsUninstallerName(const char* modulePath)
{
    int length = static_cast<int>(TextLength(modulePath));
    const int nameLength = sizeof(UNINSTALLER_NAME) - 1;
    if (length < nameLength) return 0;
    return lstrcmpiA(modulePath + length - nameLength, UNINSTALLER_NAME) == 0;
}

// A silent run shows nothing, the system's own error boxes (a drive
// without its disk) included.
static void BeSilent()
{
    setupState.silent = 1;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

static int RunUninstallMode(const char* tail)
{
    const char* logPath = SilentUninstallTail(tail);
    if (logPath) {
        BeSilent();
        tail = logPath;
    }
    CopyText(setupState.infPath, tail, sizeof setupState.infPath);
    // The tail is the log path whole, blanks and all. A path in one pair of
    // quotes (as shells and shortcuts pass it) loses them: no file name
    // holds a quote, so the quoted form could never name the log.
    int length = static_cast<int>(TextLength(setupState.infPath));
    if (length >= 2 && setupState.infPath[0] == '"' &&
        setupState.infPath[length - 1] == '"') {
        setupState.infPath[length - 1] = 0;
        CopyText(setupState.infPath, setupState.infPath + 1,
                 sizeof setupState.infPath);
    }
    if (!RunUninstall()) return setupState.exitCode;
    int remains = GetFileAttributesA(setupState.defDir) !=
                  INVALID_FILE_ATTRIBUTES;
    if (setupState.silent)
        return remains ? ExitFilesRemain : setupState.exitCode;
    // Composed apart from appName: the name and both lines need more room
    // than appName's own buffer has.
    char message[SETUP_PATH_SIZE + sizeof uninstalledText + sizeof leftoverText];
    CopyText(message, setupState.appName, sizeof message);
    AppendText(message, uninstalledText, sizeof message);
    if (remains) AppendText(message, leftoverText, sizeof message);
    MessageBoxA(0, message, "Uninstall", MB_OK);
    return 0;
}

// An extraction that failed without a reason met the archive's end early.
static int ExtractionFailure()
{
    return setupState.exitCode ? setupState.exitCode : ExitDamaged;
}

static int RunInstallMode(HINSTANCE instance, char* modulePath,
                          const char* tail)
{
    // Without /S the command line is not looked at.
    char dir[SETUP_INSTALLDIR_SIZE];
    int silent;
    int understood = ParseInstallSwitches(tail, &silent, dir, sizeof dir);
    if (understood == SwitchesAskForHelp) {
        MessageBoxA(0, "setup [/S] [/D=folder]\n\n"
                    "/S\tinstalls without a window\n"
                    "/D=\tthe install folder, last (\"/D=C:\\My App\" and "
                    "/D=\"C:\\My App\" too)\n\n"
                    "Exit codes of /S: 0 installed, 1 switches not understood, "
                    "2 program damaged, 3 a file not written, 6 incomplete.\n\n"
                    "Removal: " UNINSTALLER_NAME " /S <folder>\\uninstal.inf; exit codes "
                    "0 removed, 4 files stayed, 5 no log.",
                    "Setup", MB_ICONINFORMATION | MB_OK);
        return ExitDone;
    }
    if (silent) {
        BeSilent();
        if (!understood) return ExitBadSwitches;
    }
    setupState.instance = instance;
    // Keep the directory with its backslash.
    int cut = static_cast<int>(TextLength(modulePath));
    while (cut > 0 && modulePath[cut - 1] != '\\') --cut;
    modulePath[cut] = 0;

    if (!CopyText(setupState.infPath, modulePath, SETUP_PATH_SIZE) ||
        !AppendText(setupState.infPath, SETUP_INFO_NAME, SETUP_PATH_SIZE) ||
        !CopyText(setupState.licensePath, modulePath, SETUP_PATH_SIZE) ||
        !AppendText(setupState.licensePath, LICENSE_NAME, SETUP_PATH_SIZE))
        return ExitExtractFailed;

    // A damaged or cut program is refused before anything is written.
    if (!CheckArchive(instance)) {
        if (!silent)
            MessageBoxA(0, "This setup program is damaged or incomplete. "
                        "Please obtain a new copy.", "Setup Error",
                        MB_ICONERROR | MB_OK);
        return ExitDamaged;
    }
    if (!ExtractEntry(instance, setupState.infPath, ExtractRewind,
                      setupState.infPath))
        return ExtractionFailure();
    if (!ExtractEntry(instance, setupState.licensePath, ExtractAlways,
                      setupState.infPath)) {
        // A silent run that cannot start leaves nothing behind.
        if (silent) DeleteFileA(setupState.infPath);
        return ExtractionFailure();
    }
    // No window to wait in: the log goes into place at once.
    if (silent) {
        // Done or taken back, the copies beside the program go.
        int done = RunSilentInstall(&setupState, dir);
        RemoveWorkingCopies();
        return done ? ExitDone : ExtractionFailure();
    }
    if (!RegisterBackdropClass(instance) || !CreateBackdropWindow(instance))
        return 0;

    MSG msg;
    while (GetMessageA(&msg, 0, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

extern "C" void WINAPI WinMainCRTStartup()
{
    HINSTANCE instance = GetModuleHandleA(0);
    char modulePath[SETUP_PATH_SIZE];
    DWORD length = GetModuleFileNameA(instance, modulePath, sizeof modulePath);
    if (length >= sizeof modulePath) length = sizeof modulePath - 1;
    modulePath[length] = 0;

    const char* tail = CommandTail(GetCommandLineA());
    int exitCode = IsUninstallerName(modulePath)
                       ? RunUninstallMode(tail)
                       : RunInstallMode(instance, modulePath, tail);
    // An interactive run ends with exit code 0 on every path.
    ExitProcess(setupState.silent ? exitCode : 0);
}
