// uidriver.exe: drives a program by a script, for demos and quick checks.
//
//   uidriver.exe [--transcript FILE] [--screenshot-dir DIR] --script FILE
//                [-- program args...]
//
// Starts the program (if one is given: a script may start its program with
// shell-open instead) and runs the script's lines in order. Each line is a
// command and its argument (the rest of the line); blank lines and lines
// starting with "#" are skipped:
//
//   timeout MS           time limit of the waits that follow (default 20000)
//   wait-window TITLE    a visible top-level window whose title contains
//                        TITLE becomes the current window
//   wait-box TEXT        a message box (#32770) whose caption or texts
//                        contain TEXT becomes the current window
//   press ID             clicks button ID (decimal or 0x..) of the current
//                        window (message boxes: 1 OK, 2 Cancel, 6 Yes, 7 No);
//                        fails when there is no such button
//   menu ID              sends the current window the menu command ID
//                        (the next step checks what it opened)
//   wizard BUTTON        presses a wizard button of the current property
//                        sheet: back, next, finish, cancel or a PSBTN_ number
//   expect-text TEXT     the current window's title or one of its child
//                        windows' texts contains TEXT
//   set-text ID TEXT     sets the text of control ID of the current window
//                        (of the page a property sheet shows); fails when
//                        there is no such control or it does not read back
//   screenshot NAME      saves the screen as DIR\NAME.bmp
//   sleep MS             waits
//   note TEXT            writes TEXT to the transcript
//   wait-exit [MS]       waits for the program to end
//   elapsed LABEL        notes "elapsed LABEL: N ms" since the program's start
//   shell-open PATH      opens PATH the way the shell does (a shortcut
//                        starts its target); the program started becomes
//                        the one the following lines act on
//   close                asks the current window to close (WM_CLOSE)
//   attach TITLE         a visible top-level window of any program whose
//                        title contains TITLE becomes the current window,
//                        and its program the one the following lines act
//                        on (for a program started by someone else)
//
// Every step goes to the transcript (stdout without --transcript). Exit
// status 0 when every step succeeded; 1 when one failed (the program is
// then ended and the windows it showed are listed); 2 for bad usage.
#include <windows.h>
#include <prsht.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "uidriver.h"

namespace {

std::string Trim(const std::string& text)
{
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

// Quotes an argument for CreateProcess the way the C runtime splits it.
std::string QuoteArgument(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    int backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

int ParseNumber(const std::string& text, bool* ok)
{
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 0);
    *ok = !text.empty() && end && *end == 0;
    return static_cast<int>(value);
}

int WizardButton(const std::string& name, bool* ok)
{
    *ok = true;
    if (name == "back") return PSBTN_BACK;
    if (name == "next") return PSBTN_NEXT;
    if (name == "finish") return PSBTN_FINISH;
    if (name == "cancel") return PSBTN_CANCEL;
    return ParseNumber(name, ok);
}

bool HasText(HWND window, const std::string& text)
{
    if (ui::Text(window).find(text) != std::string::npos) return true;
    for (const std::string& child : ui::ChildTexts(window))
        if (child.find(text) != std::string::npos) return true;
    return false;
}

struct FoundWindow {
    const std::string* title;
    HWND window;
};

BOOL CALLBACK FindTitled(HWND window, LPARAM lParam)
{
    auto* found = reinterpret_cast<FoundWindow*>(lParam);
    if (!IsWindowVisible(window) || ui::Text(window).find(*found->title) == std::string::npos)
        return TRUE;
    found->window = window;
    return FALSE;
}

// Waits for a visible top-level window of any process titled with `title`
// and takes its process as the one to act on.
HWND Attach(ui::Process& process, const std::string& title, int timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        FoundWindow found{&title, nullptr};
        EnumWindows(FindTitled, reinterpret_cast<LPARAM>(&found));
        DWORD pid = 0;
        if (found.window) GetWindowThreadProcessId(found.window, &pid);
        HANDLE handle = pid ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION |
                                              PROCESS_TERMINATE, FALSE, pid)
                            : nullptr;
        if (handle) {
            if (process.handle) CloseHandle(process.handle);
            process.handle = handle;
            process.pid = pid;
            ui::Note("attach: \"%s\", process %lu", ui::Text(found.window).c_str(),
                     static_cast<unsigned long>(pid));
            return found.window;
        }
        if (static_cast<int>(GetTickCount() - start) >= timeoutMs) break;
        Sleep(100);
    }
    ui::Note("attach: no window titled \"%s\"", title.c_str());
    return nullptr;
}

