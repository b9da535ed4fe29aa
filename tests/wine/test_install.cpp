// The setup program's install mode from start to end, driven the way a
// person would drive it: the question, the wizard's pages, the license
// dialog, the closing message and the clean-up timer. Crafted packages are
// installed under C:\wtest; the example package goes where its setup file
// says, and is uninstalled again with the registry's own command.
#include <windows.h>
#include <commctrl.h>

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

const char kAppDir[] = "C:\\wtest\\install-app";
const char kAppName[] = "Wtest App";
const char kInfText[] =
    "[Install]\r\nDefDir=C:\\wtest\\install-app\r\nAppName=Wtest App\r\n"
    "AppBy=by the tests\r\nCompReg=Wtest Software\r\nVerNum=2.5\r\nFileNum=2\r\n"
    "\r\n[Links]\r\nlinka=readme.txt\r\nlinkfilea=Wtest Readme.lnk\r\n"
    "\r\n[Copymode]\r\nfilea=1\r\nfileb=1\r\n";
const char kLicenseText[] = "Wtest license, first line\r\nsecond line\r\n";
const char kReadme[] = "read me first\r\n";
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string UninstallKey(const std::string& appName) { return inst::kUninstallRoot + appName; }

wt::Bytes DataBytes()
{
    wt::Bytes data;
    for (int i = 0; i < 3000; ++i) data.push_back(static_cast<std::uint8_t>(i * 7 % 251));
    return data;
}

std::vector<archive::EntrySpec> SmallFiles()
{
    return {File("readme.txt", wt::ToBytes(kReadme)), File("sub\\data.bin", DataBytes())};
}

// An [Install] section for the crafted packages without links.
std::string InfWith(int fileNum, const std::string& copymodes)
{
    return "[Install]\r\nDefDir=C:\\wtest\\install-app\r\nAppName=Wtest App\r\n"
           "AppBy=by the tests\r\nCompReg=Wtest Software\r\nVerNum=3.0\r\nFileNum=" +
           std::to_string(fileNum) + "\r\n\r\n[Copymode]\r\n" + copymodes;
}

// Whatever an earlier run may have left: the install directory, the
// Start-menu folder and the uninstall entry; and the default layout.
void ForgetInstallation()
{
    inst::UseDefaultLayout();
    wt::RemoveTree(kAppDir);
    wt::RemoveTree(inst::LinkDir(kAppName));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UninstallKey(kAppName).c_str());
}

void CheckNothingInstalled(const RunDir& run)
{
    CHECK(!wt::Exists(run.inf));
    CHECK(!wt::Exists(run.license));
    CHECK(!wt::Exists(kAppDir));
    CHECK(!wt::Exists(inst::LinkDir(kAppName)));
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kAppName)));
}

// A failed extraction: everything the run did is taken back, the setup
// files beside the program included.
void CheckStoppedAfterFiles(const RunDir& run)
{
    CHECK(!wt::Exists(run.inf));
    CHECK(!wt::Exists(run.license));
    CHECK(!wt::Exists(kAppDir));
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kAppName)));
    CHECK(!wt::Exists(inst::LinkDir(kAppName)));
}

} // namespace

