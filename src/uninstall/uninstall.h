// The uninstall sequence (the program run as "Duvedozi.exe").
#pragma once

// Reads the log at setupState.infPath, asks (not in a silent run), deletes
// the recorded files and directories and removes the registry entries. 1
// when it ran, 0 when the user declined or a silent run found no install
// directory in the log (exitCode ExitNoLog). A recorded file that is still
// there afterwards sets exitCode to ExitFilesRemain.
int RunUninstall();
