// Helpers shared by the Win32 test programs: where the programs under test
// are, scratch directories, whole-file reads and writes, time stamps, INI
// reads, and running a program to its end while answering its message boxes.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "uidriver.h"

namespace wt {

using Bytes = std::vector<std::uint8_t>;

// The folder of the running test program, and the folder of the programs
// it tests (the test programs live in <bin>\wine, the stub in <bin>).
std::string ProgramDir();
std::string BinDir();
std::string StubPath();     // <bin>\setup-stub.exe (setup-stub64.exe)
std::string ExtToolPath();  // beside the test program
// A path in the source tree as this program sees it (Z: is the host's
// root), from where the test programs were compiled; "" when unknown.
std::string RepoPath(const std::string& relative);
// The example package as the build stages it: examples/hello/files and
// the Hello World program (<bin>\example\hello, or hello64).
std::string ExamplePackageDir();

// C:\wtest\<name>, emptied (read-only files included) and created anew.
std::string FreshDir(const std::string& name);
bool RemoveTree(const std::string& path);

bool Exists(const std::string& path);
DWORD Attributes(const std::string& path); // INVALID_FILE_ATTRIBUTES if absent
Bytes ReadBytes(const std::string& path, bool* ok = nullptr);
bool WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ToBytes(const std::string& text);
// `size` bytes that compress poorly, the same for the same `state`.
Bytes Noise(size_t size, unsigned state);
Bytes Concat(Bytes a, const Bytes& b);
std::uint64_t FileSize(const std::string& path); // ~0 if absent

// Last-write time as stored (UTC, no local-time conversion), formatted
// "YYYY-MM-DD hh:mm:ss"; "" when the file cannot be read.
std::string LastWrite(const std::string& path);
bool SetLastWrite(const std::string& path, int year, int month, int day,
                  int hour, int minute, int second);

// MS-DOS date and time words.
std::uint16_t DosDate(int year, int month, int day);
std::uint16_t DosTime(int hour, int minute, int second);

// [section] key of an INI file through the platform's profile functions.
std::string IniValue(const std::string& path, const std::string& section,
                     const std::string& key);

// Quotes a path for a command line.
std::string Quote(const std::string& path);

// The attribute bits (of read-only, hidden, system, archive) that this
// platform keeps as set and reports back. Wine keeps hidden and system only
// where extended attributes are available, and reports every file as
// archive, so the archive bit tells nothing there.
DWORD ObservableAttributes();
// True when a read-only file refuses to be opened for writing (not so under
// Wine run as root: Unix permissions do not stop root).
bool ReadOnlyEnforced();

// One program run to its end.
struct RunResult {
    bool started = false;
    bool exited = false;             // false: killed after the timeout
    DWORD exitCode = 0;
    std::vector<ui::Box> boxes;      // every message box, in order
    std::string output;              // standard output and error
    std::vector<std::string> lines;  // output split at line ends
};

// Runs commandLine in workDir until it ends. The k-th message box that
// appears is answered with answers[k]; boxes beyond the list get OK (or,
// without OK, No, then Cancel, then their first button). Every box is
// recorded. A program still running after timeoutMs is killed.
RunResult RunProgram(const std::string& commandLine, const std::string& workDir,
                     const std::vector<int>& answers = {},
                     int timeoutMs = 60000);

// Points this program's import of dll!name (the stub's code linked into a
// test program calls through it) at `replacement`; returns the previous
// target, to be put back the same way, or nullptr when there is no such
// import. For standing in for a platform call that is hard to make fail.
void* ReplaceImport(const char* dll, const char* name, void* replacement);

} // namespace wt