WTEST(FullInstallOfASmallPackage)
{
    ForgetInstallation();
    DeleteFileA(inst::Uninstaller().c_str());
    RunDir run("install-run");
    REQUIRE(run.Write(inst::Program(kInfText, kLicenseText, SmallFiles())));
    inst::Session session;
    ui::Process& process = session.process;
    REQUIRE(session.Start(run));

    HWND box = ui::WaitMessageBox(process, "previous version", inst::kWaitMs);
    REQUIRE(box != nullptr || session.Fail());
    ui::Box question = ui::ReadBox(box);
    CHECK_EQ(question.caption, "Wtest App Setup");
    CHECK_EQ(question.text, "If you have a previous version of Wtest App running,\n"
                            "you must exit it before running this setup program.  Continue?");
    ui::Press(box, IDYES);

    HWND sheet = ui::WaitWindow(process, nullptr, "Welcome to Setup", nullptr, inst::kWaitMs);
    REQUIRE(sheet != nullptr || session.Fail());
    HWND page = inst::WaitPage(sheet, "Welcome to Setup");
    REQUIRE(page != nullptr || session.Fail());
    CHECK_EQ(ui::ItemText(page, 1003),
             "Welcome to Wtest App Setup\n\nThis Setup program will install Wtest App "
             "on your computer.");
    CHECK_EQ(ui::ItemText(page, 1004),
             "To install Wtest App on your computer now, click Next or press Enter.\n\n"
             "To exit Setup without installing Wtest App, click Cancel at any time.");
    ui::PressWizard(sheet, PSBTN_NEXT);

    HWND license = ui::WaitWindow(process, nullptr, "Software License Agreement",
                                  "Wtest license, first line", inst::kWaitMs);
    REQUIRE(license != nullptr || session.Fail());
    ui::Press(license, 101);

    page = inst::WaitPage(sheet, "Where to install?");
    REQUIRE(page != nullptr || session.Fail());
    CHECK_EQ(ui::ItemText(page, 1024), std::string(kAppDir));
    ui::PressWizard(sheet, PSBTN_NEXT);

    page = inst::WaitPage(sheet, "Install");
    REQUIRE(page != nullptr || session.Fail());
    CHECK_EQ(ui::ItemText(page, 1003), "Wtest App Setup is ready to finish the installation.");
    CHECK_EQ(ui::ItemText(page, 1004),
             "To install Wtest App on your computer now, click Finish or press Enter.\n\n"
             "To exit Setup without installing, click Cancel.");
    ui::PressWizard(sheet, PSBTN_FINISH);

    box = ui::WaitMessageBox(process, "Setup is complete.", 60000);
    REQUIRE(box != nullptr || session.Fail());
    ui::Box complete = ui::ReadBox(box);
    CHECK_EQ(complete.caption, "Setup Complete");
    CHECK_EQ(complete.text,
             "Wtest App Setup is complete.  To run Wtest App, click its menu\n"
             "item on the Start Menu.  If you need help getting started,\n"
             "click the Wtest App Help menu item there.");
    ui::Press(box, IDOK);

    HWND backdrop = ui::WaitWindow(process, "SetupWClass", "Setup is cleaning up...",
                                   nullptr, inst::kWaitMs);
    REQUIRE(backdrop != nullptr || session.Fail());

    // Installed: the files, the license, the uninstaller, the entry, the link.
    std::string app = kAppDir;
    CHECK(wt::ReadBytes(app + "\\readme.txt") == wt::ToBytes(kReadme));
    CHECK(wt::ReadBytes(app + "\\sub\\data.bin") == DataBytes());
    CHECK(wt::ReadBytes(app + "\\License.txt") == wt::ToBytes(kLicenseText));
    CHECK_EQ(wt::FileSize(inst::Uninstaller()), std::uint64_t(STUB_FILE_SIZE));
    CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, UninstallKey(kAppName), "DisplayName"),
             "Wtest App - 2.5");
    std::string link = inst::LinkDir(kAppName) + "\\Wtest Readme.lnk";
    CHECK(wt::Exists(link));

    // The log is in place before the closing message; the copies beside
    // the setup program stay until the timer.
    std::string placed = app + "\\Uninstal.inf";
    CHECK(wt::Exists(run.inf));
    CHECK(wt::Exists(run.license));
    CHECK_EQ(SectionKeys(placed, "Uninstall"),
             "filea,fileb,filec,filed,dir,linkdir,filee");
    CHECK_EQ(wt::IniValue(placed, "Uninstall", "filea"), app + "\\readme.txt");
    CHECK_EQ(wt::IniValue(placed, "Uninstall", "fileb"), app + "\\sub\\data.bin");
    CHECK_EQ(wt::IniValue(placed, "Uninstall", "filec"), app + "\\License.txt");
    CHECK_EQ(wt::IniValue(placed, "Uninstall", "filed"), app + "\\Uninstal.inf");
    CHECK_EQ(wt::IniValue(placed, "Uninstall", "dir"), app);
    CHECK_EQ(wt::IniValue(placed, "Uninstall", "linkdir"), inst::LinkDir(kAppName));
    CHECK_EQ(wt::IniValue(placed, "Uninstall", "filee"), link);

    // The timer, sent early, removes the copies beside the program.
    PostMessageA(backdrop, WM_TIMER, 1, 0);
    DWORD exitCode = 1;
    CHECK(ui::WaitExit(process, inst::kWaitMs, &exitCode));
    CHECK_EQ(exitCode, 0ul);
    CHECK(!wt::Exists(run.inf));
    CHECK(!wt::Exists(run.license));
    std::string log = app + "\\Uninstal.inf";
    CHECK(wt::Exists(log));
    CHECK_EQ(wt::IniValue(log, "Install", "AppName"), "Wtest App");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "dir"), app);
    ForgetInstallation();
    wt::RemoveTree(run.dir);
}

