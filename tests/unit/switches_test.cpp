// The switches of unattended runs: what turns a run silent, where the
// install directory comes from, and which command lines are refused
// before anything is written.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "inside_folder.h"
#include "switches.h"

namespace {

struct Parsed {
    int understood;
    int silent;
    std::string dir;
};

Parsed Parse(const std::string& tail, unsigned dirSize = 272)
{
    char dir[300];
    std::memset(dir, 'X', sizeof dir);
    Parsed p;
    p.understood = ParseInstallSwitches(tail.c_str(), &p.silent, dir, dirSize);
    p.dir = dir;
    return p;
}

} // namespace

TEST(InstallSwitches, NoneMeansInteractive)
{
    for (const char* tail : {"", "   ", "\t"}) {
        Parsed p = Parse(tail);
        EXPECT_EQ(p.understood, 1) << tail;
        EXPECT_EQ(p.silent, 0);
        EXPECT_EQ(p.dir, "");
    }
}

TEST(InstallSwitches, SilentInEitherCaseAsAWholeWord)
{
    for (const char* tail : {"/S", "/s", "  /S  ", "/S /s", "/s\t"}) {
        Parsed p = Parse(tail);
        EXPECT_EQ(p.understood, 1) << tail;
        EXPECT_EQ(p.silent, 1) << tail;
        EXPECT_EQ(p.dir, "");
    }
    // Longer words and other switches are not "/S".
    for (const char* tail : {"/SILENT", "/Sx", "-S", "S", "/", "/S/D=C:\\x"}) {
        Parsed p = Parse(tail);
        EXPECT_EQ(p.understood, 0) << tail;
        EXPECT_EQ(p.silent, 0) << tail;
    }
}

TEST(InstallSwitches, DirectoryTakesTheRestOfTheLineBlanksAndAll)
{
    Parsed p = Parse("/S /D=C:\\Program Files\\My App");
    EXPECT_EQ(p.understood, 1);
    EXPECT_EQ(p.silent, 1);
    EXPECT_EQ(p.dir, "C:\\Program Files\\My App");

    p = Parse("/s /d=d:\\apps\\x y  z");
    EXPECT_EQ(p.understood, 1);
    EXPECT_EQ(p.dir, "d:\\apps\\x y  z");

    // Whatever follows /D= belongs to the directory, a "/S" too: /D= last.
    p = Parse("/D=C:\\dir /S");
    EXPECT_EQ(p.understood, 1);
    EXPECT_EQ(p.silent, 0);
    EXPECT_EQ(p.dir, "C:\\dir /S");

    // Trailing blanks and separators are cut; a network path is taken.
    EXPECT_EQ(Parse("/S /D=C:\\apps\\x\\\\  \t").dir, "C:\\apps\\x");
    EXPECT_EQ(Parse("/S /D=C:/apps/x/").dir, "C:/apps/x");
    EXPECT_EQ(Parse("/S /D=\\\\server\\share\\app").dir, "\\\\server\\share\\app");
}

TEST(InstallSwitches, UnusableDirectoriesAreRefused)
{
    const char* refused[] = {
        "/S /D=",                 // empty
        "/S /D=   ",
        "/S /D=relative\\dir",    // not absolute
        "/S /D=\\rooted",         // no drive
        "/S /D= C:\\leading blank",
        "/S /D=C:",               // a drive's root
        "/S /D=C:\\",
        "/S /D=c:\\\\ ",
        "/S /D=1:\\x",            // no drive letter
        "/S /D=C:\\a\"b",          // a quote inside
        "/S /D=\"C:\\open",         // quotes that do not close
        "/S \"/D=C:\\open",
        "/S /D=\"C:\\x\" /S",     // a word after the closing quote
        "/S \"/D=C:\\x\"y",
        "/S /D=\"\"", "/S \"/D=\"",
        "/S /D=\"C:\\\"",          // a root, quoted
        "/S /D=C:\\a*", "/S /D=C:\\a?", "/S /D=C:\\a<b", "/S /D=C:\\a>b", "/S /D=C:\\a|b",
        "/S /D=C:\\a:stream",     // ':' only after the drive letter
        "/S /D=C:\\a\tb",         // control characters
        // Other spellings of a drive's root.
        "/S /D=C:\\.", "/S /D=C:\\..", "/S /D=C:\\x\\..", "/S /D=C:\\Target/../..",
        "/S /D=C:/", "/S /D=C:\\x\\.\\..", "/S /D=\\\\?\\C:\\x",
        "/S /D=\\\\?\\UNC\\server\\share", "/S /D=\\\\.\\C:\\x",
        "/S /D=\\\\server\\share", "/S /D=C:\\a\\\\b",
        "/S /D=\\\\",
    };
    for (const char* tail : refused) {
        Parsed p = Parse(tail);
        EXPECT_EQ(p.understood, 0) << tail;
        EXPECT_EQ(p.silent, 1) << tail;
        EXPECT_EQ(p.dir, "") << tail;
    }
}

