// uidriver.exe: drives a program by a script, for demos and quick checks.
//
//   uidriver.exe [--transcript FILE] [--screenshot-dir DIR] --script FILE
//                -- program args...
//
// Starts the program and runs the script's lines in order. Each line is a
// command and its argument (the rest of the line); blank lines and lines
// starting with "#" are skipped:
//
//   timeout MS           time limit of the waits that follow (default 20000)
//   wait-window TITLE    a visible top-level window whose title contains
//                        TITLE becomes the current window
//   wait-box TEXT        a message box (#32770) whose caption or texts
//                        contain TEXT becomes the current window
//   press ID             clicks button ID (decimal or 0x..) of the current
//                        window (message boxes: 1 OK, 2 Cancel, 6 Yes, 7 No)
//   wizard BUTTON        presses a wizard button of the current property
//                        sheet: back, next, finish, cancel or a PSBTN_ number
//   expect-text TEXT     the current window's title or one of its child
//                        windows' texts contains TEXT
//   set-text ID TEXT     sets the text of control ID of the current window
//   screenshot NAME      saves the screen as DIR\NAME.bmp
//   sleep MS             waits
//   note TEXT            writes TEXT to the transcript
//   wait-exit [MS]       waits for the program to end
//   elapsed LABEL        notes "elapsed LABEL: N ms" since the program's start
//
// Every step goes to the transcript (stdout without --transcript). Exit
// status 0 when every step succeeded; 1 when one failed (the program is
// then ended and the windows it showed are listed); 2 for bad usage.
#include <windows.h>
#include <prsht.h>

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

int Usage()
{
    std::fprintf(stderr, "usage: uidriver.exe [--transcript FILE] [--screenshot-dir DIR]"
                         " --script FILE -- program args...\n");
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
    if (script.empty() || commandLine.empty()) return Usage();

    std::ifstream in(script);
    if (!in) {
        std::fprintf(stderr, "uidriver: cannot read %s\n", script.c_str());
        return 2;
    }
    ui::SetTranscript(transcript);

    ui::Process process;
    DWORD started = GetTickCount();
    if (!ui::Start(process, commandLine)) return 1;

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
            if (ok && current) ui::Press(current, id);
            ok = ok && current;
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
            if (ok && current) ui::SetItemText(current, id, text);
            ok = ok && current;
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
