// The wizard's pages as a person walks them: Cancel on every page, Back
// and Next with typed, cleared and over-long paths, and the directory
// browser's three ways out. None of these runs installs anything.
#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include "archive.h"
#include "install_steps.h"
#include "testutil.h"
#include "uidriver.h"
#include "wtest.h"

using inst::RunDir;

namespace {

const char kAppDir[] = "C:\\wtest\\pages-app";
const char kInfText[] =
    "[Install]\r\nDefDir=C:\\wtest\\pages-app\r\nAppName=Wtest Pages\r\n"
    "AppBy=by the tests\r\nCompReg=Wtest Software\r\nVerNum=1.0\r\nFileNum=1\r\n";
const char kFinishHeading[] = "Wtest Pages Setup is ready to finish the installation.";

bool WritePackage(const RunDir& run)
{
    return run.Write(inst::Program(kInfText, "Pages license\r\n",
                                   {inst::File("one.txt", wt::ToBytes("one"))}));
}

// What a cancelled or declined run leaves: nothing at all.
void CheckNothingInstalled(const RunDir& run)
{
    CHECK(!wt::Exists(run.inf));
    CHECK(!wt::Exists(run.license));
    CHECK(!wt::Exists(kAppDir));
    CHECK(!wt::Exists(inst::LinkDir("Wtest Pages")));
    CHECK(!inst::KeyExists(HKEY_LOCAL_MACHINE, std::string(inst::kUninstallRoot) + "Wtest Pages"));
    CHECK(wt::Exists(run.setup));
}

// Cancel on the sheet: it ends at once, without a question, and the
// program with it.
bool CancelEnds(ui::Process& process, HWND sheet)
{
    ui::PressWizard(sheet, PSBTN_CANCEL);
    DWORD exitCode = 1;
    bool ended = ui::WaitExit(process, 15000, &exitCode);
    if (!ended) ui::Note("%s", ui::DescribeWindows(process).c_str());
    return ended && exitCode == 0;
}

bool SameTextNoCase(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// Waits until the window is gone (a dialog that has ended).
bool WaitGone(HWND window, int timeoutMs = 10000)
{
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (static_cast<int>(GetTickCount() - start) > timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

// Opens the browser from the destination page; its dialog window.
HWND OpenBrowser(ui::Process& process, HWND page)
{
    ui::Press(page, 1007);
    return ui::WaitWindow(process, nullptr, "Select directory", nullptr, inst::kWaitMs);
}

// Changes the browser's directory into the subdirectory `name` of the
// one it shows, the way a double click in the directory list does.
bool EnterDirectory(HWND browser, const char* name)
{
    HWND list = GetDlgItem(browser, lst2);
    DWORD_PTR count = 0;
    SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &count);
    for (DWORD_PTR i = 0; i < count; ++i) {
        // Read as wide text: the list answers another process so.
        wchar_t wide[512] = L"";
        char item[512] = "";
        DWORD_PTR got = 0;
        SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide),
                            SMTO_ABORTIFHUNG, 5000, &got);
        WideCharToMultiByte(CP_ACP, 0, wide, -1, item, sizeof item, nullptr, nullptr);
        ui::Note("directory list %u: \"%s\"", static_cast<unsigned>(i), item);
        std::string text = item;
        if (SameTextNoCase(text, name) || SameTextNoCase(text, std::string("[") + name + "]")) {
            SendMessageTimeoutA(list, LB_SETCURSEL, i, 0, SMTO_ABORTIFHUNG, 5000, &got);
            PostMessageA(browser, WM_COMMAND, MAKEWPARAM(lst2, LBN_DBLCLK),
                         reinterpret_cast<LPARAM>(list));
            return true;
        }
    }
    return false;
}

// Waits until the browser's directory label reads `wanted` (any case;
// "": any text at all).
bool WaitLabel(HWND browser, const std::string& wanted)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::string label = ui::ItemText(browser, stc1);
        if (wanted.empty() ? !label.empty() : SameTextNoCase(label, wanted)) break;
        if (GetTickCount() - start > 10000) {
            ui::Note("label \"%s\", not \"%s\"", ui::ItemText(browser, stc1).c_str(),
                     wanted.c_str());
            return false;
        }
        Sleep(50);
    }
    return true;
}

