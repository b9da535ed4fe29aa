// An installation is one transaction: a run that fails (a full disk, a
// file held open) or is killed leaves the machine as it was, the killed
// one once the next run of the same setup program has cleaned up after
// it; an upgrade's uninstaller removes what every version installed; a
// file the user had before is the user's; an uninstall that stops halfway
// can be run again; the folders an installation made go with it; the
// shared uninstaller goes with the last application that used it.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install_steps.h"
#include "testutil.h"
#include "wtest.h"

using inst::File;
using inst::KeyExists;
using inst::RunDir;

namespace {

const char kAppName[] = "Wtest Transaction";
const char kShared[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string Inf(const std::string& dir, int fileNum, const std::string& appName = kAppName,
                const std::string& copymodes = "")
{
    return "[Install]\r\nDefDir=" + dir + "\r\nAppName=" + appName +
           "\r\nAppBy=by the tests\r\nCompReg=Wtest Software\r\nVerNum=1\r\nFileNum=" +
           std::to_string(fileNum) + "\r\n[Links]\r\nlinka=a.txt\r\nlinkfilea=A.lnk\r\n"
           "[Copymode]\r\n" + copymodes;
}

std::string UninstallKey(const std::string& appName) { return inst::kUninstallRoot + appName; }

void ForgetSharedUninstaller();

void Forget(const std::string& dir, const std::string& appName = kAppName)
{
    ForgetSharedUninstaller();
    wt::RemoveTree(dir);
    wt::RemoveTree(inst::LinkDir(appName));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UninstallKey(appName).c_str());
}

// Every name below `dir` with its bytes' size, a digest of them, its time
// and attributes: what "as it was" compares.
void ListTree(const std::string& dir, const std::string& prefix, std::vector<std::string>* out)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = dir + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out->push_back(prefix + name + "\\");
            ListTree(path, prefix + name + "\\", out);
            continue;
        }
        wt::Bytes bytes = wt::ReadBytes(path);
        unsigned long digest = 2166136261ul;
        for (std::uint8_t b : bytes) digest = (digest ^ b) * 16777619ul;
        out->push_back(prefix + name + " " + std::to_string(bytes.size()) + " " +
                       std::to_string(digest) + " " + wt::LastWrite(path) + " " +
                       std::to_string(wt::Attributes(path) & wt::ObservableAttributes()));
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// The machine as an installation may touch it: the folders given, the
// Windows directory's files (names and sizes), the Start-menu folder, the
// uninstall entry and the shared uninstaller's count.
std::string Machine(const std::vector<std::string>& dirs, const std::string& appName = kAppName)
{
    std::vector<std::string> seen;
    for (const std::string& dir : dirs) {
        seen.push_back("[" + dir + "]" + (wt::Exists(dir) ? "" : " absent"));
        ListTree(dir, "", &seen);
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((inst::WindowsDir() + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        // The uninstaller may lie there until Windows restarts (its
        // deletion is scheduled); its count says whether it is in use.
        do
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                lstrcmpiA(found.cFileName, "Duvedozi.exe") != 0)
                seen.push_back(std::string("windows\\") + found.cFileName + " " +
                               std::to_string(found.nFileSizeLow));
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    seen.push_back("[start menu]" + std::string(wt::Exists(inst::LinkDir(appName)) ? " there" : ""));
    seen.push_back("[entry]" + std::string(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(appName))
                                               ? " there" : ""));
    seen.push_back("[shared] " + inst::KeyValue(HKEY_LOCAL_MACHINE, kShared,
                                                inst::Uninstaller().c_str()));
    std::sort(seen.begin(), seen.end());
    std::string text;
    for (const std::string& line : seen) text += line + "\n";
    return text;
}

// The names below `dir`, joined with ",".
std::string Names(const std::string& dir)
{
    std::vector<std::string> names;
    ListTree(dir, "", &names);
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ",") + name.substr(0, name.find(' '));
    return text;
}

// No uninstaller and no count of it: where each case starts, so that what
// it leaves can be compared exactly.
void ForgetSharedUninstaller()
{
    DeleteFileA(inst::Uninstaller().c_str());
    HKEY shared;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kShared, 0, KEY_ALL_ACCESS, &shared) == 0) {
        RegDeleteValueA(shared, inst::Uninstaller().c_str());
        RegCloseKey(shared);
    }
}

void CheckSame(const std::string& before, const std::string& after)
{
    if (before != after) ui::Note("before:\n%s\nafter:\n%s", before.c_str(), after.c_str());
    CHECK(before == after);
}

