// The uninstaller run as "Duvedozi.exe" with the log path as its tail, on
// installations prepared by hand; the UI driver answers the boxes.
#include <windows.h>
#include "testutil.h"
#include "uidriver.h"
#include "wtest.h"

namespace {

const char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumenoid";
const char kHandlerKey[] = "*\\shellex\\ContextMenuHandlers\\Lumenoid";
const char kClassKey[] = "CLSID\\{7F2B64A1-3D95-11d1-A8C2-4E0213B70000}";
const char kServerKey[] = "CLSID\\{7F2B64A1-3D95-11d1-A8C2-4E0213B70000}\\InProcServer32";
const char kClassId[] = "{7F2B64A1-3D95-11d1-A8C2-4E0213B70000}";
const char kApproval[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kUserKey[] = "Software\\Acme\\Lumenoid";
const char kSettings[] = "Software\\Acme\\Lumenoid\\settings";
const char kRecent[] = "Software\\Acme\\Lumenoid\\Recent File List";

bool KeyExists(HKEY root, const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
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

bool ValueExists(HKEY root, const char* path, const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bool found = RegQueryValueExA(key, name, 0, 0, 0, 0) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

// Takes away the per-user keys and the run value, as on a machine where
// the application never made them.
void ForgetUserEntries()
{
    RegDeleteKeyA(HKEY_CURRENT_USER, kSettings);
    RegDeleteKeyA(HKEY_CURRENT_USER, kRecent);
    RegDeleteKeyA(HKEY_CURRENT_USER, kUserKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Acme");
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, &key) == 0) {
        RegDeleteValueA(key, "Lumenoid");
        RegCloseKey(key);
    }
}

// Installation in "<base>\my app" with files two folders deep and the log;
// returns the log path. The uninstaller copy lies in <base>.
std::string Prepare(const std::string& base)
{
    std::string dir = base + "\\my app";
    CreateDirectoryA(dir.c_str(), 0);
    CreateDirectoryA((dir + "\\help").c_str(), 0);
    CreateDirectoryA((dir + "\\help\\sub").c_str(), 0);
    CreateDirectoryA((base + "\\menu").c_str(), 0);
    wt::WriteBytes(dir + "\\a.exe", wt::ToBytes("a"));
    wt::WriteBytes(dir + "\\help\\sub\\x.txt", wt::ToBytes("x"));
    wt::WriteBytes(base + "\\outside.txt", wt::ToBytes("o"));
    wt::WriteBytes(base + "\\menu\\App.lnk", wt::ToBytes("l"));
    std::string log = dir + "\\Uninstal.inf";
    std::string text = "[Install]\r\nAppName=Lumenoid\r\nCompReg=Acme\r\n"
                       "[Uninstall]\r\ndir=" + dir + "\r\nlinkdir=" + base +
                       "\\menu\r\nfilea=" + dir + "\\a.exe\r\nfileb=" + dir +
                       "\\help\\sub\\x.txt\r\nfilec=" + base +
                       "\\outside.txt\r\nfiled=" + log + "\r\nfilee=" + base +
                       "\\menu\\App.lnk\r\n";
    wt::WriteBytes(log, wt::ToBytes(text));
    CopyFileA(wt::StubPath().c_str(), (base + "\\Duvedozi.exe").c_str(), FALSE);
    SetKey(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", "Lumenoid - 1");
    SetKey(HKEY_CLASSES_ROOT, kHandlerKey, "", "x");
    SetKey(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel", "Apartment");
    SetKey(HKEY_LOCAL_MACHINE, kApproval, kClassId, "Lumenoid dll");
    // What the application itself may have made: its run value and the
    // per-user keys that removal deletes.
    SetKey(HKEY_LOCAL_MACHINE, kRunKey, "Lumenoid", "lumenoid.exe");
    SetKey(HKEY_CURRENT_USER, kSettings, "Size", "3");
    SetKey(HKEY_CURRENT_USER, kRecent, "File1", "a.lum");
    return log;
}

// Replaces the log Prepare wrote by one whose [Uninstall] records are
// `files` ("filea=...\r\n..."), after the same header and directories.
void RewriteLog(const std::string& base, const std::string& files)
{
    std::string dir = base + "\\my app";
    wt::WriteBytes(dir + "\\Uninstal.inf",
                   wt::ToBytes("[Install]\r\nAppName=Lumenoid\r\nCompReg=Acme\r\n"
                               "[Uninstall]\r\ndir=" + dir + "\r\nlinkdir=" +
                               base + "\\menu\r\n" + files));
}

// Runs the uninstaller, answers the question about `app`; the closing text
// ("" when none).
std::string Run(const std::string& base, const std::string& log, int answer,
                const std::string& app = "Lumenoid")
{
    ui::Process process;
    std::string command = "\"" + base + "\\Duvedozi.exe\" " + log;
    if (!ui::Start(process, command)) return "not started";
    std::string closing;
    HWND question = ui::WaitMessageBox(process, "from your computer?");
    if (question) {
        ui::Box box = ui::ReadBox(question);
        CHECK_EQ(box.caption, std::string("Uninstall"));
        CHECK_EQ(box.text, std::string("Are you sure you want to completely\n"
                                       "remove " + app + " from your computer?"));
        ui::Press(question, answer);
        if (answer == IDYES) {
            HWND done = ui::WaitMessageBox(process, "uninstalled");
            if (done) {
                closing = ui::ReadBox(done).text;
                ui::Press(done, IDOK);
            }
        }
    }
    DWORD code = 1;
    CHECK(ui::WaitExit(process, 20000, &code));
    CHECK_EQ(code, 0ul);
    return closing;
}

} // namespace

WTEST(answer_no_changes_nothing)
{
    std::string base = wt::FreshDir("unin-no");
    std::string log = Prepare(base);
    CHECK_EQ(Run(base, log, IDNO), std::string(""));
    CHECK(wt::Exists(log));
    CHECK(wt::Exists(base + "\\my app\\help\\sub\\x.txt"));
    CHECK(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    CHECK(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
    CHECK(ValueExists(HKEY_LOCAL_MACHINE, kRunKey, "Lumenoid"));
    CHECK(KeyExists(HKEY_CURRENT_USER, kSettings));
}

WTEST(yes_removes_files_folders_and_registry)
{
    std::string base = wt::FreshDir("unin yes");
    std::string log = Prepare(base);
    CHECK_EQ(Run(base, log, IDYES), std::string("Lumenoid has been uninstalled."));
    CHECK(!wt::Exists(base + "\\my app"));
    CHECK(!wt::Exists(base + "\\menu"));
    CHECK(!wt::Exists(base + "\\outside.txt"));
    CHECK(wt::Exists(base)); // never above the install directory
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    CHECK(!KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
    CHECK(!KeyExists(HKEY_CLASSES_ROOT, kClassKey));
    CHECK(!KeyExists(HKEY_CLASSES_ROOT, kServerKey)); // ThreadingModel with it
    CHECK(!ValueExists(HKEY_LOCAL_MACHINE, kApproval, kClassId));
    CHECK(KeyExists(HKEY_LOCAL_MACHINE, kApproval));
    // The run value and the per-user keys under CompReg, which was read
    // from the log before the log itself (filed) was deleted.
    CHECK(!ValueExists(HKEY_LOCAL_MACHINE, kRunKey, "Lumenoid"));
    CHECK(KeyExists(HKEY_LOCAL_MACHINE, kRunKey));
    CHECK(!KeyExists(HKEY_CURRENT_USER, kSettings));
    CHECK(!KeyExists(HKEY_CURRENT_USER, kRecent));
    CHECK(KeyExists(HKEY_CURRENT_USER, kUserKey));
}

WTEST(user_file_in_subfolder_keeps_it)
{
    std::string base = wt::FreshDir("unin-user");
    std::string log = Prepare(base);
    wt::WriteBytes(base + "\\my app\\help\\mine.txt", wt::ToBytes("m"));
    CHECK_EQ(Run(base, log, IDYES),
             std::string("Lumenoid has been uninstalled.\r\n"
                         "Some files could not be removed."));
    CHECK(!wt::Exists(base + "\\my app\\help\\sub"));
    CHECK(wt::Exists(base + "\\my app\\help\\mine.txt"));
    CHECK(!wt::Exists(base + "\\my app\\a.exe"));
}

WTEST(gap_in_file_letters_ends_the_walk)
{
    std::string base = wt::FreshDir("unin-gap");
    std::string log = Prepare(base);
    RewriteLog(base, "filea=" + base + "\\my app\\a.exe\r\nfilec=" + base +
                         "\\outside.txt\r\n");
    CHECK_EQ(Run(base, log, IDYES),
             std::string("Lumenoid has been uninstalled.\r\n"
                         "Some files could not be removed."));
    CHECK(!wt::Exists(base + "\\my app\\a.exe"));
    CHECK(wt::Exists(base + "\\outside.txt"));
    CHECK(wt::Exists(log));
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

WTEST(missing_recorded_file_is_passed_over)
{
    std::string base = wt::FreshDir("unin-missing");
    std::string log = Prepare(base);
    DeleteFileA((base + "\\my app\\help\\sub\\x.txt").c_str()); // fileb
    CHECK_EQ(Run(base, log, IDYES), std::string("Lumenoid has been uninstalled."));
    CHECK(!wt::Exists(base + "\\outside.txt"));
    CHECK(!wt::Exists(base + "\\menu"));
    CHECK(!wt::Exists(base + "\\my app"));
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// Records that climb out of the install directory ("..", "/" taken for
// "\") name folders outside it: those must stay, empty or not, while the
// folders of the install directory's own files go.
WTEST(emptied_folders_only_inside_the_install_directory)
{
    std::string base = wt::FreshDir("unin-climb");
    std::string log = Prepare(base);
    std::string dir = base + "\\my app";
    for (const char* folder : {"\\sib", "\\sib\\y", "\\sib2", "\\sib2\\z"})
        CreateDirectoryA((base + folder).c_str(), 0);
    RewriteLog(base, "filea=" + dir + "\\a.exe\r\nfileb=" + dir + "\\help\\sub\\x.txt\r\n"
                     "filec=" + dir + "\\..\\sib\\y\\f.txt\r\n"
                     "filed=" + dir + "\\help/..\\..\\sib2\\z\\f.txt\r\n"
                     "filee=" + log + "\r\n");
    CHECK_EQ(Run(base, log, IDYES), std::string("Lumenoid has been uninstalled."));
    CHECK(!wt::Exists(dir));
    CHECK(wt::Exists(base + "\\sib\\y"));
    CHECK(wt::Exists(base + "\\sib2\\z"));
    CHECK(wt::Exists(base + "\\outside.txt"));
}

// A log whose install directory is a bare drive ("C:") would make the whole
// drive "inside": no folder outside the recorded ones may go.
WTEST(bare_drive_as_install_directory_removes_no_folder)
{
    std::string base = wt::FreshDir("unin-drive");
    std::string log = base + "\\Uninstal.inf";
    CreateDirectoryA((base + "\\menu").c_str(), 0);
    CreateDirectoryA((base + "\\menu\\Programs").c_str(), 0);
    CreateDirectoryA((base + "\\menu\\Programs\\App").c_str(), 0);
    CreateDirectoryA((base + "\\empty").c_str(), 0);
    wt::WriteBytes(base + "\\menu\\Programs\\App\\App.lnk", wt::ToBytes("l"));
    for (const char* drive : {"C:", "C:\\"}) {
        wt::WriteBytes(log, wt::ToBytes(std::string("[Install]\r\nAppName=Drive Test\r\n"
                                                    "[Uninstall]\r\ndir=") + drive +
                                        "\r\nlinkdir=" + base + "\\menu\\Programs\\App\r\n"
                                        "filea=" + base + "\\empty\\gone.txt\r\n"
                                        "fileb=" + base + "\\menu\\Programs\\App\\App.lnk\r\n"));
        CopyFileA(wt::StubPath().c_str(), (base + "\\Duvedozi.exe").c_str(), FALSE);
        Run(base, log, IDYES, "Drive Test");
        CHECK(wt::Exists(base + "\\empty"));
        CHECK(wt::Exists(base + "\\menu\\Programs"));
        CHECK(!wt::Exists(base + "\\menu\\Programs\\App"));
        CHECK(wt::Exists(log));
    }
}

// Without a log there is no name: nothing may be deleted, and an empty name
// must not address the Uninstall key itself or another product's entry.
// A log that cannot be read, or one that names no install directory, is
// no uninstall log: one box naming it says that nothing was removed (no
// question with a blank name, no " has been uninstalled.").
WTEST(missing_log_removes_nothing)
{
    std::string base = wt::FreshDir("unin-nolog");
    std::string log = Prepare(base);
    std::string noDir = base + "\nodir.inf";
    wt::WriteBytes(noDir, wt::ToBytes("[Install]\r\nAppName=Lumenoid\r\n[Uninstall]\r\n"
                                      "filea=" + base + "\\outside.txt\r\n"));
    DeleteFileA(log.c_str());
    const char other[] =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other";
    SetKey(HKEY_LOCAL_MACHINE, other, "DisplayName", "Other - 1");
    for (const std::string& named : {log, noDir}) {
        ui::Process process;
        REQUIRE(ui::Start(process, "\"" + base + "\\Duvedozi.exe\" " + named));
        HWND box = ui::WaitMessageBox(process, "cannot be read");
        REQUIRE(box != nullptr);
        ui::Box seen = ui::ReadBox(box);
        CHECK_EQ(seen.caption, std::string("Uninstall"));
        CHECK_EQ(seen.text, "The uninstall log\n" + named + "\ncannot be read. Nothing was removed.");
        ui::Press(box, IDOK);
        DWORD code = 1;
        CHECK(ui::WaitExit(process, 20000, &code));
        CHECK_EQ(code, 0ul);
        CHECK(ui::WaitMessageBox(process, "", 0) == nullptr);
    }
    CHECK(wt::Exists(base + "\\my app\\a.exe"));
    CHECK(wt::Exists(base + "\\my app\\help\\sub\\x.txt"));
    CHECK(wt::Exists(base + "\\outside.txt"));
    CHECK(wt::Exists(base + "\\menu\\App.lnk"));
    CHECK(KeyExists(HKEY_LOCAL_MACHINE, other));
    CHECK(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    CHECK(KeyExists(HKEY_CLASSES_ROOT, kHandlerKey));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, other);
}

// A log path given in quotes (as a shell or shortcut passes it) names the
// same log: the uninstaller must not read nothing and remove nothing.
WTEST(quoted_log_path_is_the_same_log)
{
    std::string base = wt::FreshDir("unin quoted");
    std::string log = Prepare(base);
    ForgetUserEntries();
    CHECK_EQ(Run(base, "\"" + log + "\"", IDYES),
             std::string("Lumenoid has been uninstalled."));
    CHECK(!wt::Exists(base + "\\my app"));
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    // Where the application made no per-user keys, removal makes none.
    CHECK(!KeyExists(HKEY_CURRENT_USER, "Software\\Acme"));
}