// The wizard buttons a person can press now (shown and enabled), in the
// order Back, Next, Finish, joined with ",".
std::string PressableButtons(HWND sheet)
{
    const struct {
        int id;
        const char* name;
    } buttons[] = {{0x3023, "Back"}, {0x3024, "Next"}, {0x3025, "Finish"}};
    std::string names;
    for (const auto& button : buttons) {
        HWND window = GetDlgItem(sheet, button.id);
        if (window && IsWindowVisible(window) && IsWindowEnabled(window))
            names += (names.empty() ? "" : ",") + std::string(button.name);
    }
    return names;
}

// The page posts its button set when it is shown: waits for `wanted`.
std::string WaitButtons(HWND sheet, const std::string& wanted)
{
    DWORD start = GetTickCount();
    std::string now = PressableButtons(sheet);
    while (now != wanted && GetTickCount() - start < 5000) {
        Sleep(50);
        now = PressableButtons(sheet);
    }
    return now;
}

// The window that has the keyboard focus in the thread of `window`.
HWND FocusIn(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// A key pressed and let go, as the keyboard sends it to `window`.
void PressKey(HWND window, UINT key)
{
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostMessageA(window, WM_KEYUP, key, 0xC0000001);
}

} // namespace

// Cancel on the Welcome page (before the license), on the destination page
// and on the Finish page: the program ends at once and nothing stays.
WTEST(CancelOnEachPageInstallsNothing)
{
    const char* pages[] = {"Welcome to Setup", "Where to install?", "Install"};
    for (int at = 0; at < 3; ++at) {
        ui::Note("cancel on \"%s\"", pages[at]);
        RunDir run("pages-cancel");
        REQUIRE(WritePackage(run));
        inst::Session session;
        ui::Process& process = session.process;
        REQUIRE(session.Start(run));
        HWND sheet = inst::PassQuestion(process);
        REQUIRE(sheet != nullptr || session.Fail());
        CHECK(wt::Exists(run.inf));
        CHECK(wt::Exists(run.license));
        if (at >= 1) REQUIRE(inst::AcceptLicense(process, sheet) || session.Fail());
        if (at == 2) {
            ui::PressWizard(sheet, PSBTN_NEXT);
            REQUIRE(inst::WaitPage(sheet, "Install") || session.Fail());
        }
        CHECK(CancelEnds(process, sheet));
        CheckNothingInstalled(run);
        wt::RemoveTree(run.dir);
    }
}

