// Which folders the uninstaller may remove besides the recorded ones: the
// rule that keeps it inside the install directory. No platform calls.
#pragma once

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
