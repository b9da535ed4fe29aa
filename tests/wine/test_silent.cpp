// Unattended runs: "setup.exe /S [/D=dir]" installs and "Duvedozi.exe /S
// log" removes without a single window, and both say through their exit
// code how it went. A silent installation must leave the machine exactly
// as an interactive one into the same directory does, plus the uninstall
// entry's QuietUninstallString, which is run here as it stands.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "archive.h"
#include "install_steps.h"
#include "testutil.h"
#include "uidriver.h"
#include "wtest.h"

using inst::File;
using inst::KeyExists;
using inst::KeyValue;
using inst::RunDir;
using inst::SectionKeys;

namespace {

// Exit codes of the silent runs (docs/UNATTENDED.md).
const DWORD kDone = 0, kBadSwitches = 1, kDamaged = 2, kExtractFailed = 3,
            kFilesRemain = 4, kNoLog = 5, kIncomplete = 6;

const char kAppName[] = "Wtest Silent";
const char kDefDir[] = "C:\\wtest\\silent-default";
const char kLicense[] = "Silent license\r\n";

std::string InfText(int fileNum, const std::string& copymodes = "")
{
    return "[Install]\r\nDefDir=" + std::string(kDefDir) + "\r\nAppName=" + kAppName +
           "\r\nAppBy=by the tests\r\nCompReg=Wtest Software\r\nVerNum=1.5\r\nFileNum=" +
           std::to_string(fileNum) +
           "\r\n\r\n[Links]\r\nlinka=one.txt\r\nlinkfilea=One.lnk\r\n\r\n[Copymode]\r\n" +
           copymodes;
}

std::vector<archive::EntrySpec> TwoFiles()
{
    return {File("one.txt", wt::ToBytes("first file\r\n")),
            File("sub\\two.bin", wt::ToBytes(std::string(2000, '\x5A')))};
}

std::string UninstallKey(const std::string& appName) { return inst::kUninstallRoot + appName; }

// A REG_DWORD value under HKLM; ~0 when it is not one.
DWORD DwordValue(const std::string& key, const char* name)
{
    DWORD value = ~0ul, size = sizeof value, type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_ANY, &type, &value, &size) !=
            ERROR_SUCCESS || type != REG_DWORD)
        return ~0ul;
    return value;
}

// The Start-menu folder a log records ("" when there is no log).
std::string LinkDirOf(const std::string& installDir)
{
    return wt::IniValue(installDir + "\\Uninstal.inf", "Uninstall", "linkdir");
}

// Whatever an installation of `appName` into `dir` may have left.
void Forget(const std::string& dir, const std::string& appName)
{
    std::string linkDir = LinkDirOf(dir);
    if (!linkDir.empty()) wt::RemoveTree(linkDir);
    wt::RemoveTree(inst::LinkDir(appName));
    wt::RemoveTree(dir);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UninstallKey(appName).c_str());
}

// One silent run, watched from start to end: the top-level windows of the
// process are looked for every 2 ms. A silent run creates none, not even a
// hidden one; a run that does is ended at once.
struct Watched {
    bool started = false;
    bool exited = false;
    DWORD exitCode = ~0ul;
    std::vector<std::string> windows; // class, visibility and title of each
};

struct WindowScan {
    DWORD pid;
    std::set<HWND>* seen;
    std::vector<std::string>* windows;
};

BOOL CALLBACK ScanWindow(HWND window, LPARAM param)
{
    WindowScan* scan = reinterpret_cast<WindowScan*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == scan->pid && scan->seen->insert(window).second)
        scan->windows->push_back(ui::ClassName(window) +
                                 (IsWindowVisible(window) ? " visible \"" : " hidden \"") +
                                 ui::Text(window) + "\"");
    return TRUE;
}

Watched RunWatched(const std::string& commandLine, const std::string& workDir,
                   int timeoutMs = 60000)
{
    Watched run;
    ui::Process process;
    if (!ui::Start(process, commandLine, workDir)) return run;
    run.started = true;
    std::set<HWND> seen;
    WindowScan scan{process.pid, &seen, &run.windows};
    DWORD start = GetTickCount();
    for (;;) {
        bool ended = WaitForSingleObject(process.handle, 2) != WAIT_TIMEOUT;
        EnumWindows(ScanWindow, reinterpret_cast<LPARAM>(&scan));
        if (ended || !run.windows.empty()) break;
        if (static_cast<int>(GetTickCount() - start) > timeoutMs) {
            ui::Note("timeout after %d ms", timeoutMs);
            break;
        }
    }
    for (const std::string& window : run.windows) ui::Note("window: %s", window.c_str());
    run.exited = ui::WaitExit(process, run.windows.empty() ? 5000 : 0, &run.exitCode);
    ui::Kill(process);
    return run;
}

