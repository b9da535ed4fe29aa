// The real setup program at start: install mode places the setup
// information file and the license text next to itself; the uninstaller's
// name, in any case, selects uninstall mode, which extracts nothing.
// What install mode does after that (backdrop, wizard) is left to the
// tests of those parts: here the program is ended once it shows a window.
#include <algorithm>

#include "archive.h"
#include "testutil.h"
#include "wtest.h"

namespace {

const char kInfText[] =
    "[Install]\r\nAppName=Setup Test\r\nAppBy=by the tests\r\nFileNum=1\r\n"
    "DefDir=C:\\wtest\\setup-app\r\n";
const char kLicenseText[] = "License text\r\nline two\r\n";

wt::Bytes Entry(const std::string& name, const std::string& text,
                std::uint16_t date, std::uint16_t time, std::uint8_t attributes)
{
    archive::EntrySpec wanted;
    wanted.name = name;
    wanted.data = wt::ToBytes(text);
    wanted.dosDate = date;
    wanted.dosTime = time;
    wanted.attributes = attributes;
    return archive::MakeEntry(wanted);
}

// The stub with entry 1 (setup information), entry 2 (license) and one file.
wt::Bytes SetupProgram()
{
    wt::Bytes program = wt::ReadBytes(wt::StubPath());
    program = wt::Concat(program, Entry("any name.inf", kInfText, wt::DosDate(2020, 5, 17),
                                        wt::DosTime(10, 30, 0), 0x20));
    program = wt::Concat(program, Entry("whatever.txt", kLicenseText,
                                        wt::DosDate(2019, 12, 31), wt::DosTime(20, 0, 0),
                                        0x21));
    return wt::Concat(program, Entry("app.txt", "application file\r\n",
                                     wt::DosDate(2020, 1, 2), wt::DosTime(3, 4, 6), 0x20));
}

// Starts the program and returns once it has ended or shows a window:
// either way, its start-up preparation is over.
struct Started {
    ui::Process process;
    bool ended = false;
    DWORD exitCode = 0;
};

void StartAndSettle(Started& run, const std::string& commandLine, int timeoutMs = 30000)
{
    if (!ui::Start(run.process, commandLine)) return;
    DWORD start = GetTickCount();
    while (static_cast<int>(GetTickCount() - start) < timeoutMs) {
        if (!ui::IsRunning(run.process)) {
            run.ended = ui::WaitExit(run.process, 1000, &run.exitCode);
            return;
        }
        if (!ui::TopWindows(run.process).empty()) {
            ui::Note("shows: %s", ui::DescribeWindows(run.process).c_str());
            return;
        }
        Sleep(50);
    }
    ui::Note("neither ended nor showed a window");
}

} // namespace

WTEST(InstallModePlacesEntriesOneAndTwoNextToTheProgram)
{
    // A directory with blanks, holding older copies of both files.
    std::string dir = wt::FreshDir("setup dir");
    std::string setup = dir + "\\setup.exe";
    REQUIRE(wt::WriteBytes(setup, SetupProgram()));
    std::string inf = dir + "\\Uninstal.inf", license = dir + "\\License.txt";
    wt::WriteBytes(inf, wt::ToBytes("[Install]\r\nAppName=Old\r\n"));
    wt::WriteBytes(license, wt::ToBytes("an old license that is longer than the new one"));
    wt::SetLastWrite(license, 2001, 1, 1, 0, 0, 0);

    Started run;
    StartAndSettle(run, wt::Quote(setup), 30000);
    REQUIRE(run.process.handle != nullptr);
    CHECK(wt::ReadBytes(inf) == wt::ToBytes(kInfText));
    CHECK(wt::ReadBytes(license) == wt::ToBytes(kLicenseText));
    CHECK_EQ(wt::LastWrite(inf), "2020-05-17 16:30:00");
    CHECK_EQ(wt::LastWrite(license), "2020-01-01 02:00:00");
    CHECK(wt::Attributes(license) & FILE_ATTRIBUTE_READONLY);
    CHECK(!(wt::Attributes(inf) & FILE_ATTRIBUTE_READONLY));
    // The application's files wait for the installation proper.
    CHECK(!wt::Exists(dir + "\\app.txt"));
    CHECK(!wt::Exists("C:\\wtest\\setup-app\\app.txt"));
    if (run.ended) CHECK_EQ(run.exitCode, 0ul);
    ui::Kill(run.process);
    wt::RemoveTree(dir);
}