WTEST(NoToTheQuestionInstallsNothing)
{
    ForgetInstallation();
    RunDir run("install-no");
    REQUIRE(run.Write(inst::Program(kInfText, kLicenseText, SmallFiles())));
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
    REQUIRE(run.Write(inst::Program(kInfText, kLicenseText, SmallFiles())));
    inst::Session session;
    REQUIRE(session.Start(run));
    HWND sheet = inst::PassQuestion(session.process);
    REQUIRE(sheet != nullptr || session.Fail());
    ui::PressWizard(sheet, PSBTN_NEXT);
    HWND license = ui::WaitWindow(session.process, nullptr, "Software License Agreement",
                                  nullptr, inst::kWaitMs);
    REQUIRE(license != nullptr || session.Fail());
    ui::Press(license, 102);
    DWORD exitCode = 1;
    CHECK(ui::WaitExit(session.process, inst::kWaitMs, &exitCode));
    CHECK_EQ(exitCode, 0ul);
    CheckNothingInstalled(run);
    wt::RemoveTree(run.dir);
}

// Copy mode 2 asks for each file that exists (No keeps it, Yes replaces
// it) and not for one that does not; copy mode 3 keeps what is there.
// Every file is recorded, whatever became of it.
WTEST(CopymodesAskAndKeep)
{
    ForgetInstallation();
    RunDir run("install-copymode");
    std::string app = kAppDir;
    wt::FreshDir("install-app");
    const char* names[] = {"declined.txt", "replaced.txt", "kept.txt", "fresh.txt"};
    for (int i = 0; i < 3; ++i) {
        std::string path = app + "\\" + names[i];
        REQUIRE(wt::WriteBytes(path, wt::ToBytes("old contents\r\n")));
        REQUIRE(wt::SetLastWrite(path, 2001, 1, 2, 3, 4, 6));
    }
    std::vector<archive::EntrySpec> files;
    for (const char* name : names)
        files.push_back(File(name, wt::ToBytes(std::string("new ") + name),
                             wt::DosDate(2022, 6, 7), wt::DosTime(8, 10, 20), 0x21));
    REQUIRE(run.Write(inst::Program(InfWith(4, "filea=2\r\nfileb=2\r\nfilec=3\r\nfiled=2\r\n"),
                                    kLicenseText, files)));

    inst::Session session;
    ui::Process& process = session.process;
    REQUIRE(session.Start(run));
    HWND sheet = nullptr;
    REQUIRE(inst::ReachDestination(process, &sheet) || session.Fail());
    HWND box = inst::FinishWizard(process, sheet, "Overwrite?");
    REQUIRE(box != nullptr || session.Fail());
    ui::Box asked = ui::ReadBox(box);
    CHECK_EQ(asked.caption, app + "\\declined.txt");
    CHECK_EQ(asked.text, "File exists.  Overwrite?");
    ui::Press(box, IDNO);
    // The same question for the next file: a box of its own.
    HWND second = ui::WaitMessageBox(process, "replaced.txt", inst::kWaitMs);
    REQUIRE(second != nullptr || session.Fail());
    CHECK_EQ(ui::ReadBox(second).caption, app + "\\replaced.txt");
    ui::Press(second, IDYES);
    box = ui::WaitMessageBox(process, "Setup is complete.", inst::kWaitMs);
    REQUIRE(box != nullptr || session.Fail());
    ui::Press(box, IDOK);
    HWND backdrop = ui::WaitWindow(process, "SetupWClass", "Setup is cleaning up...",
                                   nullptr, inst::kWaitMs);
    REQUIRE(backdrop != nullptr || session.Fail());
    PostMessageA(backdrop, WM_TIMER, 1, 0);
    CHECK(ui::WaitExit(process, inst::kWaitMs));

    DWORD readOnly = wt::ObservableAttributes() & FILE_ATTRIBUTE_READONLY;
    for (int i = 0; i < 4; ++i) {
        std::string path = app + "\\" + names[i];
        bool written = i == 1 || i == 3;
        wt::Bytes bytes = wt::ReadBytes(path);
        CHECK_EQ(std::string(bytes.begin(), bytes.end()),
                 written ? std::string("new ") + names[i] : std::string("old contents\r\n"));
        CHECK_EQ(wt::LastWrite(path),
                 written ? std::string("2022-06-07 14:10:20") : std::string("2001-01-02 03:04:06"));
        CHECK_EQ(wt::Attributes(path) & readOnly, written ? readOnly : 0ul);
    }
    std::string log = app + "\\Uninstal.inf";
    CHECK_EQ(SectionKeys(log, "Uninstall"), "filea,fileb,filec,filed,filee,filef,dir,linkdir");
    // The files kept are recorded as the user's.
    for (int i = 0; i < 4; ++i)
        CHECK_EQ(wt::IniValue(log, "Uninstall", std::string("file") + char('a' + i)),
                 (i == 1 || i == 3 ? "" : "*") + app + "\\" + names[i]);
    ForgetInstallation();
    wt::RemoveTree(run.dir);
}