// "setup.exe /S ..." from the run directory.
Watched RunSetup(const RunDir& run, const std::string& switches)
{
    return RunWatched(wt::Quote(run.setup) + " " + switches, run.dir);
}

// The names below a directory, with subdirectories, sorted.
void ListTree(const std::string& dir, const std::string& prefix, std::vector<std::string>* names)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        names->push_back(prefix + name);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListTree(dir + "\\" + name, prefix + name + "\\", names);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names->begin(), names->end());
}

std::string Tree(const std::string& dir)
{
    std::vector<std::string> names;
    ListTree(dir, "", &names);
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : ",") + name;
    return joined;
}

// What an installation left on the machine, as a person or a program
// would look at it: each file with its bytes, time and attributes, the
// log's [Uninstall] records in order, the uninstall entry's values and
// each shortcut's target and description.
struct Installed {
    std::vector<std::string> files;
    std::vector<std::string> records;
    std::vector<std::string> values;
    std::vector<std::string> links;
};

std::string Describe(const std::string& path, bool withTime)
{
    wt::Bytes bytes = wt::ReadBytes(path);
    DWORD attributes = wt::Attributes(path) &
                       (wt::ObservableAttributes() | FILE_ATTRIBUTE_DIRECTORY);
    std::string text = " attributes " + std::to_string(attributes);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return text;
    text += " bytes " + std::string(bytes.begin(), bytes.end());
    if (withTime) text += " written " + wt::LastWrite(path);
    return text;
}

std::string ShortcutOf(const std::string& path)
{
    IShellLinkA* link = nullptr;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                         reinterpret_cast<void**>(&link)) < 0)
        return "(no shell link object)";
    IPersistFile* file = nullptr;
    std::string text = "(not loaded)";
    if (link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)) >= 0) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        if (file->Load(wide, 0) >= 0) {
            char target[MAX_PATH] = "", description[MAX_PATH] = "", folder[MAX_PATH] = "",
                 icon[MAX_PATH] = "", arguments[MAX_PATH] = "";
            int index = -1;
            link->GetPath(target, MAX_PATH, nullptr, 0);
            link->GetDescription(description, MAX_PATH);
            link->GetWorkingDirectory(folder, MAX_PATH);
            link->GetIconLocation(icon, MAX_PATH, &index);
            link->GetArguments(arguments, MAX_PATH);
            text = std::string("target ") + target + " description " + description +
                   " in " + folder + " icon " + icon + "," + std::to_string(index) +
                   " arguments " + arguments;
        }
        file->Release();
    }
    link->Release();
    return text;
}

Installed Look(const std::string& dir, const std::string& appName)
{
    Installed seen;
    std::vector<std::string> names;
    ListTree(dir, "", &names);
    for (const std::string& name : names)
        // The log is written during the run: its time is the run's own.
        seen.files.push_back(name + Describe(dir + "\\" + name, name != "Uninstal.inf"));

    std::string log = dir + "\\Uninstal.inf";
    std::string keys = SectionKeys(log, "Uninstall");
    for (size_t at = 0; at < keys.size();) {
        size_t end = keys.find(',', at);
        if (end == std::string::npos) end = keys.size();
        std::string key = keys.substr(at, end - at);
        seen.records.push_back(key + "=" + wt::IniValue(log, "Uninstall", key));
        at = end + 1;
    }

    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallKey(appName).c_str(), 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            char name[256], data[1024];
            DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
            if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type,
                              reinterpret_cast<BYTE*>(data), &dataSize) != ERROR_SUCCESS)
                break;
            data[dataSize] = 0;
            seen.values.push_back(std::string(name) + "=" + data + " type " +
                                  std::to_string(type));
        }
        RegCloseKey(key);
        std::sort(seen.values.begin(), seen.values.end());
    }

    std::string linkDir = wt::IniValue(log, "Uninstall", "linkdir");
    names.clear();
    ListTree(linkDir, "", &names);
    for (const std::string& name : names)
        seen.links.push_back(name + " " + ShortcutOf(linkDir + "\\" + name));
    return seen;
}

void CheckSame(const std::vector<std::string>& silent, const std::vector<std::string>& shown,
               const char* what)
{
    CHECK_EQ(silent.size(), shown.size());
    for (size_t i = 0; i < silent.size() && i < shown.size(); ++i)
        if (silent[i] != shown[i]) {
            ui::Note("%s differ: silent [%s], interactive [%s]", what, silent[i].c_str(),
                     shown[i].c_str());
            CHECK(silent[i] == shown[i]);
        }
}

