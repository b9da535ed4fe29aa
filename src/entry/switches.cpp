#include "switches.h"
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

static int UsableDir(const char* dir, unsigned length)
{
    // "X:\" or "\\", then at least one character.
    if (length < 3 || length > SWITCH_DIR_LIMIT) return 0;
    unsigned first = 2;
    if (dir[1] == ':') {
        char drive = dir[0] | 0x20;
        if (drive < 'a' || drive > 'z' || dir[2] != '\\') return 0;
        first = 3;
    } else if (dir[0] != '\\' || dir[1] != '\\') {
        return 0;
    }
    if (length == first) return 0;
    for (unsigned i = first; i < length; ++i) {
        if (static_cast<unsigned char>(dir[i]) < 0x20) return 0;
        for (const char* bad = "\":*?<>|"; *bad; ++bad)
            if (dir[i] == *bad) return 0;
    }
    return 1;
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
            unsigned length = TextLength(tail);
            while (length && (IsBlank(tail[length - 1]) || tail[length - 1] == '\\'))
                --length;
            if (!understood || !UsableDir(tail, length) || length >= dirSize)
                return 0;
            CopyText(dir, tail, length + 1); // cut after `length`
            return 1;
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
