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
// not used. Install: 1 when the value was set, 0 when the key could not
// be opened or created or the value not set. Remove: 1, also for a key
// that is not there.
int SetRegistryString(const char* keyPath, const char* name, const char* data,
                      int remove, HKEY root);
// Writes (remove 0) or removes (remove 1) the product's registry entries:
// the uninstall entry, under the Uninstall key's subkey AppName cut where
// the 256-byte key path ends (alike in both modes), and for "Lumenoid" the
// shell extension. Install mode reads VerNum into `caption`. Remove mode
// creates no key; it deletes the run value AppName, the per-user subkeys
// "settings" and "Recent File List" of Software\<compReg>\<AppName>
// (`compReg` holds [Install] CompReg, read before the log was deleted;
// without a CompReg they are left alone, since the key would be another
// vendor's) and the whole extension: handler key, server key, class key
// and approval value. Nothing is written or removed for an empty AppName.
// Install: 1 when the uninstall entry's values were written (or there is
// no name to write them under), 0 otherwise. Remove: 1.
int UpdateRegistry(SetupState* state, int remove);
// Enters "grpconv -o" in RunOnce and, with `run` set, starts "runonce -r".
// The platform's error code when the RunOnce key cannot be opened, else 0.
long ScheduleGroupConversion(int run);
// The uninstall entry's key: the Uninstall key's prefix and AppName, cut
// where a path of 256 bytes ends (as both modes name it).
void UninstallKeyPath(char* path, const char* app);
// Whether HKLM\...\SharedDLLs counts users of `path` at all.
int SharedUseCounted(const char* path);
// Adds `delta` to the count of users of the shared file `path` there and
// returns the new count (0: the value is gone); -1 when the key cannot be
// had. A file already there that nobody counted counts one user.
long CountSharedUse(const char* path, long delta);
// Deletes `path` when Windows next starts (the running uninstaller cannot
// delete itself).
void DeleteAtRestart(const char* path);
// Whether the uninstall entry of `app` says that it counts as a user of
// the shared uninstaller (written with the entry's other values).
int UsesSharedUninstaller(const char* app);
