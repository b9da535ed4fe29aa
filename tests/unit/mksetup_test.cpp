// mksetup's own rules: how it reads the author's setup information file,
// which names it packs and refuses, in what order, and how file times are
// stored so that the setup program restores them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dos_time.h"
#include "package.h"
#include "setup_info.h"
#include "tool_error.h"

namespace fs = std::filesystem;
using namespace mksetup;

namespace {

// A scratch directory removed at the end of the test.
class ScratchDir {
public:
    ScratchDir()
    {
        std::string pattern = (fs::temp_directory_path() / "mksetup-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

    void Add(const std::string& relative, const std::string& content = "x")
    {
        fs::path file = path_ / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

private:
    fs::path path_;
};

UnixSeconds Utc(int y, unsigned mo, unsigned d, unsigned h, unsigned mi, unsigned s)
{
    DosStamp stamp{static_cast<std::uint16_t>((y - 1980) << 9 | mo << 5 | d),
                   static_cast<std::uint16_t>(h << 11 | mi << 5 | s / 2)};
    return FromDosStamp(stamp).value() + s % 2;
}

std::string Problem(const std::string& name)
{
    return StoredNameProblem(name).value_or("");
}

std::vector<std::string> Names(const std::vector<PackageFile>& files)
{
    std::vector<std::string> names;
    for (const auto& file : files) names.push_back(file.storedName);
    return names;
}

} // namespace

TEST(SetupInfo, ReadsLikeThePrivateProfileCalls)
{
    SetupInfo info = SetupInfo::Parse(
        "\xEF\xBB\xBF; the author's notes\r\n"
        "FileNum=99\r\n" // before any section: not part of [Install]
        "[ install ]\r\n"
        "  FILENUM =  4 files \r\n"
        "AppName=\"Hello World\"\r\n"
        "FileNum=7\r\n" // a second key of the same name: the first wins
        "Flag\r\n"
        "[Copymode]\r\n"
        "filea=0x3\n"
        "fileb=-2\n"
        "filec=many\n"
        "filed=\n"
        "[Install]\r\n" // a second section of the same name is not read
        "VerNum=2.0\r\n");
    EXPECT_EQ(info.Integer("Install", "FileNum"), 4);
    EXPECT_EQ(info.Value("INSTALL", "appname"), "Hello World");
    EXPECT_EQ(info.Value("Install", "Flag"), "");
    EXPECT_EQ(info.Value("Install", "VerNum"), std::nullopt);
    EXPECT_EQ(info.Integer("Copymode", "filea"), 3);
    EXPECT_EQ(info.Integer("Copymode", "fileb"), -2);
    EXPECT_EQ(info.Integer("Copymode", "filec"), 0);
    EXPECT_EQ(info.Integer("Copymode", "filed"), std::nullopt);
    EXPECT_EQ(info.Integer("Copymode", "filee"), std::nullopt);
    EXPECT_EQ(info.Value("Links", "linka"), std::nullopt);
}

TEST(DosTime, StoresSixHoursEarlySoTheSetupProgramRestoresTheTime)
{
    // Across midnight, month, year and a leap day, and at odd seconds.
    const UnixSeconds moments[] = {
        Utc(2026, 12, 7, 14, 3, 22), Utc(2026, 12, 7, 3, 0, 0),
        Utc(2027, 1, 1, 5, 59, 58),  Utc(2024, 3, 1, 2, 30, 0),
        Utc(2024, 2, 29, 23, 59, 59), Utc(1980, 1, 1, 6, 0, 0),
    };
    for (UnixSeconds moment : moments) {
        SCOPED_TRACE(moment);
        DosStamp stored = StoredStampFor(moment);
        std::optional<UnixSeconds> restored = FromDosStamp(RestoredStamp(stored));
        ASSERT_TRUE(restored);
        EXPECT_EQ(*restored, moment - moment % 2);
    }
    // 10:30:00 stored means 16:30:00 once extracted.
    DosStamp stored = ToDosStamp(Utc(2020, 5, 17, 10, 30, 0));
    EXPECT_EQ(RestoredStamp(stored), ToDosStamp(Utc(2020, 5, 17, 16, 30, 0)));
}

TEST(DosTime, ClampsToTheRangeTheFormatHolds)
{
    EXPECT_EQ(StoredStampFor(0), (DosStamp{0x0021, 0x0000}));
    EXPECT_EQ(StoredStampFor(Utc(1980, 1, 1, 5, 0, 0)), (DosStamp{0x0021, 0x0000}));
    EXPECT_EQ(ToDosStamp(Utc(2107, 12, 31, 23, 59, 58) + 1000000),
              ToDosStamp(Utc(2107, 12, 31, 23, 59, 58)));
    EXPECT_EQ(ToDosStamp(-5000000000LL), (DosStamp{0x0021, 0x0000}));
}

TEST(DosTime, InvalidStampsHaveNoMoment)
{
    EXPECT_FALSE(FromDosStamp({0x0000, 0x0000}));             // month 0, day 0
    EXPECT_FALSE(FromDosStamp({(44 << 9) | (2 << 5) | 30, 0})); // 30 February 2024
    EXPECT_FALSE(FromDosStamp({0x0021, 24 << 11}));           // hour 24
    EXPECT_FALSE(FromDosStamp({0x0021, 60 << 5}));            // minute 60
    EXPECT_FALSE(FromDosStamp({0x0021, 30}));                 // second 60
    EXPECT_TRUE(FromDosStamp({(44 << 9) | (2 << 5) | 29, 0})); // 29 February 2024
    EXPECT_NE(FormatDosStamp({0, 0}).find("invalid"), std::string::npos);
    EXPECT_EQ(FormatDosStamp(ToDosStamp(Utc(2026, 12, 7, 7, 51, 21))),
              "2026-12-07 07:51:20");
}

TEST(StoredNames, RefusesWhatTheSetupProgramOrWindowsWouldRefuse)
{
    for (const char* name : {"Readme.txt", "help\\Guide.txt", "a b\\c.d.e", ".profile",
                             "cone\\x", "COM10"})
        EXPECT_EQ(Problem(name), "") << name;
    for (const char* name : {"", "\\abs", "trail\\", "C:x", "a\\..\\b", "a\\.\\b",
                             "a\\\\b", "a/b", "tab\tname", "line\nbreak", "what?",
                             "a\\b*", "pipe|", "quote\"", "dot.", "blank ",
                             "NUL", "con.txt", "con.d\\x", "dir\\Aux", "lpt1.log"})
        EXPECT_NE(Problem(name), "") << name;
    EXPECT_EQ(Problem(std::string(255, 'n')), "");
    EXPECT_NE(Problem(std::string(256, 'n')).find("255"), std::string::npos);
}

TEST(StoredNames, JoinComponentsWithBackslash)
{
    EXPECT_EQ(StoredNameOf("help/Guide.txt"), "help\\Guide.txt");
    EXPECT_EQ(StoredNameOf("./a//b/./c"), "a\\b\\c");
    EXPECT_THROW(StoredNameOf("../outside"), ToolError);
    EXPECT_THROW(StoredNameOf("a/../../b"), ToolError);
    EXPECT_THROW(StoredNameOf("back\\slash"), ToolError);
}

TEST(FileKeys, CountLettersFromAToTheEndOfTheByteRange)
{
    EXPECT_EQ(FileKeyOf(0), "filea");
    EXPECT_EQ(FileKeyOf(25), "filez");
    EXPECT_EQ(FileKeyOf(26), "file{");
    EXPECT_EQ(FileKeyOf(0x80 - 'a'), "file\\x80");
    EXPECT_EQ(FileKeyOf(0xFF - 'a'), "file\\xFF");
    EXPECT_EQ(FileKeyOf(0x100 - 'a'), "-");
    // The license and the log need two letters after the last file.
    EXPECT_EQ(FileKeyOf(kMaxApplicationFiles + 1), "file\\xFF");
}

TEST(CollectFiles, WithoutPathsTakesEveryFileSortedByStoredName)
{
    ScratchDir root;
    for (const char* name : {"hello.txt", "help/Guide.txt", "Readme.txt", "data/sample.bin",
                             "data/deep/z.bin"})
        root.Add(name);
    fs::create_directories(root.path() / "empty");
    auto files = CollectFiles(root.path(), {});
    EXPECT_EQ(Names(files), (std::vector<std::string>{"Readme.txt", "data\\deep\\z.bin",
                                                      "data\\sample.bin", "hello.txt",
                                                      "help\\Guide.txt"}));
    EXPECT_EQ(files[0].source, root.path() / "Readme.txt");
}

TEST(CollectFiles, WithPathsKeepsTheirOrder)
{
    ScratchDir root;
    root.Add("b.txt");
    root.Add("sub/a.txt");
    auto files = CollectFiles(root.path(), {"sub/a.txt", "b.txt"});
    EXPECT_EQ(Names(files), (std::vector<std::string>{"sub\\a.txt", "b.txt"}));
}

TEST(CollectFiles, RefusesWhatCannotBeInstalled)
{
    ScratchDir root;
    root.Add("a.txt");
    root.Add("A.TXT");
    root.Add("sub/x");
    root.Add("License.TXT");
    root.Add("aux.h");
    auto refused = [&](std::vector<std::string> paths) {
        try {
            CollectFiles(root.path(), paths);
        } catch (const ToolError& error) {
            return error.reason();
        }
        return std::string();
    };
    EXPECT_NE(refused({"missing.txt"}).find("no such file"), std::string::npos);
    EXPECT_NE(refused({"sub"}).find("not a regular file"), std::string::npos);
    EXPECT_NE(refused({"a.txt", "A.TXT"}).find("twice"), std::string::npos);
    EXPECT_NE(refused({"a.txt", "./a.txt"}).find("twice"), std::string::npos);
    EXPECT_NE(refused({"License.TXT"}).find("setup program's own"), std::string::npos);
    EXPECT_NE(refused({"aux.h"}).find("device"), std::string::npos);
    EXPECT_NE(refused({"../x"}).find("outside"), std::string::npos);
    EXPECT_NE(refused({(root.path() / "a.txt").string()}).find("relative"),
              std::string::npos);
    EXPECT_NE(refused({}), ""); // the walk meets a.txt and A.TXT too
    EXPECT_THROW(CollectFiles(root.path() / "a.txt", {}), ToolError);
}

TEST(CheckStub, WantsExactly38914BytesEndingInCrLf)
{
    std::vector<std::uint8_t> stub(38914, 0);
    stub[38912] = '\r';
    stub[38913] = '\n';
    EXPECT_NO_THROW(CheckStub(stub, "stub.exe"));
    std::vector<std::uint8_t> noCrLf(38914, 0);
    EXPECT_THROW(CheckStub(noCrLf, "stub.exe"), ToolError);
    std::vector<std::uint8_t> longer = stub;
    longer.push_back(0);
    EXPECT_THROW(CheckStub(longer, "stub.exe"), ToolError);
    EXPECT_THROW(CheckStub({}, "stub.exe"), ToolError);
}

TEST(ModificationTime, SetAndReadBackInUtcSeconds)
{
    ScratchDir dir;
    dir.Add("f");
    UnixSeconds moment = Utc(2001, 9, 9, 1, 46, 40);
    SetModificationTime(dir.path() / "f", moment);
    EXPECT_EQ(ModificationTime(dir.path() / "f"), moment);
    EXPECT_EQ(moment, 1000000000);
}