// examples/hello packed as its author would (the files as the build stages
// them, with the Hello World program), in stored-name order.
bool HelloProgram(wt::Bytes* program)
{
    std::string example = wt::RepoPath("examples\\hello");
    if (example.empty()) return false;
    bool ok = false, all = true;
    wt::Bytes inf = wt::ReadBytes(example + "\\setup.inf", &ok);
    all = all && ok;
    wt::Bytes license = wt::ReadBytes(example + "\\license.txt", &ok);
    all = all && ok;
    std::vector<archive::EntrySpec> files;
    for (const char* name : {"HelloWorld.exe", "Readme.txt", "data\\sample.bin", "hello.txt",
                             "help\\Guide.txt"}) {
        files.push_back(File(name, wt::ReadBytes(wt::ExamplePackageDir() + "\\" + name, &ok),
                             wt::DosDate(2024, 5, 1), wt::DosTime(8, 30, 0), 0x20));
        all = all && ok;
    }
    // The first shortcut passes an argument to its program.
    std::string text(inf.begin(), inf.end());
    size_t links = text.find("[Links]");
    if (links != std::string::npos) text.insert(links + 7, "\r\nlinkargsa=/greet \"a b\"");
    *program = inst::Program(text,
                             std::string(license.begin(), license.end()), files);
    return all;
}

const char kHelloDir[] = "C:\\Program Files\\Hello World";
const char kHelloName[] = "Hello World";

} // namespace

// The example package installed once by a person clicking through and once
// with /S: the same files, records, registry values and shortcuts, and
// the quiet uninstall command besides; no window of the silent run ever
// appears and the log is in place when it ends.
WTEST(SilentInstallEqualsTheInteractiveOne)
{
    wt::Bytes program;
    REQUIRE(HelloProgram(&program));
    CoInitialize(nullptr);

    Forget(kHelloDir, kHelloName);
    RunDir shownRun("silent-hello-shown");
    REQUIRE(shownRun.Write(program));
    {
        inst::Session session;
        REQUIRE(session.Start(shownRun));
        REQUIRE(inst::InstallAndClean(session.process) || session.Fail());
    }
    Installed shown = Look(kHelloDir, kHelloName);
    Forget(kHelloDir, kHelloName);

    RunDir silentRun("silent-hello");
    REQUIRE(silentRun.Write(program));
    Watched run = RunSetup(silentRun, "/S");
    CHECK(run.started);
    CHECK(run.exited);
    CHECK(run.windows.empty());
    CHECK_EQ(run.exitCode, kDone);
    Installed silent = Look(kHelloDir, kHelloName);

    // Nothing left beside the program: the license and the log moved.
    CHECK_EQ(Tree(silentRun.dir), "setup.exe");
    CHECK(wt::Exists(std::string(kHelloDir) + "\\Uninstal.inf"));
    CHECK_EQ(silent.files.size(), 9u); // five files, two folders, license, log
    CheckSame(silent.files, shown.files, "files");
    CHECK_EQ(silent.records.size(), 12u);
    CheckSame(silent.records, shown.records, "[Uninstall] records");
    CHECK_EQ(silent.links.size(), 3u);
    CheckSame(silent.links, shown.links, "shortcuts");
    CheckSame(silent.values, shown.values, "uninstall entry values");

    // Both carry the quiet command beside the interactive one.
    std::string key = UninstallKey(kHelloName);
    std::string log = std::string(kHelloDir) + "\\uninstal.inf";
    CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, key, "UninstallString"),
             inst::Uninstaller() + " " + log);
    CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, key, "QuietUninstallString"),
             inst::Uninstaller() + " /S " + log);
    // And what Apps & Features shows: version, publisher (CompReg, as the
    // example names no Publisher), place, the first program's icon, the
    // size within a kilobyte per file, no Modify and Repair; and the mark
    // that this installation counted a use of the uninstaller.
    CHECK_EQ(silent.values.size(), 11u);
    CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, key, "DisplayVersion"), "1.0");
    CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, key, "Publisher"), "Example Software");
    CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, key, "InstallLocation"), kHelloDir);
    CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, key, "DisplayIcon"),
             std::string(kHelloDir) + "\\HelloWorld.exe");
    double bytes = 0;
    for (const char* name : {"HelloWorld.exe", "Readme.txt", "data\\sample.bin", "hello.txt",
                             "help\\Guide.txt"})
        bytes += wt::ReadBytes(std::string(kHelloDir) + "\\" + name).size();
    DWORD kb = DwordValue(key, "EstimatedSize");
    ui::Note("EstimatedSize %lu KB for %.0f bytes", kb, bytes);
    CHECK(kb * 1024.0 >= bytes - 5 * 1024 && kb * 1024.0 <= bytes + 5 * 1024);
    for (const char* flag : {"NoModify", "NoRepair", "SharedUninstaller"})
        CHECK_EQ(DwordValue(key, flag), 1ul);
    // Each shortcut starts in its target's folder with the target's icon;
    // the first passes its argument.
    CHECK_EQ(silent.links[0], "Hello World Help.lnk target " + std::string(kHelloDir) +
                                  "\\help\\Guide.txt description Hello World Help in " +
                                  kHelloDir + "\\help icon " + kHelloDir +
                                  "\\help\\Guide.txt,0 arguments ");
    CHECK_EQ(silent.links[2], "Hello World.lnk target " + std::string(kHelloDir) +
                                  "\\HelloWorld.exe description Hello World in " + kHelloDir +
                                  " icon " + kHelloDir +
                                  "\\HelloWorld.exe,0 arguments /greet \"a b\"");
    CoUninitialize();
    wt::RemoveTree(shownRun.dir);
    wt::RemoveTree(silentRun.dir);
}

