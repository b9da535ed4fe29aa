// The full-screen backdrop as a person sees it: the real window of a setup
// run looked at on the screen while it waits to clean up (its gradient
// bands, the white title over its dark-red shadow, the by-line, its class
// and style, and that no other command starts a second installation), and
// the class and the first title as the stub's own functions make them.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive.h"
#include "backdrop.h"
#include "install_steps.h"
#include "setup_state.h"
#include "testutil.h"
#include "uidriver.h"
#include "wtest.h"

using inst::RunDir;

namespace {

const char kAppDir[] = "C:\\wtest\\backdrop-app";
// FILENUM in capitals: the setup information file's keys are read
// without regard to case.
const char kInfText[] =
    "[Install]\r\nDefDir=C:\\wtest\\backdrop-app\r\nAppName=Backdrop Test\r\n"
    "AppBy=by the backdrop tests\r\nCompReg=Wtest Software\r\nVerNum=1.0\r\nFILENUM=2\r\n";

const std::uint32_t kWhite = 0xFFFFFF, kShadow = 0x800000; // 0xRRGGBB

// The whole screen, one 0xRRGGBB value per pixel, rows from the top.
struct Screen {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x] & 0xFFFFFF; }
};

Screen Capture()
{
    Screen shot;
    shot.width = GetSystemMetrics(SM_CXSCREEN);
    shot.height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shot.width;
    info.bmiHeader.biHeight = -shot.height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, shot.width, shot.height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    auto* first = static_cast<std::uint32_t*>(bits);
    shot.pixels.assign(first, first + size_t(shot.width) * shot.height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return shot;
}

// The pixels of one colour inside a rectangle of client coordinates.
struct Found {
    int count = 0, left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    int outside = 0; // of them, how many lie outside `allowed`
};

Found FindColour(const Screen& shot, POINT origin, const RECT& area, std::uint32_t colour,
                 const std::vector<RECT>& allowed)
{
    Found found;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            if (shot.At(origin.x + x, origin.y + y) != colour) continue;
            ++found.count;
            found.left = std::min(found.left, x);
            found.right = std::max(found.right, x);
            found.top = std::min(found.top, y);
            found.bottom = std::max(found.bottom, y);
            POINT at{x, y};
            bool inside = false;
            for (const RECT& rect : allowed) inside = inside || PtInRect(&rect, at);
            if (!inside) {
                if (found.outside++ < 3) ui::Note("colour %06X at (%d, %d)", colour, x, y);
            }
        }
    return found;
}

// An icon's image and mask as bytes; its width in `size`.
std::vector<std::uint8_t> IconBits(HICON handle, int* size)
{
    std::vector<std::uint8_t> bits;
    ICONINFO icon{};
    if (!handle || !GetIconInfo(handle, &icon)) return bits;
    for (HBITMAP part : {icon.hbmColor, icon.hbmMask}) {
        BITMAP image{};
        if (!part || !GetObjectA(part, sizeof image, &image)) continue;
        if (part == icon.hbmColor || !icon.hbmColor) *size = image.bmWidth;
        std::vector<std::uint8_t> data(size_t(image.bmWidthBytes) * image.bmHeight);
        GetBitmapBits(part, LONG(data.size()), data.data());
        bits.insert(bits.end(), data.begin(), data.end());
        DeleteObject(part);
    }
    return bits;
}

} // namespace

