// The full-screen backdrop: blue gradient, application name and by-line.
// It starts the installation from its own posted command and, after a
// successful run, moves the setup information file into the install
// directory ten seconds later.
#include "backdrop.h"
#include "setup_state.h"
#include "text.h"
#include "install.h"
#include "file_move.h"
#include "setupinfo.h"

enum { IDM_START_INSTALL = 100, CLEANUP_TIMER = 1, CLEANUP_DELAY = 10000 };

static const char className[] = "SetupWClass";

// Font fields are all 0 but height, weight, pitch/family and face.
static HFONT MakeFont(LONG height, LONG weight)
{
    LOGFONTA font;
    memset(&font, 0, sizeof font);
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    CopyText(font.lfFaceName, "Times New Roman", sizeof font.lfFaceName);
    return CreateFontIndirectA(&font);
}

static void PaintBackdrop(HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    int band = client.bottom / 220;
    if (band < 1) band = 1;
    HDC dc = GetDC(window);

    int blue = 255;
    for (int y = 0; y < client.bottom; y += band) {
        HBRUSH brush = CreateSolidBrush(RGB(0, 0, blue));
        RECT row = {client.left, y, client.right, y + band};
        FillRect(dc, &row, brush);
        DeleteObject(brush);
        if (blue > 0) --blue;
    }

    HFONT titleFont = MakeFont(-36, 700);
    HGDIOBJ keptFont = SelectObject(dc, titleFont);
    SetBkMode(dc, TRANSPARENT);
    COLORREF keptColour = SetTextColor(dc, RGB(128, 0, 0));
    RECT title = {client.left, 330, client.right, 380};
    DrawTextA(dc, setupState.appName, -1, &title, DT_CENTER);
    title.top -= 4;
    title.right -= 4;
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextA(dc, setupState.appName, -1, &title, DT_CENTER);

    HFONT byFont = MakeFont(-18, 0);
    SelectObject(dc, byFont);
    DeleteObject(titleFont);
    RECT by = {client.left + 20, client.bottom - 30, client.right,
               client.bottom - 10};
    DrawTextA(dc, setupState.appBy, -1, &by, 0);

    SelectObject(dc, keptFont);
    DeleteObject(byFont);
    SetTextColor(dc, keptColour);
    ReleaseDC(window, dc);
    EndPaint(window, &paint);
}

// 1 from the closing message's end until the log is in place.
static int cleanupPending;

// The clean-up: when the ten seconds are over, or earlier when the window
// is closed or Windows ends the session during them.
static void FinishCleanup()
{
    if (!cleanupPending) return;
    cleanupPending = 0;
    RemoveWorkingCopies();
}

static LRESULT CALLBACK BackdropWndProc(HWND window, UINT message,
                                        WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        PostMessageA(window, WM_COMMAND, IDM_START_INSTALL, 0);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDM_START_INSTALL) break;
        if (RunInstall(window, &setupState)) {
            cleanupPending = 1;
            SetWindowTextA(window, "Setup is cleaning up...");
            SetTimer(window, CLEANUP_TIMER, CLEANUP_DELAY, 0);
        } else {
            // Declined or taken back: the copies beside the program go.
            RemoveWorkingCopies();
            PostMessageA(window, WM_DESTROY, 0, 0);
        }
        return 0;
    case WM_TIMER:
        FinishCleanup();
        PostMessageA(window, WM_DESTROY, 0, 0);
        return 0;
    case WM_CLOSE:
        FinishCleanup();
        break;
    case WM_ENDSESSION:
        if (wParam) FinishCleanup();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_WINDOWPOSCHANGING:
        // Shown once in place; afterwards nothing moves or sizes it.
        if (!setupState.backdropPlaced)
            setupState.backdropPlaced = 1;
        else
            ((WINDOWPOS*)lParam)->flags = SWP_NOSIZE | SWP_NOMOVE |
                                          SWP_NOREDRAW | SWP_NOOWNERZORDER;
        return 0;
    case WM_PAINT:
        PaintBackdrop(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

ATOM RegisterBackdropClass(HINSTANCE instance)
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = BackdropWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(300));
    windowClass.hCursor = LoadCursorA(0, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(LTGRAY_BRUSH);
    windowClass.lpszClassName = className;
    return RegisterClassA(&windowClass);
}

int CreateBackdropWindow(HINSTANCE instance)
{
    HWND window = CreateWindowExA(0, className, "ZOZurer", WS_VISIBLE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN),
                                  GetSystemMetrics(SM_CYSCREEN), 0, 0,
                                  instance, 0);
    return window != 0;
}

// Deletes the working copy at `copy` unless it is the installed file
// itself (the program's own folder chosen as the install directory).
static void RemoveCopy(const char* copy, const char* name)
{
    char installed[SETUP_PATH_SIZE];
    CopyText(installed, setupState.installDir, sizeof installed);
    AppendText(installed, name, sizeof installed);
    if (!IsSameFile(copy, installed)) DeleteFileA(copy);
}

void RemoveWorkingCopies()
{
    // The log and the license are in the install directory already,
    // written from the archive's own bytes: the copies extracted beside the
    // program at the start go.
    RemoveCopy(setupState.infPath, "\\" SETUP_INFO_NAME);
    RemoveCopy(setupState.licensePath, "\\" LICENSE_NAME);
    CopyText(setupState.infPath, setupState.installDir, sizeof setupState.infPath);
    AppendText(setupState.infPath, "\\" SETUP_INFO_NAME, sizeof setupState.infPath);
}
