// mksetup's own rules: how it reads the author's setup information file,
// which names it packs and refuses, in what order, and how file times are
// stored so that the setup program restores them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "archive.h"
#include "commands.h"
#include "dos_time.h"
#include "lzma_pack.h"
#include "mksetup_support.h"
#include "seal.h"
#include "package.h"
#include "setup_info.h"
#include "stub_image.h"
#include "tool_error.h"

namespace fs = std::filesystem;
using namespace mksetup;

namespace {

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

// The files CollectFiles takes, and what it says, one diagnostic a line.
struct Collected {
    std::vector<std::string> names;
    std::string said;
};

Collected Collect(const fs::path& root, const std::vector<std::string>& paths,
                  bool allFiles = false, int page = 1252)
{
    CollectOptions options;
    options.codePage = CodePage::Find(page);
    options.allFiles = allFiles;
    Diagnostics diagnostics;
    Collected result;
    result.names = Names(CollectFiles(root, paths, options, diagnostics));
    result.said = Said(diagnostics, root);
    return result;
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

TEST(CollectFiles, WithoutPathsTakesEveryFileSortedByStoredName)
{
    ScratchDir root;
    for (const char* name : {"hello.txt", "help/Guide.txt", "Readme.txt", "data/sample.bin",
                             "data/deep/z.bin"})
        root.Add(name);
    fs::create_directories(root.path() / "empty");
    Diagnostics diagnostics;
    auto files = CollectFiles(root.path(), {}, {}, diagnostics);
    EXPECT_EQ(Names(files), (std::vector<std::string>{"Readme.txt", "data\\deep\\z.bin",
                                                      "data\\sample.bin", "hello.txt",
                                                      "help\\Guide.txt"}));
    EXPECT_EQ(files[0].source, root.path() / "Readme.txt");
    EXPECT_TRUE(diagnostics.all().empty());
}

TEST(CollectFiles, WithPathsKeepsTheirOrder)
{
    ScratchDir root;
    root.Add("b.txt");
    root.Add("sub/a.txt");
    EXPECT_EQ(Collect(root.path(), {"sub/a.txt", "b.txt"}).names,
              (std::vector<std::string>{"sub\\a.txt", "b.txt"}));
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
        return Collect(root.path(), paths).said;
    };
    EXPECT_EQ(refused({"missing.txt"}), "ROOT/missing.txt: error: no such file\n");
    EXPECT_EQ(refused({"sub"}), "ROOT/sub: error: is not a regular file\n");
    EXPECT_NE(refused({"a.txt", "A.TXT"}).find("\"A.TXT\" is packed twice"), std::string::npos);
    EXPECT_NE(refused({"a.txt", "./a.txt"}).find("twice"), std::string::npos);
    EXPECT_NE(refused({"License.TXT"}).find("setup program's own"), std::string::npos);
    EXPECT_NE(refused({"aux.h"}).find("device"), std::string::npos);
    EXPECT_NE(refused({"../x"}).find("outside"), std::string::npos);
    EXPECT_NE(refused({(root.path() / "a.txt").string()}).find("relative"), std::string::npos);
    EXPECT_NE(refused({}), ""); // the walk meets a.txt and A.TXT too
    // Every problem of the run is reported, not only the first.
    std::string all = refused({"missing.txt", "sub", "aux.h", "a.txt", "A.TXT"});
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 4) << all;
    Diagnostics diagnostics;
    EXPECT_THROW(CollectFiles(root.path() / "a.txt", {}, {}, diagnostics), ToolError);
}

