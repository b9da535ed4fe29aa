// The three-page setup wizard, the license agreement dialog and the
// directory browser built on the older file-open dialog.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include "wizard.h"
#include "setup_state.h"
#include "text.h"
#include "inside_folder.h"

enum {
    IDC_HEADING = 1003, IDC_BODY = 1004, IDC_BROWSE = 1007,
    IDC_PATH = 1024, IDC_LICENSE = 1010, ID_ACCEPT = 101, ID_EXIT = 102,
    TEXT_SIZE = 512, FIELD_SIZE = 260
};

// Concatenates up to four pieces into a TEXT_SIZE buffer, cut at its end.
static void Compose(char* text, const char* const* pieces, int count)
{
    text[0] = 0;
    for (int i = 0; i < count; ++i) AppendText(text, pieces[i], TEXT_SIZE);
}

static void SetButtons(HWND page, LPARAM buttons)
{
    PostMessageA(GetParent(page), PSM_SETWIZBUTTONS, 0, buttons);
}

// Answers a notification with 0 (nothing is ever refused); 1 = handled.
static INT_PTR Handled(HWND page)
{
    SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
    return TRUE;
}

static UINT NotifyCode(LPARAM lParam) { return ((NMHDR*)lParam)->code; }

static INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam,
                                        LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        char text[TEXT_SIZE];
        static const char* const heading[] = {"Welcome to ", setupState.caption,
                                 "\n\nThis Setup program will install ",
                                 setupState.appName};
        Compose(text, heading, 4);
        AppendText(text, " on your computer.", TEXT_SIZE);
        SetDlgItemTextA(page, IDC_HEADING, text);
        static const char* const body[] = {"To install ", setupState.appName,
                              " on your computer now, click Next or press "
                              "Enter.\n\nTo exit Setup without installing ",
                              setupState.appName};
        Compose(text, body, 4);
        AppendText(text, ", click Cancel at any time.", TEXT_SIZE);
        SetDlgItemTextA(page, IDC_BODY, text);
        return TRUE;
    }
    if (message != WM_NOTIFY) return FALSE;
    switch (NotifyCode(lParam)) {
    case PSN_SETACTIVE:
        SetButtons(page, PSWIZB_NEXT);
        break;
    case PSN_WIZNEXT:
        // The license gate: shown once per run; refusing it ends the run.
        if (!setupState.licenseAccepted) {
            if (DialogBoxParamA(setupState.instance, MAKEINTRESOURCEA(104),
                                page, LicenseDialogProc, 0) == ID_ACCEPT)
                setupState.licenseAccepted = 1;
            else
                PostQuitMessage(0);
        }
        break;
    case PSN_KILLACTIVE:
    case PSN_RESET:
        break;
    default:
        return FALSE;
    }
    return Handled(page);
}

static INT_PTR CALLBACK DestinationPageProc(HWND page, UINT message,
                                            WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND) {
        if (LOWORD(wParam) == IDC_BROWSE) BrowseForDirectory(page);
        return FALSE;
    }
    if (message != WM_NOTIFY) return FALSE;
    switch (NotifyCode(lParam)) {
    case PSN_SETACTIVE:
        SetButtons(page, PSWIZB_BACK | PSWIZB_NEXT);
        SendMessageA(GetDlgItem(page, IDC_PATH), WM_SETTEXT, 0,
                     (LPARAM)setupState.installDir);
        break;
    case PSN_WIZNEXT: {
        // Trailing blanks and separators do not count. A drive's root, in
        // any spelling, or a relative or over-long path is no install
        // directory: the page stays, with the text as typed.
        char typed[FIELD_SIZE];
        SendDlgItemMessageA(page, IDC_PATH, WM_GETTEXT, FIELD_SIZE, (LPARAM)typed);
        TrimInstallDir(typed);
        if (!IsUsableInstallDir(typed)) {
            MessageBoxA(page, "Setup cannot install into this folder.\nPlease type "
                        "a folder below a drive or network share, such as "
                        "C:\\Apps\\Name, in at most 242 characters.",
                        setupState.caption, MB_ICONWARNING | MB_OK);
            SetWindowLongPtrA(page, DWLP_MSGRESULT, -1);
            return TRUE;
        }
        CopyText(setupState.installDir, typed, sizeof setupState.installDir);
        break;
    }
    case PSN_WIZBACK:
    case PSN_KILLACTIVE:
    case PSN_RESET:
        break;
    default:
        return FALSE;
    }
    return Handled(page);
}

static INT_PTR CALLBACK FinishPageProc(HWND page, UINT message, WPARAM wParam,
                                       LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        char text[TEXT_SIZE];
        static const char* const body[] = {"To install ", setupState.appName,
                              " on your computer now, click Finish or press "
                              "Enter.\n\nTo exit Setup without installing, "
                              "click Cancel."};
        Compose(text, body, 3);
        AppendText(setupState.caption, " is ready to finish the installation.",
                   sizeof setupState.caption);
        SetDlgItemTextA(page, IDC_HEADING, setupState.caption);
        SetDlgItemTextA(page, IDC_BODY, text);
        return TRUE;
    }
    if (message != WM_NOTIFY) return FALSE;
    switch (NotifyCode(lParam)) {
    case PSN_SETACTIVE:
        SetButtons(page, PSWIZB_BACK | PSWIZB_FINISH);
        break;
    case PSN_WIZFINISH:
    case PSN_WIZBACK:
    case PSN_KILLACTIVE:
    case PSN_RESET:
        break;
    default:
        return FALSE;
    }
    return Handled(page);
}

