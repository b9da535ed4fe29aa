// The command-line switches of unattended runs and their exit codes. Pure
// rules, no platform calls: the stub reads its command line through these
// and the native tests check them.
#pragma once

// Exit codes of a silent run. An interactive run ends with 0 on every path.
enum SilentExit {
    ExitDone = 0,           // installed, or removed completely
    ExitBadSwitches = 1,    // a switch not understood, or an unusable /D=
    ExitDamaged = 2,        // the archive is damaged or cut short
    ExitExtractFailed = 3,  // a file could not be written (or no memory)
    ExitFilesRemain = 4,    // uninstall: files stayed behind
    ExitNoLog = 5,          // uninstall: no log with an install directory
    ExitIncomplete = 6      // install: the license, the log, the uninstaller
                            // or the uninstall entry could not be put in place
};

// Reads the installer's command-line tail: switches separated by blanks,
// "/S" (silent) and "/D=" with the install directory. Unquoted, the
// directory is the rest of the tail (blanks allowed), so "/D=" comes last;
// quoted, as "/D=dir" or /D="dir", it ends at the closing quote, and only
// blanks may follow. Letters match in either case. *silent := 1 when a
// "/S" stands before any "/D=", whatever else the tail holds; dir := the
// directory (dirSize bytes), trailing blanks and separators cut, or ""
// without "/D=". Returns 1 when every switch is understood and the
// directory may be an install directory (IsUsableInstallDir: a folder
// below a drive's or share's root, no "." or ".." among its components, at
// most INSTALL_DIR_LIMIT characters, none of " * ? < > | or control
// characters); SwitchesAskForHelp when "/?" or "/HELP" stands before any
// "/D="; 0 otherwise (dir is then "").
enum { SwitchesAskForHelp = 2 };
int ParseInstallSwitches(const char* tail, int* silent, char* dir,
                         unsigned dirSize);

// The uninstaller's command-line tail: when it starts with the switch "/S"
// (then blanks or the end), the log path that follows; otherwise 0.
const char* SilentUninstallTail(const char* tail);
