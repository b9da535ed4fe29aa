// Shared steps of the install-mode test programs: setup programs packed
// from crafted entries, the registry and INI reads that check an
// installation, and the driving of the question, the wizard's pages and
// the closing message the way a person at the screen does it.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "archive.h"
#include "testutil.h"
#include "uidriver.h"

namespace inst {

const char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const int kWaitMs = 30000;

inline archive::EntrySpec File(const std::string& name, const wt::Bytes& data,
                               std::uint16_t dosDate = wt::DosDate(2021, 3, 4),
                               std::uint16_t dosTime = wt::DosTime(12, 0, 0),
                               std::uint8_t attributes = 0x20)
{
    archive::EntrySpec wanted;
    wanted.name = name;
    wanted.data = data;
    wanted.dosDate = dosDate;
    wanted.dosTime = dosTime;
    wanted.attributes = attributes;
    return wanted;
}

// The stub followed by the setup information file, the license text and
// the application files, as whole entries.
inline wt::Bytes Program(const std::string& inf, const std::string& license,
                         const std::vector<archive::EntrySpec>& files)
{
    wt::Bytes program = wt::ReadBytes(wt::StubPath());
    program = wt::Concat(program, archive::MakeEntry(File("setup.inf", wt::ToBytes(inf))));
    program = wt::Concat(program,
                         archive::MakeEntry(File("license.txt", wt::ToBytes(license))));
    for (const archive::EntrySpec& file : files)
        program = wt::Concat(program, archive::MakeEntry(file));
    return program;
}

// A fresh C:\wtest\<name> holding setup.exe, and the places where the
// setup program puts its two files at start.
struct RunDir {
    std::string dir, setup, inf, license;
    explicit RunDir(const std::string& name)
        : dir(wt::FreshDir(name)), setup(dir + "\\setup.exe"),
          inf(dir + "\\Uninstal.inf"), license(dir + "\\License.txt")
    {
    }
    bool Write(const wt::Bytes& program) const { return wt::WriteBytes(setup, program); }
};

inline std::string WindowsDir()
{
    char dir[MAX_PATH] = "";
    GetWindowsDirectoryA(dir, sizeof dir);
    return dir;
}

// The Windows 95 layout's Programs folder below the Windows directory. A
// default prefix has none; the tests that want one make it themselves.
inline std::string Windows95Programs() { return WindowsDir() + "\\Start Menu\\Programs"; }

// The shell's Programs folder for all users (CSIDL_COMMON_PROGRAMS) or the
// current user's (CSIDL_PROGRAMS), as the system registers it.
inline std::string ShellPrograms(int csidl = CSIDL_COMMON_PROGRAMS)
{
    char path[MAX_PATH] = "";
    return SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE) ? path : "";
}

// An application's Start-menu folder in a default prefix.
inline std::string LinkDir(const std::string& appName)
{
    return ShellPrograms() + "\\" + appName;
}

// The default layout: no Windows 95 folder, which an earlier run of the
// suite may have left in the prefix.
inline void UseDefaultLayout() { wt::RemoveTree(WindowsDir() + "\\Start Menu"); }

// The Windows 95 layout while the object lives.
struct Windows95Layout {
    Windows95Layout()
    {
        CreateDirectoryA((WindowsDir() + "\\Start Menu").c_str(), nullptr);
        CreateDirectoryA(Windows95Programs().c_str(), nullptr);
    }
    ~Windows95Layout() { UseDefaultLayout(); }
};

// A shortcut as the shell reads it back: its target and description, or
// "(not loaded)" in both.
struct Shortcut {
    std::string target, description;
};
inline Shortcut LoadShortcut(const std::string& path)
{
    Shortcut shortcut{"(not loaded)", "(not loaded)"};
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return shortcut;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        if (SUCCEEDED(file->Load(wide, STGM_READ))) {
            char text[MAX_PATH] = "";
            link->GetPath(text, MAX_PATH, nullptr, 0);
            shortcut.target = text;
            text[0] = 0;
            link->GetDescription(text, MAX_PATH);
            shortcut.description = text;
        }
        file->Release();
    }
    link->Release();
    return shortcut;
}

inline std::string Uninstaller() { return WindowsDir() + "\\Duvedozi.exe"; }

inline bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

inline std::string KeyValue(HKEY root, const std::string& path, const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(no key)";
    char data[512] = "";
    DWORD size = sizeof data - 1, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(data) : "(no value)";
}