// The registry's QuietUninstallString, run as it stands, removes the
// example package without a window and ends with 0; a file of the user's
// in the install directory keeps it, and the code says files remain.
WTEST(QuietUninstallStringRemovesSilently)
{
    wt::Bytes program;
    REQUIRE(HelloProgram(&program));
    std::string key = UninstallKey(kHelloName);
    for (int userFile = 0; userFile < 2; ++userFile) {
        Forget(kHelloDir, kHelloName);
        RunDir setup(userFile ? "silent-quiet-left" : "silent-quiet");
        REQUIRE(setup.Write(program));
        Watched install = RunSetup(setup, "/S");
        REQUIRE(install.exitCode == kDone);
        std::string linkDir = LinkDirOf(kHelloDir);
        REQUIRE(!linkDir.empty() && wt::Exists(linkDir));
        std::string notes = std::string(kHelloDir) + "\\notes.txt";
        if (userFile) REQUIRE(wt::WriteBytes(notes, wt::ToBytes("the user's own")));

        std::string command = KeyValue(HKEY_LOCAL_MACHINE, key, "QuietUninstallString");
        Watched run = RunWatched(command, setup.dir);
        CHECK(run.exited);
        CHECK(run.windows.empty());
        CHECK_EQ(run.exitCode, userFile ? kFilesRemain : kDone);
        CHECK_EQ(Tree(kHelloDir), userFile ? std::string("notes.txt") : std::string());
        CHECK_EQ(wt::Exists(kHelloDir), userFile == 1);
        CHECK(!wt::Exists(linkDir));
        CHECK(!KeyExists(HKEY_LOCAL_MACHINE, key));
        CHECK_EQ(wt::FileSize(inst::Uninstaller()), std::uint64_t(STUB_FILE_SIZE));
        Forget(kHelloDir, kHelloName);
        wt::RemoveTree(setup.dir);
    }
}

// /D= takes the rest of the line, blanks and all, or what stands in its
// quotes, in the two forms that shells and programs make of a word with
// blanks; switches in lower case do the same. The directory is the one
// recorded everywhere, its parent made for it is recorded too, and DefDir
// is never created.
WTEST(InstallDirectoryFromTheCommandLine)
{
    const char* lines[] = {"/S /D=C:\\wtest\\silent dir\\with  two blanks",
                           "/S \"/D=C:\\wtest\\silent dir\\with  two blanks\"",
                           "/S /D=\"C:\\wtest\\silent dir\\with  two blanks\"",
                           "/s /d=C:\\wtest\\silent dir\\lower case"};
    const char* dirs[] = {"C:\\wtest\\silent dir\\with  two blanks",
                          "C:\\wtest\\silent dir\\with  two blanks",
                          "C:\\wtest\\silent dir\\with  two blanks",
                          "C:\\wtest\\silent dir\\lower case"};
    for (int i = 0; i < 4; ++i) {
        std::string dir = dirs[i];
        Forget(kDefDir, kAppName);
        Forget(dir, kAppName);
        wt::RemoveTree("C:\\wtest\\silent dir");
        RunDir run("silent-dir");
        REQUIRE(run.Write(inst::Program(InfText(2), kLicense, TwoFiles())));
        Watched result = RunSetup(run, lines[i]);
        CHECK(result.windows.empty());
        CHECK_EQ(result.exitCode, kDone);
        CHECK(!wt::Exists(kDefDir));
        CHECK_EQ(Tree(dir), "License.txt,Uninstal.inf,one.txt,sub,sub\\two.bin");
        CHECK(wt::ReadBytes(dir + "\\one.txt") == wt::ToBytes("first file\r\n"));
        std::string log = dir + "\\Uninstal.inf";
        CHECK_EQ(SectionKeys(log, "Uninstall"),
                 "filea,fileb,filec,filed,dir,foldera,linkdir,filee");
        CHECK_EQ(wt::IniValue(log, "Uninstall", "foldera"), "C:\\wtest\\silent dir");
        CHECK_EQ(wt::IniValue(log, "Uninstall", "filea"), dir + "\\one.txt");
        CHECK_EQ(wt::IniValue(log, "Uninstall", "filed"), log);
        CHECK_EQ(wt::IniValue(log, "Uninstall", "dir"), dir);
        std::string key = UninstallKey(kAppName);
        CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, key, "UninstallString"),
                 inst::Uninstaller() + " " + dir + "\\uninstal.inf");
        CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, key, "QuietUninstallString"),
                 inst::Uninstaller() + " /S " + dir + "\\uninstal.inf");
        Forget(dir, kAppName);
        wt::RemoveTree(run.dir);
    }
    wt::RemoveTree("C:\\wtest\\silent dir");
}