wt::RunResult Silent(const RunDir& run, const std::string& switches = "")
{
    return wt::RunProgram(wt::Quote(run.setup) + " /S" + switches, run.dir, {}, 120000);
}

DWORD QuietUninstall(const std::string& dir)
{
    wt::RunResult result = wt::RunProgram(
        wt::Quote(inst::Uninstaller()) + " /S " + dir + "\\uninstal.inf", "C:\\wtest", {}, 120000);
    return result.exited ? result.exitCode : ~0ul;
}

// Holds the file argv[1] open without any sharing until argv[2] appears.
WTEST_CHILD(hold)
{
    if (argc < 3) return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    for (int i = 0; i < 1200 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    CloseHandle(file);
    return 0;
}

} // namespace

// The second file cannot be written (a program holds it open): the first,
// which replaced the user's own file of that name, is taken back, and
// everything is as before: files, times, the Windows directory, the entry.
WTEST(FailedRunTakesEverythingBack)
{
    std::string dir = "C:\\wtest\\tx-fail";
    Forget(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    REQUIRE(wt::WriteBytes(dir + "\\a.txt", wt::ToBytes("the user's a")));
    REQUIRE(wt::SetLastWrite(dir + "\\a.txt", 2010, 1, 2, 3, 4, 6));
    REQUIRE(wt::WriteBytes(dir + "\\b.txt", wt::ToBytes("held")));
    std::string before = Machine({dir});
    RunDir run("tx-fail-run");
    REQUIRE(run.Write(inst::Program(Inf(dir, 3), "license\r\n",
                                    {File("a.txt", wt::ToBytes("new a")),
                                     File("sub\\c.txt", wt::ToBytes("c")),
                                     File("b.txt", wt::ToBytes("new b"))})));
    std::string release = "C:\\wtest\\tx-release";
    DeleteFileA(release.c_str());
    ui::Process holder;
    REQUIRE(ui::Start(holder, wtest::ChildCommand("hold") + " " + dir + "\\b.txt " + release));
    Sleep(500);
    wt::RunResult result = Silent(run);
    wt::WriteBytes(release, wt::ToBytes("go"));
    ui::WaitExit(holder, 10000);
    CHECK_EQ(result.exitCode, 3ul);
    CheckSame(before, Machine({dir}));
    CHECK_EQ(Names(run.dir), std::string("setup.exe"));
    DeleteFileA(release.c_str());
    Forget(dir);
}

// A disk that fills up during the second file: the same, on a small drive.
WTEST(FullDiskTakesEverythingBack)
{
    char drive[8] = "";
    if (!GetEnvironmentVariableA("WTEST_SMALL_DRIVE", drive, sizeof drive))
        SKIP("no small drive: WTEST_SMALL_DRIVE is not set");
    std::string dir = std::string(drive) + "\\tx-full";
    Forget(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    REQUIRE(wt::WriteBytes(dir + "\\a.txt", wt::ToBytes("the user's a")));
    std::string before = Machine({dir});
    RunDir run("tx-full-run");
    REQUIRE(run.Write(inst::Program(Inf(dir, 2), "license\r\n",
                                    {File("a.txt", wt::Noise(20000, 1)),
                                     File("big.bin", wt::Noise(80000, 2))})));
    CHECK_EQ(Silent(run).exitCode, 3ul);
    CheckSame(before, Machine({dir}));
    Forget(dir);
}

// Killed early, in the middle of a large file, and after the files: the
// next run of the same setup program cleans up after the killed one and
// completes; the uninstall that follows leaves nothing.
WTEST(KilledRunIsCleanedUpByTheNextRun)
{
    std::string dir = "C:\\wtest\\tx-kill";
    std::vector<archive::EntrySpec> files;
    for (int i = 0; i < 40; ++i)
        files.push_back(File("f" + std::to_string(i) + ".txt", wt::ToBytes(std::to_string(i))));
    files.push_back(File("big.bin", wt::Noise(24 << 20, 3)));
    files.push_back(File("z.txt", wt::ToBytes("last")));
    RunDir run("tx-kill-run");
    REQUIRE(run.Write(inst::Program(Inf(dir, int(files.size())), "license\r\n", files)));
    // When to kill: a path to appear (a temporary file for "mid-file").
    struct Point {
        const char* label;
        std::string waitFor;
    } points[] = {{"early", dir + "\\f0.txt"}, {"mid-file", "~zs"}, {"after the files", dir + "\\z.txt"}};
    for (const Point& point : points) {
        Forget(dir);
        std::string before = Machine({dir});
        ui::Note("kill %s", point.label);
        ui::Process process;
        REQUIRE(ui::Start(process, wt::Quote(run.setup) + " /S", run.dir));
        bool seen = false;
        for (int i = 0; i < 6000 && !seen && ui::IsRunning(process); ++i) {
            if (point.waitFor == "~zs") {
                WIN32_FIND_DATAA found;
                HANDLE search = FindFirstFileA((dir + "\\~zs*.tmp").c_str(), &found);
                seen = search != INVALID_HANDLE_VALUE && found.nFileSizeLow > (1u << 20);
                if (search != INVALID_HANDLE_VALUE) FindClose(search);
            } else {
                seen = wt::Exists(point.waitFor);
            }
            if (!seen) Sleep(5);
        }
        ui::Kill(process);
        CHECK(seen);
        // The same program again: it completes, as if the killed run never was.
        CHECK_EQ(Silent(run).exitCode, 0ul);
        CHECK(wt::ReadBytes(dir + "\\z.txt") == wt::ToBytes("last"));
        CHECK_EQ(Names(dir).find("~zs"), std::string::npos);
        CHECK_EQ(QuietUninstall(dir), 0ul);
        CheckSame(before, Machine({dir}));
    }
    Forget(dir);
}

// v1, then v2 with fewer files and another shortcut, into the same folder;
// then one uninstall: nothing of either is left.
WTEST(UpgradeUninstallRemovesWhatEveryVersionInstalled)
{
    std::string dir = "C:\\wtest\\tx-upgrade";
    Forget(dir);
    std::string before = Machine({dir});
    RunDir run("tx-upgrade-run");
    REQUIRE(run.Write(inst::Program(Inf(dir, 3), "v1\r\n",
                                    {File("a.txt", wt::ToBytes("a1")), File("old\\b.txt", wt::ToBytes("b1")),
                                     File("c.txt", wt::ToBytes("c1"))})));
    CHECK_EQ(Silent(run).exitCode, 0ul);
    std::string inf = Inf(dir, 1);
    inf.replace(inf.find("linkfilea=A.lnk"), 15, "linkfilea=A2.lnk");
    REQUIRE(run.Write(inst::Program(inf, "v2\r\n", {File("a.txt", wt::ToBytes("a2"))})));
    CHECK_EQ(Silent(run).exitCode, 0ul);
    CHECK(wt::ReadBytes(dir + "\\a.txt") == wt::ToBytes("a2"));
    CHECK(wt::Exists(dir + "\\old\\b.txt")); // v1's, not installed again
    CHECK_EQ(QuietUninstall(dir), 0ul);
    CHECK(!wt::Exists(dir));
    CheckSame(before, Machine({dir}));
}

// A file the user had before the first installation, kept under copy
// mode 2 (or 3), is the user's: the uninstaller leaves it.
WTEST(UsersKeptFileSurvivesTheUninstall)
{
    std::string dir = "C:\\wtest\\tx-kept";
    Forget(dir);
    CreateDirectoryA(dir.c_str(), nullptr);
    REQUIRE(wt::WriteBytes(dir + "\\settings.ini", wt::ToBytes("the user's settings")));
    RunDir run("tx-kept-run");
    REQUIRE(run.Write(inst::Program(Inf(dir, 2, kAppName, "fileb=2\r\n"), "license\r\n",
                                    {File("a.txt", wt::ToBytes("a")),
                                     File("settings.ini", wt::ToBytes("defaults"))})));
    CHECK_EQ(Silent(run).exitCode, 0ul); // a silent run keeps what it would ask about
    CHECK_EQ(wt::IniValue(dir + "\\Uninstal.inf", "Uninstall", "fileb"), "*" + dir + "\\settings.ini");
    QuietUninstall(dir);
    CHECK(wt::ReadBytes(dir + "\\settings.ini") == wt::ToBytes("the user's settings"));
    CHECK(!wt::Exists(dir + "\\a.txt"));
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kAppName)));
    Forget(dir);
}