TEST(InstallSwitches, DirectoryLengthLimit)
{
    std::string base = "C:\\";
    std::string longest = base + std::string(INSTALL_DIR_LIMIT - base.size(), 'a');
    Parsed p = Parse("/S /D=" + longest);
    EXPECT_EQ(p.understood, 1);
    EXPECT_EQ(p.dir, longest);
    // Cut blanks do not count.
    EXPECT_EQ(Parse("/S /D=" + longest + "   ").understood, 1);
    EXPECT_EQ(Parse("/S /D=" + longest + "a").understood, 0);
    // Nor does it go past a smaller buffer.
    p = Parse("/S /D=C:\\abcd", 7);
    EXPECT_EQ(p.understood, 0);
    EXPECT_EQ(p.dir, "");
    EXPECT_EQ(Parse("/S /D=C:\\abc", 7).dir, "C:\\abc");
}

// The forms that cmd, PowerShell, Python and .NET make of a word with a
// blank all give the same directory.
TEST(InstallSwitches, QuotedDirectoryForms)
{
    for (const char* tail : {"/S /D=C:\\Apps\\My App", "/S \"/D=C:\\Apps\\My App\"",
                             "/S /D=\"C:\\Apps\\My App\"", "/s \"/d=C:\\Apps\\My App\\\"  ",
                             "\t/S\t/D=\"C:\\Apps\\My App\"\t"}) {
        Parsed p = Parse(tail);
        EXPECT_EQ(p.understood, 1) << tail;
        EXPECT_EQ(p.silent, 1) << tail;
        EXPECT_EQ(p.dir, "C:\\Apps\\My App") << tail;
    }
    // The quotes do not count against the length limit.
    std::string longest = "C:\\" + std::string(INSTALL_DIR_LIMIT - 3, 'a');
    EXPECT_EQ(Parse("/S \"/D=" + longest + "\"").dir, longest);
}

TEST(InstallSwitches, HelpBeforeAnyDirectory)
{
    for (const char* tail : {"/?", "/HELP", "/help", "/S /?", "/?  /S", "/X /Help"})
        EXPECT_EQ(Parse(tail).understood, SwitchesAskForHelp) << tail;
    for (const char* tail : {"/??", "/HELPME", "/HEL", "?", "/S /D=C:\\x /?"})
        EXPECT_NE(Parse(tail).understood, SwitchesAskForHelp) << tail;
}

// A word that is not understood refuses the whole line but still says
// whether a "/S" was meant, so that a silent run ends without a window.
TEST(InstallSwitches, UnknownWordsRefuseTheLine)
{
    for (const char* tail : {"/S /X", "/X /S", "/S /DIR=C:\\x", "/S foo /D=C:\\x"}) {
        Parsed p = Parse(tail);
        EXPECT_EQ(p.understood, 0) << tail;
        EXPECT_EQ(p.silent, 1) << tail;
        EXPECT_EQ(p.dir, "") << tail;
    }
    Parsed p = Parse("/X /D=C:\\x");
    EXPECT_EQ(p.understood, 0);
    EXPECT_EQ(p.silent, 0);
}

TEST(UninstallSwitches, SilentOnlyAsTheFirstWord)
{
    const char* log = SilentUninstallTail("/S C:\\Program Files\\App\\uninstal.inf");
    ASSERT_NE(log, nullptr);
    EXPECT_STREQ(log, "C:\\Program Files\\App\\uninstal.inf");
    ASSERT_NE(SilentUninstallTail("/s \t C:\\a b"), nullptr);
    EXPECT_STREQ(SilentUninstallTail("/s \t C:\\a b"), "C:\\a b");
    ASSERT_NE(SilentUninstallTail("/S"), nullptr);
    EXPECT_STREQ(SilentUninstallTail("/S"), "");

    for (const char* tail : {"C:\\App\\uninstal.inf", "/Sx C:\\a", "/SC:\\a", "", "/",
                             "\"/S\" C:\\a", "C:\\a /S"})
        EXPECT_EQ(SilentUninstallTail(tail), nullptr) << tail;
}