// Back and Next: the license comes once; a typed path is lost on Back; an
// empty path is taken; a path of 300 characters is cut to 259; the Finish
// heading is extended once, however often the page is shown.
WTEST(BackAndNextOnThePages)
{
    RunDir run("pages-backnext");
    REQUIRE(WritePackage(run));
    inst::Session session;
    ui::Process& process = session.process;
    REQUIRE(session.Start(run));
    HWND sheet = nullptr;
    HWND page = inst::ReachDestination(process, &sheet);
    REQUIRE(page != nullptr || session.Fail());
    CHECK_EQ(ui::ItemText(page, 1024), std::string(kAppDir));
    CHECK_EQ(WaitButtons(sheet, "Back,Next"), "Back,Next");

    // Back to Welcome and on again: no second license dialog.
    ui::PressWizard(sheet, PSBTN_BACK);
    REQUIRE(inst::WaitPage(sheet, "Welcome to Setup") || session.Fail());
    CHECK_EQ(WaitButtons(sheet, "Next"), "Next");
    ui::PressWizard(sheet, PSBTN_NEXT);
    page = inst::WaitPage(sheet, "Where to install?", 10000);
    REQUIRE(page != nullptr || session.Fail());
    CHECK(ui::WaitWindow(process, nullptr, "Software License Agreement", nullptr, 0) == nullptr);

    // A typed path, then Back: the field shows installDir again.
    ui::SetItemText(page, 1024, "C:\\wtest\\typed");
    ui::PressWizard(sheet, PSBTN_BACK);
    REQUIRE(inst::WaitPage(sheet, "Welcome to Setup") || session.Fail());
    ui::PressWizard(sheet, PSBTN_NEXT);
    page = inst::WaitPage(sheet, "Where to install?");
    REQUIRE(page != nullptr || session.Fail());
    CHECK_EQ(ui::ItemText(page, 1024), std::string(kAppDir));

    // No install directory: empty, a drive's root in any spelling, a
    // relative path, 300 characters. Each gets the warning, and the page
    // stays with the text as typed.
    std::string longPath = "C:\\wtest\\";
    while (longPath.size() < 300) longPath += "abcdefghi\\";
    longPath.resize(300);
    for (const std::string& typed :
         {std::string(), std::string("C:\\"), std::string("C:\\."), std::string("C:\\x\\.."),
          std::string("C:/Target/../.."), std::string("relative"), longPath}) {
        REQUIRE(ui::SetItemText(page, 1024, typed) || session.Fail());
        ui::PressWizard(sheet, PSBTN_NEXT);
        HWND box = ui::WaitMessageBox(process, "cannot install into this folder", 10000);
        REQUIRE(box != nullptr || session.Fail());
        ui::Box seen = ui::ReadBox(box);
        CHECK_EQ(seen.caption, std::string("Wtest Pages Setup"));
        CHECK_EQ(seen.text, std::string("Setup cannot install into this folder.\nPlease type a "
                                        "folder below a drive or network share, such as "
                                        "C:\\Apps\\Name, in at most 242 characters."));
        ui::Press(box, IDOK);
        REQUIRE(inst::WaitPage(sheet, "Where to install?") || session.Fail());
        CHECK_EQ(ui::ItemText(inst::CurrentPage(sheet), 1024), typed);
    }

    // A folder typed with a separator at its end: taken without it.
    REQUIRE(ui::SetItemText(page, 1024, "C:\\wtest\\typed\\ ") || session.Fail());
    ui::PressWizard(sheet, PSBTN_NEXT);
    HWND finish = inst::WaitPage(sheet, "Install");
    REQUIRE(finish != nullptr || session.Fail());
    CHECK_EQ(ui::ItemText(finish, 1003), kFinishHeading);
    CHECK_EQ(WaitButtons(sheet, "Back,Finish"), "Back,Finish");
    ui::PressWizard(sheet, PSBTN_BACK);
    page = inst::WaitPage(sheet, "Where to install?");
    REQUIRE(page != nullptr || session.Fail());
    CHECK_EQ(ui::ItemText(page, 1024), std::string("C:\\wtest\\typed"));
    CHECK_EQ(WaitButtons(sheet, "Back,Next"), "Back,Next");

    CHECK(CancelEnds(process, sheet));
    CheckNothingInstalled(run);
    wt::RemoveTree(run.dir);
}

// The license dialog: its field holds the text read-only and has the focus;
// Escape, Enter and the close box leave the dialog open; only its two
// buttons end it, and Exit Setup ends the program with nothing installed.
WTEST(LicenseDialogIsLeftOnlyByItsButtons)
{
    RunDir run("pages-license");
    REQUIRE(WritePackage(run));
    inst::Session session;
    ui::Process& process = session.process;
    REQUIRE(session.Start(run));
    HWND sheet = inst::PassQuestion(process);
    REQUIRE(sheet != nullptr || session.Fail());
    CHECK_EQ(WaitButtons(sheet, "Next"), "Next");
    ui::PressWizard(sheet, PSBTN_NEXT);
    HWND license = ui::WaitWindow(process, nullptr, "Software License Agreement", nullptr,
                                  inst::kWaitMs);
    REQUIRE(license != nullptr || session.Fail());
    HWND field = GetDlgItem(license, 1010);
    REQUIRE(field != nullptr);
    CHECK_EQ(ui::ItemText(license, 1010), "Pages license\r\n");
    LONG style = GetWindowLongA(field, GWL_STYLE);
    CHECK(style & ES_READONLY);
    CHECK(style & ES_MULTILINE);
    CHECK(style & WS_VSCROLL);
    CHECK(FocusIn(license) == field);

    // Typing into the field changes nothing.
    PostMessageA(field, WM_CHAR, 'x', 1);
    Sleep(300);
    CHECK_EQ(ui::ItemText(license, 1010), "Pages license\r\n");

    // Escape and Enter, and the close box: the dialog stays.
    const char* ways[] = {"Escape", "Enter", "close box"};
    for (int way = 0; way < 3; ++way) {
        ui::Note("way out: %s", ways[way]);
        if (way == 0) PressKey(FocusIn(license), VK_ESCAPE);
        if (way == 1) PressKey(FocusIn(license), VK_RETURN);
        if (way == 2) PostMessageA(license, WM_SYSCOMMAND, SC_CLOSE, 0);
        Sleep(500);
        CHECK(IsWindow(license) && IsWindowVisible(license));
        CHECK(inst::WaitPage(sheet, "Welcome to Setup", 1000) != nullptr);
    }
    ui::Press(license, 102);
    DWORD exitCode = 1;
    CHECK(ui::WaitExit(process, 15000, &exitCode));
    CHECK_EQ(exitCode, 0ul);
    CheckNothingInstalled(run);
    wt::RemoveTree(run.dir);
}

