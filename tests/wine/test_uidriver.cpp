// The UI driver itself, against a child process of known behaviour: if
// these fail, every other Wine test's verdict is in doubt.
#include <cstdio>

#include "testutil.h"
#include "wtest.h"

// Shows the boxes named on its command line ("yesno", "ok") one after the
// other, prints each answer, and exits with the last one.
WTEST_CHILD(boxes)
{
    int answer = 0;
    for (int i = 1; i < argc; ++i) {
        std::string kind = argv[i];
        UINT style = kind == "yesno" ? MB_YESNO | MB_ICONWARNING : MB_OK | MB_ICONERROR;
        std::string caption = "Child box " + std::to_string(i);
        answer = MessageBoxA(nullptr, ("Question " + kind + "?").c_str(),
                             caption.c_str(), style);
        std::printf("answer %d\n", answer);
        std::fflush(stdout);
    }
    return answer;
}

WTEST(AnswersAreDeliveredToTheRightBoxes)
{
    wt::RunResult run = wt::RunProgram(wtest::ChildCommand("boxes") + " yesno yesno ok",
                                       "", {IDYES, IDNO});
    REQUIRE(run.exited);
    REQUIRE(run.boxes.size() == 3u);
    CHECK_EQ(run.boxes[0].caption, "Child box 1");
    CHECK_EQ(run.boxes[0].text, "Question yesno?");
    CHECK_EQ(run.boxes[2].caption, "Child box 3");
    CHECK(run.boxes[0].buttons == (std::vector<int>{IDYES, IDNO}));
    CHECK(run.boxes[2].buttons == (std::vector<int>{IDOK}));
    REQUIRE(run.lines.size() == 3u);
    CHECK_EQ(run.lines[0], "answer 6");
    CHECK_EQ(run.lines[1], "answer 7");
    CHECK_EQ(run.lines[2], "answer 1");
    CHECK_EQ(run.exitCode, 1ul);
    CHECK(ui::Transcript().find("box: caption \"Child box 2\"") != std::string::npos);
}

WTEST(UnansweredYesNoBoxGetsNo)
{
    wt::RunResult run = wt::RunProgram(wtest::ChildCommand("boxes") + " yesno", "");
    REQUIRE(run.exited);
    CHECK_EQ(run.boxes.size(), 1u);
    CHECK_EQ(run.exitCode, static_cast<DWORD>(IDNO));
}

WTEST(WaitAndPressByHand)
{
    ui::Process process;
    REQUIRE(ui::Start(process, wtest::ChildCommand("boxes") + " yesno"));
    HWND box = ui::WaitMessageBox(process, "Question yesno");
    REQUIRE(box != nullptr);
    CHECK_EQ(ui::Text(box), "Child box 1");
    CHECK(ui::WaitWindow(process, "#32770", "Child box", "Question", 1000) == box);
    CHECK(ui::WaitWindow(process, "#32770", "No such title", nullptr, 300) == nullptr);
    ui::Press(box, IDYES);
    DWORD code = 0;
    CHECK(ui::WaitExit(process, 10000, &code));
    CHECK_EQ(code, static_cast<DWORD>(IDYES));
    ui::Kill(process);
}

WTEST(HungProgramIsKilledAfterTheTimeout)
{
    // A box nobody may answer: the run ends by the time limit.
    wt::RunResult run = wt::RunProgram(wtest::ChildCommand("boxes") + " yesno", "",
                                       {-1}, 1500);
    CHECK(!run.exited);
    CHECK_EQ(run.boxes.size(), 1u);
}

WTEST(ScreenshotIsA24BitBitmapOfTheScreen)
{
    std::string dir = wt::FreshDir("screenshot");
    std::string path = dir + "\\screen.bmp";
    REQUIRE(ui::SaveScreenshot(path));
    wt::Bytes bmp = wt::ReadBytes(path);
    REQUIRE(bmp.size() > 54);
    CHECK(bmp[0] == 'B' && bmp[1] == 'M');
    CHECK_EQ(bmp[28] | bmp[29] << 8, 24);
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    CHECK_EQ(bmp.size(), static_cast<size_t>(54 + ((width * 3 + 3) & ~3) * height));
    wt::RemoveTree(dir);
}

