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
                   const char* linkPath, const char* arguments)
{
    IShellLinkA* link;
    IPersistFile* file;
    WCHAR widePath[MAX_PATH];
    char folder[SETUP_PATH_SIZE];
    CoInitialize(0);
    if (CoCreateInstance(clsidShellLink, 0, CLSCTX_INPROC_SERVER,
                         iidShellLinkA, (void**)&link) < 0) return 1;
    if (link->QueryInterface(iidPersistFile, (void**)&file) >= 0) {
        link->SetPath(target);
        link->SetDescription(description);
        // Started in its own folder (else Windows starts it in the system
        // folder, and files opened by a relative name are not found).
        CopyText(folder, target, sizeof folder);
        char* cut = folder;
        for (char* p = folder; *p; ++p)
            if (*p == '\\') cut = p;
        *cut = 0;
        link->SetWorkingDirectory(folder);
        link->SetIconLocation(target, 0);
        if (arguments) link->SetArguments(arguments);
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
    char arguments[SETUP_PATH_SIZE];
    InfSeries links, files, args;
    // [Install] DisplayIcon names a file of the install directory.
    ReadInfString("Install", "DisplayIcon", value);
    if (value[0] && IsSafeStoredName(value, TextLength(value))) {
        CopyText(state->displayIcon, state->installDir, SETUP_PATH_SIZE);
        AppendText(state->displayIcon, "\\", SETUP_PATH_SIZE);
        AppendText(state->displayIcon, value, SETUP_PATH_SIZE);
    }
    if (!ScanInfSeries("Links", "link", 0, &links) ||
        !ScanInfSeries("Links", "linkfile", 0, &files) ||
        !ScanInfSeries("Links", "linkargs", 0, &args))
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
        unsigned length = TextLength(target);
        if (!state->displayIcon[0] && length > 4 &&
            lstrcmpiA(target + length - 4, ".exe") == 0)
            CopyText(state->displayIcon, target, SETUP_PATH_SIZE);
        InfValue file = SeriesValue(&files, n);
        length = InfCopyValue(value, INF_VALUE_LIMIT, file.text, file.length);
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
        InfValue given = SeriesValue(&args, n);
        InfCopyValue(arguments, INF_VALUE_LIMIT, given.text, given.length);
        CreateShortcut(target, value, linkPath, arguments);
    }
    GlobalFree(links.slots);
    GlobalFree(files.slots);
    GlobalFree(args.slots);
}