namespace {

// Ways to spoil the extracted license while the Welcome page shows.
void DeleteLicense(const std::string& path) { DeleteFileA(path.c_str()); }

// A file of 4 GiB less one byte (sparse: it takes no room), whose size the
// dialog cannot add its NUL to.
void HugeLicense(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LONG high = 0;
    SetFilePointer(file, LONG(0xFFFFFFFF), &high, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
}

} // namespace

// The three ways the license cannot be loaded, each met while the Welcome
// page shows: the message in a box of its own over the dialog, captioned
// "Setup Error" with OK alone; then the program ends with nothing
// installed.
WTEST(LicenseThatCannotBeLoadedEndsTheProgram)
{
    struct Case {
        const char* text;
        void (*spoil)(const std::string&);
    } cases[] = {{"Error accessing License.txt", DeleteLicense},
                 {"Can't get memory", HugeLicense}};
    for (const Case& c : cases) {
        ui::Note("case: %s", c.text);
        RunDir run("pages-license-error");
        REQUIRE(WritePackage(run));
        inst::Session session;
        ui::Process& process = session.process;
        REQUIRE(session.Start(run));
        HWND sheet = inst::PassQuestion(process);
        REQUIRE(sheet != nullptr || session.Fail());
        c.spoil(run.license);
        ui::PressWizard(sheet, PSBTN_NEXT);
        HWND box = ui::WaitMessageBox(process, c.text, inst::kWaitMs);
        REQUIRE(box != nullptr || session.Fail());
        ui::Box seen = ui::ReadBox(box);
        CHECK_EQ(seen.caption, "Setup Error");
        CHECK_EQ(seen.text, c.text);
        CHECK(seen.buttons == std::vector<int>{IDOK});
        CHECK_EQ(ui::Text(GetWindow(box, GW_OWNER)), "Software License Agreement");
        ui::Press(box, IDOK);
        DWORD exitCode = 1;
        CHECK(ui::WaitExit(process, 15000, &exitCode));
        CHECK_EQ(exitCode, 0ul);
        CheckNothingInstalled(run);
        wt::RemoveTree(run.dir);
    }
}

namespace {

// True when a byte-range lock taken through one handle makes a read
// through another fail, as on Windows. (Wine takes the lock but does not
// stop reads with it.)
bool LocksStopReads()
{
    std::string dir = wt::FreshDir("pages-lock-probe"), path = dir + "\\probe";
    wt::WriteBytes(path, wt::ToBytes("probe"));
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    LockFile(holder, 0, 0, 1, 0);
    bool ok = false;
    wt::ReadBytes(path, &ok);
    CloseHandle(holder);
    wt::RemoveTree(dir);
    return !ok;
}

} // namespace

// The third way: the license cannot be read. A lock on its first byte,
// held by this program while the dialog reads, makes the read fail where
// the platform enforces locks on reads.
WTEST(LicenseThatCannotBeReadShowsFileError)
{
    if (!LocksStopReads())
        SKIP("byte-range locks do not stop reads here (Wine): a read cannot be made to fail");
    RunDir run("pages-license-locked");
    REQUIRE(WritePackage(run));
    inst::Session session;
    ui::Process& process = session.process;
    REQUIRE(session.Start(run));
    HWND sheet = inst::PassQuestion(process);
    REQUIRE(sheet != nullptr || session.Fail());
    HANDLE holder = CreateFileA(run.license.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(holder != INVALID_HANDLE_VALUE);
    REQUIRE(LockFile(holder, 0, 0, 1, 0));
    ui::PressWizard(sheet, PSBTN_NEXT);
    HWND box = ui::WaitMessageBox(process, "File Error", inst::kWaitMs);
    CloseHandle(holder);
    REQUIRE(box != nullptr || session.Fail());
    ui::Box seen = ui::ReadBox(box);
    CHECK_EQ(seen.caption, "Setup Error");
    CHECK_EQ(seen.text, "File Error");
    CHECK(seen.buttons == std::vector<int>{IDOK});
    ui::Press(box, IDOK);
    DWORD exitCode = 1;
    CHECK(ui::WaitExit(process, 15000, &exitCode));
    CHECK_EQ(exitCode, 0ul);
    CheckNothingInstalled(run);
    wt::RemoveTree(run.dir);
}

// The browser: OK while its label is still empty keeps installDir and
// writes it into the field over what was typed; a directory chosen in it
// lands in the field; Cancel changes nothing.
WTEST(DirectoryBrowserOutcomes)
{
    RunDir run("pages-browse");
    std::string picked = run.dir + "\\picked";
    REQUIRE(CreateDirectoryA(picked.c_str(), nullptr));
    REQUIRE(WritePackage(run));
    inst::Session session;
    ui::Process& process = session.process;
    REQUIRE(session.Start(run));
    HWND sheet = nullptr;
    HWND page = inst::ReachDestination(process, &sheet);
    REQUIRE(page != nullptr || session.Fail());

    // OK at once: the label is empty, installDir stays and fills the field.
    ui::SetItemText(page, 1024, "C:\\wtest\\typed first");
    HWND browser = OpenBrowser(process, page);
    REQUIRE(browser != nullptr || session.Fail());
    CHECK_EQ(ui::ItemText(browser, stc1), std::string());
    ui::Press(browser, IDOK);
    REQUIRE(WaitGone(browser) || session.Fail());
    CHECK_EQ(ui::ItemText(page, 1024), std::string(kAppDir));

    // A directory chosen in the list: the field shows it.
    ui::SetItemText(page, 1024, "C:\\wtest\\typed second");
    browser = OpenBrowser(process, page);
    REQUIRE(browser != nullptr || session.Fail());
    REQUIRE(EnterDirectory(browser, "picked") || session.Fail());
    REQUIRE(WaitLabel(browser, picked) || session.Fail());
    ui::Press(browser, IDOK);
    REQUIRE(WaitGone(browser) || session.Fail());
    CHECK(SameTextNoCase(ui::ItemText(page, 1024), picked));

    // Cancel after changing directory: the field keeps what was typed.
    // (Wine opens this second run where the last one ended, so the way
    // out is the parent directory, whichever that is.)
    ui::SetItemText(page, 1024, "C:\\wtest\\typed third");
    browser = OpenBrowser(process, page);
    REQUIRE(browser != nullptr || session.Fail());
    REQUIRE(EnterDirectory(browser, "..") || session.Fail());
    REQUIRE(WaitLabel(browser, "") || session.Fail());
    ui::Press(browser, IDCANCEL);
    REQUIRE(WaitGone(browser) || session.Fail());
    CHECK_EQ(ui::ItemText(page, 1024), "C:\\wtest\\typed third");

    CHECK(CancelEnds(process, sheet));
    CheckNothingInstalled(run);
    wt::RemoveTree(run.dir);
}

namespace {

// Deletes the uninstall entries whose names begin with `prefix`.
void DeleteUninstallEntries(const std::string& prefix)
{
    HKEY root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, std::string(inst::kUninstallRoot).c_str(), 0,
                      KEY_ALL_ACCESS, &root) != ERROR_SUCCESS)
        return;
    std::vector<std::string> doomed;
    char name[512];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(root, i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (std::string(name).compare(0, prefix.size(), prefix) == 0) doomed.push_back(name);
    }
    for (const std::string& key : doomed) RegDeleteKeyA(root, key.c_str());
    RegCloseKey(root);
}

} // namespace

