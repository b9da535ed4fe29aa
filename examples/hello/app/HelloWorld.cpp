// Hello World: the example application that examples/hello installs. A
// window that greets the user, a Help menu that opens the guide installed
// beside the program, and an About box.
#include <windows.h>
#include <shellapi.h>

#include "resource.h"

namespace {

const char kClassName[] = "HelloWorldWindow";
const char kTitle[] = "Hello World";

// The folder the program was started from, with a trailing backslash.
void ProgramFolder(char* folder, DWORD size)
{
    DWORD length = GetModuleFileNameA(nullptr, folder, size);
    if (length == 0 || length >= size) length = 0;
    while (length > 0 && folder[length - 1] != '\\') --length;
    folder[length] = 0;
}

void OpenGuide(HWND window)
{
    char path[MAX_PATH + 32];
    ProgramFolder(path, MAX_PATH);
    lstrcatA(path, "help\\Guide.txt");
    if (reinterpret_cast<INT_PTR>(ShellExecuteA(window, "open", "notepad.exe", path, nullptr,
                                                SW_SHOWNORMAL)) <= 32)
        MessageBoxA(window, "The guide could not be opened.", kTitle, MB_ICONWARNING | MB_OK);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

void Paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    SetBkMode(dc, TRANSPARENT);

    HFONT big = CreateFontA(-40, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                            VARIABLE_PITCH | FF_ROMAN, "Times New Roman");
    HGDIOBJ kept = SelectObject(dc, big);
    SetTextColor(dc, RGB(0, 0, 160));
    RECT top = client;
    top.bottom = client.bottom / 2 + 10;
    DrawTextA(dc, "Hello, World!", -1, &top, DT_CENTER | DT_SINGLELINE | DT_BOTTOM);

    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(dc, RGB(64, 64, 64));
    RECT below = client;
    below.top = client.bottom / 2 + 24;
    char folder[MAX_PATH];
    ProgramFolder(folder, sizeof folder);
    char text[MAX_PATH + 64];
    wsprintfA(text, "Installed in %s", folder);
    DrawTextA(dc, text, -1, &below, DT_CENTER | DT_SINGLELINE | DT_PATH_ELLIPSIS);

    SelectObject(dc, kept);
    DeleteObject(big);
    EndPaint(window, &paint);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDM_EXIT: DestroyWindow(window); return 0;
        case IDM_GUIDE: OpenGuide(window); return 0;
        case IDM_ABOUT:
            DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), window,
                            AboutProc, 0);
            return 0;
        }
        break;
    case WM_PAINT: Paint(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_HELLO));
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MENU);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass)) return 1;

    const int width = 440, height = 280;
    HWND window = CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW,
                                  (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

// No C runtime: the program needs none, and the runtime's own start-up
// code is built for later processors than the 386 it is to run on.
extern "C" void WINAPI WinMainCRTStartup()
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = startup.dwFlags & STARTF_USESHOWWINDOW ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(),
                                          show)));
}
