// Bad inputs met by the real setup program, run the way a person runs it:
// damaged and hostile setup programs, targets that cannot be replaced, odd
// setup information files and uninstall logs. Each case checks what the
// user sees (the boxes), the exit code and what is left on disk: files the
// package did not own stay as they were, nothing lands outside the install
// directory, no half-written file stays behind, and no record is kept for
// a file that was refused. docs/BAD-INPUTS.md lists the cases.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>

#include "archive.h"
#include "install_steps.h"
#include "seal.h"
#include "testutil.h"
#include "uidriver.h"
#include "wtest.h"

namespace {

const char kAppDir[] = "C:\\wtest\\bad-app";
const char kAppName[] = "Bad Inputs";
const char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bad Inputs";
const char kLicenseText[] = "Bad inputs license\r\n";

wt::Bytes Data(const std::string& text) { return wt::ToBytes(text); }

wt::Bytes Entry(const std::string& name, const wt::Bytes& data, std::uint8_t attributes = 0x20)
{
    archive::EntrySpec wanted;
    wanted.name = name;
    wanted.data = data;
    wanted.dosDate = wt::DosDate(2022, 6, 1);
    wanted.dosTime = wt::DosTime(9, 0, 0);
    wanted.attributes = attributes;
    return archive::MakeEntry(wanted);
}

void PutLe32(wt::Bytes& bytes, size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The entry cut to `size` bytes, its length field made to match: the
// stream runs out before decodedSize bytes are produced.
wt::Bytes CutStream(wt::Bytes entry, size_t size)
{
    entry.resize(size);
    PutLe32(entry, 4, static_cast<std::uint32_t>(size));
    return entry;
}

// decodedSize raised far beyond what the stream holds.
wt::Bytes Overclaimed(wt::Bytes entry, size_t nameLength)
{
    PutLe32(entry, 14 + nameLength, 0x40000000u);
    return entry;
}

std::string Inf(const std::string& installSection)
{
    return installSection + "\r\n[Copymode]\r\nfilea=1\r\nfileb=1\r\nfilec=1\r\n";
}

std::string Install(int fileNum, const std::string& defDir = kAppDir)
{
    return "[Install]\r\nDefDir=" + defDir + "\r\nAppName=" + kAppName +
           "\r\nAppBy=by the catalogue\r\nCompReg=Bad Co\r\nVerNum=1\r\nFileNum=" +
           std::to_string(fileNum) + "\r\n";
}

std::string WindowsDir()
{
    char dir[MAX_PATH] = "";
    GetWindowsDirectoryA(dir, sizeof dir);
    return dir;
}

std::string Uninstaller() { return WindowsDir() + "\\Duvedozi.exe"; }
// The Start-menu folder in a default prefix: below the shell's Programs
// folder for all users.
std::string LinkDir()
{
    char programs[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
    return std::string(programs) + "\\" + kAppName;
}

bool KeyExists(HKEY root, const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SetKey(HKEY root, const char* path, const char* name, const char* data)
{
    HKEY key;
    RegCreateKeyExA(root, path, 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0);
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)data, lstrlenA(data) + 1);
    RegCloseKey(key);
}

// Everything under `dir`, relative names, sorted ("sub\\" for a folder).
std::vector<std::string> Tree(const std::string& dir, const std::string& prefix = "")
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            names.push_back(prefix + name + "\\");
            for (const std::string& inner : Tree(dir + "\\" + name, prefix + name + "\\"))
                names.push_back(inner);
        } else {
            names.push_back(prefix + name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Join(const std::vector<std::string>& parts)
{
    std::string all;
    for (const std::string& part : parts) all += (all.empty() ? "" : ",") + part;
    return all;
}

// The [Uninstall] keys of an INI file, in file order.
std::string UninstallKeys(const std::string& path)
{
    std::vector<char> buffer(8192, '\0');
    DWORD n = GetPrivateProfileStringA("Uninstall", nullptr, "", buffer.data(),
                                       static_cast<DWORD>(buffer.size()), path.c_str());
    std::vector<std::string> keys;
    for (DWORD i = 0; i < n && buffer[i];) {
        keys.push_back(buffer.data() + i);
        i += static_cast<DWORD>(keys.back().size()) + 1;
    }
    return Join(keys);
}

// A setup program (the stub and `payload`) as C:\wtest\<name>\setup.exe.
struct Package {
    std::string dir, setup, inf, license;
};

Package WriteSetup(const std::string& name, const wt::Bytes& payload)
{
    Package p;
    p.dir = wt::FreshDir(name);
    p.setup = p.dir + "\\setup.exe";
    p.inf = p.dir + "\\Uninstal.inf";
    p.license = p.dir + "\\License.txt";
    wt::WriteBytes(p.setup, wt::Concat(wt::ReadBytes(wt::StubPath()), payload));
    return p;
}

wt::Bytes Payload(const std::string& inf, const std::vector<wt::Bytes>& files,
                  const std::string& license = kLicenseText)
{
    wt::Bytes payload = wt::Concat(Entry("setup.inf", Data(inf)), Entry("license.txt", Data(license)));
    for (const wt::Bytes& file : files) payload = wt::Concat(payload, file);
    return payload;
}

bool IsBox(const ui::Box& box, const char* caption, const char* text)
{
    return box.caption == caption && box.text == text && box.buttons == std::vector<int>{IDOK};
}
bool IsFileError(const ui::Box& box) { return IsBox(box, "ZOZurer", "File Error!"); }
bool IsSetupError(const ui::Box& box) { return IsBox(box, "Setup Error", "Setup Error!"); }

// Whatever an earlier run may have left: the install directory, the
// Start-menu folder, the uninstall entry and the uninstaller; and a
// Windows 95 layout's folder, so that the prefix has its default layout.
void ForgetInstallation()
{
    wt::RemoveTree(WindowsDir() + "\\Start Menu");
    wt::RemoveTree(kAppDir);
    wt::RemoveTree(LinkDir());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
    DeleteFileA(Uninstaller().c_str());
}

// Nothing of the installation proper: no uninstaller, no uninstall entry,
// no Start-menu folder.
void CheckNotRegistered()
{
    CHECK(!wt::Exists(Uninstaller()));
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    CHECK(!wt::Exists(LinkDir()));
}

HWND CurrentPage(HWND sheet)
{
    DWORD_PTR page = 0;
    SendMessageTimeoutA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 5000, &page);
    return reinterpret_cast<HWND>(page);
}

// One run through the installer as a user makes it: Yes to the question,
// Next, Accept, the destination (typed when `destination` is given), Next,
// Finish; then every box that follows is read and answered with OK. The
// closing message's clean-up timer is fired early.
struct InstallRun {
    bool finished = false; // got as far as the Finish button
    std::string question, questionCaption, license;
    std::vector<ui::Box> boxes; // after Finish
    bool exited = false;
    DWORD exitCode = 1;
};

InstallRun DriveInstall(const Package& p, const char* destination = nullptr)
{
    InstallRun run;
    ui::Process process;
    if (!ui::Start(process, wt::Quote(p.setup), p.dir)) return run;
    HWND box = ui::WaitMessageBox(process, "previous version", 30000);
    HWND sheet = nullptr;
    if (box) {
        ui::Box question = ui::ReadBox(box);
        run.question = question.text;
        run.questionCaption = question.caption;
        ui::Press(box, IDYES);
        sheet = ui::WaitWindow(process, nullptr, "Welcome to Setup", nullptr, 30000);
    }
    HWND license = nullptr;
    if (sheet) {
        ui::PressWizard(sheet, PSBTN_NEXT);
        license = ui::WaitWindow(process, nullptr, "Software License Agreement", nullptr, 30000);
    }
    HWND where = nullptr;
    if (license) {
        run.license = ui::ItemText(license, 1010);
        ui::Press(license, 101);
        where = ui::WaitWindow(process, nullptr, "Where to install?", nullptr, 30000);
    }
    HWND finish = nullptr;
    if (where) {
        if (destination) ui::SetItemText(CurrentPage(sheet), 1024, destination);
        ui::PressWizard(sheet, PSBTN_NEXT);
        finish = ui::WaitWindow(process, nullptr, nullptr, "is ready to finish", 30000);
    }
    if (!finish) {
        ui::Note("stuck before Finish: %s", ui::DescribeWindows(process).c_str());
        ui::Kill(process);
        return run;
    }
    run.finished = true;
    ui::PressWizard(sheet, PSBTN_FINISH);

    std::vector<HWND> answered{sheet};
    DWORD start = GetTickCount();
    while (ui::IsRunning(process) && GetTickCount() - start < 90000) {
        for (HWND window : ui::TopWindows(process)) {
            if (ui::ClassName(window) != "#32770" ||
                std::find(answered.begin(), answered.end(), window) != answered.end())
                continue;
            ui::Box seen = ui::ReadBox(window);
            if (seen.buttons.empty()) continue;
            ui::Note("box: caption \"%s\", text \"%s\"", seen.caption.c_str(), seen.text.c_str());
            run.boxes.push_back(seen);
            answered.push_back(window);
            ui::Press(window, IDOK);
            if (seen.caption == "Setup Complete") {
                HWND backdrop = ui::WaitWindow(process, "SetupWClass", "cleaning up", nullptr, 30000);
                if (backdrop) PostMessageA(backdrop, WM_TIMER, 1, 0);
            }
        }
        Sleep(50);
    }
    run.exited = ui::WaitExit(process, 10000, &run.exitCode);
    ui::Kill(process);
    return run;
}

// The run failed on one application file: "File Error!", then "Setup
// Error!"; the program ended with 0 and did not register anything.
void CheckFailedOnAFile(const InstallRun& run)
{
    REQUIRE(run.finished);
    REQUIRE(run.boxes.size() == 2u);
    CHECK(IsFileError(run.boxes[0]));
    CHECK(IsSetupError(run.boxes[1]));
    CHECK(run.exited);
    CHECK_EQ(run.exitCode, 0ul);
    CheckNotRegistered();
}

// The uninstaller run on `log`; the question is answered Yes. Returns the
// question's text and the closing text.
struct UninstallRun {
    std::string question, closing;
    bool exited = false;
    DWORD exitCode = 1;
};

UninstallRun RunUninstaller(const std::string& dir, const std::string& log)
{
    UninstallRun run;
    std::string program = dir + "\\Duvedozi.exe";
    CopyFileA(wt::StubPath().c_str(), program.c_str(), FALSE);
    wt::RunResult result = wt::RunProgram(wt::Quote(program) + " " + log, dir, {IDYES}, 30000);
    if (result.boxes.size() > 0) run.question = result.boxes[0].text;
    if (result.boxes.size() > 1) run.closing = result.boxes[1].text;
    CHECK_EQ(result.boxes.size(), 2u);
    run.exited = result.exited;
    run.exitCode = result.exitCode;
    DeleteFileA(program.c_str());
    return run;
}

} // namespace

// ---------------------------------------------------------------------------
// The setup program itself cut short or damaged before the wizard.

WTEST(SetupProgramCutInsideTheStub)
{
    wt::Bytes stub = wt::ReadBytes(wt::StubPath());
    wt::Bytes payload = Payload(Inf(Install(0)), {});
    // Inside the executable image: the platform refuses to start it.
    {
        Package p = WriteSetup("bad-cut-image", {});
        wt::WriteBytes(p.setup, wt::Bytes(stub.begin(), stub.begin() + 12000));
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        std::string command = wt::Quote(p.setup);
        BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                                      nullptr, p.dir.c_str(), &startup, &info);
        ui::Note("image cut: started %d, error %lu", started, GetLastError());
        if (started) {
            // Should the platform start it after all, it must end by itself.
            CHECK(WaitForSingleObject(info.hProcess, 30000) == WAIT_OBJECT_0);
            TerminateProcess(info.hProcess, 1);
            CloseHandle(info.hProcess);
            CloseHandle(info.hThread);
        }
        CHECK_EQ(Join(Tree(p.dir)), "setup.exe");
    }
    // Behind the image, inside the padding, and right before the LF: the
    // program runs, finds no archive and ends without a word.
    for (size_t size : {size_t(STUB_FILE_SIZE - 12), size_t(STUB_FILE_SIZE - 1)}) {
        Package p = WriteSetup("bad-cut-pad", {});
        wt::WriteBytes(p.setup, wt::Bytes(stub.begin(), stub.begin() + size));
        wt::WriteBytes(p.inf, Data("[Install]\r\nAppName=Someone else's\r\n"));
        wt::RunResult run = wt::RunProgram(wt::Quote(p.setup), p.dir, {}, 30000);
        CHECK(run.exited);
        CHECK_EQ(run.exitCode, 0ul);
        CHECK(run.boxes.empty());
        CHECK_EQ(Join(Tree(p.dir)), "Uninstal.inf,setup.exe");
        CHECK(wt::ReadBytes(p.inf) == Data("[Install]\r\nAppName=Someone else's\r\n"));
    }
}