// An application name of 250 characters: every text that holds it is cut
// at its buffer's end (question 255, page texts 511, caption 255, closing
// message 511) and the run goes on to its end. The backdrop, once shown,
// cannot be moved or sized.
WTEST(LongApplicationNameTextsAreCut)
{
    std::string name;
    for (int i = 0; name.size() < 250; ++i) name += "Longname" + std::to_string(i % 10);
    name.resize(250);
    inst::UseDefaultLayout();
    const std::string app = "C:\\wtest\\long-app";
    std::string inf = "[Install]\r\nDefDir=" + app + "\r\nAppName=" + name +
                      "\r\nAppBy=by the tests\r\nCompReg=Wtest Software\r\nVerNum=1.0\r\n";
    RunDir run("pages-long");
    REQUIRE(run.Write(inst::Program(inf, "Long license\r\n", {})));
    inst::Session session;
    ui::Process& process = session.process;
    REQUIRE(session.Start(run));

    HWND box = ui::WaitMessageBox(process, "previous version", inst::kWaitMs);
    REQUIRE(box != nullptr || session.Fail());
    std::string caption = (name + " Setup").substr(0, 255);
    ui::Box question = ui::ReadBox(box);
    CHECK_EQ(question.caption, caption);
    CHECK_EQ(question.text, ("If you have a previous version of " + name +
                             " running,\nyou must exit it before running this setup "
                             "program.  Continue?").substr(0, 255));

    HWND backdrop = ui::WaitWindow(process, "SetupWClass", nullptr, nullptr, inst::kWaitMs);
    REQUIRE(backdrop != nullptr || session.Fail());
    RECT placed, after;
    GetWindowRect(backdrop, &placed);
    SetWindowPos(backdrop, nullptr, 100, 80, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(backdrop, &after);
    CHECK(EqualRect(&placed, &after));
    ui::Press(box, IDYES);

    HWND sheet = ui::WaitWindow(process, nullptr, "Welcome to Setup", nullptr, inst::kWaitMs);
    REQUIRE(sheet != nullptr || session.Fail());
    HWND page = inst::WaitPage(sheet, "Welcome to Setup");
    REQUIRE(page != nullptr || session.Fail());
    CHECK_EQ(ui::ItemText(page, 1003),
             ("Welcome to " + caption + "\n\nThis Setup program will install " + name +
              " on your computer.").substr(0, 511));
    CHECK_EQ(ui::ItemText(page, 1004),
             ("To install " + name + " on your computer now, click Next or press Enter.\n\n"
              "To exit Setup without installing " + name + ", click Cancel at any time.")
                 .substr(0, 511));
    page = inst::AcceptLicense(process, sheet);
    REQUIRE(page != nullptr || session.Fail());
    ui::PressWizard(sheet, PSBTN_NEXT);
    page = inst::WaitPage(sheet, "Install");
    REQUIRE(page != nullptr || session.Fail());
    CHECK_EQ(ui::ItemText(page, 1003), caption);
    CHECK_EQ(ui::ItemText(page, 1004),
             "To install " + name + " on your computer now, click Finish or press Enter.\n\n"
             "To exit Setup without installing, click Cancel.");
    ui::PressWizard(sheet, PSBTN_FINISH);

    box = ui::WaitMessageBox(process, "Setup is complete.", 60000);
    REQUIRE(box != nullptr || session.Fail());
    CHECK_EQ(ui::ReadBox(box).text,
             (name + " Setup is complete.  To run " + name +
              ", click its menu\nitem on the Start Menu.  If you need help getting "
              "started,\nclick the " + name + " Help menu item there.")
                 .substr(0, 511));
    ui::Press(box, IDOK);
    backdrop = ui::WaitWindow(process, "SetupWClass", "Setup is cleaning up...", nullptr,
                              inst::kWaitMs);
    REQUIRE(backdrop != nullptr || session.Fail());
    PostMessageA(backdrop, WM_TIMER, 1, 0);
    DWORD exitCode = 1;
    CHECK(ui::WaitExit(process, inst::kWaitMs, &exitCode));
    CHECK_EQ(exitCode, 0ul);

    // The Start-menu folder's name is cut where its 256-byte path ends.
    std::string links = inst::LinkDir(name).substr(0, 255);
    CHECK_EQ(wt::IniValue(app + "\\Uninstal.inf", "Uninstall", "linkdir"), links);
    CHECK(wt::Exists(links));
    wt::RemoveTree(links);
    DeleteUninstallEntries(name.substr(0, 100));
    wt::RemoveTree(app);
    wt::RemoveTree(run.dir);
}