int Usage()
{
    std::fprintf(stderr, "usage: uidriver.exe [--transcript FILE] [--screenshot-dir DIR]"
                         " --script FILE [-- program args...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string transcript, screenshotDir = ".", script, commandLine;
    int i = 1;
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (i + 1 >= argc) return Usage();
        if (arg == "--transcript") transcript = argv[++i];
        else if (arg == "--screenshot-dir") screenshotDir = argv[++i];
        else if (arg == "--script") script = argv[++i];
        else return Usage();
    }
    for (; i < argc; ++i) {
        if (!commandLine.empty()) commandLine += ' ';
        commandLine += QuoteArgument(argv[i]);
    }
    if (script.empty()) return Usage();

    std::ifstream in(script);
    if (!in) {
        std::fprintf(stderr, "uidriver: cannot read %s\n", script.c_str());
        return 2;
    }
    ui::SetTranscript(transcript);

    ui::Process process;
    DWORD started = GetTickCount();
    if (!commandLine.empty() && !ui::Start(process, commandLine)) return 1;

    int timeoutMs = 20000;
    HWND current = nullptr;
    std::string line;
    int lineNumber = 0;
    bool failed = false;
    while (!failed && std::getline(in, line)) {
        ++lineNumber;
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        size_t space = line.find_first_of(" \t");
        std::string command = line.substr(0, space);
        std::string arg = space == std::string::npos ? "" : Trim(line.substr(space));
        bool ok = true;

        if (command == "timeout") {
            timeoutMs = ParseNumber(arg, &ok);
        } else if (command == "wait-window") {
            current = ui::WaitWindow(process, nullptr, arg.c_str(), nullptr, timeoutMs);
            ok = current != nullptr;
        } else if (command == "wait-box") {
            current = ui::WaitMessageBox(process, arg.c_str(), timeoutMs);
            ok = current != nullptr;
        } else if (command == "press") {
            int id = ParseNumber(arg, &ok);
            ok = ok && current && ui::Press(current, id);
        } else if (command == "menu") {
            // Another process's menu cannot be read under Wine: the
            // command is sent, and the step after checks what it opened.
            int id = ParseNumber(arg, &ok);
            ok = ok && current;
            ui::Note("menu %d in \"%s\"%s", id, current ? ui::Text(current).c_str() : "",
                     ok ? "" : ": no window");
            if (ok) PostMessageA(current, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        } else if (command == "wizard") {
            int button = WizardButton(arg, &ok);
            if (ok && current) ui::PressWizard(current, button);
            ok = ok && current;
        } else if (command == "expect-text") {
            ok = current && HasText(current, arg);
            ui::Note("expect-text \"%s\": %s", arg.c_str(), ok ? "found" : "missing");
        } else if (command == "set-text") {
            size_t cut = arg.find_first_of(" \t");
            int id = ParseNumber(arg.substr(0, cut), &ok);
            std::string text = cut == std::string::npos ? "" : Trim(arg.substr(cut));
            ok = ok && current && ui::SetItemText(current, id, text);
        } else if (command == "screenshot") {
            ok = ui::SaveScreenshot(screenshotDir + "\\" + arg + ".bmp");
        } else if (command == "sleep") {
            int ms = ParseNumber(arg, &ok);
            if (ok) Sleep(ms);
        } else if (command == "note") {
            ui::Note("note: %s", arg.c_str());
        } else if (command == "elapsed") {
            ui::Note("elapsed %s: %lu ms", arg.c_str(),
                     static_cast<unsigned long>(GetTickCount() - started));
        } else if (command == "shell-open") {
            SHELLEXECUTEINFOA info = {};
            info.cbSize = sizeof info;
            info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
            info.lpVerb = "open";
            info.lpFile = arg.c_str();
            info.nShow = SW_SHOWNORMAL;
            ok = ShellExecuteExA(&info) && info.hProcess;
            ui::Note("shell-open \"%s\": %s", arg.c_str(), ok ? "started" : "failed");
            if (ok) {
                if (process.handle) CloseHandle(process.handle);
                process.handle = info.hProcess;
                process.pid = GetProcessId(info.hProcess);
                current = nullptr;
            }
        } else if (command == "attach") {
            current = Attach(process, arg, timeoutMs);
            ok = current != nullptr;
        } else if (command == "close") {
            if (current) PostMessageA(current, WM_CLOSE, 0, 0);
            ok = current != nullptr;
        } else if (command == "wait-exit") {
            int ms = arg.empty() ? timeoutMs : ParseNumber(arg, &ok);
            ok = ok && ui::WaitExit(process, ms);
        } else {
            ui::Note("line %d: unknown command \"%s\"", lineNumber, command.c_str());
            ok = false;
        }
        if (!ok) {
            ui::Note("step failed at line %d: %s", lineNumber, line.c_str());
            if (ui::IsRunning(process))
                ui::Note("windows:\n%s", ui::DescribeWindows(process).c_str());
            failed = true;
        }
    }
    if (failed) {
        ui::Kill(process);
        return 1;
    }
    ui::Note("script done");
    if (process.handle) CloseHandle(process.handle);
    return 0;
}
