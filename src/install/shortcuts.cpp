// Start-menu shortcuts through the shell's link object.
#include <windows.h>
#include <shlobj.h>
#include "shortcuts.h"
#include "setupinfo.h"
#include "entry_format.h"
#include "text.h"

static const GUID clsidShellLink = {
    0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID iidShellLinkA = {
    0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const GUID iidPersistFile = {
    0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

int CreateShortcut(const char* target, const char* description,
                   const char* linkPath)
{
    IShellLinkA* link;
    IPersistFile* file;
    WCHAR widePath[MAX_PATH];
    CoInitialize(0);
    if (CoCreateInstance(clsidShellLink, 0, CLSCTX_INPROC_SERVER,
                         iidShellLinkA, (void**)&link) < 0) return 1;
    if (link->QueryInterface(iidPersistFile, (void**)&file) >= 0) {
        link->SetPath(target);
        link->SetDescription(description);
        MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH);
        file->Save(widePath, TRUE);
        file->Release();
    }
    link->Release();
    return 1;
}

void CreateStartMenuLinks(SetupState* state, const char* folder, char* key)
{
    char linkKey[] = "linka";
    char fileKey[] = "linkfilea";
    char value[SETUP_PATH_SIZE];
    char* target = state->caption;
    char* linkPath = state->licensePath;
    for (;;) {
        if (!ReadInfString("Links", linkKey, value, state->infPath)) return;
        CopyText(target, state->installDir, SETUP_PATH_SIZE);
        AppendText(target, "\\", SETUP_PATH_SIZE);
        AppendText(target, value, SETUP_PATH_SIZE);
        // A pair without a link file name makes neither link nor record;
        // the letters still step on together. Once the [Uninstall] series
        // is full (`key` empty) no link is made that the uninstaller could
        // not remove.
        if (ReadInfString("Links", fileKey, value, state->infPath)) {
            if (!key[0]) return;
            CopyText(linkPath, folder, SETUP_PATH_SIZE);
            AppendText(linkPath, value, SETUP_PATH_SIZE);
            WriteInfString("Uninstall", key, linkPath, state->infPath);
            char* dot = 0;
            for (char* p = value; *p; ++p)
                if (*p == '.') dot = p;
            if (dot) *dot = 0;
            CreateShortcut(target, value, linkPath);
            if (!StepLetter(key + 4)) key[0] = 0;
        }
        if (!StepLetter(linkKey + 4) || !StepLetter(fileKey + 8)) return;
    }
}
