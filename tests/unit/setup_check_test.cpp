// The setup information file checked like a compiler checks a source: every
// mistake of a script is reported at once with its line, exactly as the
// author reads it, and the packed copy differs from the author's file only
// in line ends, code page, FileNum and the letter keys of [Copymode].
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "author_text.h"
#include "mksetup_support.h"
#include "package.h"
#include "setup_check.h"
#include "setup_info.h"

using namespace mksetup;

namespace {

// Six application files as CollectFiles gives them, in archive order.
const std::vector<PackageFile>& Files()
{
    static const std::vector<PackageFile> files = {
        {"", "Readme.txt", "Readme.txt"},
        {"", "data\\config.ini", "data\\config.ini"},
        {"", "hello.txt", "hello.txt"},
        {"", "help\\Guide.txt", "help\\Guide.txt"},
        {"", "Caf\xC3\xA9.txt", "Caf\xE9.txt"},
        {"", "six.bin", "six.bin"},
    };
    return files;
}

struct Checked {
    std::string said; // errors and warnings, one a line
    std::string notes;
    ScriptPlan plan;
    std::vector<std::uint8_t> packed;
};

Checked Check(const std::string& script, const std::vector<PackageFile>& files = Files())
{
    Diagnostics diagnostics;
    std::vector<std::uint8_t> bytes(script.begin(), script.end());
    std::optional<AuthorText> text = ReadAuthorText(bytes, "setup.inf", diagnostics);
    Checked result;
    const CodePage& page = *CodePage::Find(1252);
    if (text) {
        SetupInfo info = SetupInfo::Parse(text->lines);
        result.plan = CheckScript({"setup.inf", &*text, &info, &page, &files}, diagnostics);
        if (!diagnostics.errors())
            result.packed = PackScript(*text, result.plan, page, files.size());
    }
    std::istringstream printed(Said(diagnostics));
    for (std::string line; std::getline(printed, line);)
        (line.find(": note: ") != std::string::npos ? result.notes : result.said) += line + "\n";
    return result;
}

std::string Text(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// Three lines every case needs, so that a case shows only its own mistake.
const std::string kInstall = "[Install]\nDefDir=C:\\App\nAppName=App\nCompReg=Co\n";

struct WrongScript {
    const char* what;
    std::string script;
    std::string expected;
};

} // namespace

TEST(CheckScript, ReportsEveryMistakeWithItsLine)
{
    const WrongScript cases[] = {
        {"no [Install]", "[Links]\n",
         "setup.inf: error: no [Install] section; the setup program reads DefDir, AppName and "
         "FileNum from it\n"},
        {"a shipped [Uninstall]", kInstall + "[Uninstall]\nfilea=C:\\Windows\\win.ini\n",
         "setup.inf:5: error: [Uninstall] is the setup program's record of what it installs: "
         "shipped, it shifts the application's records to later keys and makes the "
         "uninstaller delete every file it names\n"},
        {"a link to a file that is not packed", kInstall + "[Links]\nlinka=Readme.text\nlinkfilea=R.lnk\n",
         "setup.inf:6: error: linka=Readme.text: no packed file is named Readme.text (did you "
         "mean Readme.txt?)\n"},
        {"a gap in [Links] drops the later pairs",
         kInstall + "[Links]\nlinka=Readme.txt\nlinkfilea=R.lnk\nlinkc=hello.txt\nlinkfilec=H.lnk\n",
         "setup.inf:8: error: linkc is never read: the setup program stops at linkb, which is "
         "missing\n"
         "setup.inf:9: error: linkfilec is never read: the setup program stops at linkb, which "
         "is missing\n"},
        {"an empty link key ends the series too",
         kInstall + "[Links]\nlinka=\nlinkfilea=R.lnk\n",
         "setup.inf:7: error: linkfilea is never read: the setup program stops at linka, which "
         "is empty\n"},
        {"a link with forward slashes", kInstall + "[Links]\nlinka=help/Guide.txt\nlinkfilea=G.lnk\n",
         "setup.inf:6: warning: linka=help/Guide.txt: the setup program joins it to the install "
         "directory as written; write \"\\\" between folders\n"},
        {"a link without its link file", kInstall + "[Links]\nlinka=Readme.txt\n",
         "setup.inf:6: error: linka has no linkfilea; the setup program makes no shortcut for "
         "it\n"},
        {"a link file without .lnk, one that names a folder, one named twice",
         kInstall +
             "[Links]\nlinka=Readme.txt\nlinkfilea=MyApp\nlinkb=help\nlinkfileb=Sub\\Help.lnk\n"
             "linkc=License.txt\nlinkfilec=myapp\n",
         "setup.inf:7: warning: linkfilea=MyApp: a shortcut's file name ends in .lnk; without "
         "it the shell does not show the file as a shortcut\n"
         "setup.inf:9: error: linkfileb=Sub\\Help.lnk: holds \"\\\", which a file name cannot "
         "hold\n"
         "setup.inf:11: warning: linkfilec=myapp: a shortcut's file name ends in .lnk; without "
         "it the shell does not show the file as a shortcut\n"
         "setup.inf:11: warning: linkfilec=myapp names the same shortcut as line 7; the later "
         "one replaces it\n"},
        {"DefDir missing", "[Install]\nAppName=App\nCompReg=Co\n",
         "setup.inf:1: error: [Install] has no DefDir; the setup program would install into "
         "the root of the current drive\n"},
        {"DefDir relative", "[Install]\nDefDir=Program Files\\App\nAppName=App\nCompReg=Co\n",
         "setup.inf:2: error: DefDir \"Program Files\\App\" is not an absolute path (such as "
         "C:\\Program Files\\Example)\n"},
        {"DefDir with forward slashes", "[Install]\nDefDir=C:/Program Files/App\nAppName=App\nCompReg=Co\n",
         "setup.inf:2: error: DefDir \"C:/Program Files/App\" is not an absolute path (such as "
         "C:\\Program Files\\Example); the setup program separates folders with \"\\\"\n"},
        {"DefDir with characters Windows forbids",
         "[Install]\nDefDir=C:\\App?\\<v2>|x\nAppName=App\nCompReg=Co\n",
         "setup.inf:2: error: DefDir \"C:\\App?\\<v2>|x\" holds \"?\", \"<\", \">\" and \"|\", "
         "which Windows does not allow in a folder name\n"},
        {"DefDir with a device name, a second [Install]",
         "[Install]\nDefDir=C:\\con\\App\nAppName=App\nCompReg=Co\n[Install]\n",
         "setup.inf:2: error: DefDir \"C:\\con\\App\": the folder name \"con\" is a Windows "
         "device name\n"
         "setup.inf:5: warning: a second [Install] section; the setup program reads only the "
         "first (line 1)\n"},
        {"DefDir with a trailing backslash, read through quotes and blanks",
         "[Install]\n  DefDir  =  \"C:\\App\\\"  \nAppName=App\nCompReg=Co\n",
         "setup.inf:2: warning: DefDir \"C:\\App\\\" ends in \"\\\"; the setup program puts one "
         "between the folder and each file name itself\n"},
        {"AppName empty", "[Install]\nDefDir=\\\\server\\share\\App\nAppName=\"\"\n",
         "setup.inf:3: error: AppName is empty; the setup program's texts would name no "
         "application, and it would make no uninstall entry\n"},
        {"AppName that no folder can be named", "[Install]\nDefDir=C:\\App\nAppName=My/App: v2?\nCompReg=Co\n",
         "setup.inf:3: error: AppName \"My/App: v2?\" holds \"/\", \":\" and \"?\", which a "
         "folder name cannot hold (the Start-menu folder is named after the application)\n"},
        {"AppName ending in a dot", "[Install]\nDefDir=C:\\App\nAppName=App Inc.\nCompReg=Co\n",
         "setup.inf:3: error: AppName \"App Inc.\" ends in a dot or a blank, which Windows drops "
         "(the Start-menu folder is named after the application)\n"},
        {"AppName longer than the texts hold",
         "[Install]\nDefDir=C:\\App\nAppName=" + std::string(130, 'n') + "\nCompReg=Co\n",
         "setup.inf:3: warning: AppName has 130 characters; the texts that show it cut it: the "
         "closing message after 125, the previous-version question after 149, the wizard's "
         "pages after 194\n"},
        {"a value longer than a read keeps",
         kInstall + "AppBy=" + std::string(300, 'b') + "\n",
         "setup.inf:5: warning: AppBy has 300 characters; the setup program reads only the "
         "first 254\n"},
        {"FileNum a word", kInstall + "FileNum=six\n",
         "setup.inf:5: error: FileNum \"six\" is not a decimal number (the setup program reads "
         "it as 0)\n"},
        {"FileNum in hex", kInstall + "FileNum=0x6\n",
         "setup.inf:5: error: FileNum \"0x6\" is not a decimal number (the setup program reads "
         "it as 6)\n"},
        {"FileNum wrong", kInstall + "FileNum=7\n",
         "setup.inf:5: error: FileNum is 7, but 6 application files are packed; leave FileNum "
         "out and mksetup writes the right number\n"},
        {"FileNum without a value", kInstall + "FileNum\n",
         "setup.inf:5: error: FileNum has no value; leave the line out and mksetup writes the "
         "number of application files\n"},
        {"misspelt keys and sections, a key given twice, a bare key",
         kInstall + "ApName=App\nAppName=Other\nAppBy\n[Link]\n[Copymodes]\n[Registry]\n",
         "setup.inf:5: warning: unknown key ApName in [Install] (did you mean AppName?); the "
         "setup program never reads it\n"
         "setup.inf:6: warning: AppName is given again; the setup program reads only the first "
         "(line 3)\n"
         "setup.inf:7: warning: \"AppBy\" has no \"=\"; the setup program reads no value from "
         "it\n"
         "setup.inf:8: warning: unknown section [Link] (did you mean [Links]?); the setup "
         "program never reads it\n"
         "setup.inf:9: warning: unknown section [Copymodes] (did you mean [Copymode]?); the "
         "setup program never reads it\n"
         "setup.inf:10: warning: unknown section [Registry]; the setup program never reads it\n"},
        {"text before any section, a header without \"]\"",
         "FileNum=6\n; a comment\n" + kInstall + "[Links\n",
         "setup.inf:1: warning: \"FileNum=6\" stands before any section; the setup program "
         "never reads it\n"
         "setup.inf:7: error: \"[Links\" has no closing \"]\"\n"},
        {"copy modes that are no numbers, out of range, empty",
         kInstall + "[Copymode]\nfilea=keep\nfileb=5\nfilec=\n",
         "setup.inf:6: error: filea=keep: a copy mode is a number: 1 (replace), 2 (ask) or 3 "
         "(keep)\n"
         "setup.inf:7: warning: fileb=5: copy modes are 1 to 3; the setup program treats 5 "
         "like 1 (replace)\n"
         "setup.inf:8: warning: filec has no value; the setup program uses 1 (replace)\n"},
        {"copy modes for files that do not exist",
         kInstall + "[Copymode]\nfileg=3\ndata\\confg.ini=3\nsetup.exe=1\n",
         "setup.inf:6: error: fileg is the key of the 7th application file, but 6 are packed\n"
         "setup.inf:7: error: no packed file is named data\\confg.ini (did you mean "
         "data\\config.ini?); a [Copymode] key is a file's stored name (such as "
         "data\\config.ini) or its key (filea, fileb, ...)\n"
         "setup.inf:8: error: no packed file is named setup.exe; a [Copymode] key is a file's "
         "stored name (such as data\\config.ini) or its key (filea, fileb, ...)\n"},
        {"one file's copy mode given twice, by letter and by name",
         kInstall + "[Copymode]\nfilec=3\nHELLO.TXT=2\n",
         "setup.inf:7: error: a copy mode for hello.txt (filec) is already given at line 6\n"},
        {"keys of the old series past \"~\" and keys the series spells otherwise",
         kInstall + "[Copymode]\nfile\xE2\x82\xAC=3\nfile5=3\nFILE031=2\n[Links]\n"
                    "link\xE2\x80\x9A=x\nlink0=y\n",
         "setup.inf:6: error: file\xE2\x82\xAC ends in byte 0x80, a letter of the old series "
         "past \"~\" that the setup program no longer reads; the 32nd application file's key "
         "is file32\n"
         "setup.inf:7: error: file5 is not a key the setup program reads; the 5th application "
         "file's key is filee\n"
         "setup.inf:8: error: FILE031 is not a key the setup program reads; the 31st "
         "application file's key is file31\n"
         "setup.inf:10: error: link\xE2\x80\x9A ends in byte 0x82, a letter of the old series "
         "past \"~\" that the setup program no longer reads; the 34th shortcut's key is "
         "link34\n"
         "setup.inf:11: warning: link0 is not a key the setup program reads; the keys count "
         "from linka\n"},
        {"shortcuts that would leave their folders, arguments without a shortcut",
         kInstall + "[Links]\nlinka=..\\..\\windows\\system32\\cmd.exe\nlinkfilea=..\n"
                    "linkb=C:x.txt\nlinkfileb=B.lnk\nlinkc=\\\\server\\x\nlinkfilec=C.lnk\n"
                    "linkargsd=/x\n",
         "setup.inf:6: error: linka=..\\..\\windows\\system32\\cmd.exe: leaves the install "
         "directory (a \"..\" component); the setup program makes no shortcut for it\n"
         "setup.inf:7: error: linkfilea=..: names no file in the Start-menu folder; the setup "
         "program makes no shortcut for it\n"
         "setup.inf:8: error: linkb=C:x.txt: leaves the install directory (a drive); the setup "
         "program makes no shortcut for it\n"
         "setup.inf:10: error: linkc=\\\\server\\x: leaves the install directory (a network "
         "path); the setup program makes no shortcut for it\n"
         "setup.inf:12: warning: linkargsd has no linkd; the setup program never reads it\n"},
        {"DisplayIcon that is not installed or leaves the install directory",
         kInstall + "DisplayIcon=app.exe\n[Install]\n",
         "setup.inf:5: error: DisplayIcon \"app.exe\": no packed file is named app.exe; the "
         "icon is a file the setup program installs, named relative to the install directory\n"
         "setup.inf:6: warning: a second [Install] section; the setup program reads only the "
         "first (line 1)\n"},
        {"DisplayIcon outside", kInstall + "DisplayIcon=\\Windows\\x.ico\n",
         "setup.inf:5: error: DisplayIcon \"\\Windows\\x.ico\" leaves the install directory "
         "(a leading \"\\\"); name a file relative to it, such as HelloWorld.exe\n"},
        {"CompReg empty, DefDir a drive's root", "[Install]\nDefDir=C:\\\nAppName=App\nCompReg=\n",
         "setup.inf:2: error: DefDir \"C:\\\" is the root of a drive; the setup program puts its "
         "own License.txt and Uninstal.inf into the install directory, so name a folder (such "
         "as C:\\Program Files\\Example)\n"
         "setup.inf:4: warning: CompReg is empty; the uninstaller then removes no per-user "
         "settings key (HKCU\\Software\\<CompReg>\\App)\n"},
    };
    for (const WrongScript& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Check(c.script).said, c.expected);
    }
}