// Entry 1 cut by the end of the file, with length 0, or with a length
// beyond the file: "File Error!", and the files of those names that were
// there before keep their bytes.
WTEST(BrokenFirstEntryShowsFileErrorAndKeepsTheOldFiles)
{
    wt::Bytes entry1 = Entry("setup.inf", Data(Inf(Install(0))));
    wt::Bytes zero = entry1;
    PutLe32(zero, 4, 0);
    wt::Bytes past = entry1;
    PutLe32(past, 4, static_cast<std::uint32_t>(entry1.size() + 100));
    struct Case {
        const char* label;
        wt::Bytes payload;
    } cases[] = {
        {"cut inside entry 1", wt::Bytes(entry1.begin(), entry1.begin() + entry1.size() / 2)},
        {"entryLength 0", wt::Concat(zero, Entry("license.txt", Data(kLicenseText)))},
        {"length past the end", past},
        {"stream cut short", CutStream(entry1, entry1.size() - 8)},
        {"decoded size far too large", Overclaimed(entry1, 9)},
    };
    for (const Case& c : cases) {
        ui::Note("case: %s", c.label);
        Package p = WriteSetup("bad-entry1", c.payload);
        wt::WriteBytes(p.inf, Data("old inf"));
        wt::WriteBytes(p.license, Data("old license"));
        wt::RunResult run = wt::RunProgram(wt::Quote(p.setup), p.dir, {}, 30000);
        CHECK(run.exited);
        CHECK_EQ(run.exitCode, 0ul);
        REQUIRE(run.boxes.size() == 1u);
        CHECK(IsFileError(run.boxes[0]));
        CHECK(wt::ReadBytes(p.inf) == Data("old inf"));
        CHECK(wt::ReadBytes(p.license) == Data("old license"));
        CHECK_EQ(Join(Tree(p.dir)), "License.txt,Uninstal.inf,setup.exe");
    }
}

