// Which folders the uninstaller may remove besides the recorded ones: the
// rule that keeps it inside the install directory; and which directories
// may be install directories at all. No platform calls.
#pragma once

enum {
    // The longest install directory: its log, "\Uninstal.inf", must still
    // fit a path of 255 characters, as every recorded path does.
    INSTALL_DIR_LIMIT = 255 - 13
};

// 1 when `dir` is a folder at least one level below a root: "X:\" or
// "\\server\share\" followed by one or more components, none of them empty,
// "." or "..", and no ":" after the drive ("/" counts as "\", as it does
// for the platform, and one separator may end it). 0 for a drive or share
// root, a relative path, a path of 256 characters or more, or any other
// spelling.
int IsFolderBelowRoot(const char* dir);

// 1 when `path` lies strictly inside `dir`: `dir` passes IsFolderBelowRoot,
// `path` begins with it (ASCII letters of either case match) and goes on
// with "\" and a remainder whose components are none of them empty, "."
// or "..", with no "/", ":" or control character (so after a `dir` that
// ends in "\" the records' "\\" is expected, as the installation joins
// them). 0 otherwise. Only then are the folders between `dir` and the
// file's name its own.
int IsStrictlyInside(const char* dir, const char* path);

// 1 when `dir` may be an install directory: a folder below a drive's or
// share's root as IsFolderBelowRoot says, not ending in a separator, of at
// most INSTALL_DIR_LIMIT characters, without any of " * ? < > |. A drive's
// root in any spelling ("C:\", "C:\.", "C:\x\..", "C:/Target/../..",
// "\\?\C:\") is none: the files of every installation there would
// meet, and an earlier installation's log and license would be replaced.
int IsUsableInstallDir(const char* dir);

// Drops the blanks, tabs and separators that end a typed directory, in
// place; returns the length left.
unsigned TrimInstallDir(char* dir);