TEST(CheckScript, AcceptsTheExampleAndWhatTheInstallerReadsTheSame)
{
    std::string script =
        "[Install]\r\nDefDir=C:\\Program Files\\Hello World\r\nAppName=Hello World\r\n"
        "AppBy=from Example Software\r\nCompReg=Example Software\r\nVerNum=1.0\r\nFileNum=6\r\n"
        "Publisher=Example Software Ltd.\r\nDisplayIcon=help\\Guide.txt\r\n"
        "\r\n[Links]\r\nlinka=Readme.txt\r\nlinkfilea=Hello World Read Me.lnk\r\n"
        "LINKB=HELP\\guide.txt\r\nlinkfileb=Hello World Guide.lnk\r\nlinkc=help\r\n"
        "linkfilec=Help folder.lnk\r\nlinkargsc=/open\r\nlinkd=License.txt\r\n"
        "linkfiled=License.lnk\r\n"
        "\r\n[copymode]\r\nfilea=1\r\nfileb=1\r\nfilec=3\r\nFILED=2\r\n";
    Checked checked = Check(script);
    EXPECT_EQ(checked.said, "");
    EXPECT_EQ(checked.notes, "");
    EXPECT_EQ(checked.plan.copyModes, (std::vector<long long>{1, 1, 3, 2, 1, 1}));
    EXPECT_EQ(checked.plan.shortcutFiles.size(), 4u);
    // Nothing to change: the packed copy is the file as written.
    EXPECT_EQ(Text(checked.packed), script);
}

