// Registry rows of the uninstall entry and the product's shell extension,
// their removal at uninstallation, and the group conversion in RunOnce.
#include "registry.h"
#include "setupinfo.h"
#include "text.h"

static const char uninstallPrefix[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
static const char runKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
static const char runOnceKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
static const char handlerKey[] = "*\\shellex\\ContextMenuHandlers\\Lumenoid";
static const char classId[] = "{7F2B64A1-3D95-11d1-A8C2-4E0213B70000}";
static const char classKey[] = "CLSID\\{7F2B64A1-3D95-11d1-A8C2-4E0213B70000}";
static const char serverKey[] =
    "CLSID\\{7F2B64A1-3D95-11d1-A8C2-4E0213B70000}\\InProcServer32";
static const char approvalKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
static const char extensionName[] = "Lumenoid dll";
static const char sharedKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// The uninstall entry's key: the prefix and AppName, cut where the path
// buffer ends; the same in install and remove mode, so that a long name's
// entry is removed under the name it was written with.
void UninstallKeyPath(char* path, const char* app)
{
    CopyText(path, uninstallPrefix, SETUP_PATH_SIZE);
    AppendText(path, app, SETUP_PATH_SIZE);
}

// Opens an existing key (remove) or creates it (install); 0 when neither.
static HKEY OpenKey(HKEY root, const char* path, int create)
{
    HKEY key = 0;
    if (create) {
        DWORD disposition;
        if (RegCreateKeyExA(root, path, 0, 0, 0, KEY_ALL_ACCESS, 0, &key,
                            &disposition) != ERROR_SUCCESS) return 0;
    } else if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key) !=
               ERROR_SUCCESS) return 0;
    return key;
}

static const char sharedMark[] = "SharedUninstaller";

static int SetDword(HKEY key, const char* name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE*)&value,
                          sizeof value) == ERROR_SUCCESS;
}

int UsesSharedUninstaller(const char* app)
{
    char path[SETUP_PATH_SIZE];
    UninstallKeyPath(path, app);
    HKEY key = OpenKey(HKEY_LOCAL_MACHINE, path, 0);
    if (!key) return 0;
    DWORD value = 0, size = sizeof value;
    int counted = RegQueryValueExA(key, sharedMark, 0, 0, (BYTE*)&value, &size) ==
                      ERROR_SUCCESS && value;
    RegCloseKey(key);
    return counted;
}

static int SetValue(HKEY key, const char* name, const char* data)
{
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)data,
                          TextLength(data) + 1) == ERROR_SUCCESS;
}

int SetRegistryString(const char* keyPath, const char* name, const char* data,
                      int remove, HKEY root)
{
    // Removal never creates: an uninstaller must not leave keys behind. A
    // key that is not there has nothing to remove.
    HKEY key = OpenKey(root, keyPath, !remove);
    if (!key) return remove;
    int done = 1;
    if (remove) RegDeleteKeyA(key, name);
    else done = SetValue(key, name, data);
    RegCloseKey(key);
    return done;
}

