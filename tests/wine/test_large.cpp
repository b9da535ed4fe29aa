// Applications of any size: thousands of files recorded past the 30th key
// and removed again, an older program's log of 159 single letters, and a
// setup program past 2 GiB.
#include <windows.h>

#include <string>
#include <vector>

#include "install_steps.h"
#include "integrity.h"
#include "testutil.h"
#include "wtest.h"

using inst::File;
using inst::KeyExists;
using inst::RunDir;

namespace {

const char kLicense[] = "Large license\r\n";

std::string UninstallKey(const std::string& appName) { return inst::kUninstallRoot + appName; }

void Forget(const std::string& dir, const std::string& appName)
{
    std::string linkDir = wt::IniValue(dir + "\\Uninstal.inf", "Uninstall", "linkdir");
    if (!linkDir.empty()) wt::RemoveTree(linkDir);
    wt::RemoveTree(inst::LinkDir(appName));
    wt::RemoveTree(dir);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UninstallKey(appName).c_str());
}

// "setup.exe /S" and the quiet uninstall of the log in `dir`: their exit
// codes (~0 when a run did not end within ten minutes).
DWORD RunSilent(const RunDir& run)
{
    wt::RunResult result = wt::RunProgram(wt::Quote(run.setup) + " /S", run.dir, {}, 600000);
    CHECK(result.boxes.empty());
    return result.exited ? result.exitCode : ~0ul;
}

DWORD QuietUninstall(const std::string& dir)
{
    wt::RunResult result = wt::RunProgram(
        wt::Quote(inst::Uninstaller()) + " /S " + dir + "\\uninstal.inf", "C:\\wtest", {},
        600000);
    CHECK(result.boxes.empty());
    return result.exited ? result.exitCode : ~0ul;
}

} // namespace

namespace {

const char kManyDir[] = "C:\\wtest\\many-app";
const char kManyName[] = "Wtest Many";
const int kManyFiles = 5000, kManyLinks = 10;

// 5,000 files in nested folders, mostly small, every 97th 20 KB; the
// copy modes of three files far past the 157th say keep (3); ten links.
std::string ManyInf()
{
    std::string inf = std::string("[Install]\r\nDefDir=") + kManyDir + "\r\nAppName=" + kManyName +
                      "\r\nAppBy=by the tests\r\nCompReg=Wtest Software\r\nVerNum=5\r\nFileNum=" +
                      std::to_string(kManyFiles) + "\r\n[Links]\r\n";
    for (int n = 1; n <= kManyLinks; ++n) {
        std::string tail = n <= 30 ? std::string(1, char(0x60 + n)) : std::to_string(n);
        inf += "link" + tail + "=d" + std::to_string(n % 7) + "\\f" + std::to_string(n) +
               ".txt\r\nlinkfile" + tail + "=Link " + std::to_string(n) + ".lnk\r\n";
    }
    return inf + "[Copymode]\r\nfile200=3\r\nfile2500=3\r\nfile5000=3\r\n";
}

std::string ManyName(int i) { return "d" + std::to_string(i % 7) + "\\f" + std::to_string(i) + ".txt"; }

std::vector<archive::EntrySpec> ManyFiles()
{
    std::vector<archive::EntrySpec> files;
    for (int i = 1; i <= kManyFiles; ++i)
        files.push_back(File(ManyName(i), i % 97 ? wt::ToBytes("file " + std::to_string(i) + "\r\n")
                                                 : wt::Noise(20000, unsigned(i))));
    return files;
}

// What the package leaves in its install directory (the files kept under
// copy mode 3 hold "kept").
bool ManyInstalled(bool withKept)
{
    bool all = true;
    for (int i = 1; i <= kManyFiles && all; ++i) {
        std::string path = std::string(kManyDir) + "\\" + ManyName(i);
        bool kept = withKept && (i == 200 || i == 2500 || i == 5000);
        wt::Bytes bytes = wt::ReadBytes(path);
        all = kept ? bytes == wt::ToBytes("kept")
                   : bytes.size() == (i % 97 ? std::to_string(i).size() + 7 : 20000u);
        if (!all) ui::Note("file %d not as installed", i);
    }
    return all;
}

} // namespace