// Entry 2 broken: "File Error!"; entry 1 was written (and stays, as on any
// early end), the old license keeps its bytes.
WTEST(BrokenLicenseEntryShowsFileErrorAndKeepsTheOldLicense)
{
    wt::Bytes entry2 = Entry("license.txt", wt::Noise(9000, 5));
    for (const wt::Bytes& bad : {CutStream(entry2, entry2.size() / 2), Overclaimed(entry2, 11)}) {
        Package p = WriteSetup("bad-entry2", wt::Concat(Entry("setup.inf", Data(Inf(Install(0)))), bad));
        wt::WriteBytes(p.license, Data("old license"));
        wt::RunResult run = wt::RunProgram(wt::Quote(p.setup), p.dir, {}, 30000);
        CHECK(run.exited);
        CHECK_EQ(run.exitCode, 0ul);
        REQUIRE(run.boxes.size() == 1u);
        CHECK(IsFileError(run.boxes[0]));
        CHECK(wt::ReadBytes(p.license) == Data("old license"));
        CHECK_EQ(wt::IniValue(p.inf, "Install", "AppName"), kAppName);
        CHECK_EQ(Join(Tree(p.dir)), "License.txt,Uninstal.inf,setup.exe");
    }
}

// A package without entry 2: the program ends silently after entry 1.
WTEST(MissingLicenseEndsSilently)
{
    Package p = WriteSetup("bad-nolicense", Entry("setup.inf", Data(Inf(Install(0)))));
    wt::RunResult run = wt::RunProgram(wt::Quote(p.setup), p.dir, {}, 30000);
    CHECK(run.exited);
    CHECK_EQ(run.exitCode, 0ul);
    CHECK(run.boxes.empty());
    CHECK_EQ(Join(Tree(p.dir)), "Uninstal.inf,setup.exe");
}

// An empty license: the dialog shows an empty text, Accept goes on, and
// the installation completes with an empty License.txt.
WTEST(EmptyLicenseIsShownEmptyAndInstalled)
{
    ForgetInstallation();
    Package p = WriteSetup("bad-emptylicense",
                           Payload(Inf(Install(1)), {Entry("readme.txt", Data("read me"))}, ""));
    InstallRun run = DriveInstall(p);
    REQUIRE(run.finished);
    CHECK_EQ(run.license, "");
    REQUIRE(run.boxes.size() == 1u);
    CHECK_EQ(run.boxes[0].caption, "Setup Complete");
    CHECK(run.exited);
    CHECK_EQ(run.exitCode, 0ul);
    std::string app = kAppDir;
    CHECK_EQ(Join(Tree(kAppDir)), "License.txt,Uninstal.inf,readme.txt");
    CHECK_EQ(wt::FileSize(app + "\\License.txt"), std::uint64_t(0));
    CHECK_EQ(Join(Tree(p.dir)), "setup.exe");
    ForgetInstallation();
}

// ---------------------------------------------------------------------------
// Application files that fail during the installation.

// The program file ends inside the second application file: the whole run
// is taken back - the first file goes again, no record, no install
// directory, nothing half-written, and the copies beside the program go.
WTEST(SetupProgramCutInsideAnApplicationFile)
{
    ForgetInstallation();
    wt::Bytes second = Entry("sub\\data.bin", wt::Noise(20000, 7));
    wt::Bytes payload = Payload(Inf(Install(2)), {Entry("readme.txt", Data("read me\r\n"))});
    payload = wt::Concat(payload, wt::Bytes(second.begin(), second.begin() + second.size() / 2));
    Package p = WriteSetup("bad-cut-file", payload);
    InstallRun run = DriveInstall(p);
    CheckFailedOnAFile(run);
    CHECK(!wt::Exists(kAppDir));
    CHECK_EQ(Join(Tree(p.dir)), "setup.exe");
    ForgetInstallation();
}