TEST(CollectFiles, LeavesOutHiddenFilesAndEditorBackupsWithAWarningEach)
{
    ScratchDir root;
    for (const char* name : {"app.exe", ".DS_Store", "notes.txt~", "#draft.txt#", "main.c.orig",
                             "fix.rej", "old.BAK", ".a.txt.swp", "~$report.doc", ".git/config", "doc/.hidden",
                             "doc/guide.txt"})
        root.Add(name);
    Collected walk = Collect(root.path(), {});
    EXPECT_EQ(walk.names, (std::vector<std::string>{"app.exe", "doc\\guide.txt"}));
    for (const char* line : {"ROOT/.DS_Store: warning: hidden file not packed (--all-files packs it)",
                             "ROOT/.git: warning: hidden folder not packed (--all-files packs it)",
                             "ROOT/notes.txt~: warning: editor backup not packed",
                             "ROOT/#draft.txt#: warning: editor backup", "ROOT/old.BAK: warning",
                             "ROOT/main.c.orig: warning", "ROOT/fix.rej: warning",
                             "ROOT/doc/.hidden: warning: hidden file"})
        EXPECT_NE(walk.said.find(line), std::string::npos) << line << " in\n" << walk.said;
    EXPECT_EQ(std::count(walk.said.begin(), walk.said.end(), '\n'), 10);
    EXPECT_EQ(walk.said.find("config"), std::string::npos); // one warning for the folder

    Collected all = Collect(root.path(), {}, true);
    EXPECT_EQ(all.names.size(), 12u);
    EXPECT_EQ(all.said, "");
    // A file the author names is packed whatever its name.
    EXPECT_EQ(Collect(root.path(), {".DS_Store"}).names, std::vector<std::string>{".DS_Store"});
}

TEST(CollectFiles, FollowsSymbolicLinksOnlyToFilesInsideTheRoot)
{
    ScratchDir outside;
    outside.Add("secret.txt");
    ScratchDir root;
    root.Add("real.txt");
    root.Add("sub/inner.txt");
    fs::create_symlink("real.txt", root.path() / "alias.txt");
    fs::create_symlink(outside.path() / "secret.txt", root.path() / "passwd");
    fs::create_symlink("sub", root.path() / "subalias");
    fs::create_symlink(outside.path(), root.path() / "away");
    fs::create_symlink("nowhere", root.path() / "dangling");

    Collected walk = Collect(root.path(), {});
    EXPECT_EQ(walk.names,
              (std::vector<std::string>{"alias.txt", "real.txt", "sub\\inner.txt"}));
    EXPECT_NE(walk.said.find("ROOT/passwd: error: leads to " +
                             fs::canonical(outside.path() / "secret.txt").string() +
                             ", outside the package root; mksetup follows no symbolic link "
                             "out of it"),
              std::string::npos) << walk.said;
    EXPECT_NE(walk.said.find("ROOT/away: error: leads to"), std::string::npos);
    EXPECT_NE(walk.said.find("ROOT/subalias: warning: symbolic link to a folder, not followed"),
              std::string::npos);
    EXPECT_NE(walk.said.find("ROOT/dangling: error: symbolic link to a missing file"),
              std::string::npos);

    // Named paths: through a link to a folder outside, and to a file outside.
    EXPECT_NE(Collect(root.path(), {"away/secret.txt"}).said.find("outside the package root"),
              std::string::npos);
    EXPECT_NE(Collect(root.path(), {"passwd"}).said.find("outside the package root"),
              std::string::npos);
    EXPECT_EQ(Collect(root.path(), {"subalias/inner.txt", "alias.txt"}).names,
              (std::vector<std::string>{"subalias\\inner.txt", "alias.txt"}));
}

TEST(CollectFiles, StoresNamesInTheCodePage)
{
    ScratchDir root;
    root.Add("Caf\xC3\xA9.txt");            // Café.txt
    root.Add("\xD0\x96\xD1\x83\xD0\xBA.txt"); // Жук.txt
    Collected western = Collect(root.path(), {"Caf\xC3\xA9.txt"});
    EXPECT_EQ(western.names, std::vector<std::string>{"Caf\xE9.txt"});
    Collected cyrillic = Collect(root.path(), {"\xD0\x96\xD1\x83\xD0\xBA.txt"}, false, 1251);
    EXPECT_EQ(cyrillic.names, std::vector<std::string>{"\xC6\xF3\xEA.txt"});
    EXPECT_EQ(Collect(root.path(), {"\xD0\x96\xD1\x83\xD0\xBA.txt"}).said,
              "ROOT/\xD0\x96\xD1\x83\xD0\xBA.txt: error: the name holds \"\xD0\x96\" (U+0416), "
              "which code page 1252 (Western European) does not; choose another name or "
              "another code page\n");
    // Windows folds case beyond ASCII too: CAFÉ.TXT is Café.txt.
    root.Add("CAF\xC3\x89.TXT");
    EXPECT_NE(Collect(root.path(), {}).said.find("packed twice"), std::string::npos);
    root.Add("bad\xE9.txt"); // not UTF-8
    EXPECT_NE(Collect(root.path(), {"bad\xE9.txt"}).said.find("the name is not UTF-8"),
              std::string::npos);
}