// An application of 5,000 files: every one recorded (past the 30th under
// "file31" on), removed again by the uninstaller with nothing left, and
// the copy modes of files far past the 157th taken; once silently, once
// clicked through.
WTEST(FiveThousandFilesInstallAndUninstall)
{
    wt::Bytes program = inst::Program(ManyInf(), kLicense, ManyFiles());
    for (int shown = 0; shown < 2; ++shown) {
        Forget(kManyDir, kManyName);
        wt::FreshDir("many-app");
        // Three files the user had: copy mode 3 keeps them.
        for (int i : {200, 2500, 5000}) {
            std::string path = std::string(kManyDir) + "\\" + ManyName(i);
            CreateDirectoryA((std::string(kManyDir) + "\\d" + std::to_string(i % 7)).c_str(),
                             nullptr);
            REQUIRE(wt::WriteBytes(path, wt::ToBytes("kept")));
        }
        RunDir run(shown ? "many-shown" : "many-silent");
        REQUIRE(run.Write(program));
        DWORD start = GetTickCount();
        if (shown) {
            inst::Session session;
            REQUIRE(session.Start(run));
            REQUIRE(inst::InstallAndClean(session.process) || session.Fail());
        } else {
            CHECK_EQ(RunSilent(run), 0ul);
        }
        ui::Note("installed %d files in %lu ms", kManyFiles, GetTickCount() - start);
        CHECK(ManyInstalled(true));
        std::string log = std::string(kManyDir) + "\\Uninstal.inf";
        CHECK_EQ(wt::IniValue(log, "Uninstall", "file~"),
                 std::string(kManyDir) + "\\" + ManyName(30));
        CHECK_EQ(wt::IniValue(log, "Uninstall", "file31"),
                 std::string(kManyDir) + "\\" + ManyName(31));
        // The user's file is recorded as the user's ("*").
        CHECK_EQ(wt::IniValue(log, "Uninstall", "file5000"),
                 "*" + std::string(kManyDir) + "\\" + ManyName(5000));
        CHECK_EQ(wt::IniValue(log, "Uninstall", "file5001"), std::string(kManyDir) + "\\License.txt");
        CHECK_EQ(wt::IniValue(log, "Uninstall", "file5002"), log);
        std::string linkDir = wt::IniValue(log, "Uninstall", "linkdir");
        CHECK_EQ(wt::IniValue(log, "Uninstall", "file5012"), linkDir + "\\Link 10.lnk");
        CHECK(wt::Exists(linkDir + "\\Link 10.lnk"));

        start = GetTickCount();
        // The folder stays, holding the user's three files alone.
        CHECK_EQ(QuietUninstall(kManyDir), 4ul);
        ui::Note("removed in %lu ms", GetTickCount() - start);
        for (int i : {200, 2500, 5000})
            CHECK(wt::ReadBytes(std::string(kManyDir) + "\\" + ManyName(i)) ==
                  wt::ToBytes("kept"));
        CHECK(!wt::Exists(std::string(kManyDir) + "\\" + ManyName(201)));
        CHECK(!wt::Exists(std::string(kManyDir) + "\\Uninstal.inf"));
        CHECK(!wt::Exists(linkDir));
        CHECK(!KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(kManyName)));
        wt::RemoveTree(run.dir);
    }
}

// A log an older setup program wrote, 157 files and its license and log
// under the single letters "a" to 0xFF: the uninstaller still removes
// every file it names.
WTEST(OlderLogWithLettersPastTheTildeIsRemovedWhole)
{
    std::string dir = wt::FreshDir("older-log");
    std::string log = dir + "\\Uninstal.inf";
    std::string text = "[Install]\r\nAppName=Wtest Older\r\n[Uninstall]\r\n";
    for (int i = 0; i < 159; ++i) {
        std::string path = dir + "\\f" + std::to_string(i);
        if (i < 157) REQUIRE(wt::WriteBytes(path, wt::ToBytes("x")));
        text += std::string("file") + char(0x61 + i) + "=" + (i == 158 ? log : path) + "\r\n";
    }
    text += "dir=" + dir + "\r\n";
    REQUIRE(wt::WriteBytes(log, wt::ToBytes(text)));
    CHECK_EQ(QuietUninstall(dir), 0ul);
    CHECK(!wt::Exists(dir));
}