// Nobody can be asked in a silent run: a file of copy mode 2 that exists
// is kept as it was (and recorded, as always); one that does not exist
// is written; copy mode 1 replaces.
WTEST(CopymodeAskKeepsAnExistingFile)
{
    Forget(kDefDir, kAppName);
    std::string dir = wt::FreshDir("silent-default");
    const char* names[] = {"asked.txt", "fresh.txt", "replaced.txt"};
    for (const char* name : {names[0], names[2]}) {
        std::string path = dir + "\\" + name;
        REQUIRE(wt::WriteBytes(path, wt::ToBytes("old contents")));
        REQUIRE(wt::SetLastWrite(path, 2001, 1, 2, 3, 4, 6));
    }
    std::vector<archive::EntrySpec> files;
    for (const char* name : names)
        files.push_back(File(name, wt::ToBytes(std::string("new ") + name),
                             wt::DosDate(2022, 6, 7), wt::DosTime(8, 10, 20)));
    RunDir run("silent-copymode");
    REQUIRE(run.Write(inst::Program(InfText(3, "filea=2\r\nfileb=2\r\nfilec=1\r\n"), kLicense,
                                    files)));
    Watched result = RunSetup(run, "/S");
    CHECK(result.windows.empty());
    CHECK_EQ(result.exitCode, kDone);
    for (int i = 0; i < 3; ++i) {
        std::string path = dir + "\\" + names[i];
        bool kept = i == 0;
        wt::Bytes bytes = wt::ReadBytes(path);
        CHECK_EQ(std::string(bytes.begin(), bytes.end()),
                 kept ? std::string("old contents") : std::string("new ") + names[i]);
        CHECK_EQ(wt::LastWrite(path), kept ? std::string("2001-01-02 03:04:06")
                                           : std::string("2022-06-07 14:10:20"));
        CHECK_EQ(wt::IniValue(dir + "\\Uninstal.inf", "Uninstall",
                              std::string("file") + char('a' + i)),
                 (kept ? "*" : "") + path);
    }
    Forget(kDefDir, kAppName);
    wt::RemoveTree(run.dir);
}

// A damaged setup program run with /S: the exit code says so, no window
// appears, and when the damage is found before the installation begins
// nothing is written at all. Damage in an application entry stops there,
// as an interactive run does, with the same code.
WTEST(DamagedSetupProgramEndsWithItsCode)
{
    wt::Bytes whole = inst::Program(InfText(2), kLicense, TwoFiles());
    wt::Bytes stub = wt::ReadBytes(wt::StubPath());
    wt::Bytes infEntry = archive::MakeEntry(File("setup.inf", wt::ToBytes(InfText(2))));
    wt::Bytes licenseEntry = archive::MakeEntry(File("license.txt", wt::ToBytes(kLicense)));
    struct Damage {
        const char* what;
        wt::Bytes program;
    };
    std::vector<Damage> damages;
    damages.push_back({"no archive", stub});
    wt::Bytes zero = whole;
    for (size_t i = 4; i < 8; ++i) zero[stub.size() + i] = 0;
    damages.push_back({"first entry of length 0", zero});
    wt::Bytes cut = whole;
    cut.resize(stub.size() + infEntry.size() + licenseEntry.size() / 2);
    damages.push_back({"license entry cut short", cut});

    for (const Damage& damage : damages) {
        ui::Note("damage: %s", damage.what);
        Forget(kDefDir, kAppName);
        RunDir run("silent-damaged");
        REQUIRE(run.Write(damage.program));
        Watched result = RunSetup(run, "/S");
        CHECK(result.windows.empty());
        CHECK_EQ(result.exitCode, kDamaged);
        CHECK_EQ(Tree(run.dir), "setup.exe");
        CHECK(!wt::Exists(kDefDir));
        CHECK(!KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kAppName)));
        wt::RemoveTree(run.dir);
    }

    // The second application file cut short, or its stream too short for
    // the size it claims: the first file, and the folder made for the
    // second, are taken back.
    size_t last = whole.size() - archive::MakeEntry(TwoFiles()[1]).size();
    wt::Bytes shortened = whole;
    shortened.resize(shortened.size() - 10);
    wt::Bytes claims = whole;
    claims[last + 14 + 11 + 2] = 0x10; // decodedSize of "sub\two.bin": over 1 MB
    for (const wt::Bytes& program : {shortened, claims}) {
        Forget(kDefDir, kAppName);
        RunDir run("silent-damaged-file");
        REQUIRE(run.Write(program));
        Watched result = RunSetup(run, "/S");
        CHECK(result.windows.empty());
        CHECK_EQ(result.exitCode, kDamaged);
        CHECK(!wt::Exists(kDefDir));
        CHECK_EQ(Tree(run.dir), "setup.exe");
        CHECK(!KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kAppName)));
        Forget(kDefDir, kAppName);
        wt::RemoveTree(run.dir);
    }
}