// A damaged application file over a file the user already has: the old
// file keeps its bytes, and no temporary file stays. The sound file before
// it, which replaced an older one, is taken back too: the older one is
// there again.
WTEST(DamagedApplicationFileKeepsTheFileItWouldReplace)
{
    std::string app = kAppDir;
    wt::Bytes good = Entry("readme.txt", Data("new readme\r\n"));
    wt::Bytes data = Entry("data.bin", wt::Noise(20000, 9));
    for (const wt::Bytes& bad : {CutStream(data, data.size() - 40), Overclaimed(data, 8)}) {
        ForgetInstallation();
        CreateDirectoryA(kAppDir, nullptr);
        wt::WriteBytes(app + "\\readme.txt", Data("old readme"));
        wt::WriteBytes(app + "\\data.bin", Data("the user's data"));
        Package p = WriteSetup("bad-damaged", Payload(Inf(Install(2)), {good, bad}));
        InstallRun run = DriveInstall(p);
        CheckFailedOnAFile(run);
        CHECK(wt::ReadBytes(app + "\\readme.txt") == Data("old readme"));
        CHECK(wt::ReadBytes(app + "\\data.bin") == Data("the user's data"));
        CHECK_EQ(Join(Tree(kAppDir)), "data.bin,readme.txt");
        CHECK_EQ(UninstallKeys(p.inf), "");
    }
    ForgetInstallation();
}

// Stored names that would leave the install directory or are no file
// names: refused before anything is written or recorded.
WTEST(HostileStoredNamesAreRefusedDuringTheInstallation)
{
    CreateDirectoryA("C:\\wtest", nullptr);
    wt::WriteBytes("C:\\wtest\\victim.txt", Data("keep me"));
    for (std::string name : {"..\\victim.txt", "C:\\wtest\\victim.txt", "\\wtest\\victim.txt",
                             "victim.txt:stream", "victim\r\n.txt", "sub\\..\\..\\victim.txt"}) {
        ui::Note("name: %s", name.c_str());
        ForgetInstallation();
        Package p = WriteSetup("bad-name", Payload(Inf(Install(2)),
                                                   {Entry("readme.txt", Data("read me")),
                                                    Entry(name, Data("overwritten!"))}));
        InstallRun run = DriveInstall(p);
        CheckFailedOnAFile(run);
        CHECK(wt::ReadBytes("C:\\wtest\\victim.txt") == Data("keep me"));
        CHECK(!wt::Exists("C:\\victim.txt"));
        CHECK(!wt::Exists(kAppDir));
        CHECK_EQ(UninstallKeys(p.inf), "");
    }
    DeleteFileA("C:\\wtest\\victim.txt");
    ForgetInstallation();
}

// A stored name that makes the path longer than 255 characters.
WTEST(NameThatMakesThePathTooLongIsRefused)
{
    ForgetInstallation();
    std::string deep = std::string(kAppDir) + "\\" + std::string(200, 'd');
    std::string name(255 - deep.size(), 'n'); // one more than fits
    Package p = WriteSetup("bad-long", Payload(Inf(Install(2, deep)),
                                               {Entry("readme.txt", Data("read me")),
                                                Entry(name, Data("too long"))}));
    InstallRun run = DriveInstall(p);
    CheckFailedOnAFile(run);
    CHECK(!wt::Exists(kAppDir));
    CHECK_EQ(UninstallKeys(p.inf), "");
    ForgetInstallation();
}

// A file whose folder leaves no room for a temporary name beside it (the
// folder's path 250 characters long, below an install directory of the
// longest kind): it is written in place, whole, and a file already there
// is replaced.
WTEST(FileNearTheLengthLimitIsWrittenInPlace)
{
    ForgetInstallation();
    std::string dir = std::string(kAppDir) + "\\" + std::string(242 - 17, 'd');
    REQUIRE(dir.size() == 242u);
    std::string deep = dir + "\\sub4567";
    REQUIRE(deep.size() == 250u);
    CreateDirectoryA(kAppDir, nullptr);
    CreateDirectoryA(dir.c_str(), nullptr);
    CreateDirectoryA(deep.c_str(), nullptr);
    wt::WriteBytes(deep + "\\abd", Data("older"));
    wt::Bytes data = wt::Noise(9000, 13);
    Package p = WriteSetup("bad-limit", Payload(Inf(Install(2, dir)),
                                                {Entry("sub4567\\abc", data),
                                                 Entry("sub4567\\abd", Data("newer"))}));
    InstallRun run = DriveInstall(p);
    REQUIRE(run.finished);
    REQUIRE(run.boxes.size() == 1u);
    CHECK_EQ(run.boxes[0].caption, "Setup Complete");
    CHECK(wt::ReadBytes(deep + "\\abc") == data);
    CHECK(wt::ReadBytes(deep + "\\abd") == Data("newer"));
    CHECK(Join(Tree(deep)).find('~') == std::string::npos);
    CHECK(wt::ReadBytes(dir + "\\License.txt") == Data(kLicenseText));
    ForgetInstallation();
}

// An install directory so long that the license's and the log's paths
// would not fit (250 characters): it is refused on the destination page,
// before anything is written; the application files "Lice" and "Unin" a
// cut path would have named never come into question.
WTEST(InstallDirectoryTooLongForItsLogIsRefused)
{
    ForgetInstallation();
    std::string deep = std::string(kAppDir) + "\\" + std::string(250 - 17, 'd');
    REQUIRE(deep.size() == 250u);
    Package p = WriteSetup("bad-cutpaths", Payload(Inf(Install(2, deep)),
                                                   {Entry("Lice", Data("application Lice")),
                                                    Entry("Unin", Data("application Unin"))}));
    inst::RunDir run("bad-cutpaths-run");
    wt::Bytes program = wt::ReadBytes(p.setup);
    REQUIRE(run.Write(program));
    inst::Session session;
    REQUIRE(session.Start(run));
    HWND sheet = nullptr;
    REQUIRE(inst::ReachDestination(session.process, &sheet) || session.Fail());
    CHECK_EQ(ui::ItemText(inst::CurrentPage(sheet), 1024), deep);
    ui::PressWizard(sheet, PSBTN_NEXT);
    HWND box = ui::WaitMessageBox(session.process, "cannot install into this folder", 10000);
    REQUIRE(box != nullptr || session.Fail());
    ui::Press(box, IDOK);
    CHECK(inst::WaitPage(sheet, "Where to install?") != nullptr);
    ui::PressWizard(sheet, PSBTN_CANCEL);
    DWORD code = 1;
    CHECK(ui::WaitExit(session.process, 10000, &code));
    CHECK(!wt::Exists(deep));
    CHECK_EQ(Join(Tree(run.dir)), "setup.exe");
    ForgetInstallation();
}