namespace {

// Writes `bytes` at the file's current end, then `gap` zero bytes as a
// hole (sparse on the host), adding both to the CRC and the length.
struct BigWriter {
    HANDLE file;
    unsigned long table[CRC32_TABLE_SIZE];
    unsigned long crc = 0;
    std::uint64_t length = 0;
    bool ok = true;
    void Put(const wt::Bytes& bytes, std::uint64_t gap = 0)
    {
        DWORD written = 0;
        ok = ok && WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
             written == bytes.size();
        if (length) crc = Crc32Update(table, crc, bytes.data(), bytes.size());
        length += bytes.size();
        static const wt::Bytes zeros(1 << 20);
        for (std::uint64_t left = gap; left;) {
            std::uint64_t step = left < zeros.size() ? left : zeros.size();
            crc = Crc32Update(table, crc, zeros.data(), static_cast<unsigned long>(step));
            left -= step;
        }
        length += gap;
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(length);
        ok = ok && SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    }
};

} // namespace

// A sealed program of 2.2 GB: every offset from 2 GiB on is read as the
// unsigned offset it is (a signed one would seek backwards), so its last
// file, behind 2 GiB, installs like the first. The large entries carry
// unused zero bytes behind their streams: a hole in the file, no disk.
WTEST(ProgramOverTwoGigabytesInstalls)
{
    const char kAppDir[] = "C:\\wtest\\big-app";
    Forget(kAppDir, "Wtest Big");
    inst::RunDir run("sealed-big");
    const int pads = 5;
    const std::uint64_t gap = 440ull << 20;
    std::string inf = std::string("[Install]\r\nDefDir=") + kAppDir +
                      "\r\nAppName=Wtest Big\r\nCompReg=Wtest Software\r\nFileNum=" +
                      std::to_string(pads + 1) + "\r\n";
    wt::Bytes stub = wt::ReadBytes(wt::StubPath());
    BigWriter out;
    out.file = CreateFileA(run.setup.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(out.file != INVALID_HANDLE_VALUE);
    Crc32MakeTable(out.table);
    out.Put(stub);
    REQUIRE(out.length == STUB_FILE_SIZE); // the CRC starts behind it
    out.Put(archive::MakeEntry(inst::File("setup.inf", wt::ToBytes(inf))));
    out.Put(archive::MakeEntry(inst::File("license.txt", wt::ToBytes("Big license\r\n"))));
    for (int i = 0; i < pads; ++i) {
        wt::Bytes entry = archive::MakeEntry(
            inst::File("pad" + std::to_string(i) + ".txt", wt::ToBytes("pad\r\n")));
        std::uint32_t length = std::uint32_t(entry.size() + gap);
        for (int b = 0; b < 4; ++b) entry[4 + b] = std::uint8_t(length >> (8 * b));
        out.Put(entry, gap);
    }
    out.Put(archive::MakeEntry(inst::File("last.txt", wt::ToBytes("past two gigabytes\r\n"))));
    REQUIRE(out.length > (2ull << 30) + (100ull << 20));
    std::uint32_t archiveLength = std::uint32_t(out.length - STUB_FILE_SIZE);
    unsigned char record[INTEGRITY_RECORD_SIZE];
    MakeIntegrityRecord(record, {archiveLength, out.crc, static_cast<unsigned long>(pads + 3)});
    out.Put(wt::Bytes(record, record + sizeof record));
    unsigned char trailer[STUB_TRAILER_SIZE];
    MakeStubTrailer(trailer, archiveLength);
    LARGE_INTEGER at;
    at.QuadPart = STUB_TRAILER_OFFSET;
    DWORD written = 0;
    REQUIRE(out.ok && SetFilePointerEx(out.file, at, nullptr, FILE_BEGIN) &&
            WriteFile(out.file, trailer, sizeof trailer, &written, nullptr));
    CloseHandle(out.file);

    wt::RunResult result = wt::RunProgram(wt::Quote(run.setup) + " /S", run.dir, {}, 240000);
    CHECK(result.exited);
    CHECK_EQ(result.exitCode, 0ul);
    CHECK(wt::ReadBytes(std::string(kAppDir) + "\\pad0.txt") == wt::ToBytes("pad\r\n"));
    CHECK(wt::ReadBytes(std::string(kAppDir) + "\\last.txt") ==
          wt::ToBytes("past two gigabytes\r\n"));
    DeleteFileA(run.setup.c_str());
    Forget(kAppDir, "Wtest Big");
}