// A file that cannot be written (the install directory would have to be
// made where a file stands) is a failed extraction, not damage.
WTEST(UnwritableTargetEndsWithTheExtractionCode)
{
    std::string base = wt::FreshDir("silent-blocked");
    REQUIRE(wt::WriteBytes(base + "\\blocker", wt::ToBytes("a file, not a folder")));
    RunDir run("silent-blocked-run");
    REQUIRE(run.Write(inst::Program(InfText(2), kLicense, TwoFiles())));
    Watched result = RunSetup(run, "/S /D=" + base + "\\blocker\\app");
    CHECK(result.windows.empty());
    CHECK_EQ(result.exitCode, kExtractFailed);
    CHECK_EQ(Tree(base), "blocker");
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kAppName)));
    wt::RemoveTree(base);
    wt::RemoveTree(run.dir);
}

// A silent command line that is not understood ends before anything is
// written; without /S the command line is not looked at, and the run is
// the interactive one.
WTEST(CommandLinesNotUnderstood)
{
    Forget(kDefDir, kAppName);
    RunDir run("silent-switches");
    REQUIRE(run.Write(inst::Program(InfText(2), kLicense, TwoFiles())));
    // (Which lines are understood is tested natively: switches_test.cpp.)
    for (const char* line : {"/SILENT /S", "/S /D=\"C:\\wtest\\unclosed"}) {
        ui::Note("command line: %s", line);
        Watched result = RunSetup(run, line);
        CHECK(result.windows.empty());
        CHECK_EQ(result.exitCode, kBadSwitches);
        CHECK_EQ(Tree(run.dir), "setup.exe");
        CHECK(!wt::Exists(kDefDir));
    }
    for (const char* line : {"/D=C:\\wtest\\elsewhere", "/S/D=C:\\wtest\\elsewhere"}) {
        wt::RunResult result =
            wt::RunProgram(wt::Quote(run.setup) + " " + line, run.dir, {IDNO}, 60000);
        CHECK(result.exited);
        CHECK_EQ(result.exitCode, 0ul);
        REQUIRE(result.boxes.size() == 1u);
        CHECK_EQ(result.boxes[0].caption, std::string(kAppName) + " Setup");
        CHECK_EQ(Tree(run.dir), "setup.exe");
    }
    // Asked for help, with or without /S: the switches and exit codes in
    // one box, nothing extracted, nothing installed.
    for (const char* line : {"/?", "/S /HELP"}) {
        wt::RunResult result = wt::RunProgram(wt::Quote(run.setup) + " " + line, run.dir, {IDOK});
        CHECK(result.exited);
        CHECK_EQ(result.exitCode, 0ul);
        REQUIRE(result.boxes.size() == 1u);
        CHECK_EQ(result.boxes[0].caption, "Setup");
        CHECK(result.boxes[0].text.find("/D=\"C:\\My App\"") != std::string::npos);
        CHECK(result.boxes[0].text.find("6 incomplete") != std::string::npos);
        CHECK_EQ(Tree(run.dir), "setup.exe");
        CHECK(!wt::Exists(kDefDir));
    }
    wt::RemoveTree(run.dir);
}

// The silent uninstaller with a log that is not there, or one that names
// no install directory: code 5, nothing asked, nothing removed.
WTEST(QuietUninstallWithoutALog)
{
    std::string dir = wt::FreshDir("silent-nolog");
    std::string uninstaller = dir + "\\Duvedozi.exe";
    REQUIRE(CopyFileA(wt::StubPath().c_str(), uninstaller.c_str(), FALSE));
    std::string victim = dir + "\\keep.txt";
    REQUIRE(wt::WriteBytes(victim, wt::ToBytes("keep")));
    std::string noDir = dir + "\\nodir.inf";
    REQUIRE(wt::WriteBytes(noDir, wt::ToBytes("[Install]\r\nAppName=" + std::string(kAppName) +
                                              "\r\n[Uninstall]\r\nfilea=" + victim + "\r\n")));
    for (const std::string& log : {dir + "\\missing\\uninstal.inf", noDir, std::string()}) {
        Watched result = RunWatched(wt::Quote(uninstaller) + " /S " + log, dir);
        CHECK(result.windows.empty());
        CHECK_EQ(result.exitCode, kNoLog);
        CHECK(wt::Exists(victim));
    }
    wt::RemoveTree(dir);
}

