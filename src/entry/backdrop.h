// The full-screen backdrop window that drives install mode.
#pragma once
#include <windows.h>

// Registers "SetupWClass"; the class atom, 0 on failure.
ATOM RegisterBackdropClass(HINSTANCE instance);
// Creates the full-screen backdrop; 1 when it exists, 0 otherwise.
int CreateBackdropWindow(HINSTANCE instance);
// Removes the setup information file and the license extracted beside the
// program (the installation has put both into the install directory) and
// points infPath at the log in the install directory.
void RemoveWorkingCopies();