// A disk that fills up while a file is written. Needs a small drive:
// WTEST_SMALL_DRIVE names its letter (run.sh maps "X:" to a 64 KB tmpfs in
// the prefix's dosdevices where it may mount one); without it the case is
// reported as skipped.
WTEST(FullDiskKeepsTheFileItWouldReplace)
{
    char drive[8] = "";
    if (!GetEnvironmentVariableA("WTEST_SMALL_DRIVE", drive, sizeof drive))
        SKIP("no small drive: WTEST_SMALL_DRIVE is not set (run.sh maps one "
             "where it may mount a tmpfs)");
    ForgetInstallation();
    std::string app = std::string(drive) + "\\app";
    wt::RemoveTree(app);
    CreateDirectoryA(app.c_str(), nullptr);
    wt::WriteBytes(app + "\\data.bin", Data("the user's data"));
    Package p = WriteSetup("bad-fulldisk",
                           Payload(Inf(Install(2, app)), {Entry("readme.txt", Data("read me")),
                                                          Entry("data.bin", wt::Noise(400000, 3))}));
    InstallRun run = DriveInstall(p);
    CheckFailedOnAFile(run);
    CHECK(wt::ReadBytes(app + "\\data.bin") == Data("the user's data"));
    CHECK_EQ(Join(Tree(app)), "data.bin");
    CHECK_EQ(UninstallKeys(p.inf), "");
    wt::RemoveTree(app);
    ForgetInstallation();
}

// FileNum larger than the archive: the files present are installed, then
// "Setup Error!" alone (the archive simply ends), and they are taken back.
WTEST(FileNumLargerThanTheArchive)
{
    ForgetInstallation();
    Package p = WriteSetup("bad-filenum", Payload(Inf(Install(3)),
                                                  {Entry("readme.txt", Data("read me"))}));
    InstallRun run = DriveInstall(p);
    REQUIRE(run.finished);
    REQUIRE(run.boxes.size() == 1u);
    CHECK(IsSetupError(run.boxes[0]));
    CHECK(run.exited);
    CHECK_EQ(run.exitCode, 0ul);
    CheckNotRegistered();
    CHECK(!wt::Exists(kAppDir));
    CHECK_EQ(UninstallKeys(p.inf), "");
    ForgetInstallation();
}

// ---------------------------------------------------------------------------
// Targets that cannot be replaced.

// Holds the file named by argv[1] open without any sharing until the
// file argv[2] appears (or a minute has passed).
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

// Holds the file named by argv[1] open for reading, sharing reading,
// writing and deletion with others, until the file argv[2] appears.
WTEST_CHILD(holdshared)
{
    if (argc < 3) return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    for (int i = 0; i < 1200 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    CloseHandle(file);
    return 0;
}

bool IsHeld(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return true;
    CloseHandle(file);
    return false;
}

WTEST(TargetHeldOpenByAnotherProgramStaysAsItWas)
{
    ForgetInstallation();
    std::string app = kAppDir, held = app + "\\readme.txt", release = "C:\\wtest\\bad-release";
    CreateDirectoryA(kAppDir, nullptr);
    wt::WriteBytes(held, Data("in use"));
    DeleteFileA(release.c_str());
    ui::Process holder;
    REQUIRE(ui::Start(holder, wtest::ChildCommand("hold") + " " + held + " " + release));
    for (int i = 0; i < 200 && !IsHeld(held); ++i) Sleep(50);
    REQUIRE(IsHeld(held));

    Package p = WriteSetup("bad-held", Payload(Inf(Install(1)), {Entry("readme.txt", Data("new"))}));
    InstallRun run = DriveInstall(p);
    wt::WriteBytes(release, Data("done"));
    ui::WaitExit(holder, 10000);
    ui::Kill(holder);
    DeleteFileA(release.c_str());

    CheckFailedOnAFile(run);
    CHECK(wt::ReadBytes(held) == Data("in use"));
    CHECK_EQ(Join(Tree(kAppDir)), "readme.txt");
    CHECK_EQ(UninstallKeys(p.inf), "");
    ForgetInstallation();
}

// A file another program holds open while sharing deletion: deleting it
// only marks it, its name stays until that program lets go, so a new file
// cannot be moved onto a deleted one. The old file is moved aside instead,
// the new one takes its place, and once the other program lets go only the
// new file is left: the installation succeeds and nothing is lost.
WTEST(TargetHeldOpenWithDeleteSharingIsReplaced)
{
    ForgetInstallation();
    std::string app = kAppDir, held = app + "\\readme.txt", release = "C:\\wtest\\bad-release2";
    CreateDirectoryA(kAppDir, nullptr);
    wt::WriteBytes(held, Data("old readme"));
    DeleteFileA(release.c_str());
    ui::Process holder;
    REQUIRE(ui::Start(holder, wtest::ChildCommand("holdshared") + " " + held + " " + release));
    Sleep(1000);
    REQUIRE(ui::IsRunning(holder));

    Package p = WriteSetup("bad-heldshared",
                           Payload(Inf(Install(1)), {Entry("readme.txt", Data("new readme"))}));
    InstallRun run = DriveInstall(p);
    wt::WriteBytes(release, Data("done"));
    ui::WaitExit(holder, 10000);
    ui::Kill(holder);
    DeleteFileA(release.c_str());

    REQUIRE(run.finished);
    REQUIRE(run.boxes.size() == 1u);
    CHECK_EQ(run.boxes[0].caption, "Setup Complete");
    CHECK(wt::ReadBytes(held) == Data("new readme"));
    CHECK_EQ(Join(Tree(kAppDir)), "License.txt,Uninstal.inf,readme.txt");
    CHECK_EQ(wt::IniValue(app + "\\Uninstal.inf", "Uninstall", "filea"), held);
    ForgetInstallation();
}

// A read-only file where an application file goes. Windows refuses to
// delete or overwrite it; so does Wine, which keeps the read-only bit as
// the file's write permission and checks it itself even for root.
WTEST(ReadOnlyTargetStaysAsItWas)
{
    ForgetInstallation();
    std::string app = kAppDir, target = app + "\\readme.txt";
    CreateDirectoryA(kAppDir, nullptr);
    wt::WriteBytes(target, Data("read-only"));
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    Package p = WriteSetup("bad-readonly", Payload(Inf(Install(1)), {Entry("readme.txt", Data("new"))}));
    InstallRun run = DriveInstall(p);
    ui::Note("read-only refuses writes here: %d", wt::ReadOnlyEnforced());
    CheckFailedOnAFile(run);
    CHECK(wt::ReadBytes(target) == Data("read-only"));
    CHECK(wt::Attributes(target) & FILE_ATTRIBUTE_READONLY);
    CHECK_EQ(Join(Tree(kAppDir)), "readme.txt");
    CHECK_EQ(UninstallKeys(p.inf), "");
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    ForgetInstallation();
}

// ---------------------------------------------------------------------------
// Archives made elsewhere: more application files than the [Uninstall]
// letters hold (mksetup refuses more than 157).

// 159 files, which once filled the letters "a" to 0xFF: now the records
// go on past the 30th under "file31", "file32", ..., none of them a
// letter past "~"; the license, the log and the shortcut are recorded
// after them, and the uninstaller removes everything.
WTEST(LongSeriesGoesOnPastTheLetters)
{
    ForgetInstallation();
    std::vector<wt::Bytes> files;
    std::vector<std::string> names;
    for (int i = 0; i < 159; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "f%03d", i);
        names.push_back(name);
        files.push_back(Entry(name, Data(name)));
    }
    Package p = WriteSetup("bad-letters",
                           Payload(Install(159) + "[Links]\r\nlinka=f000\r\nlinkfilea=F.lnk\r\n",
                                   files));
    InstallRun run = DriveInstall(p);
    REQUIRE(run.finished);
    REQUIRE(run.boxes.size() == 1u);
    CHECK_EQ(run.boxes[0].caption, "Setup Complete");
    std::string app = kAppDir, log = app + "\\Uninstal.inf";
    REQUIRE(wt::Exists(log));
    for (int i = 0; i < 159; ++i) {
        std::string key = i < 30 ? std::string("file") + char('a' + i)
                                 : "file" + std::to_string(i + 1);
        CHECK_EQ(wt::IniValue(log, "Uninstall", key), app + "\\" + names[i]);
    }
    CHECK_EQ(wt::IniValue(log, "Uninstall", "file\x7F"), "");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "file160"), app + "\\License.txt");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "file161"), log);
    CHECK_EQ(wt::IniValue(log, "Uninstall", "file162"), LinkDir() + "\\F.lnk");
    CHECK(wt::Exists(LinkDir() + "\\F.lnk"));

    UninstallRun removal = RunUninstaller(p.dir, log);
    CHECK_EQ(removal.closing, std::string(kAppName) + " has been uninstalled.");
    CHECK(!wt::Exists(kAppDir));
    CHECK(!wt::Exists(LinkDir()));
    ForgetInstallation();
}

