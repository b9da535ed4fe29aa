// The uninstaller's rule for the folders it may remove besides the recorded
// ones: only those strictly inside an install directory below a root, named
// plainly, whatever a log says.
#include <gtest/gtest.h>
#include <string>
#include "inside_folder.h"

TEST(InsideFolder, InstallDirectoryMustBeBelowARoot)
{
    for (const char* dir : {"C:\\app", "c:\\Program Files\\My App", "Z:\\a\\b\\c",
                            "\\\\server\\share\\app", "C:\\a.b\\...x", "C:/app", "C:\\a/b",
                            "//server/share/app", "C:\\app\\", "C:/app/"})
        EXPECT_TRUE(IsFolderBelowRoot(dir)) << dir;
    for (const char* dir :
         {"", "C:", "C:\\", "c:/", "C:app", "\\app", "app", "app\\sub", "1:\\app",
          "\\\\server\\share", "\\\\server\\share\\", "\\\\server\\\\app", "\\\\\\share\\app",
          "C:\\app\\\\", "C:\\app\\\\sub", "C:\\.", "C:\\..", "C:\\app\\..", "C:\\app\\.\\x",
          "C:\\app\\..\\..", "C:\\app/..", "C:/app/./x", "C:\\app//", "C:\\app:stream",
          "\\\\..\\share\\app", "\\\\server\\.\\app"})
        EXPECT_FALSE(IsFolderBelowRoot(dir)) << dir;
}

TEST(InsideFolder, PathsStrictlyInsideAPlainlyNamedRemainder)
{
    const char* dir = "C:\\Program Files\\My App";
    for (const char* path :
         {"C:\\Program Files\\My App\\a.exe", "C:\\Program Files\\My App\\help\\sub\\x.txt",
          "c:\\program files\\MY APP\\Help\\x.txt", "C:\\Program Files\\My App\\.hidden\\x",
          "C:\\Program Files\\My App\\x..y\\z"})
        EXPECT_TRUE(IsStrictlyInside(dir, path)) << path;
    for (const char* path : {
             "C:\\Program Files\\My App",            // the directory itself
             "C:\\Program Files\\My App\\",          // nothing after it
             "C:\\Program Files\\My Application\\x", // a longer sibling's name
             "C:\\Program Files\\My Ap",             // shorter
             "C:\\Program Files\\My App\\..\\X\\Y\\f",
             "C:\\Program Files\\My App\\sub\\..\\..\\X\\f",
             "C:\\Program Files\\My App\\.\\sub\\f", "C:\\Program Files\\My App\\sub\\.",
             "C:\\Program Files\\My App\\sub\\..", "C:\\Program Files\\My App\\\\sub\\f",
             "C:\\Program Files\\My App\\sub\\\\f", "C:\\Program Files\\My App\\sub\\",
             "C:\\Program Files\\My App\\sub/..\\..\\f", "C:\\Program Files\\My App/sub\\f",
             "C:\\Program Files\\My App\\C:\\f", "C:\\Program Files\\My App\\f:stream",
             "C:\\Program Files\\My App\\a\rb\\f", "D:\\Program Files\\My App\\f", ""})
        EXPECT_FALSE(IsStrictlyInside(dir, path)) << path;
}

// A directory that is no folder below a root makes nothing inside it: a
// bare drive would make the whole drive "inside".
TEST(InsideFolder, NothingIsInsideARootOrARelativeDirectory)
{
    for (const char* dir : {"C:", "C:\\", "\\", "", "app", "\\\\server\\share", "C:\\app\\.."})
        for (const char* path : {"C:\\Windows\\Start Menu\\Programs\\App\\a.lnk",
                                 "C:\\app\\sub\\f", "app\\sub\\f", "\\\\server\\share\\a\\f",
                                 "C:\\app\\..\\sub\\f"})
            EXPECT_FALSE(IsStrictlyInside(dir, path)) << dir << " / " << path;
    EXPECT_TRUE(IsStrictlyInside("\\\\server\\share\\app", "\\\\SERVER\\share\\app\\sub\\f"));
    EXPECT_FALSE(IsFolderBelowRoot(("C:\\" + std::string(253, 'a')).c_str()));
    EXPECT_TRUE(IsFolderBelowRoot(("C:\\" + std::string(252, 'a')).c_str()));
}

// A directory typed with "/" or a trailing "\" keeps its files' folders:
// the records join it to the stored names with "\".
TEST(InsideFolder, DirectoryTypedOtherwise)
{
    EXPECT_TRUE(IsStrictlyInside("C:\\app\\", "C:\\app\\\\sub\\f"));
    EXPECT_FALSE(IsStrictlyInside("C:\\app\\", "C:\\app\\\\..\\x\\f"));
    EXPECT_FALSE(IsStrictlyInside("C:\\app\\", "C:\\app\\sub\\f"));
    EXPECT_TRUE(IsStrictlyInside("C:/wtest/app", "C:/wtest/app\\sub\\data.bin"));
    EXPECT_FALSE(IsStrictlyInside("C:/wtest/app", "C:/wtest/app/sub\\data.bin"));
    EXPECT_FALSE(IsStrictlyInside("C:/wtest/app", "C:\\wtest\\app\\sub\\data.bin"));
}

// An install directory is a folder below a root, in no spelling a root
// itself, and short enough that its log's path fits.
TEST(InsideFolder, UsableInstallDirectories)
{
    for (const char* dir : {"C:\\Apps\\X", "\\\\server\\share\\app", "C:/Apps/X", "D:\\a b\\c"})
        EXPECT_TRUE(IsUsableInstallDir(dir)) << dir;
    for (const char* dir : {"", "C:", "C:\\", "C:\\.", "C:\\..", "C:\\x\\..", "C:\\Target/../..",
                            "C:\\x\\", "C:/x/", "\\\\?\\C:\\x", "\\\\?\\UNC\\server\\share",
                            "\\\\.\\C:\\x", "\\\\server\\share", "C:\\a*b", "C:\\a?", "C:\\\"x\"",
                            "C:\\a|b", "C:\\a<b>", "x", "\\x"})
        EXPECT_FALSE(IsUsableInstallDir(dir)) << dir;
    std::string longest = "C:\\" + std::string(INSTALL_DIR_LIMIT - 3, 'a');
    EXPECT_TRUE(IsUsableInstallDir(longest.c_str()));
    EXPECT_FALSE(IsUsableInstallDir((longest + "a").c_str()));
    char typed[] = "C:\\Apps\\X\\/ \t";
    EXPECT_EQ(TrimInstallDir(typed), 9u);
    EXPECT_STREQ(typed, "C:\\Apps\\X");
}
