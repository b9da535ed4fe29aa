// The setup program's install mode from start to end, driven the way a
// person would drive it: the question, the wizard's pages, the license
// dialog, the closing message and the clean-up timer. A small crafted
// package is installed under C:\wtest; the declines leave nothing behind.
#include <windows.h>
#include <commctrl.h>

#include "archive.h"
#include "testutil.h"
#include "uidriver.h"
#include "wtest.h"

namespace {

const char kAppDir[] = "C:\\wtest\\install-app";
const char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Wtest App";
const char kInfText[] =
    "[Install]\r\nDefDir=C:\\wtest\\install-app\r\nAppName=Wtest App\r\n"
    "AppBy=by the tests\r\nCompReg=Wtest Software\r\nVerNum=2.5\r\nFileNum=2\r\n"
    "\r\n[Links]\r\nlinka=readme.txt\r\nlinkfilea=Wtest Readme.lnk\r\n"
    "\r\n[Copymode]\r\nfilea=1\r\nfileb=1\r\n";
const char kLicenseText[] = "Wtest license, first line\r\nsecond line\r\n";
const char kReadme[] = "read me first\r\n";

wt::Bytes DataBytes()
{
    wt::Bytes data;
    for (int i = 0; i < 3000; ++i) data.push_back(static_cast<std::uint8_t>(i * 7 % 251));
    return data;
}

wt::Bytes Entry(const std::string& name, const wt::Bytes& data)
{
    archive::EntrySpec wanted;
    wanted.name = name;
    wanted.data = data;
    wanted.dosDate = wt::DosDate(2021, 3, 4);
    wanted.dosTime = wt::DosTime(12, 0, 0);
    wanted.attributes = 0x20;
    return archive::MakeEntry(wanted);
}

std::string WindowsDir()
{
    char dir[MAX_PATH] = "";
    GetWindowsDirectoryA(dir, sizeof dir);
    return dir;
}

std::string LinkDir() { return WindowsDir() + "\\Start Menu\\Programs\\Wtest App"; }

bool KeyExists(const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string KeyValue(const char* path, const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(no key)";
    char data[512] = "";
    DWORD size = sizeof data - 1, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(data) : "(no value)";
}

// Whatever an earlier run may have left: the install directory, the
// Start-menu folder and the uninstall entry.
void ForgetInstallation()
{
    wt::RemoveTree(kAppDir);
    wt::RemoveTree(LinkDir());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
}

// The setup program in a fresh C:\wtest\<name>; returns its path.
std::string WriteSetup(const std::string& name)
{
    std::string dir = wt::FreshDir(name);
    std::string setup = dir + "\\setup.exe";
    wt::Bytes program = wt::ReadBytes(wt::StubPath());
    program = wt::Concat(program, Entry("setup.inf", wt::ToBytes(kInfText)));
    program = wt::Concat(program, Entry("license.txt", wt::ToBytes(kLicenseText)));
    program = wt::Concat(program, Entry("readme.txt", wt::ToBytes(kReadme)));
    program = wt::Concat(program, Entry("sub\\data.bin", DataBytes()));
    return wt::WriteBytes(setup, program) ? setup : std::string();
}

// The key names of an INI section, in file order.
std::vector<std::string> SectionKeys(const std::string& path, const char* section)
{
    std::vector<char> buffer(8192, '\0');
    DWORD n = GetPrivateProfileStringA(section, nullptr, "", buffer.data(),
                                       static_cast<DWORD>(buffer.size()), path.c_str());
    std::vector<std::string> keys;
    for (DWORD i = 0; i < n;) {
        std::string key(buffer.data() + i);
        if (key.empty()) break;
        keys.push_back(key);
        i += static_cast<DWORD>(key.size()) + 1;
    }
    return keys;
}

std::string Join(const std::vector<std::string>& parts)
{
    std::string all;
    for (const std::string& part : parts) all += (all.empty() ? "" : ",") + part;
    return all;
}

HWND CurrentPage(HWND sheet)
{
    DWORD_PTR page = 0;
    SendMessageTimeoutA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 5000, &page);
    return reinterpret_cast<HWND>(page);
}

// Answers the question with Yes and waits for the wizard's first page.
HWND PassQuestion(ui::Process& process)
{
    HWND box = ui::WaitMessageBox(process, "previous version", 30000);
    if (!box) return nullptr;
    ui::Press(box, IDYES);
    return ui::WaitWindow(process, nullptr, "Welcome to Setup", nullptr, 30000);
}

struct RunDir {
    std::string setup, dir, inf, license;
    explicit RunDir(const std::string& name)
        : setup(WriteSetup(name)), dir("C:\\wtest\\" + name),
          inf(dir + "\\Uninstal.inf"), license(dir + "\\License.txt")
    {
    }
};

void CheckNothingInstalled(const RunDir& run)
{
    CHECK(!wt::Exists(run.inf));
    CHECK(!wt::Exists(run.license));
    CHECK(!wt::Exists(kAppDir));
    CHECK(!wt::Exists(LinkDir()));
    CHECK(!KeyExists(kUninstallKey));
}

} // namespace