// A recorded file that cannot be deleted (here a folder under a file's
// name, outside the install directory) is reported, and the log stays in
// the install directory so that the uninstall can be run again.
WTEST(QuietUninstallReportsARecordedFileThatStays)
{
    std::string base = wt::FreshDir("silent-stays");
    std::string uninstaller = base + "\\Duvedozi.exe";
    REQUIRE(CopyFileA(wt::StubPath().c_str(), uninstaller.c_str(), FALSE));
    std::string dir = base + "\\app", folder = base + "\\not a file";
    REQUIRE(CreateDirectoryA(dir.c_str(), nullptr));
    REQUIRE(CreateDirectoryA(folder.c_str(), nullptr));
    REQUIRE(wt::WriteBytes(folder + "\\inside.txt", wt::ToBytes("x")));
    REQUIRE(wt::WriteBytes(dir + "\\a.txt", wt::ToBytes("a")));
    std::string log = dir + "\\Uninstal.inf";
    REQUIRE(wt::WriteBytes(log, wt::ToBytes("[Install]\r\nAppName=" + std::string(kAppName) +
                                            "\r\n[Uninstall]\r\nfilea=" + dir +
                                            "\\a.txt\r\nfileb=" + log + "\r\nfilec=" + folder +
                                            "\r\ndir=" + dir + "\r\n")));
    Watched result = RunWatched(wt::Quote(uninstaller) + " /S " + log, base);
    CHECK(result.windows.empty());
    CHECK_EQ(result.exitCode, kFilesRemain);
    CHECK_EQ(Tree(dir), "Uninstal.inf");
    CHECK(wt::Exists(folder + "\\inside.txt"));
    wt::RemoveTree(base);
}

namespace {

// A quiet uninstall of whatever the log in `dir` records.
Watched QuietUninstall(const std::string& dir)
{
    // Started elsewhere: a process's own current folder cannot be removed.
    return RunWatched(wt::Quote(inst::Uninstaller()) + " /S " + dir + "\\uninstal.inf",
                      "C:\\wtest");
}

} // namespace

// A drive's root is no install directory, in whatever spelling /D= or
// DefDir gives it: the files of every installation there would meet, and
// another installation's log and license would be replaced.
WTEST(RootOfADriveIsNoInstallDirectory)
{
    const std::string license = "C:\\License.txt", log = "C:\\Uninstal.inf";
    REQUIRE(wt::WriteBytes(license, wt::ToBytes("someone's license\r\n")));
    REQUIRE(wt::WriteBytes(log, wt::ToBytes("[Install]\r\nAppName=Someone\r\n")));
    RunDir run("silent-root");
    REQUIRE(run.Write(inst::Program(InfText(2), kLicense, TwoFiles())));
    for (const char* dir : {"C:\\", "C:\\.", "C:\\..", "C:\\x\\..", "C:\\Target/../..",
                            "C:/", "\\\\?\\C:\\wtest"}) {
        Watched result = RunSetup(run, std::string("/S /D=") + dir);
        CHECK_EQ(result.exitCode, kBadSwitches);
        CHECK(result.windows.empty());
    }
    // DefDir itself, when no /D= says otherwise.
    std::string inf = InfText(2);
    inf.replace(inf.find(kDefDir), std::string(kDefDir).size(), "C:\\");
    REQUIRE(run.Write(inst::Program(inf, kLicense, TwoFiles())));
    CHECK_EQ(RunSetup(run, "/S").exitCode, kBadSwitches);
    CHECK_EQ(Tree(run.dir), "setup.exe");
    CHECK(wt::ReadBytes(license) == wt::ToBytes("someone's license\r\n"));
    CHECK(wt::ReadBytes(log) == wt::ToBytes("[Install]\r\nAppName=Someone\r\n"));
    CHECK(!wt::Exists("C:\\one.txt"));
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kAppName)));
    DeleteFileA(license.c_str());
    DeleteFileA(log.c_str());
}

// The longest install directory leaves room for its log; a recorded path
// of 255 characters is removed as it was recorded, and a user's file whose
// name is that path cut by one stays.
WTEST(PathsAtTheLengthLimitAreRemovedAsRecorded)
{
    std::string dir = "C:\\wtest\\limit\\" + std::string(242 - 15, 'd');
    REQUIRE(dir.size() == 242u);
    Forget(dir, kAppName);
    wt::FreshDir("limit");
    REQUIRE(CreateDirectoryA(dir.c_str(), nullptr));
    std::string userFile = dir + "\\settings.in";
    REQUIRE(wt::WriteBytes(userFile, wt::ToBytes("the user's\r\n")));
    RunDir run("silent-limit");
    REQUIRE(run.Write(inst::Program(InfText(1), kLicense,
                                    {File("settings.ini", wt::ToBytes("the package's\r\n"))})));
    CHECK_EQ(RunSetup(run, "/S /D=" + dir + "x").exitCode, kBadSwitches);
    CHECK_EQ(RunSetup(run, "/S /D=" + dir).exitCode, kDone);
    std::string log = dir + "\\Uninstal.inf";
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filea"), dir + "\\settings.ini");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filec"), log);
    CHECK_EQ(QuietUninstall(dir).exitCode, kFilesRemain); // the user's file stays
    CHECK(wt::ReadBytes(userFile) == wt::ToBytes("the user's\r\n"));
    CHECK_EQ(Tree(dir), "settings.in");
    wt::RemoveTree("C:\\wtest\\limit");
}