// FileNum 0 installs no file and goes on without an error; the install
// directory is made all the same, and the license and the log go there,
// where the uninstall entry looks for the log. A FileNum beyond the
// archive's entries stops with "Setup Error!" at the archive's end, and
// what it installed until then is taken back.
WTEST(FileNumZeroAndLargerThanTheArchive)
{
    ForgetInstallation();
    {
        RunDir run("install-filenum0");
        REQUIRE(run.Write(inst::Program(InfWith(0, ""), kLicenseText, SmallFiles())));
        inst::Session session;
        REQUIRE(session.Start(run));
        REQUIRE(inst::InstallAndClean(session.process) || session.Fail());
        std::string app = kAppDir, log = app + "\\Uninstal.inf";
        CHECK(wt::ReadBytes(app + "\\License.txt") == wt::ToBytes(kLicenseText));
        CHECK(!wt::Exists(run.license));
        CHECK(!wt::Exists(run.inf));
        CHECK_EQ(SectionKeys(log, "Uninstall"), "filea,fileb,dir,linkdir");
        CHECK_EQ(wt::IniValue(log, "Uninstall", "filea"), app + "\\License.txt");
        CHECK_EQ(wt::IniValue(log, "Uninstall", "fileb"), log);
        CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, UninstallKey(kAppName), "DisplayName"),
                 "Wtest App - 3.0");
        CHECK(wt::Exists(inst::LinkDir(kAppName)));
        ForgetInstallation();
        wt::RemoveTree(run.dir);
    }
    {
        RunDir run("install-filenum3");
        REQUIRE(run.Write(inst::Program(InfWith(3, ""), kLicenseText, SmallFiles())));
        inst::Session session;
        ui::Process& process = session.process;
        REQUIRE(session.Start(run));
        HWND sheet = nullptr;
        REQUIRE(inst::ReachDestination(process, &sheet) || session.Fail());
        HWND box = inst::FinishWizard(process, sheet, "Setup Error!");
        REQUIRE(box != nullptr || session.Fail());
        ui::Box error = ui::ReadBox(box);
        CHECK_EQ(error.caption, "Setup Error");
        CHECK_EQ(error.text, "Setup Error!");
        ui::Press(box, IDOK);
        DWORD exitCode = 1;
        CHECK(ui::WaitExit(process, inst::kWaitMs, &exitCode));
        CHECK_EQ(exitCode, 0ul);
        CheckStoppedAfterFiles(run);
        ForgetInstallation();
        wt::RemoveTree(run.dir);
    }
}

// A damaged application entry (a zero length in the middle, or the last
// entry cut short) stops the installation at that entry: "File Error!",
// then "Setup Error!"; the files before it are taken back.
WTEST(DamagedApplicationEntryStopsTheInstallation)
{
    for (int cut = 0; cut < 2; ++cut) {
        ForgetInstallation();
        RunDir run(cut ? "install-cut" : "install-zero");
        wt::Bytes program = inst::Program(InfWith(3, ""), kLicenseText, SmallFiles());
        if (cut) {
            program.resize(program.size() - 10);
        } else {
            // The second application file's entry length is 0, a third follows.
            wt::Bytes second = archive::MakeEntry(SmallFiles()[1]);
            size_t at = program.size() - second.size();
            for (int i = 4; i < 8; ++i) program[at + i] = 0;
            program = wt::Concat(program, archive::MakeEntry(File("third.txt", wt::ToBytes("3"))));
        }
        REQUIRE(run.Write(program));
        inst::Session session;
        ui::Process& process = session.process;
        REQUIRE(session.Start(run));
        HWND sheet = nullptr;
        REQUIRE(inst::ReachDestination(process, &sheet) || session.Fail());
        HWND box = inst::FinishWizard(process, sheet, "File Error!");
        REQUIRE(box != nullptr || session.Fail());
        CHECK_EQ(ui::ReadBox(box).caption, "ZOZurer");
        ui::Press(box, IDOK);
        box = ui::WaitMessageBox(process, "Setup Error!", inst::kWaitMs);
        REQUIRE(box != nullptr || session.Fail());
        CHECK_EQ(ui::ReadBox(box).caption, "Setup Error");
        ui::Press(box, IDOK);
        CHECK(ui::WaitExit(process, inst::kWaitMs));
        CheckStoppedAfterFiles(run);
        ForgetInstallation();
        wt::RemoveTree(run.dir);
    }
}

