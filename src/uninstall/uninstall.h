// The uninstall sequence (the program run as "Duvedozi.exe").
#pragma once

// Reads the log at setupState.infPath, asks, deletes the recorded files and
// directories and removes the registry entries. 1 when it ran, 0 when the
// user declined.
int RunUninstall();
