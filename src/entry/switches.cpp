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
    unsigned first;
    char drive = dir[0] | 0x20;
    if (length > 3 && drive >= 'a' && drive <= 'z' && dir[1] == ':' &&
        dir[2] == '\\')
        first = 3;
    else if (length > 2 && dir[0] == '\\' && dir[1] == '\\')
        first = 2;
    else
        return 0;
    if (length > SWITCH_DIR_LIMIT) return 0;
    for (unsigned i = first; i < length; ++i) {
        unsigned char c = dir[i];
        if (c < 0x20 || c == ':' || c == '"' || c == '*' || c == '?' ||
            c == '<' || c == '>' || c == '|')
            return 0;
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
            for (unsigned i = 0; i < length; ++i) dir[i] = tail[i];
            dir[length] = 0;
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