TEST(CheckStub, WantsAWindowsProgramOfOursPaddedTo38912BytesAndCrLf)
{
    EXPECT_NO_THROW(CheckStub(MakeStub(), "stub.exe"));
    EXPECT_NO_THROW(CheckStub(MakeStub(0x8664), "stub.exe"));
    auto reason = [](const std::vector<std::uint8_t>& stub) {
        try {
            CheckStub(stub, "stub.exe");
        } catch (const ToolError& error) {
            return error.reason();
        }
        return std::string();
    };
    std::vector<std::uint8_t> longer = MakeStub();
    longer.push_back(0);
    EXPECT_EQ(reason(longer),
              "is 38915 bytes; a stub is exactly 38914 bytes (38912-byte image and CR LF)");
    EXPECT_NE(reason({}).find("is 0 bytes"), std::string::npos);
    std::vector<std::uint8_t> zeros(38914, 0);
    zeros[38912] = '\r';
    zeros[38913] = '\n';
    EXPECT_EQ(reason(zeros), "is no Windows program (no MZ header); not a stub");
    std::vector<std::uint8_t> noCrLf = MakeStub();
    noCrLf[38913] = 0;
    EXPECT_EQ(reason(noCrLf), "does not end in CR LF; not a stub");
    std::vector<std::uint8_t> noPe = MakeStub();
    noPe[0x80] = 'X';
    EXPECT_NE(reason(noPe).find("no PE header"), std::string::npos);
    EXPECT_NE(reason(MakeStub(0xAA64)).find("machine 0xAA64"), std::string::npos);
    std::vector<std::uint8_t> dll = MakeStub();
    dll[0x80 + 23] |= 0x20;
    EXPECT_EQ(reason(dll), "is a DLL, not a program");
    // 51,202 bytes for an x86-64 stub, the test build's.
    std::vector<std::uint8_t> wideCut = MakeStub(0x8664);
    wideCut.pop_back();
    EXPECT_NE(reason(wideCut).find("a stub is exactly 51202 bytes"), std::string::npos);
    std::vector<std::uint8_t> wrongMagic = MakeStub(0x8664);
    wrongMagic[0x80 + 24] = 0x0B; // PE32 on an x86-64 machine
    wrongMagic[0x80 + 25] = 0x01;
    EXPECT_NE(reason(wrongMagic).find("optional header"), std::string::npos);
    // An image longer than the room before CR LF was cut to fit.
    EXPECT_NE(reason(MakeStub(0x014C, 40000)).find("image of 40000 bytes"), std::string::npos);
    std::vector<std::uint8_t> dirty = MakeStub(0x014C, 0x400);
    dirty[30000] = 1;
    EXPECT_EQ(reason(dirty), "holds data between its image (1024 bytes) and the CR LF; a "
                             "stub is padded with zero bytes");
}