TEST(CheckScript, WarnsAboutPathsTheInstallerCannotRecord)
{
    std::string dir = "C:\\" + std::string(240, 'd');
    Checked checked = Check("[Install]\nDefDir=" + dir + "\nAppName=App\n");
    // 243 + 1 + 10 characters fit; longer names do not.
    EXPECT_NE(checked.said.find("data\\config.ini: installed under \"" + dir +
                                "\", its path has 259 characters; the setup program handles "
                                "at most 254"),
              std::string::npos);
    EXPECT_NE(checked.said.find("Uninstal.inf: installed under"), std::string::npos);
    EXPECT_EQ(checked.said.find("Readme.txt: installed"), std::string::npos) << "254 fit";
}

TEST(CheckScript, TakesAnyNumberOfFilesAndShortcutsWithKeysPastTheThirtieth)
{
    std::vector<PackageFile> files;
    for (int i = 1; i <= 1000; ++i) {
        std::string name = "f" + std::to_string(i);
        files.push_back({"", name, name});
    }
    std::string script = kInstall + "[Links]\n";
    for (std::size_t n = 1; n <= 40; ++n)
        script += SeriesKeyOf("link", n) + "=f" + std::to_string(n) + "\n" +
                  SeriesKeyOf("linkfile", n) + "=" + std::to_string(n) + ".lnk\n";
    script += "linkargs40=/x\n[Copymode]\nf1000=3\nfile31=2\nfile~=3\n";
    Checked checked = Check(script, files);
    EXPECT_EQ(checked.said, "");
    EXPECT_EQ(checked.notes, "setup.inf:4: note: the packed copy says FileNum=1000 after this "
                             "line\nsetup.inf:88: note: f1000 is packed as the key \"file1000\"\n");
    EXPECT_EQ(checked.plan.shortcutFiles.size(), 40u);
    EXPECT_EQ(checked.plan.copyModes[999], 3);
    EXPECT_EQ(checked.plan.copyModes[30], 2);
    EXPECT_EQ(checked.plan.copyModes[29], 3);
    EXPECT_NE(Text(checked.packed).find("\r\n[Copymode]\r\nfile1000=3\r\n"), std::string::npos);
}

