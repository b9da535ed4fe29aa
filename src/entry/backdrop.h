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

// Progress while the application files are written. BeginProgress starts
// the count of decoded bytes and, given the backdrop (0 in a silent run),
// shows the panel with its Cancel button; ShowProgress counts `size` more
// bytes and, at most every 250 ms, redraws the panel and serves the
// message queue, input to anything but the Cancel button dropped. It
// returns 0 once the user has chosen to cancel. EndProgress takes the
// panel away.
void BeginProgress(HWND window);
int ShowProgress(unsigned long size);
void EndProgress();
