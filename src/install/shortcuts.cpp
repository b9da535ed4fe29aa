// Start-menu shortcuts through the shell's link object.
#include <windows.h>
#include <shlobj.h>
#include "shortcuts.h"
#include "setupinfo.h"
#include "entry_format.h"
#include "text.h"
#include "file_move.h"

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

void CreateStartMenuLinks(SetupState* state, const char* folder)
{
    char value[SETUP_PATH_SIZE];
    char key[INF_KEY_SIZE];
    char* target = state->caption;
    // Not licensePath: the copy of the license beside the program is
    // deleted by that name at the end.
    char linkPath[SETUP_PATH_SIZE];
    // Each series read once: a thousand shortcuts cost a thousand steps.
    InfSeries links, files;
    if (!ScanInfSeries("Links", "link", 0, &links) ||
        !ScanInfSeries("Links", "linkfile", 0, &files))
        return;
    for (unsigned long n = 1;; ++n) {
        InfValue link = SeriesValue(&links, n);
        if (!InfCopyValue(value, INF_VALUE_LIMIT, link.text, link.length)) break;
        // The target lies inside the install directory: no "..", no drive,
        // no root; else the pair makes neither link nor record.
        if (!IsSafeStoredName(value, TextLength(value))) continue;
        CopyText(target, state->installDir, SETUP_PATH_SIZE);
        AppendText(target, "\\", SETUP_PATH_SIZE);
        AppendText(target, value, SETUP_PATH_SIZE);
        // A pair without a link file name makes neither link nor record, and
        // so does a name that would leave the Start-menu folder.
        InfValue file = SeriesValue(&files, n);
        unsigned length = InfCopyValue(value, INF_VALUE_LIMIT, file.text, file.length);
        if (!IsSafeStoredName(value, length)) continue;
        int plain = 1;
        for (char* p = value; *p; ++p) plain &= *p != '\\';
        CopyText(linkPath, folder, SETUP_PATH_SIZE);
        AppendText(linkPath, value, SETUP_PATH_SIZE);
        // A file already there is replaced only when it is a shortcut this
        // application made (its log recorded it).
        char aside[MAX_PATH];
        if (!plain ||
            (GetFileAttributesA(linkPath) != INVALID_FILE_ATTRIBUTES &&
             !IsOwnFile(linkPath)) ||
            !SetAside(linkPath, aside))
            continue;
        if (!AddFileRecord(linkPath, key)) break;
        char* dot = 0;
        for (char* p = value; *p; ++p)
            if (*p == '.') dot = p;
        if (dot) *dot = 0;
        CreateShortcut(target, value, linkPath);
    }
    GlobalFree(links.slots);
    GlobalFree(files.slots);
}
