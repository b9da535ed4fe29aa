// Start-menu shortcuts from the [Links] section.
#pragma once
#include "setup_state.h"

// Creates and records (under the next "file" keys) one shortcut per
// [Links] pair, from "linka"/"linkfilea" on to the first missing "link"
// key, with the arguments of "linkargs" under the same key when given.
// folder: the Start-menu folder ending in '\'. The first target ending in
// ".exe" becomes state->displayIcon unless [Install] DisplayIcon names one.
void CreateStartMenuLinks(SetupState* state, const char* folder);
// Writes one shell link with its target, description and arguments (0 or
// "" for none); it starts in the target's folder and shows the target's
// own icon. Always 1.
int CreateShortcut(const char* target, const char* description,
                   const char* linkPath, const char* arguments);