TEST(UninstallLog, CountsEveryRecordAndWarnsWhereWindows9xStopsReading)
{
    std::vector<PackageFile> files = {{"", "a.txt", "a.txt"}, {"", "d\\b.txt", "d\\b.txt"}};
    std::string script = kInstall + "[Links]\nlinka=a.txt\nlinkfilea=A.lnk\n";
    Checked checked = Check(script, files);
    Diagnostics unused;
    std::vector<std::uint8_t> bytes(script.begin(), script.end());
    AuthorText text = *ReadAuthorText(bytes, "setup.inf", unused);
    SetupInfo info = SetupInfo::Parse(text.lines);
    ScriptInput input{"setup.inf", &text, &info, CodePage::Find(1252), &files};
    std::optional<LogSize> size = UninstallLogSize(input, checked.plan, 1000);
    ASSERT_TRUE(size);
    // The install directory C:\App and 40 more characters, the Start-menu
    // folder C:\ProgramData\...\Programs\App (56); with CR LF:
    // filea=<46>\a.txt, fileb=<46>\d\b.txt, filec=<46>\License.txt,
    // filed=<46>\Uninstal.inf, filee=<56>\A.lnk, dir=<46>, linkdir=<56>,
    // [Uninstall].
    EXPECT_EQ(size->installDir, 46u);
    EXPECT_EQ(size->section, 60u + 62 + 66 + 67 + 70 + 52 + 66 + 13);
    EXPECT_EQ(size->log, 1000u + size->section);

    for (int i = 0; files.size() < 2000; ++i) {
        std::string name = "folder\\file number " + std::to_string(i) + ".txt";
        files.push_back({"", name, name});
    }
    checked = Check(script, files);
    EXPECT_EQ(checked.said, "");
    Diagnostics diagnostics;
    CheckUninstallLog(input, checked.plan, 1000, diagnostics);
    size = UninstallLogSize(input, checked.plan, 1000);
    EXPECT_EQ(Said(diagnostics),
              "setup.inf: warning: the uninstall log will be about " + Thousands(size->log) +
                  " bytes, " + Thousands(size->section) + " of them its [Uninstall] section (an "
                  "install directory of 46 characters); Windows 95, 98 and Me read at most "
                  "65,535 bytes of an INI file and 32,767 bytes of a section, so there the "
                  "uninstaller cannot remove this application completely\n");
    files.resize(500);
    checked = Check(script, files);
    Diagnostics section;
    CheckUninstallLog(input, checked.plan, 1000, section);
    EXPECT_NE(Said(section).find("warning: the uninstall log's [Uninstall] section will be "
                                 "about 4"),
              std::string::npos)
        << Said(section);
    files.resize(100);
    Diagnostics none;
    CheckUninstallLog(input, Check(script, files).plan, 1000, none);
    EXPECT_EQ(Said(none), "");
}

