// Install-mode registry rows, group conversion and Start-menu shortcuts,
// called directly and read back from the Wine registry and the link files.
#include <windows.h>
#include <shlobj.h>
#include <string>
#include <vector>
#include "install.h"
#include "registry.h"
#include "setupinfo.h"
#include "shortcuts.h"
#include "testutil.h"
#include "wtest.h"


namespace {

const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kHandler[] = "*\\shellex\\ContextMenuHandlers\\Lumenoid";
const char kClassId[] = "{7F2B64A1-3D95-11d1-A8C2-4E0213B70000}";
const char kClassKey[] = "CLSID\\{7F2B64A1-3D95-11d1-A8C2-4E0213B70000}";
const char kServerKey[] = "CLSID\\{7F2B64A1-3D95-11d1-A8C2-4E0213B70000}\\InProcServer32";
const char kApproval[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string Value(HKEY root, const std::string& path, const char* name,
                  DWORD* size = nullptr)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key)) return "<none>";
    char data[600] = "";
    DWORD length = sizeof data;
    LONG r = RegQueryValueExA(key, name, 0, 0, (BYTE*)data, &length);
    RegCloseKey(key);
    if (size) *size = length;
    return r ? "<none>" : data;
}

void DeleteTree(HKEY root, const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char name[256];
    for (;;) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &size, 0, 0, 0, 0) != ERROR_SUCCESS) break;
        DeleteTree(key, name);
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path.c_str());
}

// The setup information file at `inf` as the stub works on it: read into
// memory, with no records of an earlier call.
void UseSetupInfo(const std::string& inf, const std::string& installDir)
{
    FreeInfFile(&setupState.inf);
    LoadInfFile(inf.c_str(), &setupState.inf);
    ClearRecords();
    lstrcpyA(setupState.infPath, inf.c_str());
    lstrcpyA(setupState.installDir, installDir.c_str());
}

void Prepare(SetupState& s, const char* app, const std::string& dir,
             const char* install = "[Install]\r\nVerNum=2.1\r\n")
{
    std::string inf = dir + "\\setup.inf";
    wt::WriteBytes(inf, wt::ToBytes(install));
    FreeInfFile(&s.inf);
    LoadInfFile(inf.c_str(), &s.inf);
    lstrcpyA(s.appName, app);
    lstrcpyA(s.installDir, "C:\\Program Files\\My App");
    lstrcpyA(s.infPath, inf.c_str());
}

} // namespace

WTEST(install_rows_by_name)
{
    std::string dir = wt::FreshDir("reg-rows");
    const char* names[] = {"Lumenoid", "LUMENOID", "Lumenoid Pro"};
    for (const char* name : names) {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kHandler);
        DeleteTree(HKEY_CLASSES_ROOT, kClassKey);
        HKEY approval;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kApproval, 0, KEY_ALL_ACCESS, &approval) == 0) {
            RegDeleteValueA(approval, kClassId);
            RegCloseKey(approval);
        }
        Prepare(setupState, name, dir);
        UpdateRegistry(&setupState, 0);
        std::string key =
            std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + name;
        CHECK_EQ(Value(HKEY_LOCAL_MACHINE, key, "DisplayName"),
                 std::string(name) + " - 2.1");
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, MAX_PATH);
        CHECK_EQ(Value(HKEY_LOCAL_MACHINE, key, "UninstallString"),
                 std::string(windows) +
                     "\\Duvedozi.exe C:\\Program Files\\My App\\uninstal.inf");
        CHECK_EQ(Value(HKEY_LOCAL_MACHINE, key, "QuietUninstallString"),
                 std::string(windows) +
                     "\\Duvedozi.exe /S C:\\Program Files\\My App\\uninstal.inf");
        bool lumenoid = lstrcmpiA(name, "Lumenoid") == 0;
        CHECK_EQ(Value(HKEY_CLASSES_ROOT, kHandler, ""),
                 std::string(lumenoid ? "{7F2B64A1-3D95-11d1-A8C2-4E0213B70000}"
                                      : "<none>"));
        // Rows 4 to 7, each with its exact data, only for the product.
        DWORD size = 0;
        CHECK_EQ(Value(HKEY_CLASSES_ROOT, kClassKey, "", &size),
                 std::string(lumenoid ? "Lumenoid dll" : "<none>"));
        if (lumenoid) CHECK_EQ(size, 13ul);
        CHECK_EQ(Value(HKEY_CLASSES_ROOT, kServerKey, ""),
                 std::string(lumenoid ? "C:\\Program Files\\My App\\lumoxext.dll" : "<none>"));
        CHECK_EQ(Value(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel", &size),
                 std::string(lumenoid ? "Apartment" : "<none>"));
        if (lumenoid) CHECK_EQ(size, 10ul);
        CHECK_EQ(Value(HKEY_LOCAL_MACHINE, kApproval, kClassId),
                 std::string(lumenoid ? "Lumenoid dll" : "<none>"));
    }
}

