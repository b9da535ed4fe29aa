#include <windows.h>
#include "journal.h"
#include "registry.h"
#include "text.h"

static HANDLE journal; // 0 while no journal is kept
static char journalPath[MAX_PATH];

int JournalBegin(const char* path)
{
    CopyText(journalPath, path, sizeof journalPath);
    // Nobody else writes it meanwhile; it is hidden, as a working file.
    journal = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, 0, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_HIDDEN, 0);
    if (journal != INVALID_HANDLE_VALUE) return 1;
    journal = 0;
    return 0;
}

int JournalOpen() { return journal != 0; }

int JournalNote(char kind, const char* path, const char* aside)
{
    if (!journal) return 1;
    char line[2 * MAX_PATH + 8];
    line[0] = kind;
    line[1] = ' ';
    line[2] = 0;
    AppendText(line, path, sizeof line);
    if (aside) {
        AppendText(line, "|", sizeof line);
        AppendText(line, aside, sizeof line);
    }
    AppendText(line, "\r\n", sizeof line);
    DWORD size = TextLength(line), written = 0;
    return WriteFile(journal, line, size, &written, 0) && written == size;
}

static void DeleteAnyFile(const char* path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path);
}

// Undoes (or, after the commit, finishes) one line's change.
static void Replay(char* line, int committed)
{
    char kind = line[0];
    char* path = line + 2;
    char* aside = 0;
    for (char* p = path; *p; ++p)
        if (*p == '|') {
            *p = 0;
            aside = p + 1;
        }
    if (committed) {
        if (kind == NoteAside && aside) DeleteAnyFile(aside);
        if (kind == NoteTemp) DeleteAnyFile(path);
        return;
    }
    if (kind == NoteTemp || kind == NoteNew) DeleteAnyFile(path);
    if (kind == NoteAside && aside &&
        GetFileAttributesA(aside) != INVALID_FILE_ATTRIBUTES) {
        DeleteAnyFile(path);
        MoveFileA(aside, path);
    }
    if (kind == NoteFolder) RemoveDirectoryA(path);
    if (kind == NoteKey) RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
    // A count this run began goes whole; one it raised goes one down.
    if (kind == NoteShared) CountSharedUse(path, aside ? -0x7FFFFFFFl : -1);
}

// Reads the journal at `path` and replays its whole lines, last first; a
// journal with its commit is finished instead. Then it is deleted.
static void ReplayJournal(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD size = GetFileSize(file, 0), got = 0;
    char* text = size != INVALID_FILE_SIZE
                     ? static_cast<char*>(GlobalAlloc(GMEM_FIXED, size + 1)) : 0;
    int read = text && ReadFile(file, text, size, &got, 0) && got == size;
    CloseHandle(file);
    if (!read) {
        if (text) GlobalFree(text);
        return;
    }
    // Only whole lines count: a kill may have cut the last one.
    while (size && text[size - 1] != '\n') --size;
    text[size] = 0;
    int committed = 0;
    for (DWORD i = 0; i + 1 < size; ++i)
        if ((i == 0 || text[i - 1] == '\n') && text[i] == NoteCommit) committed = 1;
    for (DWORD end = size; end;) {
        text[end - 1] = 0; // the line's "\n"
        if (end >= 2 && text[end - 2] == '\r') text[end - 2] = 0;
        DWORD start = end - 1;
        while (start && text[start - 1] != '\n') --start;
        if (text[start] && text[start + 1] == ' ') Replay(text + start, committed);
        end = start;
    }
    GlobalFree(text);
    DeleteAnyFile(path);
}

void JournalCommit()
{
    JournalNote(NoteCommit, "", 0);
    if (!journal) return;
    CloseHandle(journal);
    journal = 0;
    ReplayJournal(journalPath);
}

void JournalRollBack()
{
    if (!journal) return;
    CloseHandle(journal);
    journal = 0;
    ReplayJournal(journalPath);
}

void JournalRecover(const char* path) { ReplayJournal(path); }

void JournalPath(char* path, const char* appName)
{
    // One journal per application, named by a hash of its name (letters
    // of either case alike), in the Windows directory: only an
    // administrator writes there, so no other user's program can leave a
    // journal that the next elevated run would act on.
    unsigned long hash = 2166136261ul;
    for (const char* p = appName; *p; ++p) {
        char c = *p >= 'a' && *p <= 'z' ? static_cast<char>(*p - 32) : *p;
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619ul;
    }
    char name[] = "\\~zs00000000.jnl";
    for (int i = 0; i < 8; ++i)
        name[4 + i] = "0123456789abcdef"[(hash >> (28 - 4 * i)) & 15];
    UINT length = GetWindowsDirectoryA(path, MAX_PATH - sizeof name);
    if (!length || length >= MAX_PATH - sizeof name) path[0] = 0;
    AppendText(path, name, MAX_PATH);
}
