// Registry registration: the uninstall entry, the product's shell-extension
// keys, the per-user and run entries removed at uninstallation, and the
// shell's group conversion scheduled in RunOnce.
#pragma once
#include <windows.h>
#include "setup_state.h"

// Opens (creating) the key at `keyPath` under `root`; sets the string value
// `name` := data, or with `remove` set deletes the subkey `name`. Always 1.
int SetRegistryString(const char* keyPath, const char* name, const char* data,
                      int remove, HKEY root);
// Writes (remove 0) or removes (remove 1) the product's registry entries.
void UpdateRegistry(SetupState* state, int remove);
// Enters "grpconv -o" in RunOnce and, with `run` set, starts "runonce -r".
// The platform's error code when the RunOnce key cannot be opened, else 0.
long ScheduleGroupConversion(int run);
