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

// The progress panel: centred below the application's name, above the
// by-line even on a 640 x 480 screen; the file being written, the bar and
// the Cancel button.
enum { PANEL_TOP = 390, PANEL_HALF_WIDTH = 210, PANEL_HEIGHT = 56,
       BUTTON_WIDTH = 75, BUTTON_HEIGHT = 23, PROGRESS_STEP = 250 };

static HWND cancelButton;

static void PanelRect(HWND window, RECT* panel)
{
    GetClientRect(window, panel);
    int middle = panel->right / 2;
    SetRect(panel, middle - PANEL_HALF_WIDTH, PANEL_TOP, middle + PANEL_HALF_WIDTH,
            PANEL_TOP + PANEL_HEIGHT);
}

// Draws the panel in the colours and font of a dialog: the name on the
// first line, under it the bar, filled in the selection colour by the
// share of decoded bytes passed.
static void DrawProgress(HWND window)
{
    if (!setupState.progressWindow) return;
    RECT panel, part;
    PanelRect(window, &panel);
    HDC dc = GetDC(window);
    FillRect(dc, &panel, (HBRUSH)(COLOR_BTNFACE + 1));
    DrawEdge(dc, &panel, EDGE_RAISED, BF_RECT);
    SetRect(&part, panel.left + 12, panel.top + 9, panel.right - 12, panel.top + 25);
    HGDIOBJ kept = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    if (setupState.progressName)
        DrawTextA(dc, setupState.progressName, -1, &part,
                  DT_PATH_ELLIPSIS | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, kept);
    SetRect(&part, panel.left + 12, panel.top + 30,
            panel.right - 24 - BUTTON_WIDTH, panel.top + 48);
    DrawEdge(dc, &part, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    FillRect(dc, &part, (HBRUSH)(COLOR_WINDOW + 1));
    // In quarters of bytes: both fit an int up to 4 GiB.
    part.right = part.left + MulDiv(part.right - part.left,
                                    static_cast<int>(setupState.payloadDone >> 2),
                                    static_cast<int>(setupState.payloadSize >> 2 | 1));
    FillRect(dc, &part, (HBRUSH)(COLOR_HIGHLIGHT + 1));
    ReleaseDC(window, dc);
}

void BeginProgress(HWND window)
{
    setupState.payloadDone = 0;
    if (!window) return;
    setupState.progressWindow = window;
    RECT panel;
    PanelRect(window, &panel);
    cancelButton = CreateWindowExA(0, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE,
                                   panel.right - 12 - BUTTON_WIDTH, panel.top + 27,
                                   BUTTON_WIDTH, BUTTON_HEIGHT, window,
                                   (HMENU)IDCANCEL, setupState.instance, 0);
    SendMessageA(cancelButton, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), 0);
    DrawProgress(window);
}

void EndProgress()
{
    HWND window = setupState.progressWindow;
    if (!window) return;
    setupState.progressWindow = 0;
    DestroyWindow(cancelButton);
    InvalidateRect(window, 0, TRUE);
    UpdateWindow(window);
}

int ShowProgress(unsigned long size)
{
    setupState.payloadDone += size;
    HWND window = setupState.progressWindow;
    DWORD now = GetTickCount();
    if (window && now - setupState.progressTick >= PROGRESS_STEP) {
        setupState.progressTick = now;
        DrawProgress(window);
        // The queue is served so that Windows sees the program answer;
        // input goes to the Cancel button only.
        MSG msg;
        while (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) {
            UINT m = msg.message;
            if (msg.hwnd != cancelButton &&
                ((m >= WM_NCMOUSEMOVE && m <= WM_NCMBUTTONDBLCLK) ||
                 (m >= WM_KEYFIRST && m <= WM_KEYLAST) ||
                 (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST)))
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return !setupState.cancelled;
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
    DrawProgress(window);
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
        // Cancel while files are written: asked once, then taken back.
        if (LOWORD(wParam) == IDCANCEL) {
            if (MessageBoxA(window, "Stop the installation and take back what "
                            "it has done so far?", setupState.caption,
                            MB_ICONQUESTION | MB_YESNO) == IDYES)
                setupState.cancelled = 1;
            return 0;
        }
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
        // Not while files are written: Cancel is the way out then.
        if (setupState.progressWindow) return 0;
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
    HWND window = CreateWindowExA(0, className, "ZOZurer",
                                  WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
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