TEST(NotASetupProgram, TellsOtherFilesFromDamagedSetupPrograms)
{
    std::vector<std::uint8_t> program = MakeStub();
    EXPECT_EQ(NotASetupProgram(program), std::nullopt); // a stub alone: no entries yet
    program.insert(program.end(), {'W', 'Y', '1', 0, 30, 0, 0, 0});
    EXPECT_EQ(NotASetupProgram(program), std::nullopt);
    program[38912] = 'x'; // a damaged stub with entries behind it is still one
    EXPECT_EQ(NotASetupProgram(program), std::nullopt);
    program[38914] = 'Z'; // neither: some other Windows program
    EXPECT_EQ(NotASetupProgram(program), "not a setup program: neither the stub's CR LF at "
                                         "offset 38912 nor an entry at 38914");
    std::vector<std::uint8_t> elf(100000, 0);
    elf[0] = 0x7F;
    EXPECT_EQ(NotASetupProgram(elf),
              "not a setup program: it does not begin with a Windows program (no MZ header)");
    EXPECT_EQ(NotASetupProgram(std::vector<std::uint8_t>(100, 'M')),
              "not a setup program: 100 bytes, shorter than the 38914-byte stub");
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

namespace {

// A sealed setup program of `inf` (already as packed), a license and
// `files` (stored name, content), written to `path`.
void WriteProgram(const fs::path& path, const std::string& inf,
                  const std::vector<std::pair<std::string, std::string>>& files)
{
    std::vector<std::uint8_t> program = MakeStub();
    auto add = [&](const std::string& name, const std::string& content) {
        archive::EntrySpec wanted;
        wanted.name = name;
        wanted.data.assign(content.begin(), content.end());
        archive::AppendEntry(program, wanted, 1);
    };
    add("Uninstal.inf", inf);
    add("License.txt", "License\r\n");
    for (const auto& [name, content] : files) add(name, content);
    archive::Seal(program);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(program.data()),
               static_cast<std::streamsize>(program.size()));
}

} // namespace

TEST(Verify, RefusesShortcutsThatLeaveTheirFolders)
{
    ScratchDir dir;
    const std::string install = "[Install]\r\nDefDir=C:\\App\r\nAppName=App\r\nFileNum=1\r\n";
    WriteProgram(dir.path() / "sound.exe",
                 install + "[Links]\r\nlinka=a.exe\r\nlinkfilea=A.lnk\r\nlinkargsa=/x\r\n",
                 {{"a.exe", "MZ"}});
    std::ostringstream out, errors;
    EXPECT_EQ(VerifySetup(dir.path() / "sound.exe", out, errors), 0) << errors.str();

    // As a standard user could edit them into a program, past what build
    // refuses; the pairs after the 30th count too.
    std::string links = "[Links]\r\nlinka=a.exe\r\nlinkfilea=..\\StartUp\\evil.lnk\r\n"
                        "linkb=..\\..\\windows\\system32\\cmd.exe\r\nlinkfileb=cmd.lnk\r\n"
                        "linkc=a.exe\r\nlinkfilec=C:x.lnk\r\nLINKD=a.exe\r\nlinkfiled=..\r\n"
                        "linke=a.exe\r\n";
    for (std::size_t n = 6; n <= 30; ++n)
        links += SeriesKeyOf("link", n) + "=a.exe\r\n" + SeriesKeyOf("linkfile", n) + "=" +
                 std::to_string(n) + ".lnk\r\n";
    links += "link31=\\\\server\\share\\x.exe\r\nlinkfile31=y.lnk\r\nlink32=/etc\r\nlinkfile32=x.lnk\r\n";
    fs::path bad = dir.path() / "bad.exe";
    WriteProgram(bad, install + links, {{"a.exe", "MZ"}});
    errors.str("");
    EXPECT_EQ(VerifySetup(bad, out, errors), 1);
    const std::string program = "mksetup: " + bad.string() + ": [Links] ";
    EXPECT_EQ(errors.str(),
              program + "linkfilea=..\\StartUp\\evil.lnk: holds \"\\\", which leaves the "
                        "Start-menu folder; the setup program makes no shortcut for linka\n" +
              program + "linkb=..\\..\\windows\\system32\\cmd.exe: leaves the install directory "
                        "(a \"..\" component); the setup program makes no shortcut for it\n" +
              program + "linkfilec=C:x.lnk: holds \":\", which leaves the Start-menu folder; "
                        "the setup program makes no shortcut for linkc\n" +
              program + "linkfiled=..: names no file in the Start-menu folder; the setup "
                        "program makes no shortcut for linkd\n" +
              program + "linke=a.exe has no linkfilee; the setup program makes no shortcut for "
                        "it\n" +
              program + "link31=\\\\server\\share\\x.exe: leaves the install directory (a "
                        "network path); the setup program makes no shortcut for it\n" +
              program + "link32=/etc: leaves the install directory (a leading \"/\"); the "
                        "setup program makes no shortcut for it\n");
}

