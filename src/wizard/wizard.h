// The setup wizard, the license agreement dialog and the directory browser.
#pragma once
#include <windows.h>

// Runs the three-page wizard; PropertySheetA's result unchanged.
int RunWizard(HWND parent, HINSTANCE instance);
INT_PTR CALLBACK LicenseDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                   LPARAM lParam);
// Runs the directory browser for the destination page.
void BrowseForDirectory(HWND page);
