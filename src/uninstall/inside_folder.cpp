#include "inside_folder.h"
#include "entry_format.h"
#include "text.h"

static int IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static char FoldCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The part of `dir` below its root ("X:\" or "\\server\share\"); 0 when
// it has no such root.
static const char* BelowRoot(const char* dir)
{
    if (IsLetter(dir[0]) && dir[1] == ':' && dir[2] == '\\') return dir + 3;
    if (dir[0] != '\\' || dir[1] != '\\') return 0;
    // Server and share: two names that are neither empty nor "." / "..".
    // "\\?\" and "\\.\" open the system's device namespace, where
    // "\\?\UNC\server\share" or "\\.\C:" is another spelling of a root.
    if ((dir[2] == '?' || dir[2] == '.') && dir[3] == '\\') return 0;
    const char* p = dir + 2;
    for (int part = 0; part < 2; ++part) {
        const char* start = p;
        while (*p && *p != '\\') ++p;
        if (*p != '\\' ||
            !IsSafeStoredName(start, static_cast<unsigned>(p - start)))
            return 0;
        ++p;
    }
    return p;
}

int IsFolderBelowRoot(const char* dir)
{
    // The platform takes "/" for "\" in a path: so does this test. One
    // separator at the end, as a destination may be typed, is no folder.
    char plain[256];
    if (!CopyText(plain, dir, sizeof plain)) return 0;
    char* p = plain;
    for (; *p; ++p)
        if (*p == '/') *p = '\\';
    if (p > plain && p[-1] == '\\') p[-1] = 0;
    const char* rest = BelowRoot(plain);
    return rest && IsSafeStoredName(rest, TextLength(rest));
}

int IsStrictlyInside(const char* dir, const char* path)
{
    if (!IsFolderBelowRoot(dir)) return 0;
    unsigned length = TextLength(dir);
    for (unsigned i = 0; i < length; ++i)
        if (FoldCase(dir[i]) != FoldCase(path[i])) return 0;
    if (path[length] != '\\') return 0;
    const char* rest = path + length + 1;
    return IsSafeStoredName(rest, TextLength(rest));
}

int IsUsableInstallDir(const char* dir)
{
    unsigned length = TextLength(dir);
    if (length == 0 || length > INSTALL_DIR_LIMIT ||
        dir[length - 1] == '\\' || dir[length - 1] == '/')
        return 0;
    for (const char* p = dir; *p; ++p)
        for (const char* bad = "\"*?<>|"; *bad; ++bad)
            if (*p == *bad) return 0;
    return IsFolderBelowRoot(dir);
}

unsigned TrimInstallDir(char* dir)
{
    unsigned length = TextLength(dir);
    while (length && (dir[length - 1] == ' ' || dir[length - 1] == '\t' ||
                      dir[length - 1] == '\\' || dir[length - 1] == '/'))
        dir[--length] = 0;
    return length;
}