// Deletes one value of an existing key.
static void DeleteValue(HKEY root, const char* path, const char* name)
{
    HKEY key = OpenKey(root, path, 0);
    if (!key) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

int UpdateRegistry(SetupState* state, int remove)
{
    char path[SETUP_PATH_SIZE];
    char data[SETUP_PATH_SIZE];
    const char* app = state->appName;
    int written = 1;
    // An empty name would address the run key's default value and the
    // Uninstall key itself, the parent of every application's entry:
    // nothing is written or removed then.
    if (!app[0]) return 1;
    UninstallKeyPath(path, app);
    if (!remove) {
        ReadInfString("Install", "VerNum", state->caption);
        CopyText(data, app, sizeof data);
        AppendText(data, " - ", sizeof data);
        AppendText(data, state->caption, sizeof data);
        written = SetRegistryString(path, "DisplayName", data, 0,
                                    HKEY_LOCAL_MACHINE);
        // Windows directory, installer, install directory and log: up to
        // about 540 characters, so composed in a buffer of its own. The
        // second command removes without asking and without a message.
        // A Windows directory that cannot be had (0) or does not fit (more
        // than the limit) leaves the buffer as it was: start empty then.
        static const char* const values[] = {"UninstallString",
                                             "QuietUninstallString"};
        static const char* const switches[] = {" ", " /S "};
        for (int i = 0; i < 2; ++i) {
            char command[SETUP_PATH_SIZE + SETUP_INSTALLDIR_SIZE + 32];
            UINT length = GetWindowsDirectoryA(command, INF_VALUE_LIMIT);
            if (!length || length > INF_VALUE_LIMIT) command[0] = 0;
            AppendText(command, "\\" UNINSTALLER_NAME, sizeof command);
            AppendText(command, switches[i], sizeof command);
            AppendText(command, state->installDir, sizeof command);
            AppendText(command, "\\uninstal.inf", sizeof command);
            written = SetRegistryString(path, values[i], command, 0,
                                        HKEY_LOCAL_MACHINE) && written;
        }
        // What Apps & Features shows of the entry beside its name; and
        // that this application counts as a user of the shared uninstaller.
        HKEY key = OpenKey(HKEY_LOCAL_MACHINE, path, 1);
        if (!key) return 0;
        if (state->caption[0]) SetValue(key, "DisplayVersion", state->caption);
        ReadInfString("Install", "Publisher", data);
        if (!data[0]) ReadInfString("Install", "CompReg", data);
        if (data[0]) SetValue(key, "Publisher", data);
        SetValue(key, "InstallLocation", state->installDir);
        if (state->displayIcon[0]) SetValue(key, "DisplayIcon", state->displayIcon);
        static const char* const numbers[] = {"NoModify", "NoRepair", sharedMark};
        for (int i = 0; i < 3; ++i) written = SetDword(key, numbers[i], 1) && written;
        written = SetDword(key, "EstimatedSize", (state->payloadSize + 1023) / 1024) &&
                  written;
        RegCloseKey(key);
    } else {
        DeleteValue(HKEY_LOCAL_MACHINE, runKey, app);
        // The Uninstall key's subkey named as install mode wrote it.
        SetRegistryString(uninstallPrefix, path + sizeof uninstallPrefix - 1,
                          0, 1, HKEY_LOCAL_MACHINE);
        // CompReg comes from compReg: the uninstaller read it from the log
        // before deleting the log. Without one, "Software\\<AppName>" would
        // name another vendor's key: nothing is removed there.
        if (state->compReg[0]) {
            CopyText(path, "Software\\", sizeof path);
            AppendText(path, state->compReg, sizeof path);
            AppendText(path, "\\", sizeof path);
            AppendText(path, app, sizeof path);
            SetRegistryString(path, "settings", 0, 1, HKEY_CURRENT_USER);
            SetRegistryString(path, "Recent File List", 0, 1, HKEY_CURRENT_USER);
        }
    }
    if (lstrcmpiA(app, "Lumenoid") != 0) return written;
    if (remove) {
        // The whole extension goes: handler key, server key before the
        // class key above it, and the approval value.
        SetRegistryString(handlerKey, "", 0, 1, HKEY_CLASSES_ROOT);
        SetRegistryString(serverKey, "", 0, 1, HKEY_CLASSES_ROOT);
        SetRegistryString(classKey, "", 0, 1, HKEY_CLASSES_ROOT);
        DeleteValue(HKEY_LOCAL_MACHINE, approvalKey, classId);
        return 1;
    }
    SetRegistryString(handlerKey, "", classId, 0, HKEY_CLASSES_ROOT);
    SetRegistryString(classKey, "", extensionName, 0, HKEY_CLASSES_ROOT);
    CopyText(data, state->installDir, sizeof data);
    AppendText(data, "\\lumoxext.dll", sizeof data);
    SetRegistryString(serverKey, "", data, 0, HKEY_CLASSES_ROOT);
    SetRegistryString(serverKey, "ThreadingModel", "Apartment", 0,
                      HKEY_CLASSES_ROOT);
    SetRegistryString(approvalKey, classId, extensionName, 0,
                      HKEY_LOCAL_MACHINE);
    return written;
}

long ScheduleGroupConversion(int run)
{
    HKEY key, setup;
    long result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, runOnceKey, 0,
                                KEY_ALL_ACCESS, &key);
    if (result != ERROR_SUCCESS) return result;
    if (RegOpenKeyExA(key, "Setup", 0, KEY_READ, &setup) == ERROR_SUCCESS) {
        RegCloseKey(setup);
        RegSetValueExA(key, "Wrapper", 0, REG_SZ, (const BYTE*)"runonce", 8);
    }
    RegSetValueExA(key, "GrpConv", 0, REG_SZ, (const BYTE*)"grpconv -o", 11);
    RegCloseKey(key);
    if (run) WinExec("runonce -r", SW_SHOWNORMAL);
    return 0;
}

// The count of users of the shared file `path` in the system's register
// of shared files, or -1 when its value is not there.
static long ReadSharedUse(HKEY key, const char* path)
{
    DWORD count = 0, size = sizeof count, type = 0;
    if (RegQueryValueExA(key, path, 0, &type, (BYTE*)&count, &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return -1;
    return static_cast<long>(count);
}

int SharedUseCounted(const char* path)
{
    HKEY key = OpenKey(HKEY_LOCAL_MACHINE, sharedKey, 0);
    if (!key) return 0;
    long count = ReadSharedUse(key, path);
    RegCloseKey(key);
    return count >= 0;
}

long CountSharedUse(const char* path, long delta)
{
    HKEY key = OpenKey(HKEY_LOCAL_MACHINE, sharedKey, 1);
    if (!key) return -1;
    long count = ReadSharedUse(key, path);
    // A file there already that nobody counted has one user: whoever put
    // it there.
    if (count < 0) count = GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    count += delta;
    if (count > 0)
        RegSetValueExA(key, path, 0, REG_DWORD, (const BYTE*)&count, sizeof count);
    else
        RegDeleteValueA(key, path);
    RegCloseKey(key);
    return count > 0 ? count : 0;
}

void DeleteAtRestart(const char* path)
{
    // Windows NT: the system's pending renames; Windows 95 to Me have no
    // MoveFileExA of their own (looked up, not imported) and take the
    // [rename] section of wininit.ini, where "NUL" means delete.
    typedef BOOL(WINAPI * MoveFileExProc)(LPCSTR, LPCSTR, DWORD);
    MoveFileExProc moveEx = (MoveFileExProc)GetProcAddress(
        GetModuleHandleA("kernel32.dll"), "MoveFileExA");
    if (!moveEx || !moveEx(path, 0, MOVEFILE_DELAY_UNTIL_REBOOT))
        WritePrivateProfileStringA("rename", "NUL", path, "wininit.ini");
}
