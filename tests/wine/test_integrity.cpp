// The integrity record, met by the real setup program: a sealed program
// installs; a cut or damaged one says so in one box before it writes
// anything; bytes appended behind the record (a signature) are never taken
// for entries; a setup program signed on the host installs like any other.
#include <windows.h>

#include "install_steps.h"
#include "seal.h"
#include "wtest.h"

namespace {

const char kAppName[] = "Sealed App";
const char kAppDir[] = "C:\\wtest\\sealed-app";
const char kDamaged[] = "This setup program is damaged or incomplete. Please obtain a new copy.";

std::string Inf(int fileNum)
{
    return std::string("[Install]\r\nDefDir=") + kAppDir + "\r\nAppName=" + kAppName +
           "\r\nAppBy=by the seal\r\nCompReg=Seal Co\r\nVerNum=2\r\nFileNum=" +
           std::to_string(fileNum) + "\r\n";
}

// Three application files, the middle one large enough to cut in half.
wt::Bytes SealedProgram()
{
    wt::Bytes program = inst::Program(
        Inf(3), "Sealed license\r\n",
        {inst::File("first.txt", wt::ToBytes("first file\r\n")),
         inst::File("data\\middle.bin", wt::Noise(60000, 7)),
         inst::File("last.txt", wt::ToBytes("the last file, with some words in it\r\n"))});
    archive::Seal(program);
    return program;
}

std::string UninstallKey() { return std::string(inst::kUninstallRoot) + kAppName; }

void Forget()
{
    wt::RemoveTree(kAppDir);
    wt::RemoveTree(inst::LinkDir(kAppName));
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, UninstallKey().c_str());
    DeleteFileA(inst::Uninstaller().c_str());
}

// Runs a damaged program as a person would (OK to whatever box comes):
// one box with the message, exit code 0, and nothing written anywhere.
void CheckRefused(const std::string& name, const wt::Bytes& program)
{
    Forget();
    inst::RunDir run(name);
    REQUIRE(run.Write(program));
    wt::RunResult result = wt::RunProgram(wt::Quote(run.setup), run.dir, {}, 30000);
    REQUIRE(result.exited);
    CHECK_EQ(result.exitCode, 0u);
    REQUIRE(result.boxes.size() == 1u);
    CHECK_EQ(result.boxes[0].caption, std::string("Setup Error"));
    CHECK_EQ(result.boxes[0].text, std::string(kDamaged));
    CHECK(result.boxes[0].buttons == std::vector<int>{IDOK});
    CHECK(!wt::Exists(run.inf));
    CHECK(!wt::Exists(run.license));
    CHECK(!wt::Exists(kAppDir));
    CHECK(!wt::Exists(inst::Uninstaller()));
    CHECK(!inst::KeyExists(HKEY_LOCAL_MACHINE, UninstallKey()));
}

size_t EntryOffset(const wt::Bytes& program, int number)
{
    size_t offset = STUB_FILE_SIZE;
    for (int i = 1; i < number; ++i)
        offset += program[offset + 4] | program[offset + 5] << 8 | program[offset + 6] << 16 |
                  program[offset + 7] << 24;
    return offset;
}

} // namespace

WTEST(SealedProgramInstallsAndRecordsItsFiles)
{
    Forget();
    inst::RunDir run("sealed-ok");
    REQUIRE(run.Write(SealedProgram()));
    inst::Session session;
    REQUIRE(session.Start(run));
    REQUIRE(inst::InstallAndClean(session.process));
    CHECK(wt::ReadBytes(std::string(kAppDir) + "\\data\\middle.bin") == wt::Noise(60000, 7));
    CHECK_EQ(inst::SectionKeys(std::string(kAppDir) + "\\Uninstal.inf", "Uninstall"),
             std::string("filea,fileb,filec,filed,filee,dir,linkdir"));
    Forget();
}

WTEST(CutByOneByteIsRefused)
{
    wt::Bytes program = SealedProgram();
    program.pop_back();
    CheckRefused("sealed-cut1", program);
}

WTEST(CutInHalfIsRefused)
{
    wt::Bytes program = SealedProgram();
    program.resize(STUB_FILE_SIZE + (program.size() - STUB_FILE_SIZE) / 2);
    CheckRefused("sealed-half", program);
}