WTEST(UninstallerNameInAnyCaseSelectsUninstallMode)
{
    std::string dir = wt::FreshDir("uninstall-mode");
    wt::Bytes program = SetupProgram();
    // Names ending in the uninstaller's name uninstall; the rest install.
    for (const char* name : {"DUVEDOZI.EXE", "duvedozi.exe", "OldDuvedozi.exe"}) {
        std::string sub = dir + "\\" + name + "-dir";
        CreateDirectoryA(sub.c_str(), nullptr);
        std::string path = sub + "\\" + name;
        REQUIRE(wt::WriteBytes(path, program));
        // The uninstaller's box comes (with no log, the one that says so)
        // and is answered; the run must end by itself.
        wt::RunResult run = wt::RunProgram(
            wt::Quote(path) + " C:\\wtest\\no such dir\\Uninstal.inf", sub, {}, 30000);
        CHECK(run.exited);
        CHECK_EQ(run.exitCode, 0ul);
        REQUIRE(run.boxes.size() == 1u);
        CHECK_EQ(run.boxes[0].caption, "Uninstall");
        CHECK_EQ(run.boxes[0].text, "The uninstall log\nC:\\wtest\\no such dir\\Uninstal.inf\n"
                                    "cannot be read. Nothing was removed.");
        CHECK(run.boxes[0].buttons == (std::vector<int>{IDOK}));
        CHECK(!wt::Exists(sub + "\\Uninstal.inf"));
        CHECK(!wt::Exists(sub + "\\License.txt"));
    }
    for (const char* name : {"Duvedozi2.exe", "Duvedozi.ex_"}) {
        std::string sub = dir + "\\" + name + "-dir";
        CreateDirectoryA(sub.c_str(), nullptr);
        std::string path = sub + "\\" + name;
        REQUIRE(wt::WriteBytes(path, program));
        Started run;
        StartAndSettle(run, wt::Quote(path));
        CHECK(wt::ReadBytes(sub + "\\Uninstal.inf") == wt::ToBytes(kInfText));
        CHECK(wt::ReadBytes(sub + "\\License.txt") == wt::ToBytes(kLicenseText));
        ui::Kill(run.process);
    }
    wt::RemoveTree(dir);
}

WTEST(ProgramWithoutPayloadEndsSilently)
{
    std::string dir = wt::FreshDir("setup-bare");
    std::string setup = dir + "\\setup.exe";
    REQUIRE(wt::WriteBytes(setup, wt::ReadBytes(wt::StubPath())));
    wt::RunResult run = wt::RunProgram(wt::Quote(setup), dir, {}, 30000);
    CHECK(run.exited);
    CHECK_EQ(run.exitCode, 0ul);
    CHECK(run.boxes.empty());
    CHECK(!wt::Exists(dir + "\\Uninstal.inf"));
    CHECK(!wt::Exists(dir + "\\License.txt"));
}

WTEST(BrokenLicenseEntryEndsTheProgramAfterItsMessage)
{
    std::string dir = wt::FreshDir("setup-broken");
    std::string setup = dir + "\\setup.exe";
    wt::Bytes program = wt::ReadBytes(wt::StubPath());
    program = wt::Concat(program, Entry("a.inf", kInfText, wt::DosDate(2020, 5, 17),
                                        wt::DosTime(10, 30, 0), 0x20));
    wt::Bytes license = Entry("b.txt", kLicenseText, wt::DosDate(2020, 5, 17),
                              wt::DosTime(10, 30, 0), 0x20);
    for (int i = 4; i < 8; ++i) license[i] = 0; // entryLength 0
    REQUIRE(wt::WriteBytes(setup, wt::Concat(program, license)));
    wt::RunResult run = wt::RunProgram(wt::Quote(setup), dir, {}, 30000);
    CHECK(run.exited);
    CHECK_EQ(run.exitCode, 0ul);
    REQUIRE(run.boxes.size() == 1u);
    CHECK_EQ(run.boxes[0].caption, "ZOZurer");
    CHECK_EQ(run.boxes[0].text, "File Error!");
    // The setup information written before stays; no license appears.
    CHECK(wt::ReadBytes(dir + "\\Uninstal.inf") == wt::ToBytes(kInfText));
    CHECK(!wt::Exists(dir + "\\License.txt"));
}