// Installing again into the same directory: the new license and the new
// log replace the earlier installation's, the files are written anew and
// the records describe this installation; nothing stays beside the
// program.
WTEST(ReinstallOverAnEarlierInstallation)
{
    ForgetInstallation();
    RunDir first("install-first");
    REQUIRE(first.Write(inst::Program(InfWith(2, ""), "first license\r\n", SmallFiles())));
    {
        inst::Session session;
        REQUIRE(session.Start(first));
        REQUIRE(inst::InstallAndClean(session.process) || session.Fail());
    }
    std::string app = kAppDir;
    std::string log = app + "\\Uninstal.inf";
    REQUIRE(wt::ReadBytes(app + "\\License.txt") == wt::ToBytes("first license\r\n"));
    REQUIRE(wt::IniValue(log, "Install", "VerNum") == "3.0");
    std::string userFile = app + "\\notes.txt";
    REQUIRE(wt::WriteBytes(userFile, wt::ToBytes("the user's own")));

    RunDir second("install-second");
    std::string inf = InfWith(3, "") + "[Links]\r\nlinka=new.txt\r\nlinkfilea=New.lnk\r\n";
    inf.replace(inf.find("VerNum=3.0"), 10, "VerNum=4.0");
    std::vector<archive::EntrySpec> files = {
        File("readme.txt", wt::ToBytes("read me again\r\n")),
        File("sub\\data.bin", DataBytes()), File("new.txt", wt::ToBytes("new"))};
    REQUIRE(second.Write(inst::Program(inf, "second license\r\n", files)));
    {
        inst::Session session;
        REQUIRE(session.Start(second));
        REQUIRE(inst::InstallAndClean(session.process) || session.Fail());
    }
    CHECK(wt::ReadBytes(app + "\\License.txt") == wt::ToBytes("second license\r\n"));
    CHECK(wt::ReadBytes(app + "\\readme.txt") == wt::ToBytes("read me again\r\n"));
    CHECK(wt::ReadBytes(app + "\\new.txt") == wt::ToBytes("new"));
    CHECK(wt::ReadBytes(userFile) == wt::ToBytes("the user's own"));
    CHECK(!wt::Exists(second.inf));
    CHECK(!wt::Exists(second.license));
    CHECK_EQ(wt::IniValue(log, "Install", "VerNum"), "4.0");
    CHECK_EQ(SectionKeys(log, "Uninstall"),
             "filea,fileb,filec,filed,filee,dir,linkdir,filef");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filec"), app + "\\new.txt");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filed"), app + "\\License.txt");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filee"), log);
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filef"), inst::LinkDir(kAppName) + "\\New.lnk");
    CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, UninstallKey(kAppName), "DisplayName"),
             "Wtest App - 4.0");
    ForgetInstallation();
    wt::RemoveTree(first.dir);
    wt::RemoveTree(second.dir);
}

// The destination typed as the setup program's own folder in another
// spelling (a trailing backslash; "/" for "\"): the license and the setup
// information file are already where they are to be moved, so the moves
// must leave them there, not delete them as files in the way. The log is
// then where the uninstall entry says and the application can be removed.
WTEST(DestinationIsTheProgramsOwnFolderSpelledOtherwise)
{
    for (int slash = 0; slash < 2; ++slash) {
        ForgetInstallation();
        RunDir run("install-self");
        std::string typed = run.dir + "\\";
        if (slash) {
            typed = run.dir;
            for (char& c : typed)
                if (c == '\\') c = '/';
        }
        ui::Note("destination \"%s\"", typed.c_str());
        REQUIRE(run.Write(inst::Program(InfWith(2, ""), kLicenseText, SmallFiles())));
        inst::Session session;
        ui::Process& process = session.process;
        REQUIRE(session.Start(run));
        HWND sheet = nullptr;
        HWND page = inst::ReachDestination(process, &sheet);
        REQUIRE(page != nullptr || session.Fail());
        ui::SetItemText(page, 1024, typed);
        HWND box = inst::FinishWizard(process, sheet);
        REQUIRE(box != nullptr || session.Fail());
        ui::Press(box, IDOK);
        HWND backdrop = ui::WaitWindow(process, "SetupWClass", "Setup is cleaning up...",
                                       nullptr, inst::kWaitMs);
        REQUIRE(backdrop != nullptr || session.Fail());
        PostMessageA(backdrop, WM_TIMER, 1, 0);
        DWORD exitCode = 1;
        CHECK(ui::WaitExit(process, inst::kWaitMs, &exitCode));
        CHECK_EQ(exitCode, 0ul);

        CHECK(wt::ReadBytes(run.license) == wt::ToBytes(kLicenseText));
        CHECK(wt::ReadBytes(run.dir + "\\readme.txt") == wt::ToBytes(kReadme));
        REQUIRE(wt::Exists(run.inf));
        // Taken without the separator that ends it.
        std::string taken = slash ? typed : run.dir;
        CHECK_EQ(wt::IniValue(run.inf, "Uninstall", "dir"), taken);
        std::string command =
            KeyValue(HKEY_LOCAL_MACHINE, UninstallKey(kAppName), "UninstallString");
        CHECK_EQ(command, inst::Uninstaller() + " " + taken + "\\uninstal.inf");

        // The registry's command removes the application; the program
        // itself stays, and with it the folder.
        wt::RunResult result = wt::RunProgram(command, run.dir, {IDYES, IDOK}, 60000);
        REQUIRE(result.boxes.size() == 2u);
        CHECK_EQ(result.boxes[1].text, "Wtest App has been uninstalled.\r\n"
                                       "Some files could not be removed.");
        CHECK(!wt::Exists(run.dir + "\\readme.txt"));
        CHECK(!wt::Exists(run.dir + "\\sub"));
        CHECK(!wt::Exists(run.license));
        CHECK(!wt::Exists(run.inf));
        CHECK(wt::Exists(run.setup));
        CHECK(!KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kAppName)));
        ForgetInstallation();
        wt::RemoveTree(run.dir);
    }
}

