// The command-line switches of unattended runs and their exit codes. Pure
// rules, no platform calls: the stub reads its command line through these
// and the native tests check them.
#pragma once

enum {
    SWITCH_DIR_LIMIT = 259 // the longest /D= directory (as the wizard takes)
};

// Exit codes of a silent run. An interactive run ends with 0 on every path.
enum SilentExit {
    ExitDone = 0,           // installed, or removed completely
    ExitBadSwitches = 1,    // a switch not understood, or an unusable /D=
    ExitDamaged = 2,        // the archive is damaged or cut short
    ExitExtractFailed = 3,  // a file could not be written (or no memory)
    ExitFilesRemain = 4,    // uninstall: files stayed behind
    ExitNoLog = 5           // uninstall: no log with an install directory
};

// Reads the installer's command-line tail: switches separated by blanks,
// "/S" (silent) and "/D=" with the install directory, which is the rest of
// the tail (blanks allowed, no quotes), so it comes last. Letters match in
// either case. *silent := 1 when a "/S" stands before any "/D=", whatever
// else the tail holds; dir := the directory (dirSize bytes), trailing
// blanks and backslashes cut, or "" without "/D=". Returns 1 when every
// switch is understood and the directory is usable: absolute ("X:\..." or
// "\\..."), not a drive's root, no more than SWITCH_DIR_LIMIT characters,
// none of " * ? < > | or control characters, and ':' only after the drive
// letter. 0 otherwise (dir is then "").
int ParseInstallSwitches(const char* tail, int* silent, char* dir,
                         unsigned dirSize);

// The uninstaller's command-line tail: when it starts with the switch "/S"
// (then blanks or the end), the log path that follows; otherwise 0.
const char* SilentUninstallTail(const char* tail);
