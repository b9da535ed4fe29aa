// Where the application's Start-menu folder goes.
#pragma once

// Puts the application's Start-menu folder into `path` (SETUP_PATH_SIZE
// bytes, no trailing '\', cut at the buffer's end): `appName` below the
// Windows directory's "Start Menu\Programs" where that folder exists (the
// Windows 95 layout), else below the shell's Programs folder for all
// users, else below the current user's. Creates nothing.
void FindStartMenuFolder(char* path, const char* appName);