// ---------------------------------------------------------------------------
// Setup information files that say too little.

WTEST(NoInstallSection)
{
    ForgetInstallation();
    Package p = WriteSetup("bad-noinstall", Payload("[Links]\r\n", {Entry("readme.txt", Data("x"))}));
    wt::RunResult no = wt::RunProgram(wt::Quote(p.setup), p.dir, {IDNO}, 30000);
    CHECK(no.exited);
    CHECK_EQ(no.exitCode, 0ul);
    REQUIRE(no.boxes.size() == 1u);
    CHECK_EQ(no.boxes[0].caption, " Setup");
    CHECK_EQ(no.boxes[0].text, "If you have a previous version of  running,\n"
                               "you must exit it before running this setup program.  Continue?");
    CHECK_EQ(Join(Tree(p.dir)), "setup.exe");
}

// Driven to the end, the empty DefDir leaves the destination empty and the
// installation works on the drive's root (with no FileNum it places no
// application file): a user's License.txt and Uninstal.inf there are not
// replaced, and no uninstall entry is written for the empty name.
WTEST(NoInstallSectionDrivenToTheEnd)
{
    ForgetInstallation();
    const std::string license = "C:\\License.txt", log = "C:\\Uninstal.inf",
                      placed = "C:\\bad-root-file.txt";
    const std::string parent = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    wt::WriteBytes(license, Data("the user's own license"));
    wt::WriteBytes(log, Data("the user's own notes"));
    DeleteFileA(placed.c_str());
    Package p = WriteSetup("bad-noinstall-end",
                           Payload("[Links]\r\n", {Entry("bad-root-file.txt", Data("x"))}));
    // The empty DefDir is no install directory (the destination page says
    // so, test_install_pages): a folder is typed.
    wt::RemoveTree("C:\\wtest\\bad-noinstall-dir");
    InstallRun run = DriveInstall(p, "C:\\wtest\\bad-noinstall-dir");
    REQUIRE(run.finished);
    CHECK_EQ(run.questionCaption, " Setup");
    CHECK(wt::Exists("C:\\wtest\\bad-noinstall-dir\\License.txt"));
    CHECK(run.exited);
    CHECK(wt::ReadBytes(license) == Data("the user's own license"));
    CHECK(wt::ReadBytes(log) == Data("the user's own notes"));
    CHECK(!wt::Exists(placed)); // no FileNum: no application file
    HKEY key;
    REQUIRE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent.c_str(), 0, KEY_READ, &key) == 0);
    CHECK(RegQueryValueExA(key, "DisplayName", 0, 0, 0, 0) != 0);
    CHECK(RegQueryValueExA(key, "UninstallString", 0, 0, 0, 0) != 0);
    RegCloseKey(key);
    DeleteFileA(license.c_str());
    DeleteFileA(log.c_str());
    DeleteFileA(placed.c_str());
    wt::RemoveTree("C:\\wtest\\bad-noinstall-dir");
    ForgetInstallation();
}

// ---------------------------------------------------------------------------
// Uninstall logs that are missing or say too little or too much.