TEST(CheckScript, RefusesAKeyThatIsOneFilesLetterAndAnothersName)
{
    std::vector<PackageFile> files = {{"", "fileb", "fileb"}, {"", "two.txt", "two.txt"}};
    EXPECT_EQ(Check(kInstall + "[Copymode]\nFILEB=3\n", files).said,
              "setup.inf:6: error: FILEB is the key of the 2nd application file and the "
              "name of another; name that file by its key, filea\n");
    EXPECT_EQ(Check(kInstall + "[Copymode]\nfilea=3\n", files).said, "");
}

TEST(PackScript, WritesFileNumAndLetterKeysAndNothingElse)
{
    Checked checked = Check(
        "[Install]\nDefDir=C:\\App\nAppName=App\n\n[Copymode]\n; by name\n"
        "data/config.ini = 3\nCaf\xC3\xA9.txt=2\nfilef=3\nhelp\\Guide.txt\n");
    EXPECT_EQ(checked.said, "setup.inf:3: warning: [Install] has AppName but no CompReg; the "
                            "uninstaller then removes no per-user settings key "
                            "(HKCU\\Software\\<CompReg>\\App)\n"
                            "setup.inf:10: warning: help\\Guide.txt has no value; the setup "
                            "program uses 1 (replace)\n");
    EXPECT_EQ(checked.notes,
              "setup.inf:3: note: the packed copy says FileNum=6 after this line\n"
              "setup.inf:7: note: data/config.ini is packed as the key \"fileb\"\n"
              "setup.inf:8: note: Caf\xC3\xA9.txt is packed as the key \"filee\"\n"
              "setup.inf:10: note: help\\Guide.txt is packed as the key \"filed\"\n");
    EXPECT_EQ(checked.plan.copyModes, (std::vector<long long>{1, 3, 1, 1, 2, 3}));
    EXPECT_EQ(Text(checked.packed),
              "[Install]\r\nDefDir=C:\\App\r\nAppName=App\r\nFileNum=6\r\n\r\n[Copymode]\r\n"
              "; by name\r\nfileb= 3\r\nfilee=2\r\nfilef=3\r\nfiled\r\n");
}