// The example package as an author ships it, with the stored times and
// attributes its files could have: the whole install with the real
// ten-second clean-up wait, then the uninstall through the registry's
// command, after which only the uninstaller remains.
WTEST(FullInstallAndUninstallOfTheHelloExample)
{
    std::string example = wt::RepoPath("examples\\hello");
    REQUIRE(!example.empty());
    bool ok = false;
    wt::Bytes inf = wt::ReadBytes(example + "\\setup.inf", &ok);
    REQUIRE(ok);
    wt::Bytes license = wt::ReadBytes(example + "\\license.txt", &ok);
    REQUIRE(ok);
    struct Wanted {
        const char* name;
        std::uint16_t date, time;
        std::uint8_t attributes;
        const char* written;   // the last-write time the file gets
        DWORD expected;        // the attributes it gets
    };
    const Wanted wanted[] = {
        {"HelloWorld.exe", wt::DosDate(2026, 11, 30), wt::DosTime(9, 15, 4), 0x20,
         "2026-11-30 15:15:04", FILE_ATTRIBUTE_ARCHIVE},
        {"Readme.txt", wt::DosDate(2024, 5, 1), wt::DosTime(8, 30, 0), 0x20,
         "2024-05-01 14:30:00", FILE_ATTRIBUTE_ARCHIVE},
        {"data\\sample.bin", wt::DosDate(2023, 12, 31), wt::DosTime(20, 0, 10), 0x22,
         "2024-01-01 02:00:10", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN},
        {"hello.txt", wt::DosDate(2020, 2, 29), wt::DosTime(0, 0, 0), 0x00,
         "2020-02-29 06:00:00", FILE_ATTRIBUTE_NORMAL},
        {"help\\Guide.txt", wt::DosDate(1999, 7, 15), wt::DosTime(17, 59, 58), 0x30,
         "1999-07-15 23:59:58", FILE_ATTRIBUTE_ARCHIVE},
    };
    // The files as the build stages them: examples/hello/files and the
    // Hello World program.
    std::vector<archive::EntrySpec> files;
    std::vector<wt::Bytes> contents;
    for (const Wanted& file : wanted) {
        contents.push_back(wt::ReadBytes(wt::ExamplePackageDir() + "\\" + file.name, &ok));
        REQUIRE(ok);
        files.push_back(File(file.name, contents.back(), file.date, file.time, file.attributes));
    }

    const std::string app = "C:\\Program Files\\Hello World";
    const std::string links = inst::LinkDir("Hello World");
    const std::string key = UninstallKey("Hello World");
    inst::UseDefaultLayout();
    wt::RemoveTree(app);
    wt::RemoveTree(links);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    RunDir run("install-hello");
    REQUIRE(run.Write(inst::Program(std::string(inf.begin(), inf.end()),
                                    std::string(license.begin(), license.end()), files)));

    inst::Session session;
    ui::Process& process = session.process;
    DWORD started = GetTickCount();
    REQUIRE(session.Start(run));
    HWND sheet = nullptr;
    REQUIRE(inst::ReachDestination(process, &sheet) || session.Fail());
    CHECK_EQ(ui::ItemText(inst::CurrentPage(sheet), 1024), app);
    HWND box = inst::FinishWizard(process, sheet);
    REQUIRE(box != nullptr || session.Fail());
    CHECK_EQ(ui::ReadBox(box).text,
             "Hello World Setup is complete.  To run Hello World, click its menu\n"
             "item on the Start Menu.  If you need help getting started,\n"
             "click the Hello World Help menu item there.");
    ui::Press(box, IDOK);
    DWORD closed = GetTickCount();
    REQUIRE(ui::WaitWindow(process, "SetupWClass", "Setup is cleaning up...", nullptr,
                           inst::kWaitMs) != nullptr ||
            session.Fail());

    // Eight seconds into the wait the copy beside the program is still
    // there; the log has been in place since before the closing message.
    DWORD early = GetTickCount() - closed;
    if (early < 8000) Sleep(8000 - early);
    CHECK(ui::IsRunning(process));
    CHECK(wt::Exists(run.inf));
    CHECK(wt::Exists(app + "\\Uninstal.inf"));
    DWORD exitCode = 1;
    CHECK(ui::WaitExit(process, 20000, &exitCode));
    DWORD waited = GetTickCount() - closed;
    ui::Note("install: %lu ms in all, %lu ms from the closing message to the end",
             GetTickCount() - started, waited);
    CHECK_EQ(exitCode, 0ul);
    CHECK(waited >= 9800 && waited < 16000);
    CHECK(!wt::Exists(run.inf));
    CHECK(!wt::Exists(run.license));

    // The files with their bytes, times and attributes.
    DWORD observable = wt::ObservableAttributes() | FILE_ATTRIBUTE_DIRECTORY;
    for (size_t i = 0; i < files.size(); ++i) {
        std::string path = app + "\\" + wanted[i].name;
        CHECK(wt::ReadBytes(path) == contents[i]);
        CHECK_EQ(wt::LastWrite(path), std::string(wanted[i].written));
        CHECK_EQ(wt::Attributes(path) & observable, wanted[i].expected & observable);
    }
    CHECK(wt::ReadBytes(app + "\\License.txt") == license);

    // The log, the registry entry and the shortcuts.
    std::string log = app + "\\Uninstal.inf";
    CHECK_EQ(SectionKeys(log, "Uninstall"),
             "filea,fileb,filec,filed,filee,filef,fileg,dir,linkdir,fileh,filei,filej");
    for (size_t i = 0; i < files.size(); ++i)
        CHECK_EQ(wt::IniValue(log, "Uninstall", std::string("file") + char('a' + i)),
                 app + "\\" + wanted[i].name);
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filef"), app + "\\License.txt");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "fileg"), log);
    CHECK_EQ(wt::IniValue(log, "Uninstall", "dir"), app);
    CHECK_EQ(wt::IniValue(log, "Uninstall", "linkdir"), links);
    CHECK_EQ(wt::IniValue(log, "Uninstall", "fileh"), links + "\\Hello World.lnk");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filei"), links + "\\Hello World Help.lnk");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filej"), links + "\\Hello World Read Me.lnk");
    CHECK_EQ(wt::IniValue(log, "Install", "FileNum"), "5");
    // In a default prefix the shortcuts go to the Programs folder for all
    // users that the system registers; the shell reads them back.
    CHECK_EQ(links, KeyValue(HKEY_LOCAL_MACHINE, kShellFolders, "Common Programs") +
                        "\\Hello World");
    inst::Shortcut program = inst::LoadShortcut(links + "\\Hello World.lnk");
    CHECK_EQ(program.target, app + "\\HelloWorld.exe");
    CHECK_EQ(program.description, "Hello World");
    inst::Shortcut help = inst::LoadShortcut(links + "\\Hello World Help.lnk");
    CHECK_EQ(help.target, app + "\\help\\Guide.txt");
    CHECK_EQ(help.description, "Hello World Help");
    inst::Shortcut readMe = inst::LoadShortcut(links + "\\Hello World Read Me.lnk");
    CHECK_EQ(readMe.target, app + "\\Readme.txt");
    CHECK_EQ(readMe.description, "Hello World Read Me");
    CHECK(!wt::Exists(inst::Windows95Programs()));
    CHECK_EQ(KeyValue(HKEY_LOCAL_MACHINE, key, "DisplayName"), "Hello World - 1.0");
    std::string command = KeyValue(HKEY_LOCAL_MACHINE, key, "UninstallString");
    CHECK_EQ(command, inst::Uninstaller() + " " + app + "\\uninstal.inf");
    CHECK_EQ(wt::FileSize(inst::Uninstaller()), std::uint64_t(STUB_FILE_SIZE));

    // The uninstall, started with the registry's command as it stands.
    started = GetTickCount();
    wt::RunResult result = wt::RunProgram(command, run.dir, {IDYES, IDOK}, 60000);
    ui::Note("uninstall: %lu ms", GetTickCount() - started);
    CHECK(result.exited);
    CHECK_EQ(result.exitCode, 0ul);
    REQUIRE(result.boxes.size() == 2u);
    CHECK_EQ(result.boxes[0].text,
             "Are you sure you want to completely\nremove Hello World from your computer?");
    CHECK_EQ(result.boxes[1].caption, "Uninstall");
    CHECK_EQ(result.boxes[1].text, "Hello World has been uninstalled.");
    CHECK(!wt::Exists(app));
    CHECK(!wt::Exists(links));
    CHECK(wt::Exists(inst::ShellPrograms()));
    CHECK(!KeyExists(HKEY_LOCAL_MACHINE, key));
    CHECK(wt::Exists("C:\\Program Files"));
    CHECK_EQ(wt::FileSize(inst::Uninstaller()), std::uint64_t(STUB_FILE_SIZE));
    CHECK(wt::Exists(run.setup));
    wt::RemoveTree(run.dir);
}