WTEST(CutBackToTheStubIsRefused)
{
    wt::Bytes program = SealedProgram();
    program.resize(STUB_FILE_SIZE);
    CheckRefused("sealed-stub", program);
}

WTEST(BitFlippedInTheLastEntrysStreamIsRefused)
{
    wt::Bytes program = SealedProgram();
    program[program.size() - archive::kRecordSize - 3] ^= 0x04;
    CheckRefused("sealed-flip-last", program);
}

WTEST(BitFlippedInAMiddleEntrysHeaderIsRefused)
{
    wt::Bytes program = SealedProgram();
    program[EntryOffset(program, 4) + 8] ^= 0x01; // its date
    CheckRefused("sealed-flip-header", program);
    program[EntryOffset(program, 4) + 8] ^= 0x01;
    program[EntryOffset(program, 4) + 5] ^= 0x01; // its length
    CheckRefused("sealed-flip-length", program);
}

WTEST(BitFlippedInTheSetupInformationFileIsRefused)
{
    wt::Bytes program = SealedProgram();
    program[EntryOffset(program, 1) + 30] ^= 0x80;
    CheckRefused("sealed-flip-first", program);
}

// An entry placed behind the record, where a signature goes, is never
// read: FileNum asks for one file more than the archive holds, so the
// installation ends at the record with "Setup Error!" instead.
WTEST(EntryAppendedBehindTheRecordIsNeverRead)
{
    Forget();
    wt::Bytes program = inst::Program(Inf(2), "License\r\n",
                                      {inst::File("inside.txt", wt::ToBytes("inside"))});
    archive::Seal(program);
    program = wt::Concat(program, archive::MakeEntry(inst::File("behind.txt",
                                                                wt::ToBytes("behind"))));
    inst::RunDir run("sealed-behind");
    REQUIRE(run.Write(program));
    inst::Session session;
    REQUIRE(session.Start(run));
    HWND sheet = nullptr;
    REQUIRE(inst::ReachDestination(session.process, &sheet));
    HWND box = inst::FinishWizard(session.process, sheet, "Setup Error!");
    REQUIRE(box);
    ui::Press(box, IDOK);
    DWORD code = 1;
    CHECK(ui::WaitExit(session.process, inst::kWaitMs, &code));
    // Taken back: the file before the record too.
    CHECK(!wt::Exists(std::string(kAppDir) + "\\behind.txt"));
    CHECK(!wt::Exists(kAppDir));
    Forget();
}

// The fixture is made on the host (tests/wine/make-signed.sh, run by
// run.sh): examples/hello packed by mksetup and signed with osslsigncode
// and a self-signed test certificate.
WTEST(SignedProgramInstallsAndItsUninstallerRuns)
{
    std::string signedSetup = wt::ProgramDir() + "\\fixtures\\signed-setup.exe";
    if (!wt::Exists(signedSetup))
        SKIP("no signed fixture: osslsigncode or openssl missing on the host");
    const char* dir = "C:\\Program Files\\Hello World";
    wt::RemoveTree(dir);
    DeleteFileA(inst::Uninstaller().c_str());
    inst::RunDir run("signed");
    REQUIRE(CopyFileA(signedSetup.c_str(), run.setup.c_str(), FALSE));
    {
        inst::Session session;
        REQUIRE(session.Start(run));
        REQUIRE(inst::InstallAndClean(session.process));
    }
    CHECK(wt::Exists(std::string(dir) + "\\Readme.txt"));
    CHECK_EQ(wt::FileSize(inst::Uninstaller()), std::uint64_t(STUB_FILE_SIZE));
    wt::Bytes head = wt::ReadBytes(run.setup);
    head.resize(STUB_FILE_SIZE);
    CHECK(wt::ReadBytes(inst::Uninstaller()) == head);
    // The uninstaller copy carries the signed program's header as it is.
    wt::RunResult removal = wt::RunProgram(
        wt::Quote(inst::Uninstaller()) + " " + dir + "\\Uninstal.inf", run.dir, {IDYES, IDOK});
    CHECK(removal.exited);
    REQUIRE(removal.boxes.size() == 2u);
    CHECK_EQ(removal.boxes[1].text, std::string("Hello World has been uninstalled."));
    CHECK(!wt::Exists(dir));
    DeleteFileA(inst::Uninstaller().c_str());
}

