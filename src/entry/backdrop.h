// The full-screen backdrop window that drives install mode.
#pragma once
#include <windows.h>

// Registers "SetupWClass"; the class atom, 0 on failure.
ATOM RegisterBackdropClass(HINSTANCE instance);
// Creates the full-screen backdrop; 1 when it exists, 0 otherwise.
int CreateBackdropWindow(HINSTANCE instance);
// Moves the setup information file into `directory` as "Uninstal.inf" and
// points infPath at the new place; 1 when it is there.
int MoveSetupInfo(const char* directory);