int RunWizard(HWND parent, HINSTANCE instance)
{
    static const WORD templates[3] = {102, 107, 101};
    static const DLGPROC procs[3] = {WelcomePageProc, DestinationPageProc,
                                     FinishPageProc};
    // 40-byte page records: the sheet steps through them by their size.
    PROPSHEETPAGEA_V1 pages[3];
    memset(pages, 0, sizeof pages);
    for (int i = 0; i < 3; ++i) {
        pages[i].dwSize = PROPSHEETPAGEA_V1_SIZE;
        pages[i].hInstance = instance;
        pages[i].pszTemplate = MAKEINTRESOURCEA(templates[i]);
        pages[i].pfnDlgProc = procs[i];
    }
    PROPSHEETHEADERA header;
    memset(&header, 0, sizeof header);
    header.dwSize = PROPSHEETHEADERA_V1_SIZE;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_WIZARD | PSH_NOAPPLYNOW;
    header.hwndParent = parent;
    header.pszCaption = setupState.caption;
    header.nPages = 3;
    header.ppsp = (LPCPROPSHEETPAGEA)pages;
    return (int)PropertySheetA(&header);
}

static void LicenseError(HWND dialog, const char* text)
{
    MessageBoxA(dialog, text, "Setup Error", MB_OK);
    PostQuitMessage(0);
}

// Loads the license text into the field; 0 after a reported error.
static void LoadLicense(HWND dialog)
{
    HANDLE file = CreateFileA(setupState.licensePath, GENERIC_READ,
                              FILE_SHARE_READ, 0, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) {
        LicenseError(dialog, "Error accessing License.txt");
        return;
    }
    DWORD size = GetFileSize(file, 0);
    char* text = size == INVALID_FILE_SIZE ? 0
        : (char*)GlobalAlloc(GMEM_FIXED, size + 1);
    if (!text) {
        CloseHandle(file);
        LicenseError(dialog, "Can't get memory");
        return;
    }
    DWORD got = 0;
    if (!ReadFile(file, text, size, &got, 0)) {
        GlobalFree(text);
        CloseHandle(file);
        LicenseError(dialog, "File Error");
        return;
    }
    CloseHandle(file);
    text[got] = 0;
    SetDlgItemTextA(dialog, IDC_LICENSE, text);
    SetFocus(GetDlgItem(dialog, IDC_LICENSE));
    GlobalFree(text);
}

INT_PTR CALLBACK LicenseDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                   LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        LoadLicense(dialog);
    } else if (message == WM_COMMAND) {
        // Only the two buttons leave: Enter, Escape and the close box do not.
        WORD id = LOWORD(wParam);
        if (id == ID_ACCEPT || id == ID_EXIT) EndDialog(dialog, id);
    }
    return 0;
}

static void MoveControl(HWND dialog, int id, int x, int y, int wider)
{
    HWND control = GetDlgItem(dialog, id);
    RECT rect;
    GetWindowRect(control, &rect);
    MoveWindow(control, x, y, rect.right - rect.left + wider,
               rect.bottom - rect.top, TRUE);
}

// Reshapes the file-open dialog into a directory chooser and takes the
// directory label's text when OK is pressed.
static UINT_PTR CALLBACK BrowseHookProc(HWND dialog, UINT message,
                                        WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        setupState.browseFirstPaint = 1;
        SetDlgItemTextA(dialog, stc1, "");
    } else if (message == WM_PAINT && setupState.browseFirstPaint) {
        setupState.browseFirstPaint = 0;
        RECT list, box;
        GetWindowRect(GetDlgItem(dialog, lst1), &list);
        GetWindowRect(dialog, &box);
        POINT corner = {list.right, list.bottom};
        ScreenToClient(dialog, &corner);
        ScrollWindowEx(dialog, -(corner.x + 1), 0, 0, 0, 0, 0,
                       SW_SCROLLCHILDREN);
        SetWindowPos(dialog, HWND_TOP, 0, 0,
                     box.right - box.left - corner.x + 16,
                     box.bottom - box.top, SWP_NOMOVE);
        MoveControl(dialog, IDCANCEL, 180, 100, 0);
        MoveControl(dialog, IDOK, 180, 60, 0);
        MoveControl(dialog, stc1, 20, 30, 100);
        SetFocus(GetDlgItem(dialog, lst2));
    } else if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        char label[SETUP_PATH_SIZE];
        GetDlgItemTextA(dialog, stc1, label, sizeof label);
        // Empty, or shortened with "...": not a usable directory.
        int usable = label[0] != 0;
        for (const char* p = label; *p; ++p)
            if (p[0] == '.' && p[1] == '.' && p[2] == '.') usable = 0;
        if (usable)
            CopyText(setupState.installDir, label, sizeof setupState.installDir);
    }
    return 0;
}

void BrowseForDirectory(HWND page)
{
    char file[SETUP_PATH_SIZE] = "*.*";
    OPENFILENAMEA request;
    memset(&request, 0, sizeof request);
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = page;
    request.lpstrFilter = "*.*\0*.*\0";
    request.lpstrFile = file;
    request.nMaxFile = sizeof file;
    request.lpstrTitle = "Select directory";
    request.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLEHOOK |
                    OFN_NOVALIDATE | OFN_NONETWORKBUTTON | OFN_LONGNAMES;
    request.lpfnHook = BrowseHookProc;
    if (GetOpenFileNameA(&request) && setupState.installDir[0])
        SetDlgItemTextA(page, IDC_PATH, setupState.installDir);
    SetFocus(GetDlgItem(page, IDC_PATH));
}
