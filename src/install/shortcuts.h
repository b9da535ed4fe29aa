// Start-menu shortcuts from the [Links] section.
#pragma once
#include "setup_state.h"

// Creates and records one shortcut per [Links] pair. folder: the Start-menu
// folder ending in '\'; key: the current [Uninstall] "file" key (6 bytes),
// counted on in place; empty once the series is full, and then no further
// link is made.
void CreateStartMenuLinks(SetupState* state, const char* folder, char* key);
// Writes one shell link with its target and description. Always 1.
int CreateShortcut(const char* target, const char* description,
                   const char* linkPath);
