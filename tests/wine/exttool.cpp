// exttool: calls ExtractEntry the way the stub does, built and padded like
// the stub so that a payload appended behind it is read by the real code.
//
//   exttool.exe [--inf PATH] MODE TARGET [; MODE TARGET ...]
//
// MODE is rewind, always, ask, keep, install, stub or a number (any other
// value is handed over as it is). PATH (default: empty) is the setup
// information file, passed as setupInfoPath and kept in infPath. Tokens are
// separated by blanks; "..." quotes a token with blanks. For every call one
// line goes to standard output:
//
//   call N mode M result R offset O guard ok|broken target T
//
// where O is archiveOffset after the call, T the target buffer after the
// call (ExtractInstall fills in the full path) and guard tells whether the
// bytes behind the 256-byte target buffer were left alone. A target that
// does not fit the buffer gives "call N error target too long".
// No C runtime: Win32 calls only, like the stub itself.
#include <windows.h>
#include "extract.h"
#include "setup_state.h"
#include "setupinfo.h"
#include "text.h"

namespace {

const int kGuardSize = 32;
const char kGuardByte = 0x5A;

struct TargetBuffer {
    char path[TARGET_PATH_SIZE];
    char guard[kGuardSize];
};

struct ModeName {
    const char* name;
    int mode;
};

const ModeName modeNames[] = {
    {"rewind", ExtractRewind}, {"always", ExtractAlways}, {"ask", ExtractAsk},
    {"keep", ExtractKeep},     {"install", ExtractInstall}, {"stub", ExtractStub},
};

HANDLE output;

void Print(const char* text)
{
    DWORD written = 0;
    WriteFile(output, text, lstrlenA(text), &written, 0);
}

// Cuts the next token off *line into token (size bytes). 1 when it fit,
// -1 when it was cut to the buffer, 0 at the end of the line.
int NextToken(const char** line, char* token, unsigned size)
{
    const char* p = *line;
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) return 0;
    unsigned length = 0;
    int quoted = 0;
    for (; *p; ++p) {
        if (*p == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && (*p == ' ' || *p == '\t')) break;
        if (length + 1 < size) token[length] = *p;
        ++length;
    }
    token[length < size ? length : size - 1] = 0;
    *line = p;
    return length < size ? 1 : -1;
}

int ParseMode(const char* text)
{
    for (const ModeName& m : modeNames)
        if (lstrcmpiA(text, m.name) == 0) return m.mode;
    int value = 0, sign = 1;
    if (*text == '-') {
        sign = -1;
        ++text;
    }
    while (*text >= '0' && *text <= '9') value = value * 10 + (*text++ - '0');
    return sign * value;
}

} // namespace

extern "C" void WINAPI WinMainCRTStartup()
{
    output = GetStdHandle(STD_OUTPUT_HANDLE);
    HINSTANCE instance = GetModuleHandleA(0);
    const char* line = GetCommandLineA();
    static char token[1024];
    static char modeText[64];
    static TargetBuffer target;
    static char message[1024];

    NextToken(&line, token, sizeof token); // the program's own name
    int call = 0;
    for (;;) {
        int got = NextToken(&line, modeText, sizeof modeText);
        if (got == 0) break;
        if (lstrcmpA(modeText, ";") == 0) continue;
        if (lstrcmpA(modeText, "--inf") == 0) {
            NextToken(&line, token, sizeof token);
            CopyText(setupState.infPath, token, sizeof setupState.infPath);
            continue;
        }
        ++call;
        int mode = ParseMode(modeText);
        got = NextToken(&line, token, sizeof token);
        if (got <= 0 || TextLength(token) >= TARGET_PATH_SIZE) {
            wsprintfA(message, "call %d error target too long\r\n", call);
            Print(message);
            continue;
        }
        for (int i = 0; i < kGuardSize; ++i) target.guard[i] = kGuardByte;
        CopyText(target.path, token, sizeof target.path);

        int result = ExtractEntry(instance, target.path, mode, setupState.infPath);

        int guardOk = 1;
        for (int i = 0; i < kGuardSize; ++i) guardOk &= target.guard[i] == kGuardByte;
        target.path[TARGET_PATH_SIZE - 1] = 0;
        wsprintfA(message, "call %d mode %d result %d offset %lu guard %s target ",
                  call, mode, result, setupState.archiveOffset,
                  guardOk ? "ok" : "broken");
        Print(message);
        Print(target.path);
        Print("\r\n");
    }
    // The records of the install calls, as the installation writes them.
    if (setupState.infPath[0]) WriteRecords(setupState.infPath);
    ExitProcess(0);
}