TEST(PackScript, ConvertsLineEndsAndCodePageAndEndsFileNumWithALineEnd)
{
    // A byte order mark, LF and CR line ends, no line end at the end.
    Checked checked = Check("\xEF\xBB\xBF[Install]\rDefDir=C:\\Caf\xC3\xA9\nAppName=\xE2\x82\xAC uro");
    EXPECT_NE(checked.said.find("no CompReg"), std::string::npos);
    EXPECT_EQ(Text(checked.packed),
              "[Install]\r\nDefDir=C:\\Caf\xE9\r\nAppName=\x80 uro\r\nFileNum=6\r\n");
}

TEST(PackScript, NameKeysMakeTheSameCopyAsLetterKeys)
{
    std::string byLetter = kInstall + "FileNum=6\n[Copymode]\nfileb=3\nfiled=2\n";
    std::string byName = kInstall + "[Copymode]\ndata\\config.ini=3\nhelp/guide.TXT=2\n";
    Checked letters = Check(byLetter), names = Check(byName);
    EXPECT_EQ(letters.said, "");
    EXPECT_EQ(names.said, "");
    EXPECT_EQ(Text(names.packed), Text(letters.packed));
    EXPECT_EQ(names.plan.copyModes, letters.plan.copyModes);
}

TEST(NearestName, SuggestsOnlySlipsOfTheKeyboard)
{
    std::vector<std::string> keys = {"DefDir", "AppName", "FileNum"};
    EXPECT_EQ(NearestName("ApName", keys), "AppName");
    EXPECT_EQ(NearestName("appname", keys), "AppName");
    EXPECT_EQ(NearestName("FielNum", keys), "FileNum"); // a transposition is one slip
    EXPECT_EQ(NearestName("Directory", keys), std::nullopt);
    EXPECT_EQ(NearestName("ab", {"cd"}), std::nullopt);
}