WTEST(FullInstallOfASmallPackage)
{
    ForgetInstallation();
    std::string uninstaller = WindowsDir() + "\\Duvedozi.exe";
    DeleteFileA(uninstaller.c_str());
    RunDir run("install-run");
    REQUIRE(!run.setup.empty());
    ui::Process process;
    REQUIRE(ui::Start(process, wt::Quote(run.setup), run.dir));

    HWND box = ui::WaitMessageBox(process, "previous version", 30000);
    if (!box) ui::Note("%s", ui::DescribeWindows(process).c_str());
    if (!box) ui::Kill(process);
    REQUIRE(box != nullptr);
    ui::Box question = ui::ReadBox(box);
    CHECK_EQ(question.caption, "Wtest App Setup");
    CHECK_EQ(question.text, "If you have a previous version of Wtest App running,\n"
                            "you must exit it before running this setup program.  Continue?");
    ui::Press(box, IDYES);

    HWND sheet = ui::WaitWindow(process, nullptr, "Welcome to Setup", nullptr, 30000);
    if (!sheet) ui::Kill(process);
    REQUIRE(sheet != nullptr);
    HWND page = CurrentPage(sheet);
    CHECK_EQ(ui::ItemText(page, 1003),
             "Welcome to Wtest App Setup\n\nThis Setup program will install Wtest App "
             "on your computer.");
    CHECK_EQ(ui::ItemText(page, 1004),
             "To install Wtest App on your computer now, click Next or press Enter.\n\n"
             "To exit Setup without installing Wtest App, click Cancel at any time.");
    ui::PressWizard(sheet, PSBTN_NEXT);

    HWND license = ui::WaitWindow(process, nullptr, "Software License Agreement",
                                  "Wtest license, first line", 30000);
    if (!license) ui::Kill(process);
    REQUIRE(license != nullptr);
    ui::Press(license, 101);

    HWND destination = ui::WaitWindow(process, nullptr, "Where to install?", nullptr, 30000);
    if (!destination) ui::Kill(process);
    REQUIRE(destination != nullptr);
    CHECK_EQ(ui::ItemText(CurrentPage(sheet), 1024), std::string(kAppDir));
    ui::PressWizard(sheet, PSBTN_NEXT);

    HWND finish = ui::WaitWindow(process, nullptr, nullptr,
                                 "is ready to finish the installation.", 30000);
    if (!finish) ui::Kill(process);
    REQUIRE(finish != nullptr);
    CHECK_EQ(ui::ItemText(CurrentPage(sheet), 1003),
             "Wtest App Setup is ready to finish the installation.");
    ui::PressWizard(sheet, PSBTN_FINISH);

    box = ui::WaitMessageBox(process, "Setup is complete.", 60000);
    if (!box) ui::Kill(process);
    REQUIRE(box != nullptr);
    ui::Box complete = ui::ReadBox(box);
    CHECK_EQ(complete.caption, "Setup Complete");
    CHECK_EQ(complete.text,
             "Wtest App Setup is complete.  To run Wtest App, click its menu\n"
             "item on the Start Menu.  If you need help getting started,\n"
             "click the Wtest App Help menu item there.");
    ui::Press(box, IDOK);

    HWND backdrop = ui::WaitWindow(process, "SetupWClass", "Setup is cleaning up...",
                                   nullptr, 30000);
    if (!backdrop) ui::Kill(process);
    REQUIRE(backdrop != nullptr);

    // Installed: the files, the license, the uninstaller, the entry, the link.
    std::string app = kAppDir;
    CHECK(wt::ReadBytes(app + "\\readme.txt") == wt::ToBytes(kReadme));
    CHECK(wt::ReadBytes(app + "\\sub\\data.bin") == DataBytes());
    CHECK(wt::ReadBytes(app + "\\License.txt") == wt::ToBytes(kLicenseText));
    CHECK(!wt::Exists(run.license));
    CHECK_EQ(wt::FileSize(uninstaller), std::uint64_t(38914));
    CHECK_EQ(KeyValue(kUninstallKey, "DisplayName"), "Wtest App - 2.5");
    std::string link = LinkDir() + "\\Wtest Readme.lnk";
    CHECK(wt::Exists(link));

    // The log still lies next to the setup program until the timer.
    CHECK(!wt::Exists(app + "\\Uninstal.inf"));
    CHECK_EQ(Join(SectionKeys(run.inf, "Uninstall")),
             "filea,fileb,filec,filed,dir,linkdir,filee");
    CHECK_EQ(wt::IniValue(run.inf, "Uninstall", "filea"), app + "\\readme.txt");
    CHECK_EQ(wt::IniValue(run.inf, "Uninstall", "fileb"), app + "\\sub\\data.bin");
    CHECK_EQ(wt::IniValue(run.inf, "Uninstall", "filec"), app + "\\License.txt");
    CHECK_EQ(wt::IniValue(run.inf, "Uninstall", "filed"), app + "\\Uninstal.inf");
    CHECK_EQ(wt::IniValue(run.inf, "Uninstall", "dir"), app);
    CHECK_EQ(wt::IniValue(run.inf, "Uninstall", "linkdir"), LinkDir());
    CHECK_EQ(wt::IniValue(run.inf, "Uninstall", "filee"), link);

    // The timer, sent early, moves the log into the install directory.
    PostMessageA(backdrop, WM_TIMER, 1, 0);
    DWORD exitCode = 1;
    CHECK(ui::WaitExit(process, 30000, &exitCode));
    CHECK_EQ(exitCode, 0ul);
    CHECK(!wt::Exists(run.inf));
    std::string log = app + "\\Uninstal.inf";
    CHECK(wt::Exists(log));
    CHECK_EQ(wt::IniValue(log, "Install", "AppName"), "Wtest App");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "dir"), app);
    ui::Kill(process);
    ForgetInstallation();
    wt::RemoveTree(run.dir);
}

