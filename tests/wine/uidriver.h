// A Win32 UI driver for end-to-end tests under Wine: starts a program,
// waits for its windows, reads their texts and presses their buttons, the
// way a person at the screen would. Every step is written to a transcript.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace ui {

struct Process {
    HANDLE handle = nullptr;
    DWORD pid = 0;
};

// Starts `commandLine` (passed to CreateProcessA as it stands) in
// `workDir` (empty: the current directory). false when it cannot start.
bool Start(Process& process, const std::string& commandLine,
           const std::string& workDir = "");

// Waits up to timeoutMs for a visible top-level window of the process whose
// class equals className (nullptr: any class) and whose title contains
// titlePart (nullptr: any title), and, when textPart is given, one of whose
// child windows' texts contains it. nullptr on timeout.
HWND WaitWindow(const Process& process, const char* className,
                const char* titlePart, const char* textPart = nullptr,
                int timeoutMs = 20000);

// A message box (#32770) of the process whose texts contain textPart.
HWND WaitMessageBox(const Process& process, const char* textPart,
                    int timeoutMs = 20000);

// The visible top-level windows of the process now.
std::vector<HWND> TopWindows(const Process& process);

// Window texts, read with WM_GETTEXT (works across processes).
std::string Text(HWND window);
std::string ItemText(HWND dialog, int id);
// The texts of all child windows, in z order (static texts, buttons...).
std::vector<std::string> ChildTexts(HWND dialog);
// Class name of a window.
std::string ClassName(HWND window);

// Presses button `id` of a dialog, or of the page a property sheet shows
// (as a click: WM_COMMAND BN_CLICKED to the button's parent). false, and
// nothing pressed, when there is no such button.
bool Press(HWND dialog, int id);
// Presses a wizard button of a property sheet (PSBTN_* via PSM_PRESSBUTTON).
void PressWizard(HWND sheet, int psbtn);
// Sets the text of control `id` of the dialog, or of the page a property
// sheet shows. true only when the control reads the text back.
bool SetItemText(HWND dialog, int id, const std::string& text);

// Waits for the process to end; false on timeout. exitCode may be null.
bool WaitExit(Process& process, int timeoutMs = 30000,
              DWORD* exitCode = nullptr);
// Ends a process that is still running (test clean-up) and closes it.
void Kill(Process& process);

// Transcript: every driver step, and whatever the test adds, goes to the
// file set here (and to stdout when none is set).
void SetTranscript(const std::string& path);
void Note(const char* format, ...);

// Saves a screenshot of the whole screen as a 24-bit BMP (for docs/).
bool SaveScreenshot(const std::string& bmpPath);

// --- Additions for the tests' own bookkeeping ---

// Like Start, with the child's standard output and error going to the file
// stdoutPath (created anew), so that a console program's report can be read.
bool StartRedirected(Process& process, const std::string& commandLine,
                     const std::string& workDir, const std::string& stdoutPath);
// true while the process has not ended.
bool IsRunning(const Process& process);

// A message box as a person sees it: caption, message text (the static
// texts joined by "\n") and the identifiers of its buttons.
struct Box {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    std::vector<int> buttons;
};
Box ReadBox(HWND box);
// The identifiers of the dialog's push buttons, in z order.
std::vector<int> ButtonIds(HWND dialog);
// One line per visible top-level window of the process: class, title and
// child texts (for failure reports).
std::string DescribeWindows(const Process& process);

// Everything written to the transcript since the last ClearTranscript (or
// SetTranscript), one step per line; tests assert on it.
std::string Transcript();
void ClearTranscript();

} // namespace ui
