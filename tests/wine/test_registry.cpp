// Install-mode registry rows, group conversion and Start-menu shortcuts,
// called directly and read back from the Wine registry and the link files.
#include <windows.h>
#include <shlobj.h>
#include <string>
#include <vector>
#include "registry.h"
#include "shortcuts.h"
#include "testutil.h"
#include "wtest.h"


namespace {

const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kHandler[] = "*\\shellex\\ContextMenuHandlers\\Lumenoid";

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

void Prepare(SetupState& s, const char* app, const std::string& dir)
{
    std::string inf = dir + "\\setup.inf";
    wt::WriteBytes(inf, wt::ToBytes("[Install]\r\nVerNum=2.1\r\n"));
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
        if (lumenoid)
            CHECK_EQ(Value(HKEY_CLASSES_ROOT,
                           "CLSID\\{7F2B64A1-3D95-11d1-A8C2-4E0213B70000}\\InProcServer32",
                           ""),
                     std::string("C:\\Program Files\\My App\\lumoxext.dll"));
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

WTEST(links_records_and_descriptions)
{
    std::string dir = wt::FreshDir("reg-links");
    std::string inf = dir + "\\setup.inf";
    wt::WriteBytes(inf, wt::ToBytes(
        "[Links]\r\nlinka=app.exe\r\nlinkfilea=My App.lnk\r\nlinkb=b.exe\r\n"
        "linkfileb=\r\nlinkc=c.exe\r\nlinkfilec=a.b.lnk\r\nlinkd=d.exe\r\n"
        "linkfiled=plain\r\n[Uninstall]\r\nfilea=x\r\n"));
    lstrcpyA(setupState.infPath, inf.c_str());
    lstrcpyA(setupState.installDir, dir.c_str());
    char key[] = "fileb";
    CreateStartMenuLinks(&setupState, (dir + "\\").c_str(), key);
    CHECK_EQ(std::string(key), std::string("filee"));
    char value[300];
    GetPrivateProfileStringA("Uninstall", "fileb", "", value, 300, inf.c_str());
    CHECK_EQ(std::string(value), dir + "\\My App.lnk");
    GetPrivateProfileStringA("Uninstall", "filec", "", value, 300, inf.c_str());
    CHECK_EQ(std::string(value), dir + "\\a.b.lnk");
    GetPrivateProfileStringA("Uninstall", "filed", "", value, 300, inf.c_str());
    CHECK_EQ(std::string(value), dir + "\\plain");

    CoInitialize(0);
    IShellLinkA* link;
    REQUIRE(CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER,
                             IID_IShellLinkA, (void**)&link) >= 0);
    IPersistFile* file;
    link->QueryInterface(IID_IPersistFile, (void**)&file);
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, (dir + "\\a.b.lnk").c_str(), -1, wide, MAX_PATH);
    CHECK(file->Load(wide, 0) >= 0);
    char text[MAX_PATH] = "";
    link->GetDescription(text, MAX_PATH);
    CHECK_EQ(std::string(text), std::string("a.b"));
    link->GetPath(text, MAX_PATH, 0, 0);
    CHECK_EQ(std::string(text), dir + "\\c.exe");
    file->Release();
    link->Release();
}
