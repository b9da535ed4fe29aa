// The installation sequence, run from the backdrop's start command.
#pragma once
#include <windows.h>
#include "setup_state.h"

// 1 when the installation ran to its end, 0 when declined, cancelled or
// failed.
int RunInstall(HWND window, SetupState* state);
// The installation without question, wizard or closing message, into
// `dir` (DefDir when ""); the license counts as accepted. 1 when it ran to
// its end, 0 when an extraction failed (the reason in state->exitCode, or
// none when the archive ended early).
int RunSilentInstall(SetupState* state, const char* dir);
// 1 when every application file was handled, 0 when an extraction failed.
int ExtractApplicationFiles(SetupState* state);
// path (SETUP_PATH_SIZE bytes) := the Windows directory + name, cut at the
// buffer's end; a Windows directory that cannot be had counts as empty.
void WindowsPath(char* path, const char* name);