// [Install] without VerNum: the display name ends in " - " and nothing more.
WTEST(display_name_without_version)
{
    std::string dir = wt::FreshDir("reg-nover");
    Prepare(setupState, "Wtest NoVer", dir, "[Install]\r\nAppName=Wtest NoVer\r\n");
    UpdateRegistry(&setupState, 0);
    std::string key = std::string(kUninstallRoot) + "Wtest NoVer";
    DWORD size = 0;
    CHECK_EQ(Value(HKEY_LOCAL_MACHINE, key, "DisplayName", &size), "Wtest NoVer - ");
    CHECK_EQ(size, 15ul);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

// An application name so long that the uninstall key's path is cut: the
// entry written under the cut name is the one removed again.
WTEST(long_name_entry_is_removed_under_the_key_it_was_written_to)
{
    std::string dir = wt::FreshDir("reg-long");
    std::string name;
    while (name.size() < 250) name += "Wtest long name ";
    name.resize(250);
    Prepare(setupState, name.c_str(), dir);
    UpdateRegistry(&setupState, 0);
    std::string key = (kUninstallRoot + name).substr(0, 255);
    REQUIRE(key.size() == 255u);
    CHECK_EQ(Value(HKEY_LOCAL_MACHINE, key, "DisplayName"), (name + " - 2.1").substr(0, 255));
    lstrcpyA(setupState.compReg, "Wtest Co");
    UpdateRegistry(&setupState, 1);
    CHECK_EQ(Value(HKEY_LOCAL_MACHINE, key, "DisplayName"), "<none>");
    HKEY left;
    bool stays = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &left) == 0;
    if (stays) RegCloseKey(left);
    CHECK(!stays);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

namespace {

// The platform's two failures: nothing written and 0, or the size needed
// (more than the buffer's) and nothing written.
UINT WINAPI WindowsDirectoryFails(LPSTR, UINT) { return 0; }
UINT WINAPI WindowsDirectoryTooLong(LPSTR, UINT) { return 300; }

// Leaves the stack below the caller full of 'Q's, where the next call's
// buffers will lie: bytes nobody wrote then show.
__attribute__((noinline)) void SoilStack()
{
    volatile char soil[16384];
    for (size_t i = 0; i < sizeof soil; ++i) soil[i] = 'Q';
}

} // namespace

// GetWindowsDirectoryA failing: the paths made from the Windows directory
// hold no byte it did not write; the directory counts as empty.
WTEST(windows_directory_that_cannot_be_had_counts_as_empty)
{
    std::string dir = wt::FreshDir("reg-nowindows");
    for (auto* fake : {&WindowsDirectoryFails, &WindowsDirectoryTooLong}) {
        Prepare(setupState, "Wtest NoWindows", dir);
        void* real = wt::ReplaceImport("kernel32.dll", "GetWindowsDirectoryA",
                                       reinterpret_cast<void*>(fake));
        REQUIRE(real != nullptr);
        char path[SETUP_PATH_SIZE];
        SoilStack();
        WindowsPath(path, "\\Duvedozi.exe");
        SoilStack();
        UpdateRegistry(&setupState, 0);
        wt::ReplaceImport("kernel32.dll", "GetWindowsDirectoryA", real);
        CHECK_EQ(std::string(path), "\\Duvedozi.exe");
        std::string key = std::string(kUninstallRoot) + "Wtest NoWindows";
        CHECK_EQ(Value(HKEY_LOCAL_MACHINE, key, "UninstallString"),
                 "\\Duvedozi.exe C:\\Program Files\\My App\\uninstal.inf");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    }
}

// An empty AppName (a setup file without [Install]) must not put an
// entry's values onto the Uninstall key that holds every application's.
WTEST(empty_name_writes_no_uninstall_entry)
{
    std::string dir = wt::FreshDir("reg-empty");
    const std::string parent = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    Prepare(setupState, "", dir);
    UpdateRegistry(&setupState, 0);
    CHECK_EQ(Value(HKEY_LOCAL_MACHINE, parent, "DisplayName"), std::string("<none>"));
    CHECK_EQ(Value(HKEY_LOCAL_MACHINE, parent, "UninstallString"), std::string("<none>"));
    CHECK_EQ(Value(HKEY_LOCAL_MACHINE, parent, "QuietUninstallString"), std::string("<none>"));
}

WTEST(group_conversion_sizes_and_setup_subkey)
{
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnce, 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0);
    RegDeleteValueA(key, "Wrapper");
    RegDeleteKeyA(key, "Setup");
    RegCloseKey(key);
    CHECK_EQ(ScheduleGroupConversion(0), 0L);
    DWORD size = 0;
    CHECK_EQ(Value(HKEY_LOCAL_MACHINE, kRunOnce, "GrpConv", &size),
             std::string("grpconv -o"));
    CHECK_EQ(size, 11ul);
    CHECK_EQ(Value(HKEY_LOCAL_MACHINE, kRunOnce, "Wrapper"), std::string("<none>"));
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kRunOnce) + "\\Setup").c_str(),
                    0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0);
    RegCloseKey(key);
    ScheduleGroupConversion(0);
    CHECK_EQ(Value(HKEY_LOCAL_MACHINE, kRunOnce, "Wrapper", &size),
             std::string("runonce"));
    CHECK_EQ(size, 8ul);
}

