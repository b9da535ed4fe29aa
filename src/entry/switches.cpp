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

// "/?" or "/HELP" in either case, as a whole word.
static int IsHelpSwitch(const char* p)
{
    if (p[0] != '/') return 0;
    const char* end = p + 1;
    if (*end == '?') {
        ++end;
    } else {
        const char* help = "HELP";
        for (; *help; ++help, ++end)
            if ((*end & ~0x20) != *help) return 0;
    }
    return !*end || IsBlank(*end);
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
        // A word with blanks comes from shells and programs in quotes:
        // "/D=C:\My App" or /D="C:\My App".
        int quoted = *tail == '"';
        const char* word = tail + quoted;
        if (IsSwitch(word, 'D') && word[2] == '=') {
            word += 3;
            if (!quoted && *word == '"') {
                quoted = 1;
                ++word;
            }
            if (!understood || !CopyText(dir, word, dirSize)) break;
            if (quoted) {
                // The closing quote ends the directory; only blanks follow.
                char* end = dir;
                while (*end && *end != '"') ++end;
                if (!*end) break;
                *end++ = 0;
                while (IsBlank(*end)) ++end;
                if (*end) break;
            }
            TrimInstallDir(dir);
            if (IsUsableInstallDir(dir)) return 1;
            break;
        }
        if (IsHelpSwitch(tail)) return SwitchesAskForHelp;
        if (IsWordSwitch(tail, 'S'))
            *silent = 1;
        else
            understood = 0;
        // On to the next word.
        while (*tail && !IsBlank(*tail)) ++tail;
    }
    dir[0] = 0;
    return 0;
}

const char* SilentUninstallTail(const char* tail)
{
    if (!IsWordSwitch(tail, 'S')) return 0;
    tail += 2;
    while (IsBlank(*tail)) ++tail;
    return tail;
}