// The real window of a successful run, while it waits ten seconds to
// clean up (nothing else is on the screen then).
WTEST(RealWindowAsShownDuringTheCleanUp)
{
    wt::RemoveTree(kAppDir);
    RunDir run("backdrop-run");
    REQUIRE(run.Write(inst::Program(kInfText, "Backdrop license\r\n",
                                    {inst::File("a.txt", wt::ToBytes("a")),
                                     inst::File("b.txt", wt::ToBytes("b"))})));
    inst::Session session;
    ui::Process& process = session.process;
    REQUIRE(session.Start(run));
    HWND sheet = nullptr;
    REQUIRE(inst::ReachDestination(process, &sheet) || session.Fail());
    HWND box = inst::FinishWizard(process, sheet);
    REQUIRE(box != nullptr || session.Fail());
    ui::Press(box, IDOK);
    HWND backdrop = ui::WaitWindow(process, "SetupWClass", "Setup is cleaning up...", nullptr,
                                   inst::kWaitMs);
    REQUIRE(backdrop != nullptr || session.Fail());

    // The window: class, style, place, no parent or owner.
    CHECK_EQ(ui::ClassName(backdrop), "SetupWClass");
    CHECK_EQ(GetClassLongA(backdrop, GCL_STYLE), DWORD(CS_HREDRAW | CS_VREDRAW));
    // WS_VISIBLE asked for, and that it clips the progress panel's
    // button; the platform makes every overlapped window a captioned one
    // that clips its siblings, and the maximising show at the
    // installation's start marks it maximised (its place and size stay).
    LONG style = GetWindowLongA(backdrop, GWL_STYLE);
    CHECK_EQ(style & ~(WS_CAPTION | WS_CLIPSIBLINGS),
             LONG(WS_VISIBLE | WS_CLIPCHILDREN | WS_MAXIMIZE));
    CHECK_EQ(GetWindowLongA(backdrop, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0L);
    CHECK(GetWindow(backdrop, GW_OWNER) == nullptr);
    CHECK(GetAncestor(backdrop, GA_PARENT) == GetDesktopWindow());
    RECT placed;
    GetWindowRect(backdrop, &placed);
    CHECK_EQ(placed.left, 0L);
    CHECK_EQ(placed.top, 0L);
    CHECK_EQ(placed.right, LONG(GetSystemMetrics(SM_CXSCREEN)));
    CHECK_EQ(placed.bottom, LONG(GetSystemMetrics(SM_CYSCREEN)));

    // The pixels, once the closing message's place is painted over.
    Sleep(800);
    RECT client;
    GetClientRect(backdrop, &client);
    POINT origin{0, 0};
    ClientToScreen(backdrop, &origin);
    Screen shot = Capture();
    REQUIRE(origin.x >= 0 && origin.y >= 0 && origin.x + client.right <= shot.width &&
            origin.y + client.bottom <= shot.height);
    const int width = client.right, height = client.bottom;
    ui::Note("client %dx%d at (%ld, %ld)", width, height, origin.x, origin.y);
    REQUIRE(height > 440);

    // Bands of client height / 220 rows, from RGB(0,0,255) down by one a
    // band, never below 0: sampled down the left edge, clear of any text.
    // (At 768 rows the 256 bands of 3 rows would end in black; this
    // client is as high as the screen less the caption.)
    const int band = std::max(1, height / 220);
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x : {0, 10, width - 1}) {
            std::uint32_t want = std::uint32_t(std::max(0, 255 - y / band));
            std::uint32_t got = shot.At(origin.x + x, origin.y + y);
            if (got != want && wrong++ < 5) ui::Note("(%d, %d): %06X, not %06X", x, y, got, want);
        }
    CHECK_EQ(wrong, 0);
    CHECK_EQ(shot.At(origin.x + 10, origin.y + height - 1),
             std::uint32_t(std::max(0, 255 - (height - 1) / band)));

    // The title: white in (0, 326, right - 4, 380), its dark-red shadow in
    // (0, 330, right, 380) 2 pixels to the right and 4 down; the by-line
    // white in (20, bottom - 30, right, bottom - 10). Nothing elsewhere.
    const RECT whole{0, 0, width, height};
    const RECT title{0, 326, width - 4, 380}, shadowArea{0, 330, width, 380};
    const RECT byLine{20, height - 30, width, height - 10};
    Found white = FindColour(shot, origin, whole, kWhite, {title, byLine});
    Found shadow = FindColour(shot, origin, whole, kShadow, {shadowArea});
    CHECK_EQ(white.outside, 0);
    CHECK_EQ(shadow.outside, 0);
    Found titleWhite = FindColour(shot, origin, title, kWhite, {title});
    REQUIRE(titleWhite.count > 50);
    REQUIRE(shadow.count > 20);
    // The shadow's lowest and rightmost pixels stick out from under the
    // white text by the offset exactly.
    CHECK_EQ(shadow.bottom - titleWhite.bottom, 4);
    CHECK_EQ(shadow.right - titleWhite.right, 2);
    // Centred in the title rectangle.
    int centre = (titleWhite.left + titleWhite.right) / 2;
    CHECK(std::abs(centre - (width - 4) / 2) <= 4);
    Found by = FindColour(shot, origin, byLine, kWhite, {byLine});
    CHECK(by.count > 10);
    CHECK(by.left >= 20 && by.left <= 24);

    // A command other than 100 starts no second installation.
    PostMessageA(backdrop, WM_COMMAND, 101, 0);
    PostMessageA(backdrop, WM_COMMAND, MAKEWPARAM(0, 100), 0);
    CHECK(ui::WaitMessageBox(process, "previous version", 1500) == nullptr);
    CHECK_EQ(ui::TopWindows(process).size(), size_t(1));
    CHECK_EQ(ui::Text(backdrop), "Setup is cleaning up...");

    PostMessageA(backdrop, WM_TIMER, 1, 0);
    DWORD exitCode = 1;
    CHECK(ui::WaitExit(process, inst::kWaitMs, &exitCode));
    CHECK_EQ(exitCode, 0ul);
    // FILENUM was read: both files installed and recorded.
    std::string app = kAppDir, log = app + "\\Uninstal.inf";
    CHECK(wt::ReadBytes(app + "\\a.txt") == wt::ToBytes("a"));
    CHECK(wt::ReadBytes(app + "\\b.txt") == wt::ToBytes("b"));
    CHECK_EQ(wt::IniValue(log, "Uninstall", "fileb"), app + "\\b.txt");
    wt::RemoveTree(kAppDir);
    wt::RemoveTree(inst::LinkDir("Backdrop Test"));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(inst::kUninstallRoot) + "Backdrop Test").c_str());
    wt::RemoveTree(run.dir);
}