// A log without AppName: the recorded files go, but no registry entry is
// touched (an empty name would address the Uninstall key itself).
WTEST(UninstallLogWithoutAppName)
{
    std::string dir = wt::FreshDir("bad-unin-noname");
    std::string app = dir + "\\app", log = app + "\\Uninstal.inf";
    CreateDirectoryA(app.c_str(), nullptr);
    wt::WriteBytes(app + "\\a.exe", Data("a"));
    wt::WriteBytes(log, Data("[Install]\r\nCompReg=Bad Co\r\n[Uninstall]\r\ndir=" + app +
                             "\r\nfilea=" + app + "\\a.exe\r\nfileb=" + log + "\r\n"));
    const char other[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bad Other";
    SetKey(HKEY_LOCAL_MACHINE, other, "DisplayName", "Other - 1");
    UninstallRun run = RunUninstaller(dir, log);
    CHECK_EQ(run.question, "Are you sure you want to completely\nremove  from your computer?");
    CHECK_EQ(run.closing, " has been uninstalled.");
    CHECK(run.exited);
    CHECK_EQ(run.exitCode, 0ul);
    CHECK(!wt::Exists(app));
    CHECK(KeyExists(HKEY_LOCAL_MACHINE, other));
    CHECK(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, other);
    wt::RemoveTree(dir);
}

// "file" keys outside the install directory: the uninstaller deletes what
// the log names, and nothing else there - no sibling, no folder.
WTEST(UninstallLogNamingFilesOutsideTheInstallDirectory)
{
    std::string dir = wt::FreshDir("bad-unin-outside");
    std::string app = dir + "\\app", log = app + "\\Uninstal.inf", other = dir + "\\other";
    CreateDirectoryA(app.c_str(), nullptr);
    CreateDirectoryA(other.c_str(), nullptr);
    CreateDirectoryA((other + "\\deep").c_str(), nullptr);
    wt::WriteBytes(app + "\\a.exe", Data("a"));
    wt::WriteBytes(other + "\\deep\\named.txt", Data("named"));
    wt::WriteBytes(other + "\\deep\\sibling.txt", Data("sibling"));
    wt::WriteBytes(other + "\\empty-after.txt", Data("named too"));
    wt::WriteBytes(log, Data("[Install]\r\nAppName=Bad Outside\r\n[Uninstall]\r\ndir=" + app +
                             "\r\nfilea=" + app + "\\a.exe\r\nfileb=" + other +
                             "\\deep\\named.txt\r\nfilec=" + other + "\\deep\\..\\empty-after.txt" +
                             "\r\nfiled=" + log + "\r\n"));
    UninstallRun run = RunUninstaller(dir, log);
    CHECK_EQ(run.closing, "Bad Outside has been uninstalled.");
    CHECK(run.exited);
    CHECK_EQ(run.exitCode, 0ul);
    CHECK(!wt::Exists(app));
    CHECK_EQ(Join(Tree(other)), "deep\\,deep\\sibling.txt");
    wt::RemoveTree(dir);
}

// No log at the path given: nothing is removed (the question names no
// application; the closing line is the bare text).
WTEST(UninstallWithoutALogRemovesNothing)
{
    std::string dir = wt::FreshDir("bad-unin-nolog");
    std::string app = dir + "\\app";
    CreateDirectoryA(app.c_str(), nullptr);
    wt::WriteBytes(app + "\\a.exe", Data("a"));
    std::string program = dir + "\\Duvedozi.exe", log = app + "\\Uninstal.inf";
    CopyFileA(wt::StubPath().c_str(), program.c_str(), FALSE);
    wt::RunResult result = wt::RunProgram(wt::Quote(program) + " " + log, dir, {IDOK}, 30000);
    DeleteFileA(program.c_str());
    // One box naming the log; no question, no " has been uninstalled.".
    REQUIRE(result.boxes.size() == 1u);
    CHECK_EQ(result.boxes[0].text, "The uninstall log\n" + log + "\ncannot be read. Nothing was removed.");
    CHECK(result.exited);
    CHECK_EQ(result.exitCode, 0ul);
    CHECK_EQ(Join(Tree(dir)), "app\\,app\\a.exe");
    wt::RemoveTree(dir);
}

// A disk that the application files just fill: the license cannot follow
// them. That is no finished installation: "Setup Error!", no uninstall
// entry, and no empty license or log in the install directory.
WTEST(FullDiskAfterTheFilesIsNoSuccess)
{
    char drive[8] = "";
    if (!GetEnvironmentVariableA("WTEST_SMALL_DRIVE", drive, sizeof drive))
        SKIP("no small drive: WTEST_SMALL_DRIVE is not set");
    ForgetInstallation();
    std::string app = std::string(drive) + "\\full-app";
    wt::RemoveTree(app);
    // About 44 KB of the drive's 64 KB for the files, 24 KB of license.
    std::string license(24000, 'L');
    Package p = WriteSetup("bad-fulldisk-license", Payload(Inf(Install(1, app)),
                                                           {Entry("data.bin", wt::Noise(44000, 5))},
                                                           license));
    InstallRun run = DriveInstall(p);
    REQUIRE(run.finished);
    REQUIRE(run.boxes.size() == 1u);
    CHECK(IsSetupError(run.boxes[0]));
    CHECK(run.exited);
    CheckNotRegistered();
    CHECK(!wt::Exists(app + "\\License.txt"));
    CHECK(!wt::Exists(app + "\\Uninstal.inf"));
    wt::RemoveTree(app);
    ForgetInstallation();
}

// ---------------------------------------------------------------------------
// What a standard user cannot do to an elevated setup program: whatever
// its folder lets them change after the check does not steer what the
// setup program writes or deletes.

namespace {

std::string StartUpDir()
{
    char programs[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, programs, CSIDL_COMMON_PROGRAMS, FALSE);
    return std::string(programs) + "\\StartUp";
}

// The question is up, the wizard not yet: the moment the review used.
bool AtTheQuestion(inst::Session& session, const Package& p, HWND* box)
{
    if (!ui::Start(session.process, wt::Quote(p.setup), p.dir)) return false;
    *box = ui::WaitMessageBox(session.process, "previous version", 30000);
    return *box != nullptr;
}

// Yes to the question, then the rest as a person clicks it through.
bool FinishAfterTheQuestion(inst::Session& session, HWND box)
{
    ui::Press(box, IDYES);
    HWND sheet = ui::WaitWindow(session.process, nullptr, "Welcome to Setup", nullptr, 30000);
    if (!sheet || !inst::WaitPage(sheet, "Welcome to Setup")) return false;
    if (!inst::AcceptLicense(session.process, sheet)) return false;
    HWND done = inst::FinishWizard(session.process, sheet);
    if (!done) return false;
    ui::Press(done, IDOK);
    HWND backdrop = ui::WaitWindow(session.process, "SetupWClass", "cleaning up", nullptr, 30000);
    if (!backdrop) return false;
    PostMessageA(backdrop, WM_TIMER, 1, 0);
    DWORD code = 1;
    return ui::WaitExit(session.process, 30000, &code) && code == 0;
}

} // namespace

// The program is renamed and another put in its place while the question
// is shown: the file is held open without write or delete sharing, so
// neither succeeds, and what is installed, the uninstaller copy included,
// is the program that was checked.
WTEST(ProgramCannotBeSwappedAfterTheCheck)
{
    ForgetInstallation();
    DeleteFileA((WindowsDir() + "\\Duvedozi.exe").c_str());
    wt::Bytes sound = wt::Concat(wt::ReadBytes(wt::StubPath()),
                                 Payload(Inf(Install(1)), {Entry("readme.txt", Data("sound"))}));
    archive::Seal(sound);
    Package p = WriteSetup("bad-swap", {});
    REQUIRE(wt::WriteBytes(p.setup, sound));
    wt::Bytes other = wt::ReadBytes(wt::StubPath());
    other[100] ^= 0x55; // another stub: its copy would be another uninstaller
    other = wt::Concat(other, Payload(Inf(Install(1)), {Entry("planted.txt", Data("other"))}));

    inst::Session session;
    HWND box = nullptr;
    REQUIRE(AtTheQuestion(session, p, &box) || session.Fail());
    std::string moved = p.dir + "\\setup-checked.exe";
    BOOL renamed = MoveFileA(p.setup.c_str(), moved.c_str());
    HANDLE writer = CreateFileA(p.setup.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    CHECK(!renamed);
    CHECK(writer == INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    if (renamed) wt::WriteBytes(p.setup, other); // what the review did
    REQUIRE(FinishAfterTheQuestion(session, box) || session.Fail());

    CHECK(wt::ReadBytes(std::string(kAppDir) + "\\readme.txt") == Data("sound"));
    CHECK(!wt::Exists(std::string(kAppDir) + "\\planted.txt"));
    CHECK(wt::ReadBytes(WindowsDir() + "\\Duvedozi.exe") ==
          wt::Bytes(sound.begin(), sound.begin() + STUB_FILE_SIZE));
    ForgetInstallation();
}

// The setup information file beside the program is edited while the
// question is shown: a [Links] section that plants a shortcut in StartUp
// and overwrites a file outside, and an [Uninstall] record of a victim.
// The setup program works on its own copy, read at extraction: nothing
// planted, nothing outside touched, and the uninstaller removes only what
// this run installed.
WTEST(SetupInformationFileCannotBeChangedBehindItsBack)
{
    ForgetInstallation();
    std::string victim = "C:\\wtest\\bad-victim.txt", victim2 = "C:\\wtest\\bad-victim2.txt";
    REQUIRE(wt::WriteBytes(victim, Data("victim")));
    REQUIRE(wt::WriteBytes(victim2, Data("victim two")));
    std::string planted = StartUpDir() + "\\planted.lnk";
    DeleteFileA(planted.c_str());
    Package p = WriteSetup("bad-edit", Payload(Inf(Install(1)), {Entry("readme.txt", Data("r"))}));

    inst::Session session;
    HWND box = nullptr;
    REQUIRE(AtTheQuestion(session, p, &box) || session.Fail());
    wt::Bytes inf = wt::ReadBytes(p.inf);
    inf = wt::Concat(inf, Data("[Links]\r\nlinka=readme.txt\r\nlinkfilea=..\\StartUp\\planted.lnk\r\n"
                               "linkb=readme.txt\r\nlinkfileb=..\\..\\..\\..\\..\\wtest\\bad-victim.txt\r\n"
                               "[Uninstall]\r\nfilea=" + victim2 + "\r\n"));
    REQUIRE(wt::WriteBytes(p.inf, inf));
    REQUIRE(FinishAfterTheQuestion(session, box) || session.Fail());

    CHECK(!wt::Exists(planted));
    CHECK(wt::ReadBytes(victim) == Data("victim"));
    std::string log = std::string(kAppDir) + "\\Uninstal.inf";
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filea"), std::string(kAppDir) + "\\readme.txt");
    CHECK_EQ(wt::IniValue(log, "Links", "linka"), "");
    UninstallRun removal = RunUninstaller(p.dir, log);
    CHECK_EQ(removal.closing, std::string(kAppName) + " has been uninstalled.");
    CHECK(wt::ReadBytes(victim2) == Data("victim two"));
    CHECK(!wt::Exists(kAppDir));
    DeleteFileA(victim.c_str());
    DeleteFileA(victim2.c_str());
    ForgetInstallation();
}

// Shortcut names and targets that would leave their folders are passed
// over: no shortcut, no record, the victim as it was; the plain pair next
// to them is made.
WTEST(ShortcutsStayInTheirFolders)
{
    ForgetInstallation();
    std::string victim = "C:\\wtest\\bad-linkvictim.txt";
    REQUIRE(wt::WriteBytes(victim, Data("victim")));
    std::string startUp = StartUpDir() + "\\x.lnk";
    DeleteFileA(startUp.c_str());
    DeleteFileA("C:\\x.lnk");
    std::string links =
        "[Links]\r\nlinka=readme.txt\r\nlinkfilea=..\\StartUp\\x.lnk\r\n"
        "linkb=readme.txt\r\nlinkfileb=..\\..\\..\\..\\..\\wtest\\bad-linkvictim.txt\r\n"
        "linkc=readme.txt\r\nlinkfilec=C:\\x.lnk\r\n"
        "linkd=..\\..\\windows\\system32\\cmd.exe\r\nlinkfiled=Shell.lnk\r\n"
        "linke=readme.txt\r\nlinkfilee=Read me.lnk\r\n";
    Package p = WriteSetup("bad-links", Payload(Install(1) + links, {Entry("readme.txt", Data("r"))}));
    wt::RunResult run = wt::RunProgram(wt::Quote(p.setup) + " /S", p.dir, {}, 60000);
    CHECK(run.exited);
    CHECK_EQ(run.exitCode, 0ul);
    CHECK(!wt::Exists(startUp));
    CHECK(!wt::Exists("C:\\x.lnk"));
    CHECK(!wt::Exists(LinkDir() + "\\Shell.lnk"));
    CHECK(wt::ReadBytes(victim) == Data("victim"));
    CHECK(wt::Exists(LinkDir() + "\\Read me.lnk"));
    std::string log = std::string(kAppDir) + "\\Uninstal.inf";
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filed"), LinkDir() + "\\Read me.lnk");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filee"), "");
    DeleteFileA(victim.c_str());
    ForgetInstallation();
}
