#include "switches.h"
#include "inside_folder.h"
#include "text.h"

static int IsBlank(char c) { return c == ' ' || c == '\t'; }

// "/" and the letter, in either case.
static int IsSwitch(const char* p, char letter)
{
    return p[0] == '/' && (p[1] == letter || p[1] == letter + ('a' - 'A'));
}

// A switch that is one word: "/" and the letter, then a blank or the end.
static int IsWordSwitch(const char* p, char letter)
{
    return IsSwitch(p, letter) && (!p[2] || IsBlank(p[2]));
}

int ParseInstallSwitches(const char* tail, int* silent, char* dir,
                         unsigned dirSize)
{
    int understood = 1;
    *silent = 0;
    dir[0] = 0;
    for (;;) {
        while (IsBlank(*tail)) ++tail;
        if (!*tail) return understood;
        if (IsSwitch(tail, 'D') && tail[2] == '=') {
            tail += 3;
            if (!understood || !CopyText(dir, tail, dirSize)) {
                dir[0] = 0;
                return 0;
            }
            TrimInstallDir(dir);
            if (IsUsableInstallDir(dir)) return 1;
            dir[0] = 0;
            return 0;
        }
        if (IsWordSwitch(tail, 'S'))
            *silent = 1;
        else
            understood = 0;
        // On to the next word.
        while (*tail && !IsBlank(*tail)) ++tail;
    }
}

const char* SilentUninstallTail(const char* tail)
{
    if (!IsWordSwitch(tail, 'S')) return 0;
    tail += 2;
    while (IsBlank(*tail)) ++tail;
    return tail;
}