// The stub's own RegisterBackdropClass and CreateBackdropWindow, called
// here with the stub's file as the module (for its icon): the class as
// registered, the window's first title, and the one start command it
// posts itself - removed here before anything could run it.
WTEST(ClassAndFirstTitleAsCreated)
{
    HMODULE stub = LoadLibraryExA(wt::StubPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(stub != nullptr);
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(stub);
    REQUIRE(RegisterBackdropClass(instance) != 0);
    WNDCLASSA registered{};
    REQUIRE(GetClassInfoA(instance, "SetupWClass", &registered));
    CHECK_EQ(registered.style, UINT(CS_HREDRAW | CS_VREDRAW));
    CHECK_EQ(registered.cbClsExtra, 0);
    CHECK_EQ(registered.cbWndExtra, 0);
    CHECK(registered.lpszMenuName == nullptr);
    CHECK(registered.hCursor == LoadCursorA(nullptr, IDC_ARROW));
    CHECK(registered.hbrBackground == GetStockObject(LTGRAY_BRUSH));
    REQUIRE(registered.hIcon != nullptr);
    int size = 0;
    std::vector<std::uint8_t> bits = IconBits(registered.hIcon, &size);
    CHECK_EQ(size, 32);
    CHECK(!bits.empty() && bits == IconBits(LoadIconA(instance, MAKEINTRESOURCEA(300)), &size));

    setupState.backdropPlaced = 0;
    REQUIRE(CreateBackdropWindow(instance) == 1);
    HWND window = FindWindowA("SetupWClass", "ZOZurer");
    REQUIRE(window != nullptr);
    CHECK_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    CHECK_EQ(std::string(title), "ZOZurer");
    CHECK_EQ(setupState.backdropPlaced, 1);
    CHECK_EQ(GetWindowLongA(window, GWL_STYLE) & ~(WS_CAPTION | WS_CLIPSIBLINGS),
             LONG(WS_VISIBLE | WS_CLIPCHILDREN));
    RECT placed;
    GetWindowRect(window, &placed);
    CHECK_EQ(placed.right - placed.left, LONG(GetSystemMetrics(SM_CXSCREEN)));
    CHECK_EQ(placed.bottom - placed.top, LONG(GetSystemMetrics(SM_CYSCREEN)));

    // The start command, posted once, with wParam 100 and lParam 0.
    MSG message;
    REQUIRE(PeekMessageA(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    CHECK_EQ(message.wParam, WPARAM(100));
    CHECK_EQ(message.lParam, LPARAM(0));
    CHECK(!PeekMessageA(&message, window, WM_COMMAND, WM_COMMAND, PM_REMOVE));

    // Destroyed, it ends the message loop with code 0.
    DestroyWindow(window);
    CHECK(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    CHECK_EQ(message.wParam, WPARAM(0));
    UnregisterClassA("SetupWClass", instance);
    FreeLibrary(stub);
}

// The window closed (Alt+F4) during the ten seconds of "Setup is cleaning
// up...": the log goes into place first, so that the uninstall entry never
// names a log that is not there.
WTEST(ClosedDuringTheCleanUpTheLogIsInPlace)
{
    wt::RemoveTree(kAppDir);
    RunDir run("backdrop-close");
    REQUIRE(run.Write(inst::Program(kInfText, "Backdrop license\r\n",
                                    {inst::File("a.txt", wt::ToBytes("a")),
                                     inst::File("b.txt", wt::ToBytes("b"))})));
    inst::Session session;
    ui::Process& process = session.process;
    REQUIRE(session.Start(run));
    HWND sheet = nullptr;
    REQUIRE(inst::ReachDestination(process, &sheet) || session.Fail());
    HWND box = inst::FinishWizard(process, sheet);
    REQUIRE(box != nullptr || session.Fail());
    ui::Press(box, IDOK);
    HWND backdrop = ui::WaitWindow(process, "SetupWClass", "Setup is cleaning up...", nullptr,
                                   inst::kWaitMs);
    REQUIRE(backdrop != nullptr || session.Fail());
    DWORD start = GetTickCount();
    PostMessageA(backdrop, WM_SYSCOMMAND, SC_CLOSE, 0);
    DWORD code = 1;
    REQUIRE(ui::WaitExit(process, 5000, &code));
    CHECK(GetTickCount() - start < 5000); // not the timer's ten seconds
    CHECK_EQ(code, 0ul);
    std::string log = std::string(kAppDir) + "\\Uninstal.inf";
    CHECK(wt::Exists(log));
    CHECK(!wt::Exists(run.inf));
    CHECK_EQ(wt::IniValue(log, "Uninstall", "dir"), std::string(kAppDir));
    wt::RemoveTree(kAppDir);
}

namespace {

// 0xRRGGBB of a system colour.
std::uint32_t SystemColour(int index)
{
    COLORREF c = GetSysColor(index);
    return std::uint32_t(GetRValue(c)) << 16 | GetGValue(c) << 8 | GetBValue(c);
}

// Thirty 2 MB files of mixed text and noise: about 60 MB to write.
wt::Bytes LargeProgram(const char* appName, const char* dir)
{
    std::vector<archive::EntrySpec> files;
    unsigned seed = 12345;
    for (int i = 0; i < 30; ++i) {
        wt::Bytes data(2 << 20);
        for (size_t at = 0; at < data.size(); ++at) {
            seed = seed * 1103515245 + 12345;
            data[at] = (at / 4096) % 3 ? std::uint8_t('a' + (at * 7 + i) % 23)
                                       : std::uint8_t(seed >> 24);
        }
        files.push_back(inst::File("part" + std::to_string(100 + i) + ".bin", data));
    }
    std::string inf = std::string("[Install]\r\nDefDir=") + dir + "\r\nAppName=" + appName +
                      "\r\nAppBy=by the progress tests\r\nCompReg=Wtest Software\r\nFileNum=30\r\n";
    return inst::Program(inf, "Progress license\r\n", files);
}

// The progress panel as the screen shows it: the bar's filled width (in the
// selection colour, along its middle row), whether the file-name line
// holds text, and whether the panel's face is there at all.
struct Panel {
    bool shown = false;
    bool named = false;
    int filled = 0;
};

Panel ReadPanel(HWND backdrop)
{
    Panel panel;
    RECT client;
    GetClientRect(backdrop, &client);
    POINT origin{0, 0};
    ClientToScreen(backdrop, &origin);
    Screen shot = Capture();
    int left = client.right / 2 - 210, right = client.right / 2 + 210;
    if (origin.x + right > shot.width || origin.y + 446 > shot.height) return panel;
    std::uint32_t face = SystemColour(COLOR_BTNFACE), text = SystemColour(COLOR_BTNTEXT),
                  bar = SystemColour(COLOR_HIGHLIGHT);
    panel.shown = shot.At(origin.x + left + 6, origin.y + 394) == face &&
                  shot.At(origin.x + right - 6, origin.y + 440) == face;
    for (int y = 399; y < 415; ++y)
        for (int x = left + 12; x < right - 12; ++x)
            panel.named = panel.named || shot.At(origin.x + x, origin.y + y) == text;
    for (int x = left + 14; x < right - 101; ++x)
        panel.filled += shot.At(origin.x + x, origin.y + 429) == bar;
    return panel;
}

} // namespace

// About 60 MB written after Finish: the panel below the title names the
// file and its bar grows, the backdrop answers WM_NULL within a second at
// every probe (each 200 ms), and the panel is gone when the closing
// message comes.
WTEST(ProgressWhileFilesAreWritten)
{
    const char* dir = "C:\\wtest\\progress-app";
    wt::RemoveTree(dir);
    RunDir run("backdrop-progress");
    REQUIRE(run.Write(LargeProgram("Progress Test", dir)));
    inst::Session session;
    ui::Process& process = session.process;
    REQUIRE(session.Start(run));
    HWND sheet = nullptr;
    REQUIRE(inst::ReachDestination(process, &sheet) || session.Fail());
    ui::PressWizard(sheet, PSBTN_NEXT);
    REQUIRE(inst::WaitPage(sheet, "Install") || session.Fail());
    HWND backdrop = ui::WaitWindow(process, "SetupWClass", "Progress Test Setup");
    REQUIRE(backdrop != nullptr || session.Fail());
    ui::PressWizard(sheet, PSBTN_FINISH);

    std::vector<int> widths;
    int probes = 0, answered = 0, named = 0;
    HWND done = nullptr;
    while (!(done = ui::WaitMessageBox(process, "Setup is complete.", 200))) {
        if (!ui::IsRunning(process)) break;
        DWORD_PTR result = 0;
        ++probes;
        answered += SendMessageTimeoutA(backdrop, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000,
                                        &result) != 0;
        Panel panel = ReadPanel(backdrop);
        if (panel.shown) {
            widths.push_back(panel.filled);
            named += panel.named;
        }
    }
    REQUIRE(done != nullptr || session.Fail());
    ui::Note("%d probes, %zu saw the panel, bar %d .. %d px", probes, widths.size(),
             widths.empty() ? -1 : widths.front(), widths.empty() ? -1 : widths.back());
    CHECK_EQ(answered, probes);
    REQUIRE(widths.size() >= 2u);
    CHECK(widths.back() > widths.front());
    CHECK(std::is_sorted(widths.begin(), widths.end()));
    CHECK_EQ(named, int(widths.size()));
    Sleep(300);
    CHECK(!ReadPanel(backdrop).shown);
    ui::Press(done, IDOK);
    HWND cleaning = ui::WaitWindow(process, "SetupWClass", "Setup is cleaning up...");
    REQUIRE(cleaning != nullptr || session.Fail());
    PostMessageA(cleaning, WM_TIMER, 1, 0);
    CHECK(ui::WaitExit(process, inst::kWaitMs));
    CHECK_EQ(wt::ReadBytes(std::string(dir) + "\\part129.bin").size(), size_t(2 << 20));
    wt::RemoveTree(dir);
    wt::RemoveTree(inst::LinkDir("Progress Test"));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(inst::kUninstallRoot) + "Progress Test").c_str());

    // Cancel, then Yes: everything written is taken back without a further
    // message, and the program ends.
    inst::Session second;
    REQUIRE(second.Start(run));
    REQUIRE(inst::ReachDestination(second.process, &sheet) || second.Fail());
    ui::PressWizard(sheet, PSBTN_NEXT);
    REQUIRE(inst::WaitPage(sheet, "Install") || second.Fail());
    backdrop = ui::WaitWindow(second.process, "SetupWClass", "Progress Test Setup");
    ui::PressWizard(sheet, PSBTN_FINISH);
    HWND cancel = nullptr;
    for (int i = 0; i < 100 && !cancel; ++i, Sleep(50))
        cancel = FindWindowExA(backdrop, nullptr, "Button", "Cancel");
    REQUIRE(cancel != nullptr || second.Fail());
    Sleep(500);
    PostMessageA(cancel, BM_CLICK, 0, 0);
    HWND question = ui::WaitMessageBox(second.process, "Stop the installation");
    REQUIRE(question != nullptr || second.Fail());
    ui::Press(question, IDYES);
    DWORD code = 1;
    CHECK(ui::WaitExit(second.process, inst::kWaitMs, &code));
    CHECK_EQ(code, 0ul);
    CHECK(!wt::Exists(dir));
    CHECK(!inst::KeyExists(HKEY_LOCAL_MACHINE,
                           std::string(inst::kUninstallRoot) + "Progress Test"));
    CHECK(!wt::Exists(run.inf));
    wt::RemoveTree(run.dir);
}
