// MoveIntoPlace, the stub's replacing move, called here directly: moves to
// a free name, replacement of another file, the same file under another
// spelling, what it refuses, and its rare paths - the new file that cannot
// go in after the old one was moved aside, and the old one that then
// cannot go back - with MoveFileA made to fail on a chosen call.
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "file_move.h"
#include "testutil.h"
#include "wtest.h"

namespace {

// The names in a folder, sorted and joined with ",".
std::string Names(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..") names.push_back(name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    std::string all;
    for (const std::string& name : names) all += (all.empty() ? "" : ",") + name;
    return all;
}

std::string Bytes(const std::string& path)
{
    wt::Bytes bytes = wt::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A folder holding "new" (the source) and, unless `old` is null, "target".
std::string Prepare(const char* old)
{
    std::string dir = wt::FreshDir("filemove");
    wt::WriteBytes(dir + "\\new", wt::ToBytes("new bytes"));
    if (old) wt::WriteBytes(dir + "\\target", wt::ToBytes(old));
    return dir;
}

// MoveFileA as the stub calls it, failing on the calls numbered in
// `failing` (1 is the first call after Arm).
using MoveFunction = BOOL(WINAPI*)(LPCSTR, LPCSTR);
MoveFunction realMove;
int moveCalls;
std::set<int> failing;

BOOL WINAPI MoveThatFails(LPCSTR from, LPCSTR to)
{
    if (failing.count(++moveCalls)) {
        ui::Note("MoveFileA call %d fails: %s -> %s", moveCalls, from, to);
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return realMove(from, to);
}

void Arm(std::set<int> calls)
{
    moveCalls = 0;
    failing = calls;
    void* previous = wt::ReplaceImport("kernel32.dll", "MoveFileA",
                                       reinterpret_cast<void*>(&MoveThatFails));
    if (previous != reinterpret_cast<void*>(&MoveThatFails))
        realMove = reinterpret_cast<MoveFunction>(previous);
}

void Disarm() { wt::ReplaceImport("kernel32.dll", "MoveFileA", reinterpret_cast<void*>(realMove)); }

} // namespace

WTEST(MovesToAFreeNameAndReplacesAnotherFile)
{
    std::string dir = Prepare(nullptr);
    CHECK_EQ(MoveIntoPlace((dir + "\\new").c_str(), (dir + "\\target").c_str(), 1), int(MoveDone));
    CHECK_EQ(Bytes(dir + "\\target"), "new bytes");
    CHECK_EQ(Names(dir), "target");

    dir = Prepare("old bytes");
    CHECK_EQ(MoveIntoPlace((dir + "\\new").c_str(), (dir + "\\target").c_str(), 1), int(MoveDone));
    CHECK_EQ(Bytes(dir + "\\target"), "new bytes");
    CHECK_EQ(Names(dir), "target");

    // Without leave to replace, an existing file stays and so does the source.
    dir = Prepare("old bytes");
    CHECK_EQ(MoveIntoPlace((dir + "\\new").c_str(), (dir + "\\target").c_str(), 0),
             int(MoveRefused));
    CHECK_EQ(Bytes(dir + "\\target"), "old bytes");
    CHECK_EQ(Bytes(dir + "\\new"), "new bytes");
}

// The target is the source under another name for the same file: it must
// be there afterwards with its bytes, whatever the move reports.
WTEST(SameFileInAnotherSpellingIsKept)
{
    std::string dir = Prepare(nullptr);
    std::string source = dir + "\\new";
    char shortName[MAX_PATH] = "";
    GetShortPathNameA(source.c_str(), shortName, sizeof shortName);
    std::string slashed = source, upper = source;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    CharUpperA(&upper[0]);
    for (const std::string& spelling :
         {dir + "\\\\new", dir + "\\.\\new", slashed, upper, std::string(shortName)}) {
        ui::Note("as %s", spelling.c_str());
        int result = MoveIntoPlace(source.c_str(), spelling.c_str(), 1);
        CHECK(result == MoveDone || result == MoveRefused);
        CHECK_EQ(Bytes(source), "new bytes");
        CHECK_EQ(Names(dir), "new");
    }
}

// What could not be deleted is not replaced: a read-only file, a folder, a
// file held open without delete sharing, a source that is missing. A file
// held open with delete sharing is replaced; it goes once let go.
WTEST(RefusesWhatCouldNotBeDeleted)
{
    std::string dir = Prepare("old bytes");
    std::string source = dir + "\\new", target = dir + "\\target";
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    CHECK_EQ(MoveIntoPlace(source.c_str(), target.c_str(), 1), int(MoveRefused));
    CHECK_EQ(Bytes(target), "old bytes");
    CHECK(wt::Attributes(target) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    CHECK_EQ(Names(dir), "new,target");

    dir = Prepare(nullptr);
    CreateDirectoryA((dir + "\\target").c_str(), nullptr);
    CHECK_EQ(MoveIntoPlace(source.c_str(), target.c_str(), 1), int(MoveRefused));
    CHECK(wt::Attributes(target) & FILE_ATTRIBUTE_DIRECTORY);
    CHECK_EQ(Bytes(source), "new bytes");

    dir = Prepare("old bytes");
    HANDLE held = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK_EQ(MoveIntoPlace(source.c_str(), target.c_str(), 1), int(MoveRefused));
    CloseHandle(held);
    CHECK_EQ(Bytes(target), "old bytes");
    CHECK_EQ(Names(dir), "new,target");

    dir = Prepare("old bytes");
    held = CreateFileA(target.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK_EQ(MoveIntoPlace(source.c_str(), target.c_str(), 1), int(MoveDone));
    CloseHandle(held);
    CHECK_EQ(Bytes(target), "new bytes");
    CHECK_EQ(Names(dir), "target");

    dir = Prepare("old bytes");
    DeleteFileA(source.c_str());
    CHECK_EQ(MoveIntoPlace(source.c_str(), target.c_str(), 1), int(MoveRefused));
    CHECK_EQ(Bytes(target), "old bytes");
    CHECK_EQ(Names(dir), "target");
}

// The rare paths, with MoveFileA failing where the platform rarely fails:
// call 1 moves the old file aside, 2 moves the new one in, 3 moves the old
// one back.
WTEST(RarePathsKeepBothFiles)
{
    std::string dir = Prepare("old bytes");
    std::string source = dir + "\\new", target = dir + "\\target";
    // The old file cannot be moved aside: nothing changes, no fresh name
    // stays behind.
    Arm({1});
    int result = MoveIntoPlace(source.c_str(), target.c_str(), 1);
    Disarm();
    CHECK_EQ(result, int(MoveRefused));
    CHECK_EQ(moveCalls, 1);
    CHECK_EQ(Bytes(target), "old bytes");
    CHECK_EQ(Names(dir), "new,target");

    // The new file cannot go in: the old one goes back.
    dir = Prepare("old bytes");
    Arm({2});
    result = MoveIntoPlace(source.c_str(), target.c_str(), 1);
    Disarm();
    CHECK_EQ(result, int(MoveRefused));
    CHECK_EQ(moveCalls, 3);
    CHECK_EQ(Bytes(target), "old bytes");
    CHECK_EQ(Bytes(source), "new bytes");
    CHECK_EQ(Names(dir), "new,target");

    // Nor can the old one go back: both stay, the old one under its fresh
    // name beside the target, the new one where it was.
    dir = Prepare("old bytes");
    Arm({2, 3});
    result = MoveIntoPlace(source.c_str(), target.c_str(), 1);
    Disarm();
    CHECK_EQ(result, int(MoveBroken));
    CHECK_EQ(Bytes(source), "new bytes");
    CHECK(!wt::Exists(target));
    std::string names = Names(dir);
    REQUIRE(names.compare(0, 4, "new,") == 0);
    std::string aside = names.substr(4);
    CHECK_EQ(aside.compare(0, 3, "~zs"), 0);
    CHECK_EQ(Bytes(dir + "\\" + aside), "old bytes");
}