TEST(Build, RefusesAProgramLargerThanTheSetupProgramCanReadNamingTheSize)
{
    ScratchDir dir;
    dir.Add("root/a.bin", std::string(3000, 'a'));
    dir.Add("root/b.bin", std::string(3000, 'b'));
    dir.Add("setup.inf", "[Install]\nDefDir=C:\\App\nAppName=App\nCompReg=Co\n");
    dir.Add("license.txt", "License\n");
    std::vector<std::uint8_t> stub = MakeStub();
    std::ofstream(dir.path() / "stub.exe", std::ios::binary)
        .write(reinterpret_cast<const char*>(stub.data()), static_cast<std::streamsize>(stub.size()));
    BuildOptions options;
    options.setupInfo = dir.path() / "setup.inf";
    options.license = dir.path() / "license.txt";
    options.root = dir.path() / "root";
    options.output = dir.path() / "setup.exe";
    options.stub = dir.path() / "stub.exe";
    std::ostringstream out, errors;
    ASSERT_EQ(BuildSetup(options, out, errors), 0) << errors.str();
    const std::uint64_t whole = fs::file_size(options.output);
    EXPECT_NE(out.str().find("2 application files, LZHUF -9, 6,"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("filea"), std::string::npos);

    // The largest program there may be is made; one byte less is refused.
    options.sizeLimit = whole;
    options.verbose = true;
    ASSERT_EQ(BuildSetup(options, out, errors), 0) << errors.str();
    EXPECT_NE(out.str().find("filea    a.bin  copymode 1 (replace)\nfileb    b.bin"),
              std::string::npos);
    options.sizeLimit = whole - 1;
    fs::remove(options.output);
    try {
        BuildSetup(options, out, errors);
        ADD_FAILURE() << "built";
    } catch (const ToolError& error) {
        EXPECT_EQ(error.reason(), "the setup program would pass " + Thousands(whole - 1) +
                                      " bytes, the most the setup program can read: it reaches " +
                                      Thousands(whole) + " bytes with entry 4 of 4 (b.bin), and 0 "
                                      "bytes of files are still to be packed");
    }
    EXPECT_FALSE(fs::exists(options.output));
}

// ---- the LZMA method ----

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Noise(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = 12345;
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>((x = x * 1103515245 + 12345) >> 23);
    return bytes;
}

void Write(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> Read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A package of every kind of file: two copies of a Windows program, text,
// noise, an empty file; its setup information file, license and a stub.
struct Package {
    ScratchDir dir;
    const std::vector<std::string> names = {"app.exe", "data/noise.bin", "docs/readme.txt",
                                            "empty.txt", "lib/copy.exe"};
    Package()
    {
        std::string text;
        for (int i = 0; text.size() < 40000; ++i)
            text += "Line " + std::to_string(i % 113) + " of the manual, which repeats itself.\n";
        Write(root() / "app.exe", MakeStub());
        Write(root() / "data/noise.bin", Noise(20000));
        Write(root() / "docs/readme.txt", Bytes(text));
        Write(root() / "empty.txt", {});
        Write(root() / "lib/copy.exe", MakeStub());
        dir.Add("setup.inf", "[Install]\nDefDir=C:\\App\nAppName=App\nCompReg=Co\n");
        dir.Add("license.txt", "License\n");
        Write(dir.path() / "stub.exe", MakeStub());
    }
    fs::path root() const { return dir.path() / "root"; }
    std::uint64_t Total() const
    {
        std::uint64_t total = 0;
        for (const std::string& name : names) total += fs::file_size(root() / name);
        return total;
    }

    BuildOptions Options(archive::Method method, const std::string& output) const
    {
        BuildOptions options;
        options.setupInfo = dir.path() / "setup.inf";
        options.license = dir.path() / "license.txt";
        options.root = root();
        options.output = dir.path() / output;
        options.stub = dir.path() / "stub.exe";
        options.method = method;
        return options;
    }
};

// What a command said on its two streams, and its status.
struct Outcome {
    int status = -1;
    std::string out, errors;
};

Outcome Build(const BuildOptions& options)
{
    std::ostringstream out, errors;
    Outcome run;
    run.status = BuildSetup(options, out, errors);
    run.out = out.str();
    run.errors = errors.str();
    return run;
}

Outcome Verify(const fs::path& setup)
{
    std::ostringstream out, errors;
    Outcome run;
    run.status = VerifySetup(setup, out, errors);
    run.out = out.str();
    run.errors = errors.str();
    return run;
}

std::string List(const fs::path& setup)
{
    std::ostringstream out;
    ListSetup(setup, out);
    return out.str();
}

// The program as a tool without the integrity record would have made it,
// so that the readers get as far as the entries.
void Unseal(const fs::path& setup)
{
    std::vector<std::uint8_t> program = Read(setup);
    ASSERT_GT(program.size(), archive::kArchiveStart + archive::kRecordSize);
    program.erase(program.end() - archive::kRecordSize, program.end());
    std::fill_n(program.begin() + archive::kTrailerOffset, 8, 0);
    Write(setup, program);
}

// Sets byte `at` of entry `number`'s stream part (from 1) in `setup`.
void PokeStream(const fs::path& setup, unsigned number, std::size_t at, std::uint8_t value)
{
    std::vector<std::uint8_t> program = Read(setup);
    std::string error;
    std::vector<archive::EntryInfo> entries = archive::ListEntries(program, &error);
    ASSERT_GE(entries.size(), number) << error;
    program[entries[number - 1].streamOffset + at] = value;
    Write(setup, program);
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

} // namespace

TEST(LzmaMethod, BothMethodsComeBackByteForByteAndTheSameEveryTime)
{
    Package package;
    for (archive::Method method : {archive::Method::Lzhuf, archive::Method::Lzma}) {
        for (bool solid : {true, false}) {
            if (method == archive::Method::Lzhuf && !solid) continue;
            SCOPED_TRACE(std::string(method == archive::Method::Lzma ? "LZMA" : "LZHUF") +
                         (solid ? "" : " --no-solid"));
            BuildOptions options = package.Options(method, "setup.exe");
            options.solid = solid;
            Outcome built = Build(options);
            ASSERT_EQ(built.status, 0) << built.errors;
            const std::vector<std::uint8_t> first = Read(options.output);
            ASSERT_EQ(Build(options).status, 0);
            EXPECT_TRUE(Read(options.output) == first) << "two builds differ";

            Outcome verified = Verify(options.output);
            EXPECT_EQ(verified.status, 0) << verified.errors;
            ScratchDir out;
            std::ostringstream said;
            ASSERT_EQ(ExtractSetup(options.output, out.path(), said), 0);
            for (const std::string& name : package.names)
                EXPECT_TRUE(Read(out.path() / name) == Read(package.root() / name)) << name;
            EXPECT_TRUE(Read(out.path() / "License.txt") == Bytes("License\r\n"));

            const std::string list = List(options.output);
            std::vector<std::uint8_t> program = first;
            std::string error;
            std::vector<archive::EntryInfo> entries = archive::ListEntries(program, &error);
            ASSERT_EQ(entries.size(), 7u) << error;
            EXPECT_EQ(entries[0].method, archive::Method::Lzhuf); // the texts stay LZHUF
            EXPECT_EQ(entries[1].method, archive::Method::Lzhuf);
            if (method == archive::Method::Lzhuf) {
                EXPECT_TRUE(Has(built.out, "5 application files, LZHUF -9, ")) << built.out;
                EXPECT_FALSE(Has(list, "LZMA")) << list;
                continue;
            }
            for (std::size_t i = 2; i < entries.size(); ++i)
                EXPECT_EQ(entries[i].method, archive::Method::Lzma) << i;
            if (solid) {
                // The dictionary no larger than the files.
                const std::string total = Thousands(package.Total());
                EXPECT_TRUE(Has(built.out, "5 application files, LZMA -9 (1 solid stream, dictionary " +
                                               total + " bytes, x86 filter on 2 files), "))
                    << built.out;
                EXPECT_TRUE(Has(list, "LZMA+x86  1 start ")) << list;
                EXPECT_TRUE(Has(list, "LZMA      1       ")) << list;
                EXPECT_TRUE(Has(list, "LZMA: 1 stream; the setup program allocates a dictionary "
                                      "of at most " + total + " bytes (stream 1)")) << list;
                // The second copy of the program costs next to nothing.
                EXPECT_LT(entries[6].streamSize, 100u);
                EXPECT_TRUE(Has(verified.out, "7 entries OK (5 of them LZMA, in 1 stream)"));
            } else {
                EXPECT_TRUE(Has(built.out, "LZMA -9 (5 streams, dictionaries up to " +
                                               Thousands(fs::file_size(package.root() / "docs/readme.txt")) +
                                               " bytes, x86 filter on 2 files)"))
                    << built.out;
                EXPECT_TRUE(Has(list, "LZMA+x86  5 start ")) << list;
                EXPECT_GT(entries[6].streamSize, 100u);
            }
        }
    }
}

TEST(LzmaMethod, VerifyNamesTheDamagedEntryAndEveryEntryLostWithIt)
{
    Package package;
    for (bool solid : {true, false}) {
        SCOPED_TRACE(solid ? "solid" : "--no-solid");
        BuildOptions options = package.Options(archive::Method::Lzma, "setup.exe");
        options.solid = solid;
        ASSERT_EQ(Build(options).status, 0);
        // Entry 5, docs\readme.txt: its first chunk's control byte made one
        // that LZMA2 does not define.
        PokeStream(options.output, 5, 2, 0x03);
        Outcome verified = Verify(options.output);
        EXPECT_EQ(verified.status, 1);
        const std::string program = "mksetup: " + options.output.string() + ": ";
        std::string expected = program + "the archive is damaged: CRC mismatch";
        EXPECT_TRUE(Has(verified.errors, expected)) << verified.errors;
        expected = program + "entry 5 \"docs\\readme.txt\": its LZMA2 data is damaged";
        EXPECT_TRUE(Has(verified.errors, expected)) << verified.errors;
        const bool lost6 = Has(verified.errors, "entry 6 \"empty.txt\": lost with entry 5, which "
                                                "its solid stream needs");
        const bool lost7 = Has(verified.errors, "entry 7 \"lib\\copy.exe\": lost with entry 5");
        EXPECT_EQ(lost6, solid) << verified.errors;
        EXPECT_EQ(lost7, solid) << verified.errors;
        EXPECT_FALSE(Has(verified.errors, "entry 4")) << verified.errors;
        // In the entries' order, after the archive's damage.
        EXPECT_LT(verified.errors.find("CRC mismatch"), verified.errors.find("entry 5"));
        if (solid) EXPECT_LT(verified.errors.find("entry 5"), verified.errors.find("entry 6"));

        // Without the record, extract writes the entries before it and
        // stops there, naming it.
        Unseal(options.output);
        ScratchDir out;
        std::ostringstream said;
        try {
            ExtractSetup(options.output, out.path(), said);
            ADD_FAILURE() << "extracted";
        } catch (const ToolError& error) {
            EXPECT_TRUE(Has(error.reason(), "entry 5 \"docs\\readme.txt\": its LZMA2 data is damaged"))
                << error.reason();
        }
        EXPECT_TRUE(Read(out.path() / "data" / "noise.bin") == Read(package.root() / "data/noise.bin"));
        EXPECT_FALSE(fs::exists(out.path() / "docs" / "readme.txt"));
        EXPECT_FALSE(fs::exists(out.path() / "empty.txt")); // sound when not solid, but behind it
        EXPECT_FALSE(fs::exists(out.path() / "lib" / "copy.exe"));
    }
}

TEST(LzmaMethod, ReadersHoldEntriesToWhatTheSetupProgramReads)
{
    ScratchDir dir;
    const std::string inf = "[Install]\r\nDefDir=C:\\App\r\nAppName=App\r\nFileNum=2\r\n";
    auto entry = [](const std::string& name, const std::string& content) {
        archive::EntrySpec wanted;
        wanted.name = name;
        wanted.data = Bytes(content);
        return wanted;
    };
    auto program = [&](bool lzmaInf, bool lzhufBetween) {
        std::vector<archive::EntrySpec> wanted = {entry("Uninstal.inf", inf), entry("License.txt", "L\r\n"),
                                                  entry("a.txt", "first file"), entry("b.txt", "second file")};
        std::vector<std::uint8_t> bytes = MakeStub();
        std::vector<lzmapack::InputFile> files;
        for (const archive::EntrySpec& spec : wanted) files.push_back({spec.name, spec.data});
        // Entry 1 alone, and entries 3 and 4 as one solid stream.
        std::vector<std::vector<std::uint8_t>> infPart = lzmapack::Pack(std::span(files).first(1), {});
        std::vector<std::vector<std::uint8_t>> parts = lzmapack::Pack(std::span(files).subspan(2), {});
        if (lzmaInf) archive::AppendLzmaEntry(bytes, wanted[0], infPart[0]);
        else archive::AppendEntry(bytes, wanted[0]);
        archive::AppendEntry(bytes, wanted[1]);
        archive::AppendLzmaEntry(bytes, wanted[2], parts[0]);
        if (lzhufBetween) archive::AppendEntry(bytes, wanted[3]);
        archive::AppendLzmaEntry(bytes, wanted[3], parts[1]);
        archive::Seal(bytes);
        return bytes;
    };
    const fs::path setup = dir.path() / "setup.exe";
    Write(setup, program(false, false));
    EXPECT_EQ(Verify(setup).status, 0) << Verify(setup).errors;

    // The setup information file is read before any LZMA decoder exists.
    Write(setup, program(true, false));
    Outcome verified = Verify(setup);
    EXPECT_EQ(verified.status, 1);
    EXPECT_TRUE(Has(verified.errors, "entry 1 \"Uninstal.inf\": an LZMA entry; the setup program "
                                     "reads the setup information file and the license only as "
                                     "LZHUF entries")) << verified.errors;

    // An LZHUF entry ends the stream before it: the LZMA entry after it
    // continues nothing.
    Write(setup, program(false, true));
    verified = Verify(setup);
    EXPECT_TRUE(Has(verified.errors, "entry 5 \"b.txt\": continues an LZMA2 stream that no entry "
                                     "started")) << verified.errors;
    EXPECT_TRUE(Has(List(setup), "LZMA      ?")) << List(setup);
}

TEST(LzmaMethod, DictionaryTakenToASizeTheFormatStatesAndMemoryPastThePromiseWarned)
{
    Package package;
    Write(package.root() / "zeros.bin", std::vector<std::uint8_t>(9u << 20));
    BuildOptions options = package.Options(archive::Method::Lzma, "setup.exe");
    options.level = 1;
    Outcome built = Build(options); // the default: 8 MiB, what a 16 MB machine gives
    ASSERT_EQ(built.status, 0) << built.errors;
    EXPECT_TRUE(Has(built.out, "1 solid stream, dictionary 8 MiB")) << built.out;
    EXPECT_FALSE(Has(built.errors, "warning")) << built.errors;

    options.dictionaryMiB = 10;
    built = Build(options);
    EXPECT_TRUE(Has(built.errors, "--dictionary 10: note: the setup program is told a dictionary as "
                                  "2 or 3 times a power of two (1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48 "
                                  "or 64 MiB): packed with 8 MiB")) << built.errors;
    EXPECT_FALSE(Has(built.errors, "warning")) << built.errors;

    options.dictionaryMiB = 64;
    built = Build(options);
    ASSERT_EQ(built.status, 0) << built.errors;
    // No more than the stream holds: 9 MiB and the other files.
    const std::string stream = Thousands((9u << 20) + package.Total());
    EXPECT_TRUE(Has(built.errors, "--dictionary 64: warning: the setup program needs about 9.") &&
                Has(built.errors, " MB of memory to install this package (a dictionary of " + stream +
                                      " bytes and about ")) << built.errors;
    EXPECT_TRUE(Has(built.errors, "more than a Windows 95 machine with 16 MB can give"));
    EXPECT_TRUE(Has(List(options.output), "allocates a dictionary of at most " + stream + " bytes"));

    // One stream per file: the largest file's.
    options.solid = false;
    built = Build(options);
    EXPECT_TRUE(Has(built.errors, "(a dictionary of 9 MiB and about ")) << built.errors;
}