WTEST(ScriptRunnerDrivesAProgramAndReportsAFailedStep)
{
    std::string dir = wt::FreshDir("script");
    std::string driver = wt::ProgramDir() + "\\uidriver.exe";
    std::string script = dir + "\\answer.txt", transcript = dir + "\\transcript.txt";
    wt::WriteBytes(script, wt::ToBytes("# answers two boxes\r\n"
                                       "wait-box Question yesno\r\n"
                                       "expect-text Child box 1\r\n"
                                       "press 6\r\n"
                                       "timeout 5000\r\n"
                                       "wait-box Child box 2\r\n"
                                       "screenshot shot\r\n"
                                       "press 0x7\r\n"
                                       "wait-exit\r\n"));
    // The child, as the driver's own command line spells it.
    std::string self = wt::ProgramDir() + "\\test_uidriver.exe --child boxes";
    wt::RunResult run = wt::RunProgram(
        wt::Quote(driver) + " --transcript " + wt::Quote(transcript) +
            " --screenshot-dir " + wt::Quote(dir) + " --script " + wt::Quote(script) +
            " -- " + self + " yesno yesno",
        "", {-1, -1}, 60000);
    CHECK(run.exited);
    CHECK_EQ(run.exitCode, 0ul);
    wt::Bytes text = wt::ReadBytes(transcript);
    std::string log(text.begin(), text.end());
    CHECK(log.find("press 6") != std::string::npos);
    CHECK(log.find("press 7") != std::string::npos);
    CHECK(log.find("exit 7") != std::string::npos);
    CHECK(wt::FileSize(dir + "\\shot.bmp") > 54);

    // A text that is not there fails the run, which ends the program.
    wt::WriteBytes(script, wt::ToBytes("wait-box Question\r\nexpect-text Not shown\r\n"));
    run = wt::RunProgram(wt::Quote(driver) + " --transcript " + wt::Quote(transcript) +
                             " --script " + wt::Quote(script) + " -- " + self + " yesno",
                         "", {-1}, 60000);
    CHECK(run.exited);
    CHECK_EQ(run.exitCode, 1ul);
    text = wt::ReadBytes(transcript);
    log.assign(text.begin(), text.end());
    CHECK(log.find("step failed at line 2") != std::string::npos);
    wt::RemoveTree(dir);
}

// A window shaped like a property sheet: the field 1024 is a child of a
// page inside the top-level window, not of the window itself. It stays
// until closed.
WTEST_CHILD(sheet)
{
    HWND top = CreateWindowExA(0, "STATIC", "Driver Sheet", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               50, 50, 300, 200, nullptr, nullptr, nullptr, nullptr);
    HWND page = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 280, 150, top,
                                reinterpret_cast<HMENU>(5), nullptr, nullptr);
    CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 200, 20, page,
                    reinterpret_cast<HMENU>(1024), nullptr, nullptr);
    DWORD start = GetTickCount();
    while (IsWindow(top) && GetTickCount() - start < 30000) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_CLOSE) DestroyWindow(top);
            DispatchMessageA(&msg);
        }
        Sleep(20);
    }
    return 0;
}

// A step holds only when it did what it says: set-text reaches the field
// of the page the window shows and reads back; a control or button that is
// not there fails the script.
WTEST(ScriptStepsThatCannotActFail)
{
    std::string dir = wt::FreshDir("script-steps");
    std::string driver = wt::ProgramDir() + "\\uidriver.exe";
    std::string script = dir + "\\steps.txt", transcript = dir + "\\transcript.txt";
    std::string self = wt::ProgramDir() + "\\test_uidriver.exe --child sheet";
    struct Case {
        const char* steps;
        DWORD exitCode;
        const char* said;
    } cases[] = {
        {"wait-window Driver Sheet\r\nset-text 1024 C:\\typed\r\nclose\r\n", 0,
         "set 1024 := \"C:\\typed\""},
        {"wait-window Driver Sheet\r\nset-text 1099 x\r\n", 1, "no such control"},
        {"wait-window Driver Sheet\r\npress 1098\r\n", 1, "no such button"},
    };
    for (const Case& c : cases) {
        wt::WriteBytes(script, wt::ToBytes(c.steps));
        wt::RunResult run = wt::RunProgram(wt::Quote(driver) + " --transcript " +
                                               wt::Quote(transcript) + " --script " +
                                               wt::Quote(script) + " -- " + self,
                                           "", {}, 60000);
        CHECK(run.exited);
        CHECK_EQ(run.exitCode, c.exitCode);
        wt::Bytes text = wt::ReadBytes(transcript);
        std::string log(text.begin(), text.end());
        CHECK(log.find(c.said) != std::string::npos);
        if (c.exitCode == 0) CHECK(log.find("did not read back") == std::string::npos);
    }
    wt::RemoveTree(dir);
}
