// ExtractEntry under Wine with the real platform functions: exttool (the
// extraction code, built like the stub) gets payloads made by mksetup's
// archive code, or bytes edited by hand for broken entries, and is run
// under the UI driver, which answers its message boxes.
#include <cstdio>
#include <cstring>

#include "archive.h"
#include "testutil.h"
#include "wtest.h"

namespace {

const char kFileError[] = "File Error!";
const char kErrorCaption[] = "ZOZurer";
const char kOverwrite[] = "File exists.  Overwrite?";
const unsigned long kStart = STUB_FILE_SIZE;

struct Call {
    int mode = -1;
    int result = -1;
    unsigned long offset = 0;
    bool guardOk = false;
    std::string target;
};

struct ToolRun {
    wt::RunResult run;
    std::vector<Call> calls;
};

wt::Bytes Data(const std::string& text) { return wt::ToBytes(text); }

wt::Bytes Entry(const std::string& name, const wt::Bytes& data,
                std::uint16_t date = wt::DosDate(2020, 5, 17),
                std::uint16_t time = wt::DosTime(10, 30, 0),
                std::uint8_t attributes = 0x20)
{
    archive::EntrySpec wanted;
    wanted.name = name;
    wanted.data = data;
    wanted.dosDate = date;
    wanted.dosTime = time;
    wanted.attributes = attributes;
    return archive::MakeEntry(wanted);
}

void PutLe32(wt::Bytes& bytes, size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLe32(const wt::Bytes& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// exttool followed by the given entries, written as dir\exttool.exe.
std::string MakeProgram(const std::string& dir, const std::vector<wt::Bytes>& entries)
{
    wt::Bytes program = wt::ReadBytes(wt::ExtToolPath());
    for (const wt::Bytes& entry : entries) program = wt::Concat(program, entry);
    std::string path = dir + "\\exttool.exe";
    wt::WriteBytes(path, program);
    return path;
}

ToolRun RunTool(const std::string& program, const std::string& calls,
                const std::vector<int>& answers = {})
{
    ToolRun tool;
    tool.run = wt::RunProgram(wt::Quote(program) + " " + calls, "", answers, 60000);
    for (const std::string& line : tool.run.lines) {
        Call call;
        char guard[16] = "";
        int number = 0;
        if (std::sscanf(line.c_str(), "call %d mode %d result %d offset %lu guard %15s",
                        &number, &call.mode, &call.result, &call.offset, guard) != 5)
            continue;
        call.guardOk = std::strcmp(guard, "ok") == 0;
        size_t at = line.find(" target ");
        if (at != std::string::npos) call.target = line.substr(at + 8);
        tool.calls.push_back(call);
    }
    return tool;
}

bool IsFileErrorBox(const ui::Box& box)
{
    return box.caption == kErrorCaption && box.text == kFileError &&
           box.buttons == std::vector<int>{IDOK};
}

// The bits of the four that the platform here reports faithfully.
DWORD Kept(DWORD attributes) { return attributes & wt::ObservableAttributes(); }

} // namespace

WTEST(EntriesComeInOrderUntilTheArchiveIsExhausted)
{
    std::string dir = wt::FreshDir("order");
    wt::Bytes e1 = Entry("first.txt", Data("first entry\r\n"));
    wt::Bytes e2 = Entry("second.txt", wt::Noise(9000, 7));
    std::string program = MakeProgram(dir, {e1, e2});
    ToolRun tool = RunTool(program, "rewind " + dir + "\\a ; always " + dir +
                                        "\\b ; always " + dir + "\\c ; rewind " +
                                        dir + "\\d");
    REQUIRE(tool.calls.size() == 4u);
    CHECK_EQ(tool.calls[0].result, 1);
    CHECK_EQ(tool.calls[0].offset, kStart + e1.size());
    CHECK_EQ(tool.calls[1].result, 1);
    CHECK_EQ(tool.calls[1].offset, kStart + e1.size() + e2.size());
    // Past the last entry: 0, no message, the cursor stays at the end.
    CHECK_EQ(tool.calls[2].result, 0);
    CHECK_EQ(tool.calls[2].offset, kStart + e1.size() + e2.size());
    CHECK(!wt::Exists(dir + "\\c"));
    // Rewinding starts over at entry 1.
    CHECK_EQ(tool.calls[3].result, 1);
    CHECK_EQ(tool.calls[3].offset, kStart + e1.size());
    CHECK(tool.run.boxes.empty());
    CHECK(wt::ReadBytes(dir + "\\a") == Data("first entry\r\n"));
    CHECK(wt::ReadBytes(dir + "\\b") == wt::Noise(9000, 7));
    CHECK(wt::ReadBytes(dir + "\\d") == Data("first entry\r\n"));
}

WTEST(ProgramWithoutArchiveExtractsNothingAndSaysNothing)
{
    std::string dir = wt::FreshDir("noarchive");
    std::string program = MakeProgram(dir, {});
    ToolRun tool = RunTool(program, "rewind " + dir + "\\a ; always " + dir + "\\a");
    REQUIRE(tool.calls.size() == 2u);
    CHECK_EQ(tool.calls[0].result, 0);
    CHECK_EQ(tool.calls[0].offset, kStart);
    CHECK_EQ(tool.calls[1].result, 0);
    CHECK(tool.run.boxes.empty());
    CHECK(!wt::Exists(dir + "\\a"));
}

WTEST(AlwaysAndUnassignedModesReplaceWithoutAsking)
{
    std::string dir = wt::FreshDir("always");
    wt::Bytes e0 = Entry("zero", Data("0"));
    wt::Bytes e1 = Entry("one", Data("new one"));
    wt::Bytes e2 = Entry("two", Data("new two"));
    wt::Bytes e3 = Entry("three", Data("new three"));
    // Any magic is accepted: it is read, never compared.
    std::memcpy(e3.data(), "ABCD", 4);
    std::string program = MakeProgram(dir, {e0, e1, e2, e3});
    for (const char* name : {"one", "two", "three"})
        wt::WriteBytes(dir + "\\" + name, Data("old contents of the file"));
    ToolRun tool = RunTool(program, "rewind " + dir + "\\zero ; always " + dir +
                                        "\\one ; 4 " + dir + "\\two ; 5 " + dir +
                                        "\\three");
    REQUIRE(tool.calls.size() == 4u);
    for (const Call& call : tool.calls) CHECK_EQ(call.result, 1);
    CHECK(tool.run.boxes.empty());
    CHECK(wt::ReadBytes(dir + "\\one") == Data("new one"));
    CHECK(wt::ReadBytes(dir + "\\two") == Data("new two"));
    CHECK(wt::ReadBytes(dir + "\\three") == Data("new three"));
}

WTEST(AskOverwritesOnlyOnYes)
{
    std::string dir = wt::FreshDir("ask");
    wt::Bytes e0 = Entry("zero", Data("0"));
    std::string program =
        MakeProgram(dir, {e0, Entry("yes", Data("new yes")), Entry("no", Data("new no")),
                          Entry("absent", Data("new absent"))});
    wt::WriteBytes(dir + "\\yes", Data("old yes"));
    wt::WriteBytes(dir + "\\no", Data("old no"));
    wt::SetLastWrite(dir + "\\no", 2001, 2, 3, 4, 5, 6);
    SetFileAttributesA((dir + "\\no").c_str(), FILE_ATTRIBUTE_HIDDEN);
    DWORD before = wt::Attributes(dir + "\\no");

    ToolRun tool = RunTool(program,
                           "rewind " + dir + "\\zero ; ask " + dir + "\\yes ; ask " +
                               dir + "\\no ; ask " + dir + "\\absent",
                           {IDYES, IDNO});
    REQUIRE(tool.calls.size() == 4u);
    // One question per existing target; its caption is the target path.
    REQUIRE(tool.run.boxes.size() == 2u);
    CHECK_EQ(tool.run.boxes[0].caption, dir + "\\yes");
    CHECK_EQ(tool.run.boxes[0].text, kOverwrite);
    CHECK(tool.run.boxes[0].buttons == (std::vector<int>{IDYES, IDNO}));
    CHECK_EQ(tool.run.boxes[1].caption, dir + "\\no");
    CHECK(wt::ReadBytes(dir + "\\yes") == Data("new yes"));
    // Declined: nothing written, time and attributes as they were.
    CHECK(wt::ReadBytes(dir + "\\no") == Data("old no"));
    CHECK_EQ(wt::LastWrite(dir + "\\no"), "2001-02-03 04:05:06");
    CHECK_EQ(wt::Attributes(dir + "\\no"), before);
    CHECK(wt::ReadBytes(dir + "\\absent") == Data("new absent"));
    // Every call, the declined one too, moves on to the next entry.
    for (const Call& call : tool.calls) CHECK_EQ(call.result, 1);
    CHECK_EQ(tool.calls[3].offset, wt::FileSize(program));
}

WTEST(KeepLeavesAnExistingFileAlone)
{
    std::string dir = wt::FreshDir("keep");
    wt::Bytes e0 = Entry("zero", Data("0"));
    wt::Bytes e1 = Entry("kept", Data("new kept"));
    std::string program = MakeProgram(dir, {e0, e1, Entry("fresh", Data("new fresh"))});
    wt::WriteBytes(dir + "\\kept", Data("old kept"));
    wt::SetLastWrite(dir + "\\kept", 2003, 4, 5, 6, 7, 8);
    ToolRun tool = RunTool(program, "rewind " + dir + "\\zero ; keep " + dir +
                                        "\\kept ; keep " + dir + "\\fresh");
    REQUIRE(tool.calls.size() == 3u);
    CHECK_EQ(tool.calls[1].result, 1);
    CHECK_EQ(tool.calls[1].offset, kStart + e0.size() + e1.size());
    CHECK_EQ(tool.calls[2].result, 1);
    CHECK(tool.run.boxes.empty());
    CHECK(wt::ReadBytes(dir + "\\kept") == Data("old kept"));
    CHECK_EQ(wt::LastWrite(dir + "\\kept"), "2003-04-05 06:07:08");
    CHECK(wt::ReadBytes(dir + "\\fresh") == Data("new fresh"));
}

WTEST(InstallRecordsEachFileAndTakesItsCopyMode)
{
    std::string dir = wt::FreshDir("install");
    std::string app = dir + "\\app";
    std::string inf = dir + "\\Uninstal.inf";
    // Entry 1 is the setup information file itself, with two records that
    // are there already, so the files get the keys from "filec" on.
    std::string infText =
        "[Install]\r\nAppName=Test\r\n"
        "[Uninstall]\r\nfilea=C:\\elsewhere\\a\r\nfileb=C:\\elsewhere\\b\r\n"
        "[Copymode]\r\nfilec=3\r\nfiled=2\r\nfilee=0\r\nfilef=7\r\n";
    std::string program = MakeProgram(
        dir, {Entry("Uninstal.inf", Data(infText)), Entry("keep.txt", Data("new keep")),
              Entry("sub\\ask.txt", Data("new ask")), Entry("zero.txt", Data("new zero")),
              Entry("seven.txt", Data("new seven")), Entry("plain.txt", Data("new plain"))});
    CreateDirectoryA(app.c_str(), nullptr);
    CreateDirectoryA((app + "\\sub").c_str(), nullptr);
    for (const char* name : {"keep.txt", "sub\\ask.txt", "zero.txt", "plain.txt"})
        wt::WriteBytes(app + "\\" + name, Data("old"));

    std::string install = " ; install " + app;
    ToolRun tool = RunTool(program,
                           "--inf " + inf + " rewind " + inf + install + install +
                               install + install + install,
                           {IDNO});
    REQUIRE(tool.calls.size() == 6u);
    for (const Call& call : tool.calls) CHECK_EQ(call.result, 1);
    CHECK_EQ(tool.calls[5].offset, wt::FileSize(program));
    // The target buffer comes back holding the full path.
    CHECK_EQ(tool.calls[1].target, app + "\\keep.txt");
    CHECK_EQ(tool.calls[2].target, app + "\\sub\\ask.txt");

    // Kept and declined files are recorded all the same, as the user's.
    CHECK_EQ(wt::IniValue(inf, "Uninstall", "filea"), "C:\\elsewhere\\a");
    CHECK_EQ(wt::IniValue(inf, "Uninstall", "filec"), "*" + app + "\\keep.txt");
    CHECK_EQ(wt::IniValue(inf, "Uninstall", "filed"), "*" + app + "\\sub\\ask.txt");
    CHECK_EQ(wt::IniValue(inf, "Uninstall", "filee"), app + "\\zero.txt");
    CHECK_EQ(wt::IniValue(inf, "Uninstall", "filef"), app + "\\seven.txt");
    CHECK_EQ(wt::IniValue(inf, "Uninstall", "fileg"), app + "\\plain.txt");
    CHECK_EQ(wt::IniValue(inf, "Uninstall", "fileh"), "");

    // Copy mode 3 keeps, 2 asks (answered No), 0 and 7 and none replace.
    REQUIRE(tool.run.boxes.size() == 1u);
    CHECK_EQ(tool.run.boxes[0].caption, app + "\\sub\\ask.txt");
    CHECK_EQ(tool.run.boxes[0].text, kOverwrite);
    CHECK(wt::ReadBytes(app + "\\keep.txt") == Data("old"));
    CHECK(wt::ReadBytes(app + "\\sub\\ask.txt") == Data("old"));
    CHECK(wt::ReadBytes(app + "\\zero.txt") == Data("new zero"));
    // 7 is no stub copy here: the entry's own bytes.
    CHECK(wt::ReadBytes(app + "\\seven.txt") == Data("new seven"));
    CHECK(wt::ReadBytes(app + "\\plain.txt") == Data("new plain"));
}

WTEST(MissingDirectoriesAreCreatedOutermostFirst)
{
    std::string dir = wt::FreshDir("dirs");
    std::string inf = dir + "\\setup.inf";
    wt::WriteBytes(inf, Data("[Install]\r\n"));
    std::string program = MakeProgram(
        dir, {Entry("zero", Data("0")), Entry("one\\two\\deep.txt", Data("deep")),
              Entry("flat", Data("flat"))});
    ToolRun tool = RunTool(program, "--inf " + inf + " rewind " + dir + "\\zero ; install " +
                                        dir + "\\app ; always " + dir +
                                        "\\x\\y\\flat.txt");
    REQUIRE(tool.calls.size() == 3u);
    CHECK_EQ(tool.calls[1].result, 1);
    CHECK_EQ(tool.calls[2].result, 1);
    CHECK(wt::Attributes(dir + "\\app\\one\\two") & FILE_ATTRIBUTE_DIRECTORY);
    CHECK(wt::ReadBytes(dir + "\\app\\one\\two\\deep.txt") == Data("deep"));
    CHECK(wt::ReadBytes(dir + "\\x\\y\\flat.txt") == Data("flat"));
}

WTEST(StoredAttributesMapToFileAttributes)
{
    std::string dir = wt::FreshDir("attributes");
    const std::uint8_t stored[] = {0x21, 0x10, 0x00, 0x27, 0x20, 0x08};
    std::vector<wt::Bytes> entries;
    std::string calls;
    for (std::uint8_t a : stored) {
        char name[16];
        std::snprintf(name, sizeof name, "attr%02X", a);
        entries.push_back(Entry(name, Data(name), wt::DosDate(2020, 5, 17),
                                wt::DosTime(10, 30, 0), a));
        calls += std::string(calls.empty() ? "rewind " : " ; always ") + dir + "\\" + name;
    }
    ToolRun tool = RunTool(MakeProgram(dir, entries), calls);
    REQUIRE(tool.calls.size() == 6u);
    const DWORD expected[] = {
        FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY,
        FILE_ATTRIBUTE_NORMAL, // directory bit dropped
        FILE_ATTRIBUTE_NORMAL,
        FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN |
            FILE_ATTRIBUTE_READONLY,
        FILE_ATTRIBUTE_ARCHIVE,
        FILE_ATTRIBUTE_NORMAL, // volume-label bit dropped
    };
    for (int i = 0; i < 6; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "attr%02X", stored[i]);
        std::string path = dir + "\\" + name;
        DWORD got = wt::Attributes(path);
        REQUIRE(got != INVALID_FILE_ATTRIBUTES);
        ui::Note("%s: attributes 0x%02lX", name, got);
        CHECK_EQ(Kept(got), Kept(expected[i]));
        CHECK(!(got & FILE_ATTRIBUTE_DIRECTORY));
        CHECK(wt::ReadBytes(path) == Data(name));
    }
}

WTEST(StoredTimesGainSixHoursAndCarryIntoTheNextDay)
{
    std::string dir = wt::FreshDir("times");
    std::string program = MakeProgram(
        dir, {Entry("a", Data("a"), wt::DosDate(2020, 5, 17), wt::DosTime(10, 30, 0)),
              Entry("b", Data("b"), wt::DosDate(2019, 12, 31), wt::DosTime(20, 0, 0)),
              Entry("c", Data("c"), wt::DosDate(2020, 2, 28), wt::DosTime(18, 0, 58)),
              Entry("d", Data("d"), wt::DosDate(2021, 3, 31), wt::DosTime(23, 59, 58))});
    ToolRun tool = RunTool(program, "rewind " + dir + "\\a ; always " + dir + "\\b ; always " +
                                        dir + "\\c ; always " + dir + "\\d");
    REQUIRE(tool.calls.size() == 4u);
    CHECK_EQ(wt::LastWrite(dir + "\\a"), "2020-05-17 16:30:00");
    CHECK_EQ(wt::LastWrite(dir + "\\b"), "2020-01-01 02:00:00");
    CHECK_EQ(wt::LastWrite(dir + "\\c"), "2020-02-29 00:00:58");
    CHECK_EQ(wt::LastWrite(dir + "\\d"), "2021-04-01 05:59:58");
}

WTEST(StubCopyWritesTheFirst38914BytesUnlessALargerFileIsThere)
{
    std::string dir = wt::FreshDir("stub");
    wt::Bytes e1 = Entry("one", Data("one"));
    std::string program = MakeProgram(dir, {e1, Entry("two", Data("two"))});
    wt::Bytes image = wt::ReadBytes(program);
    image.resize(kStart);
    wt::WriteBytes(dir + "\\small.exe", Data("a small old file"));
    wt::WriteBytes(dir + "\\exact.exe", wt::Bytes(kStart, 0x11));
    wt::Bytes larger(kStart + 1, 0x22);
    wt::WriteBytes(dir + "\\larger.exe", larger);

    ToolRun tool = RunTool(program, "rewind " + dir + "\\one ; stub " + dir +
                                        "\\new.exe ; stub " + dir + "\\small.exe ; stub " +
                                        dir + "\\exact.exe ; stub " + dir +
                                        "\\larger.exe ; stub " + dir +
                                        "\\no\\such\\dir\\u.exe ; always " + dir + "\\two");
    REQUIRE(tool.calls.size() == 7u);
    // A copy that cannot be made is a failure: the uninstall entry would
    // name an uninstaller that is not there.
    for (size_t i = 0; i < tool.calls.size(); ++i) CHECK_EQ(tool.calls[i].result, i == 5 ? 0 : 1);
    // The stub copy leaves the cursor alone: the next call gets entry 2.
    for (int i = 1; i <= 5; ++i) CHECK_EQ(tool.calls[i].offset, kStart + e1.size());
    CHECK(wt::ReadBytes(dir + "\\two") == Data("two"));
    CHECK(wt::ReadBytes(dir + "\\new.exe") == image);
    CHECK(wt::ReadBytes(dir + "\\small.exe") == image);
    CHECK(wt::ReadBytes(dir + "\\exact.exe") == image);
    CHECK(wt::ReadBytes(dir + "\\larger.exe") == larger);
    // No directories are made for it.
    CHECK(!wt::Exists(dir + "\\no"));
    CHECK(tool.run.boxes.empty());
}

WTEST(ZeroLengthEntryFailsEveryTime)
{
    std::string dir = wt::FreshDir("zerolength");
    wt::Bytes e1 = Entry("one", Data("one"));
    wt::Bytes bad = Entry("two", Data("two"));
    PutLe32(bad, 4, 0);
    std::string program = MakeProgram(dir, {e1, bad});
    ToolRun tool = RunTool(program, "rewind " + dir + "\\one ; always " + dir +
                                        "\\two ; always " + dir + "\\two");
    REQUIRE(tool.calls.size() == 3u);
    CHECK_EQ(tool.calls[1].result, 0);
    CHECK_EQ(tool.calls[2].result, 0);
    CHECK_EQ(tool.calls[1].offset, kStart + e1.size());
    CHECK_EQ(tool.calls[2].offset, kStart + e1.size());
    REQUIRE(tool.run.boxes.size() == 2u);
    CHECK(IsFileErrorBox(tool.run.boxes[0]));
    CHECK(IsFileErrorBox(tool.run.boxes[1]));
    CHECK(!wt::Exists(dir + "\\two"));
}

// A payload whose first entry is broken: one refusal, nothing written,
// the cursor left where it was.
void ExpectRefusal(const std::string& label, const wt::Bytes& payload)
{
    ui::Note("case: %s", label.c_str());
    std::string dir = wt::FreshDir("refuse");
    std::string program = MakeProgram(dir, {payload});
    std::string target = dir + "\\out";
    ToolRun tool = RunTool(program, "rewind " + target);
    REQUIRE(tool.calls.size() == 1u);
    CHECK_EQ(tool.calls[0].result, 0);
    CHECK_EQ(tool.calls[0].offset, kStart);
    REQUIRE(tool.run.boxes.size() == 1u);
    CHECK(IsFileErrorBox(tool.run.boxes[0]));
    CHECK(!wt::Exists(target));
}

WTEST(MalformedEntriesAreRefused)
{
    wt::Bytes good = Entry("name.txt", wt::Noise(3000, 3));
    wt::Bytes pastEnd = good;
    PutLe32(pastEnd, 4, static_cast<std::uint32_t>(good.size() + 1));
    ExpectRefusal("length past the end", pastEnd);

    wt::Bytes tooSmall = good;
    PutLe32(tooSmall, 4, 18 + 8 - 1); // one byte short of its own header
    ExpectRefusal("length smaller than the header", tooSmall);

    wt::Bytes tiny = good;
    PutLe32(tiny, 4, 4);
    ExpectRefusal("length 4", tiny);

    wt::Bytes cutHeader(good.begin(), good.begin() + 6);
    ExpectRefusal("header cut off", cutHeader);
}

WTEST(DamagedStreamsAreRefusedAndLeaveNoPartialFile)
{
    wt::Bytes data = wt::Noise(20000, 11);
    wt::Bytes good = Entry("name.txt", data);
    const size_t sizeAt = 14 + 8;

    // decodedSize claims more than the stream holds.
    wt::Bytes longer = good;
    PutLe32(longer, sizeAt, static_cast<std::uint32_t>(data.size() * 4));
    ExpectRefusal("decoded size too large", longer);

    // The stream cut in half, the length made to match.
    wt::Bytes cut(good.begin(), good.begin() + good.size() / 2);
    PutLe32(cut, 4, static_cast<std::uint32_t>(cut.size()));
    ExpectRefusal("stream cut in half", cut);

    // Also when the target existed before: it keeps its old bytes, and no
    // other file is left beside it.
    std::string dir = wt::FreshDir("damaged-existing");
    std::string program = MakeProgram(dir, {cut});
    wt::WriteBytes(dir + "\\out", Data("old"));
    ToolRun tool = RunTool(program, "rewind " + dir + "\\out");
    REQUIRE(tool.calls.size() == 1u);
    CHECK_EQ(tool.calls[0].result, 0);
    CHECK_EQ(tool.run.boxes.size(), 1u);
    CHECK(wt::ReadBytes(dir + "\\out") == Data("old"));
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*.tmp").c_str(), &found);
    CHECK(search == INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

WTEST(UnsafeStoredNamesAreRefused)
{
    for (std::string name : {"..\\x", "C:x", "\\x", "a:b", "a\r\nb", "sub\\..\\..\\x",
                             "x\\", "a/b"}) {
        wt::Bytes payload = Entry("zero", Data("0"));
        payload = wt::Concat(payload, Entry(name, Data("escaped")));
        // The check of the first entry passes; the second is refused.
        std::string dir = wt::FreshDir("unsafe");
        std::string inf = dir + "\\setup.inf";
        wt::WriteBytes(inf, Data("[Install]\r\n"));
        std::string program = MakeProgram(dir, {payload});
        ToolRun tool = RunTool(program, "--inf " + inf + " rewind " + dir +
                                            "\\zero ; install " + dir + "\\app");
        ui::Note("name: %s", name.c_str());
        REQUIRE(tool.calls.size() == 2u);
        CHECK_EQ(tool.calls[1].result, 0);
        CHECK_EQ(tool.calls[1].offset, kStart + GetLe32(payload, 4));
        REQUIRE(tool.run.boxes.size() == 1u);
        CHECK(IsFileErrorBox(tool.run.boxes[0]));
        CHECK_EQ(wt::IniValue(inf, "Uninstall", "filea"), "");
        CHECK(!wt::Exists(dir + "\\x"));
        CHECK(!wt::Exists("C:\\wtest\\x"));
        CHECK(!wt::Exists(dir + "\\app\\a"));
        CHECK(!wt::Exists("C:\\x"));
        CHECK(!wt::Exists("C:\\a"));
    }
}

WTEST(TargetThatDoesNotFitItsBufferIsRefused)
{
    std::string dir = wt::FreshDir("long");
    std::string inf = dir + "\\setup.inf";
    wt::WriteBytes(inf, Data("[Install]\r\n"));
    std::string name(20, 'n');
    std::string program = MakeProgram(
        dir, {Entry("zero", Data("0")), Entry(name, Data("fits")), Entry(name, Data("no"))});
    // dir\<pad> + "\" + name: exactly 255 characters, then one more.
    std::string fits = dir + "\\" + std::string(255 - dir.size() - 2 - name.size(), 'd');
    std::string over = fits + "e";
    ToolRun tool = RunTool(program, "--inf " + inf + " rewind " + dir + "\\zero ; install " +
                                        fits + " ; install " + over);
    REQUIRE(tool.calls.size() == 3u);
    CHECK_EQ(tool.calls[1].result, 1);
    CHECK_EQ(tool.calls[1].target.size(), 255u);
    CHECK(wt::ReadBytes(fits + "\\" + name) == Data("fits"));
    CHECK_EQ(tool.calls[2].result, 0);
    CHECK(tool.calls[2].guardOk);
    REQUIRE(tool.run.boxes.size() == 1u);
    CHECK(IsFileErrorBox(tool.run.boxes[0]));
    CHECK(!wt::Exists(over));
}

// An output file that cannot be created is reported, not passed off as
// written: a read-only file (where the platform refuses it), a file another
// program holds open without sharing, a directory of the target's name.
WTEST(TargetThatCannotBeCreatedIsAFailureNotASuccess)
{
    std::string dir = wt::FreshDir("nocreate");
    wt::Bytes e1 = Entry("one", Data("one"));
    std::string program = MakeProgram(dir, {e1, Entry("two", Data("new two"))});
    std::string readOnly = dir + "\\readonly", locked = dir + "\\locked",
                folder = dir + "\\folder";
    wt::WriteBytes(readOnly, Data("old two"));
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    wt::WriteBytes(locked, Data("old two"));
    CreateDirectoryA(folder.c_str(), nullptr);
    HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(hold != INVALID_HANDLE_VALUE);

    std::vector<std::string> targets{locked, folder};
    if (wt::ReadOnlyEnforced()) targets.push_back(readOnly);
    std::string calls = "rewind " + dir + "\\one";
    for (const std::string& target : targets) calls += " ; always " + target;
    ToolRun tool = RunTool(program, calls);
    CloseHandle(hold);

    REQUIRE(tool.calls.size() == targets.size() + 1);
    for (size_t i = 1; i < tool.calls.size(); ++i) {
        CHECK_EQ(tool.calls[i].result, 0);
        CHECK_EQ(tool.calls[i].offset, kStart + e1.size());
    }
    REQUIRE(tool.run.boxes.size() == targets.size());
    for (const ui::Box& box : tool.run.boxes) CHECK(IsFileErrorBox(box));
    CHECK(wt::ReadBytes(locked) == Data("old two"));
    CHECK(wt::Attributes(folder) & FILE_ATTRIBUTE_DIRECTORY);
    CHECK(wt::ReadBytes(readOnly) == Data("old two"));
    CHECK(wt::Attributes(readOnly) & FILE_ATTRIBUTE_READONLY);
}
