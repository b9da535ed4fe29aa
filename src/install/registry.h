// Registry registration: the uninstall entry, the product's shell-extension
// keys, the per-user and run entries removed at uninstallation, and the
// shell's group conversion scheduled in RunOnce.
#pragma once
#include <windows.h>
#include "setup_state.h"

// Install (`remove` 0): opens the key at `keyPath` under `root`, creating it
// and any missing key above it, and sets the string value `name` := data.
// Remove (1): opens the key only where it exists, creating nothing, and
// deletes its subkey `name` ("" deletes the opened key itself); data is
// not used. A key that cannot be opened or created is passed over.
// Always 1.
int SetRegistryString(const char* keyPath, const char* name, const char* data,
                      int remove, HKEY root);
// Writes (remove 0) or removes (remove 1) the product's registry entries:
// the uninstall entry, under the Uninstall key's subkey AppName cut where
// the 256-byte key path ends (alike in both modes), and for "Lumenoid" the
// shell extension. Install mode reads VerNum into `caption`. Remove mode
// creates no key; it deletes the run value AppName, the per-user subkeys
// "settings" and "Recent File List" of Software\<compReg>\<AppName>
// (`compReg` holds [Install] CompReg, read before the log was deleted) and
// the whole extension: handler key, server key, class key and approval
// value. Nothing is written or removed for an empty AppName.
void UpdateRegistry(SetupState* state, int remove);
// Enters "grpconv -o" in RunOnce and, with `run` set, starts "runonce -r".
// The platform's error code when the RunOnce key cannot be opened, else 0.
long ScheduleGroupConversion(int run);