// An uninstall that stops halfway (a file held open), run again from the
// same entry, finishes the job; until then the log and the entry stay.
WTEST(InterruptedUninstallCanBeRunAgain)
{
    std::string dir = "C:\\wtest\\tx-again";
    Forget(dir);
    RunDir run("tx-again-run");
    REQUIRE(run.Write(inst::Program(Inf(dir, 2), "license\r\n",
                                    {File("a.txt", wt::ToBytes("a")), File("b.txt", wt::ToBytes("b"))})));
    CHECK_EQ(Silent(run).exitCode, 0ul);
    std::string release = "C:\\wtest\\tx-again-release";
    DeleteFileA(release.c_str());
    ui::Process holder;
    REQUIRE(ui::Start(holder, wtest::ChildCommand("hold") + " " + dir + "\\b.txt " + release));
    Sleep(500);
    CHECK_EQ(QuietUninstall(dir), 4ul);
    wt::WriteBytes(release, wt::ToBytes("go"));
    ui::WaitExit(holder, 10000);
    CHECK(wt::Exists(dir + "\\Uninstal.inf"));
    CHECK(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kAppName)));
    CHECK(!wt::Exists(dir + "\\a.txt"));
    std::string command = inst::KeyValue(HKEY_LOCAL_MACHINE, UninstallKey(kAppName),
                                         "QuietUninstallString");
    wt::RunResult again = wt::RunProgram(command, "C:\\wtest", {}, 60000);
    CHECK_EQ(again.exitCode, 0ul);
    CHECK(!wt::Exists(dir));
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kAppName)));
    DeleteFileA(release.c_str());
}