namespace {

// Installs the small package with its one shortcut and uninstalls it with
// the registry's command; checks the shortcut and its records in between.
// `links` is the Start-menu folder the installation must take.
void InstallAndUninstallWithShortcut(const char* runName, const std::string& links)
{
    RunDir run(runName);
    REQUIRE(run.Write(inst::Program(kInfText, kLicenseText, SmallFiles())));
    {
        inst::Session session;
        REQUIRE(session.Start(run));
        REQUIRE(inst::InstallAndClean(session.process) || session.Fail());
    }
    std::string app = kAppDir;
    std::string log = app + "\\Uninstal.inf";
    std::string link = links + "\\Wtest Readme.lnk";
    CHECK_EQ(SectionKeys(log, "Uninstall"), "filea,fileb,filec,filed,dir,linkdir,filee");
    CHECK_EQ(wt::IniValue(log, "Uninstall", "linkdir"), links);
    CHECK_EQ(wt::IniValue(log, "Uninstall", "filee"), link);
    inst::Shortcut readme = inst::LoadShortcut(link);
    CHECK_EQ(readme.target, app + "\\readme.txt");
    CHECK_EQ(readme.description, "Wtest Readme");

    std::string command = KeyValue(HKEY_LOCAL_MACHINE, UninstallKey(kAppName), "UninstallString");
    wt::RunResult result = wt::RunProgram(command, run.dir, {IDYES, IDOK}, 60000);
    CHECK(result.exited);
    REQUIRE(result.boxes.size() == 2u);
    CHECK_EQ(result.boxes[1].text, "Wtest App has been uninstalled.");
    CHECK(!wt::Exists(link));
    CHECK(!wt::Exists(links));
    CHECK(!wt::Exists(app));
    wt::RemoveTree(run.dir);
}

} // namespace

