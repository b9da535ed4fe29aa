// Start-menu shortcuts from the [Links] section.
#pragma once
#include "setup_state.h"

// Creates and records (under the next "file" keys) one shortcut per
// [Links] pair, from "linka"/"linkfilea" on to the first missing "link"
// key. folder: the Start-menu folder ending in '\'.
void CreateStartMenuLinks(SetupState* state, const char* folder);
// Writes one shell link with its target and description. Always 1.
int CreateShortcut(const char* target, const char* description,
                   const char* linkPath);