// Without the RunOnce key nothing is created: the call reports the failure.
// The key's values are put back afterwards.
WTEST(group_conversion_without_runonce_key_writes_nothing)
{
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnce, 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0);
    RegDeleteKeyA(key, "Setup");
    struct Saved { std::string name; DWORD type; std::string data; };
    std::vector<Saved> saved;
    char name[256];
    BYTE data[1024];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data, type;
        if (RegEnumValueA(key, i, name, &nameSize, 0, &type, data, &dataSize))
            break;
        saved.push_back({name, type, std::string((char*)data, dataSize)});
    }
    RegCloseKey(key);
    REQUIRE(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRunOnce) == ERROR_SUCCESS);
    CHECK(ScheduleGroupConversion(0) != 0L);
    bool created = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnce, 0, KEY_READ, &key) ==
                   ERROR_SUCCESS;
    if (created) RegCloseKey(key);
    CHECK(!created);
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnce, 0, 0, 0, KEY_ALL_ACCESS, 0, &key, 0);
    for (const Saved& v : saved)
        RegSetValueExA(key, v.name.c_str(), 0, v.type, (const BYTE*)v.data.data(),
                       (DWORD)v.data.size());
    RegCloseKey(key);
}

namespace {

// The description and the target path stored in a shell link file.
std::string LinkText(const std::string& path, bool description)
{
    CoInitialize(0);
    IShellLinkA* link;
    if (CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                         (void**)&link) < 0)
        return "<no link object>";
    IPersistFile* file;
    link->QueryInterface(IID_IPersistFile, (void**)&file);
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    char text[MAX_PATH] = "<not loaded>";
    if (file->Load(wide, 0) >= 0) {
        text[0] = 0;
        if (description) link->GetDescription(text, MAX_PATH);
        else link->GetPath(text, MAX_PATH, 0, 0);
    }
    file->Release();
    link->Release();
    return text;
}

std::string LinkDescription(const std::string& path) { return LinkText(path, true); }
std::string LinkTarget(const std::string& path) { return LinkText(path, false); }

} // namespace