WTEST(NoToTheQuestionInstallsNothing)
{
    ForgetInstallation();
    RunDir run("install-no");
    REQUIRE(!run.setup.empty());
    wt::RunResult result = wt::RunProgram(wt::Quote(run.setup), run.dir, {IDNO}, 60000);
    CHECK(result.exited);
    CHECK_EQ(result.exitCode, 0ul);
    REQUIRE(result.boxes.size() == 1u);
    CHECK_EQ(result.boxes[0].caption, "Wtest App Setup");
    CheckNothingInstalled(run);
    wt::RemoveTree(run.dir);
}

WTEST(ExitSetupInTheLicenseDialogInstallsNothing)
{
    ForgetInstallation();
    RunDir run("install-exit");
    REQUIRE(!run.setup.empty());
    ui::Process process;
    REQUIRE(ui::Start(process, wt::Quote(run.setup), run.dir));
    HWND sheet = PassQuestion(process);
    if (!sheet) ui::Kill(process);
    REQUIRE(sheet != nullptr);
    ui::PressWizard(sheet, PSBTN_NEXT);
    HWND license = ui::WaitWindow(process, nullptr, "Software License Agreement",
                                  nullptr, 30000);
    if (!license) ui::Kill(process);
    REQUIRE(license != nullptr);
    ui::Press(license, 102);
    DWORD exitCode = 1;
    CHECK(ui::WaitExit(process, 30000, &exitCode));
    CHECK_EQ(exitCode, 0ul);
    ui::Kill(process);
    CheckNothingInstalled(run);
    wt::RemoveTree(run.dir);
}