// Where the Windows directory has "Start Menu\Programs" (Windows 95), the
// shortcuts go there as they always did, and nothing goes to the shell's
// registered folders.
WTEST(Windows95LayoutKeepsTheWindowsDirectoryFolder)
{
    ForgetInstallation();
    inst::Windows95Layout layout;
    InstallAndUninstallWithShortcut("install-win95", inst::Windows95Programs() + "\\Wtest App");
    CHECK(!wt::Exists(inst::LinkDir(kAppName)));
    CHECK(wt::Exists(inst::Windows95Programs()));
    ForgetInstallation();
}

// Without a Programs folder for all users the shortcuts go to the current
// user's. The folder for all users is moved aside meanwhile.
WTEST(UsersProgramsFolderWhereThereIsNoneForAllUsers)
{
    ForgetInstallation();
    const std::string common = inst::ShellPrograms();
    const std::string user = inst::ShellPrograms(CSIDL_PROGRAMS);
    REQUIRE(!common.empty() && !user.empty() && common != user);
    struct MovedAside {
        std::string from, to;
        bool moved = MoveFileA(from.c_str(), to.c_str()) != 0;
        ~MovedAside()
        {
            if (moved) MoveFileA(to.c_str(), from.c_str());
        }
    } aside{common, common + ".wtest-aside"};
    REQUIRE(aside.moved);
    wt::RemoveTree(user + "\\" + kAppName);
    InstallAndUninstallWithShortcut("install-user", user + "\\" + kAppName);
    CHECK(!wt::Exists(common));
    CHECK(wt::Exists(user));
}
