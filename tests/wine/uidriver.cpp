// The UI driver: finds a process's windows by enumerating the top-level
// windows and matching their thread's process, reads texts with
// WM_GETTEXT (the window manager copies them across processes) and presses
// buttons by posting the WM_COMMAND a click would send.
#include "uidriver.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace ui {

namespace {

const int kPollMs = 50;
const UINT kTextTimeoutMs = 2000;

FILE* transcriptFile = nullptr;
std::string transcriptText;

bool Contains(const std::string& text, const char* part)
{
    return !part || text.find(part) != std::string::npos;
}

// Control characters shown readably in the transcript.
std::string Printable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

struct EnumData {
    DWORD pid;
    std::vector<HWND>* windows;
};

BOOL CALLBACK CollectTop(HWND window, LPARAM param)
{
    EnumData* data = reinterpret_cast<EnumData*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == data->pid && IsWindowVisible(window))
        data->windows->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param)
{
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

bool IsPushButton(HWND window)
{
    if (ClassName(window) != "Button") return false;
    LONG style = GetWindowLongA(window, GWL_STYLE) & 0x0F;
    return style == BS_PUSHBUTTON || style == BS_DEFPUSHBUTTON;
}

bool MatchesTexts(HWND window, const char* textPart)
{
    if (!textPart) return true;
    for (const std::string& text : ChildTexts(window))
        if (Contains(text, textPart)) return true;
    return false;
}

} // namespace

bool Start(Process& process, const std::string& commandLine,
           const std::string& workDir)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    BOOL ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, workDir.empty() ? nullptr : workDir.c_str(),
                             &startup, &info);
    if (!ok) {
        Note("start failed (error %lu): %s", GetLastError(), commandLine.c_str());
        return false;
    }
    CloseHandle(info.hThread);
    process.handle = info.hProcess;
    process.pid = info.dwProcessId;
    Note("start: %s", commandLine.c_str());
    return true;
}

bool StartRedirected(Process& process, const std::string& commandLine,
                     const std::string& workDir, const std::string& stdoutPath)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(stdoutPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                             &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        Note("cannot create %s (error %lu)", stdoutPath.c_str(), GetLastError());
        return false;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION info{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    BOOL ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                             nullptr, workDir.empty() ? nullptr : workDir.c_str(),
                             &startup, &info);
    CloseHandle(out);
    if (!ok) {
        Note("start failed (error %lu): %s", GetLastError(), commandLine.c_str());
        return false;
    }
    CloseHandle(info.hThread);
    process.handle = info.hProcess;
    process.pid = info.dwProcessId;
    Note("start: %s", commandLine.c_str());
    return true;
}

bool IsRunning(const Process& process)
{
    return process.handle &&
           WaitForSingleObject(process.handle, 0) == WAIT_TIMEOUT;
}

std::vector<HWND> TopWindows(const Process& process)
{
    std::vector<HWND> windows;
    EnumData data{process.pid, &windows};
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&data));
    return windows;
}

HWND WaitWindow(const Process& process, const char* className,
                const char* titlePart, const char* textPart, int timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND window : TopWindows(process)) {
            if (className && ClassName(window) != className) continue;
            if (!Contains(Text(window), titlePart)) continue;
            if (!MatchesTexts(window, textPart)) continue;
            Note("window: class %s, title \"%s\"", ClassName(window).c_str(),
                 Printable(Text(window)).c_str());
            return window;
        }
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs) break;
        if (!IsRunning(process) && TopWindows(process).empty()) {
            // A process that has ended shows nothing more.
            break;
        }
        Sleep(kPollMs);
    }
    Note("no window (class %s, title \"%s\", text \"%s\") after %d ms",
         className ? className : "*", titlePart ? titlePart : "*",
         textPart ? textPart : "*", static_cast<int>(GetTickCount() - start));
    return nullptr;
}

HWND WaitMessageBox(const Process& process, const char* textPart, int timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND window : TopWindows(process)) {
            if (ClassName(window) != "#32770") continue;
            if (!Contains(Text(window), textPart) && !MatchesTexts(window, textPart))
                continue;
            Box box = ReadBox(window);
            Note("box: caption \"%s\", text \"%s\"", Printable(box.caption).c_str(),
                 Printable(box.text).c_str());
            return window;
        }
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs) break;
        if (!IsRunning(process)) break;
        Sleep(kPollMs);
    }
    Note("no box with \"%s\" after %d ms", textPart ? textPart : "*",
         static_cast<int>(GetTickCount() - start));
    return nullptr;
}

std::string Text(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG,
                             kTextTimeoutMs, &length))
        return std::string();
    std::vector<char> buffer(length + 2);
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kTextTimeoutMs, &got))
        return std::string();
    buffer.back() = 0;
    return std::string(buffer.data());
}

std::string ItemText(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    return item ? Text(item) : std::string();
}

std::vector<std::string> ChildTexts(HWND dialog)
{
    std::vector<std::string> texts;
    for (HWND child : Children(dialog)) texts.push_back(Text(child));
    return texts;
}