WTEST(links_records_and_descriptions)
{
    std::string dir = wt::FreshDir("reg-links");
    std::string inf = dir + "\\setup.inf";
    wt::WriteBytes(inf, wt::ToBytes(
        "[Links]\r\nlinka=app.exe\r\nlinkfilea=My App.lnk\r\nlinkb=b.exe\r\n"
        "linkfileb=\r\nlinkc=c.exe\r\nlinkfilec=a.b.lnk\r\nlinkd=d.exe\r\n"
        "linkfiled=plain\r\n[Uninstall]\r\nfilea=x\r\n"));
    UseSetupInfo(inf, dir);
    CreateStartMenuLinks(&setupState, (dir + "\\").c_str());
    REQUIRE(WriteRecords(inf.c_str()));
    // The shipped "filea" keeps its key: the links go from "fileb" on.
    CHECK_EQ(wt::IniValue(inf, "Uninstall", "filea"), "x");
    CHECK_EQ(wt::IniValue(inf, "Uninstall", "filee"), "");
    char value[300];
    GetPrivateProfileStringA("Uninstall", "fileb", "", value, 300, inf.c_str());
    CHECK_EQ(std::string(value), dir + "\\My App.lnk");
    GetPrivateProfileStringA("Uninstall", "filec", "", value, 300, inf.c_str());
    CHECK_EQ(std::string(value), dir + "\\a.b.lnk");
    GetPrivateProfileStringA("Uninstall", "filed", "", value, 300, inf.c_str());
    CHECK_EQ(std::string(value), dir + "\\plain");

    CHECK_EQ(LinkDescription(dir + "\\My App.lnk"), "My App");
    CHECK_EQ(LinkDescription(dir + "\\a.b.lnk"), "a.b");
    CHECK_EQ(LinkDescription(dir + "\\plain"), "plain");
    CHECK_EQ(LinkTarget(dir + "\\a.b.lnk"), dir + "\\c.exe");
    CHECK_EQ(LinkTarget(dir + "\\My App.lnk"), dir + "\\app.exe");
}

// The [Links] pairs end at the first absent "link" key: linka and linkc
// without linkb make one shortcut and one record.
WTEST(links_end_at_the_first_missing_pair)
{
    std::string dir = wt::FreshDir("reg-links-gap");
    std::string inf = dir + "\\setup.inf";
    wt::WriteBytes(inf, wt::ToBytes("[Links]\r\nlinka=a.exe\r\nlinkfilea=A.lnk\r\n"
                                    "linkc=c.exe\r\nlinkfilec=C.lnk\r\n"));
    UseSetupInfo(inf, dir);
    CreateStartMenuLinks(&setupState, (dir + "\\").c_str());
    REQUIRE(WriteRecords(inf.c_str()));
    CHECK_EQ(wt::IniValue(inf, "Uninstall", "filea"), dir + "\\A.lnk");
    CHECK_EQ(wt::IniValue(inf, "Uninstall", "fileb"), "");
    CHECK_EQ(LinkTarget(dir + "\\A.lnk"), dir + "\\a.exe");
    CHECK(!wt::Exists(dir + "\\C.lnk"));
}

// Remove mode deletes "settings" and "Recent File List" below
// Software\<CompReg>\<AppName>; without a CompReg that key would be
// Software\\<AppName>, which the registry takes for another vendor's
// Software\<AppName>: nothing is removed there.
WTEST(per_user_keys_only_below_the_company_key)
{
    const char* app = "Wtest Vendorless";
    std::string theirs = std::string("Software\\") + app + "\\settings";
    std::string ours = std::string("Software\\Wtest Co\\") + app;
    for (const std::string& path : {theirs, ours + "\\settings", ours + "\\Recent File List"}) {
        HKEY key;
        REQUIRE(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS);
        RegCloseKey(key);
    }
    std::string dir = wt::FreshDir("reg-vendor");
    Prepare(setupState, app, dir);
    lstrcpyA(setupState.compReg, "");
    UpdateRegistry(&setupState, 1);
    HKEY key;
    bool kept = RegOpenKeyExA(HKEY_CURRENT_USER, theirs.c_str(), 0, KEY_READ, &key) == 0;
    if (kept) RegCloseKey(key);
    CHECK(kept);
    lstrcpyA(setupState.compReg, "Wtest Co");
    UpdateRegistry(&setupState, 1);
    for (const char* sub : {"\\settings", "\\Recent File List"}) {
        bool gone = RegOpenKeyExA(HKEY_CURRENT_USER, (ours + sub).c_str(), 0, KEY_READ, &key) != 0;
        if (!gone) RegCloseKey(key);
        CHECK(gone);
    }
    DeleteTree(HKEY_CURRENT_USER, std::string("Software\\") + app);
    DeleteTree(HKEY_CURRENT_USER, "Software\\Wtest Co");
}