// /D= into a folder whose parent did not exist: the uninstall takes the
// parent too.
WTEST(FoldersTheInstallationMadeGoWithIt)
{
    std::string parent = "C:\\wtest\\tx-parent", dir = parent + "\\deeper\\App";
    Forget(parent);
    RunDir run("tx-parent-run");
    REQUIRE(run.Write(inst::Program(Inf("C:\\wtest\\unused", 1), "license\r\n",
                                    {File("a.txt", wt::ToBytes("a"))})));
    CHECK_EQ(Silent(run, " /D=" + dir).exitCode, 0ul);
    CHECK(wt::Exists(dir + "\\a.txt"));
    CHECK_EQ(QuietUninstall(dir), 0ul);
    CHECK(!wt::Exists(parent));
}

// Two applications share the uninstaller: the system's register of shared
// files counts both; the last uninstall brings the count to zero and has
// the uninstaller deleted when Windows next starts.
WTEST(SharedUninstallerGoesWithTheLastApplication)
{
    std::string one = "C:\\wtest\\tx-one", two = "C:\\wtest\\tx-two";
    Forget(one, "Wtest One");
    Forget(two, "Wtest Two");
    RunDir run("tx-shared-run");
    for (const auto& [dir, name] : {std::pair{one, "Wtest One"}, std::pair{two, "Wtest Two"}}) {
        REQUIRE(run.Write(inst::Program(Inf(dir, 1, name), "license\r\n",
                                        {File("a.txt", wt::ToBytes("a"))})));
        CHECK_EQ(Silent(run).exitCode, 0ul);
    }
    auto count = [] {
        HKEY key;
        DWORD value = 0, size = sizeof value;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kShared, 0, KEY_READ, &key) != 0) return -1L;
        LONG rc = RegQueryValueExA(key, inst::Uninstaller().c_str(), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return rc == 0 ? long(value) : -1L;
    };
    CHECK_EQ(count(), 2L);
    // An upgrade of the first does not count it twice.
    REQUIRE(run.Write(inst::Program(Inf(one, 1, "Wtest One"), "license\r\n",
                                    {File("a.txt", wt::ToBytes("a2"))})));
    CHECK_EQ(Silent(run).exitCode, 0ul);
    CHECK_EQ(count(), 2L);
    CHECK_EQ(QuietUninstall(one), 0ul);
    CHECK_EQ(count(), 1L);
    CHECK_EQ(QuietUninstall(two), 0ul);
    CHECK_EQ(count(), -1L);
    // The system's pending renames (REG_MULTI_SZ) name it for deletion.
    HKEY session;
    std::vector<char> pending(65536);
    DWORD size = DWORD(pending.size());
    REQUIRE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                          0, KEY_READ, &session) == 0);
    LONG rc = RegQueryValueExA(session, "PendingFileRenameOperations", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(pending.data()), &size);
    RegCloseKey(session);
    CHECK_EQ(rc, 0L);
    std::string text(pending.data(), size);
    std::transform(text.begin(), text.end(), text.begin(), ::tolower);
    CHECK(text.find("duvedozi.exe") != std::string::npos);
}