// The key names of an INI section, in file order, joined with ",".
inline std::string SectionKeys(const std::string& path, const char* section)
{
    std::vector<char> buffer(8192, '\0');
    DWORD n = GetPrivateProfileStringA(section, nullptr, "", buffer.data(),
                                       static_cast<DWORD>(buffer.size()), path.c_str());
    std::string keys;
    for (DWORD i = 0; i < n && buffer[i];) {
        std::string key(buffer.data() + i);
        keys += (keys.empty() ? "" : ",") + key;
        i += static_cast<DWORD>(key.size()) + 1;
    }
    return keys;
}

inline HWND CurrentPage(HWND sheet)
{
    DWORD_PTR page = 0;
    SendMessageTimeoutA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 5000, &page);
    return reinterpret_cast<HWND>(page);
}

// Waits until the sheet shows the page with this caption ("Welcome to
// Setup", "Where to install?", "Install"); its window, or nullptr.
inline HWND WaitPage(HWND sheet, const char* caption, int timeoutMs = kWaitMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND page = CurrentPage(sheet);
        if (page && IsWindowVisible(page) && ui::Text(page) == caption) return page;
        if (!IsWindow(sheet) || static_cast<int>(GetTickCount() - start) > timeoutMs) break;
        Sleep(50);
    }
    ui::Note("page \"%s\" not shown", caption);
    return nullptr;
}

// Yes to the question; the sheet once its Welcome page is up.
inline HWND PassQuestion(ui::Process& process)
{
    HWND box = ui::WaitMessageBox(process, "previous version", kWaitMs);
    if (!box) {
        ui::Note("%s", ui::DescribeWindows(process).c_str());
        return nullptr;
    }
    ui::Press(box, IDYES);
    HWND sheet = ui::WaitWindow(process, nullptr, "Welcome to Setup", nullptr, kWaitMs);
    return sheet && WaitPage(sheet, "Welcome to Setup") ? sheet : nullptr;
}

// Welcome's Next, Accept in the license dialog: the destination page.
inline HWND AcceptLicense(ui::Process& process, HWND sheet)
{
    ui::PressWizard(sheet, PSBTN_NEXT);
    HWND license = ui::WaitWindow(process, nullptr, "Software License Agreement", nullptr,
                                  kWaitMs);
    if (!license) return nullptr;
    ui::Press(license, 101);
    return WaitPage(sheet, "Where to install?");
}

// From the start to the destination page: the question, Welcome, license.
inline HWND ReachDestination(ui::Process& process, HWND* sheet)
{
    *sheet = PassQuestion(process);
    return *sheet ? AcceptLicense(process, *sheet) : nullptr;
}

// The destination page's Next, then Finish: the closing message (or
// whatever box comes first when textPart names it).
inline HWND FinishWizard(ui::Process& process, HWND sheet,
                         const char* textPart = "Setup is complete.")
{
    ui::PressWizard(sheet, PSBTN_NEXT);
    if (!WaitPage(sheet, "Install")) return nullptr;
    ui::PressWizard(sheet, PSBTN_FINISH);
    return ui::WaitMessageBox(process, textPart, 60000);
}

// A whole install with the default answers: Yes, Next, Accept, Next,
// Finish, OK; the backdrop titled "Setup is cleaning up..." then gets its
// timer early. false when a step's window did not come.
inline bool InstallAndClean(ui::Process& process)
{
    HWND sheet = nullptr;
    if (!ReachDestination(process, &sheet)) return false;
    HWND box = FinishWizard(process, sheet);
    if (!box) return false;
    ui::Press(box, IDOK);
    HWND backdrop = ui::WaitWindow(process, "SetupWClass", "Setup is cleaning up...",
                                   nullptr, kWaitMs);
    if (!backdrop) return false;
    PostMessageA(backdrop, WM_TIMER, 1, 0);
    DWORD code = 1;
    return ui::WaitExit(process, kWaitMs, &code) && code == 0;
}

// Runs a step sequence against a started process; a step that fails
// leaves the windows in the transcript and ends the process.
struct Session {
    ui::Process process;
    bool Start(const RunDir& run)
    {
        return ui::Start(process, wt::Quote(run.setup), run.dir);
    }
    bool Fail()
    {
        ui::Note("%s", ui::DescribeWindows(process).c_str());
        ui::Kill(process);
        return false;
    }
    ~Session() { ui::Kill(process); }
};

} // namespace inst