std::string ClassName(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<int> ButtonIds(HWND dialog)
{
    std::vector<int> ids;
    for (HWND child : Children(dialog))
        if (GetParent(child) == dialog && IsPushButton(child))
            ids.push_back(GetDlgCtrlID(child));
    return ids;
}

Box ReadBox(HWND window)
{
    Box box;
    box.window = window;
    box.caption = Text(window);
    for (HWND child : Children(window)) {
        std::string name = ClassName(child);
        if (name == "Static") {
            std::string text = Text(child);
            if (text.empty()) continue;
            if (!box.text.empty()) box.text += "\n";
            box.text += text;
        }
    }
    box.buttons = ButtonIds(window);
    return box;
}

std::string DescribeWindows(const Process& process)
{
    std::string out;
    for (HWND window : TopWindows(process)) {
        out += "[" + ClassName(window) + "] \"" + Printable(Text(window)) + "\":";
        for (const std::string& text : ChildTexts(window))
            if (!text.empty()) out += " \"" + Printable(text) + "\"";
        out += "\n";
    }
    return out.empty() ? "(no windows)\n" : out;
}

struct ItemSearch {
    int id;
    HWND found;
};

static BOOL CALLBACK FindItemStep(HWND child, LPARAM param)
{
    ItemSearch* s = reinterpret_cast<ItemSearch*>(param);
    if (GetDlgCtrlID(child) != s->id || !IsWindowVisible(child)) return TRUE;
    s->found = child;
    return FALSE;
}

// Control `id` of the window: its own child, or else the first descendant
// of that identifier (the controls of a property sheet's page are the
// page's children, not the sheet's).
static HWND FindItem(HWND window, int id)
{
    HWND item = GetDlgItem(window, id);
    if (item) return item;
    ItemSearch search = {id, nullptr};
    EnumChildWindows(window, FindItemStep, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool Press(HWND dialog, int id)
{
    HWND button = FindItem(dialog, id);
    // A message box's buttons are its own; anything else must be there.
    HWND target = button ? GetParent(button) : dialog;
    Note("press %d (\"%s\") in \"%s\"%s", id,
         button ? Printable(Text(button)).c_str() : "?",
         Printable(Text(dialog)).c_str(), button ? "" : ": no such button");
    if (!button) return false;
    PostMessageA(target, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    return true;
}

void PressWizard(HWND sheet, int psbtn)
{
    static const char* const names[] = {"Back", "Next", "Finish", "OK",
                                        "Apply", "Cancel", "Help"};
    Note("wizard %s in \"%s\"",
         psbtn >= 0 && psbtn <= 6 ? names[psbtn] : "?",
         Printable(Text(sheet)).c_str());
    PostMessageA(sheet, PSM_PRESSBUTTON, psbtn, 0);
}

bool SetItemText(HWND dialog, int id, const std::string& text)
{
    HWND item = FindItem(dialog, id);
    DWORD_PTR result = 0;
    if (item)
        SendMessageTimeoutA(item, WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(text.c_str()),
                            SMTO_ABORTIFHUNG, kTextTimeoutMs, &result);
    // The step holds only when the control reads back what was set.
    bool done = item && Text(item) == text;
    Note("set %d := \"%s\"%s", id, Printable(text).c_str(),
         !item ? ": no such control" : done ? "" : ": did not read back");
    return done;
}

bool WaitExit(Process& process, int timeoutMs, DWORD* exitCode)
{
    if (!process.handle) return true;
    if (WaitForSingleObject(process.handle, timeoutMs) != WAIT_OBJECT_0) {
        Note("still running after %d ms", timeoutMs);
        return false;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.handle, &code);
    if (exitCode) *exitCode = code;
    Note("exit %lu", code);
    return true;
}

void Kill(Process& process)
{
    if (!process.handle) return;
    if (IsRunning(process)) {
        Note("kill %lu", process.pid);
        TerminateProcess(process.handle, 1);
        WaitForSingleObject(process.handle, 5000);
    }
    CloseHandle(process.handle);
    process.handle = nullptr;
    process.pid = 0;
}

void SetTranscript(const std::string& path)
{
    if (transcriptFile) std::fclose(transcriptFile);
    transcriptFile = path.empty() ? nullptr : std::fopen(path.c_str(), "wb");
    transcriptText.clear();
}

void Note(const char* format, ...)
{
    char line[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    transcriptText += line;
    transcriptText += "\n";
    FILE* out = transcriptFile ? transcriptFile : stdout;
    std::fprintf(out, "%s%s\n", transcriptFile ? "" : "  | ", line);
    std::fflush(out);
}

std::string Transcript() { return transcriptText; }

void ClearTranscript() { transcriptText.clear(); }

bool SaveScreenshot(const std::string& bmpPath)
{
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height; // bottom-up, as BMP files store it
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> pixels(static_cast<size_t>(stride) * height);
    int lines = GetDIBits(memory, bitmap, 0, height, pixels.data(),
                          reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (lines != height) {
        Note("screenshot failed: %d of %d lines", lines, height);
        return false;
    }

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    header.biSizeImage = static_cast<DWORD>(pixels.size());
    FILE* out = std::fopen(bmpPath.c_str(), "wb");
    if (!out) {
        Note("screenshot: cannot write %s", bmpPath.c_str());
        return false;
    }
    bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
              std::fwrite(&header, sizeof header, 1, out) == 1 &&
              std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    ok = std::fclose(out) == 0 && ok;
    Note("screenshot %s (%dx%d)", bmpPath.c_str(), width, height);
    return ok;
}

} // namespace ui