// Without application files the install directory is still made: the
// license and the log go there, and the uninstall entry names a log that
// exists.
WTEST(NoApplicationFilesStillMakeTheInstallDirectory)
{
    std::string dir = std::string(kDefDir) + "-empty\\deeper";
    Forget(dir, kAppName);
    RunDir run("silent-nofiles");
    REQUIRE(run.Write(inst::Program(InfText(0), kLicense, {})));
    CHECK_EQ(RunSetup(run, "/S /D=" + dir).exitCode, kDone);
    CHECK(wt::ReadBytes(dir + "\\License.txt") == wt::ToBytes(kLicense));
    CHECK(wt::Exists(dir + "\\Uninstal.inf"));
    CHECK_EQ(Tree(run.dir), "setup.exe");
    CHECK_EQ(QuietUninstall(dir).exitCode, kDone);
    CHECK(!wt::Exists(dir));
    wt::RemoveTree(std::string(kDefDir) + "-empty");
}

// A packed file that is read-only belongs to the application: installing
// the package again replaces it, and the uninstaller removes it.
WTEST(ReadOnlyPackageFilesAreReinstalledAndRemoved)
{
    Forget(kDefDir, kAppName);
    RunDir run("silent-readonly");
    auto program = [](const char* text) {
        return inst::Program(InfText(1), kLicense,
                             {File("fixed.txt", wt::ToBytes(text), wt::DosDate(2021, 3, 4),
                                   wt::DosTime(12, 0, 0), 0x21)});
    };
    std::string file = std::string(kDefDir) + "\\fixed.txt";
    REQUIRE(run.Write(program("first\r\n")));
    CHECK_EQ(RunSetup(run, "/S").exitCode, kDone);
    CHECK(wt::Attributes(file) & FILE_ATTRIBUTE_READONLY);
    REQUIRE(run.Write(program("second\r\n")));
    CHECK_EQ(RunSetup(run, "/S").exitCode, kDone);
    CHECK(wt::ReadBytes(file) == wt::ToBytes("second\r\n"));
    CHECK(wt::Attributes(file) & FILE_ATTRIBUTE_READONLY);
    CHECK_EQ(QuietUninstall(kDefDir).exitCode, kDone);
    CHECK(!wt::Exists(kDefDir));
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kAppName)));
}

// Every step after the files decides a silent run's exit code: a log that
// cannot be put in place (a folder of its name is there) is no success.
WTEST(LogThatCannotBePlacedIsAFailure)
{
    Forget(kDefDir, kAppName);
    RunDir run("silent-nolog");
    REQUIRE(run.Write(inst::Program(InfText(2), kLicense, TwoFiles())));
    REQUIRE(wt::FreshDir("silent-default") == kDefDir);
    REQUIRE(CreateDirectoryA((std::string(kDefDir) + "\\Uninstal.inf").c_str(), nullptr));
    CHECK_EQ(RunSetup(run, "/S").exitCode, kIncomplete);
    Forget(kDefDir, kAppName);
}

// A log of up to 30 records is, byte for byte, the log the single-record
// writes of earlier setup programs made: the same packed file with the
// same [Uninstall] keys and values in the same order.
WTEST(ShortLogIsAsEarlierProgramsWroteIt)
{
    Forget(kDefDir, kAppName);
    RunDir run("silent-shortlog");
    REQUIRE(run.Write(inst::Program(InfText(2), kLicense, TwoFiles())));
    CHECK_EQ(RunSetup(run, "/S").exitCode, kDone);
    std::string log = std::string(kDefDir) + "\\Uninstal.inf";
    std::string expected = run.dir + "\\expected.inf";
    REQUIRE(wt::WriteBytes(expected, wt::ToBytes(InfText(2))));
    std::string d = kDefDir;
    std::string linkDir = wt::IniValue(log, "Uninstall", "linkdir");
    const std::pair<const char*, std::string> records[] = {
        {"filea", d + "\\one.txt"},      {"fileb", d + "\\sub\\two.bin"},
        {"filec", d + "\\License.txt"},  {"filed", d + "\\Uninstal.inf"},
        {"dir", d},                      {"linkdir", linkDir},
        {"filee", linkDir + "\\One.lnk"}};
    for (const auto& [key, value] : records)
        WritePrivateProfileStringA("Uninstall", key, value.c_str(), expected.c_str());
    CHECK(wt::ReadBytes(log) == wt::ReadBytes(expected));
    Forget(kDefDir, kAppName);
}
