#include "commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <unordered_map>

#include "archive.h"
#include "code_page.h"
#include "entry_format.h"
#include "file_io.h"
#include "lzma2_decode.h"
#include "lzma_pack.h"
#include "package.h"
#include "payload_reader.h"
#include "seal.h"
#include "setup_check.h"
#include "setup_info.h"
#include "stub_image.h"
#include "tool_error.h"

namespace fs = std::filesystem;

namespace mksetup {
namespace {

std::string AttributeText(std::uint8_t stored)
{
    unsigned long mapped = MapDosAttributes(stored);
    std::string letters;
    letters += mapped & 0x20 ? 'A' : '-';
    letters += mapped & 0x04 ? 'S' : '-';
    letters += mapped & 0x02 ? 'H' : '-';
    letters += mapped & 0x01 ? 'R' : '-';
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X ", stored);
    return hex + letters;
}

// The key an entry's file is recorded under, for application files only.
std::string KeyOfEntry(std::size_t index)
{
    return index < 2 ? "-" : FileKeyOf(index - 2);
}

// The key column's width: the longest key, at least 8.
int KeyWidth(std::size_t entries)
{
    return static_cast<int>(std::max<std::size_t>(8, KeyOfEntry(entries ? entries - 1 : 0).size()));
}

const CodePage& PageOf(int number)
{
    const CodePage* page = CodePage::Find(number);
    if (!page) throw ToolError("--codepage " + std::to_string(number), "not supported");
    return *page;
}

// Reports each [Links] pair of the setup information file that the setup
// program makes no shortcut of because it would leave the Start-menu
// folder or the install directory, or has no file name.
void CheckLinks(const SetupInfo& info, const std::function<void(const std::string&)>& report)
{
    std::optional<std::size_t> section = info.FindSection("Links");
    if (!section) return;
    // The first value of each key, as the profile functions read it.
    std::unordered_map<std::string, std::string> values;
    auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    for (const SetupInfo::Line& line : info.lines())
        if (line.kind == SetupInfo::LineKind::Key && line.section == *section)
            values.emplace(lower(line.name), line.value);
    auto value = [&](const std::string& key) -> const std::string* {
        auto found = values.find(key);
        return found == values.end() ? nullptr : &found->second;
    };
    for (std::size_t n = 1;; ++n) {
        std::string targetKey = SeriesKeyOf("link", n), fileKey = SeriesKeyOf("linkfile", n);
        const std::string* target = value(targetKey);
        if (!target || target->empty()) return;
        const std::string* name = value(fileKey);
        std::string shownTarget = "[Links] " + targetKey + "=" + *target;
        if (!name || name->empty())
            report(shownTarget + " has no " + fileKey + "; the setup program makes no shortcut for it");
        else if (std::optional<std::string> problem = LinkFileProblem(*name))
            report("[Links] " + fileKey + "=" + *name + ": " + *problem +
                   "; the setup program makes no shortcut for " + targetKey);
        if (std::optional<std::string> problem = LinkTargetProblem(*target))
            report(shownTarget + ": " + *problem + "; the setup program makes no shortcut for it");
    }
}

// Refuses a file that is no setup program at all, rather than reading its
// bytes as entries.
void RequireSetupProgram(const fs::path& setup, std::span<const std::uint8_t> program)
{
    if (std::optional<std::string> reason = NotASetupProgram(program))
        throw ToolError(setup.string(), *reason);
}

// The part of the program that holds entries: up to the integrity record
// where there is one (what follows it, a signature, is no entry), else the
// whole file.
std::span<const std::uint8_t> EntryPart(std::span<const std::uint8_t> program,
                                        const archive::SealStatus& seal)
{
    return program.first(static_cast<std::size_t>(seal.archiveEnd));
}

std::vector<archive::EntryInfo> ReadChain(const fs::path& setup,
                                          std::span<const std::uint8_t> program,
                                          const archive::SealStatus& seal, const CodePage& page)
{
    std::string error;
    std::vector<archive::EntryInfo> entries =
        archive::ListEntries(EntryPart(program, seal), &error);
    if (!error.empty()) throw ToolError(setup.string(), page.Show(error));
    return entries;
}

std::string Hex32(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

// One line on the integrity record, for list.
std::string SealText(const archive::SealStatus& seal, std::span<const std::uint8_t> program)
{
    switch (seal.kind) {
    case archive::SealStatus::Unsealed:
        return "no integrity record (made without one): the setup program checks nothing "
               "before it installs";
    case archive::SealStatus::Damaged:
        return "integrity record: DAMAGED: " + seal.problem;
    case archive::SealStatus::Sound:
        break;
    }
    std::string text = "integrity record: CRC-32 " + Hex32(seal.crcStored) + " over " +
                       std::to_string(seal.archiveEnd - archive::StubSizeOf(program)) + " bytes, " +
                       std::to_string(seal.entryCount) + " entries: OK";
    if (seal.bytesBehind)
        text += "; " + std::to_string(seal.bytesBehind) +
                " bytes behind it (a signature, for instance) are not part of the archive";
    return text;
}

std::string EntryName(std::size_t index, const archive::EntryInfo& entry)
{
    return "entry " + std::to_string(index + 1) + " \"" + entry.name + "\"";
}

// An LZMA entry's flags byte, or nothing when its stream part is too short
// to hold one.
std::optional<std::uint8_t> LzmaFlags(std::span<const std::uint8_t> program,
                                      const archive::EntryInfo& entry)
{
    if (entry.method != archive::Method::Lzma || entry.streamSize < 2) return std::nullopt;
    return program[entry.streamOffset];
}

// The method column of list: LZHUF, LZMA, LZMA+x86, or LZMA? for a stream
// part that the setup program would call damaged at its first bytes.
std::string MethodText(std::span<const std::uint8_t> program, const archive::EntryInfo& entry)
{
    if (entry.method == archive::Method::Lzhuf) return "LZHUF";
    std::optional<std::uint8_t> flags = LzmaFlags(program, entry);
    if (!flags || (*flags & ~lzmapack::kFlagsKnown)) return "LZMA?";
    return *flags & lzmapack::kFlagX86 ? "LZMA+x86" : "LZMA";
}

// The streams of an LZMA program: for each entry the number of the stream
// it starts or continues (0 for none), and whether it starts it.
struct StreamColumn {
    std::vector<unsigned> number;
    std::vector<bool> starts;
    unsigned count = 0;
};

StreamColumn Streams(std::span<const std::uint8_t> program,
                     const std::vector<archive::EntryInfo>& entries)
{
    StreamColumn column;
    unsigned open = 0; // the stream the next LZMA entry continues
    for (const archive::EntryInfo& entry : entries) {
        std::optional<std::uint8_t> flags = LzmaFlags(program, entry);
        bool starts = flags && (*flags & lzmapack::kFlagNewStream);
        if (starts) open = ++column.count;
        if (entry.method != archive::Method::Lzma) open = 0;
        column.number.push_back(open);
        column.starts.push_back(starts);
    }
    return column;
}

// Writes entry `index` below `directory` under its stored name, with the
// time the setup program gives it.
void WriteEntry(const fs::path& directory, std::size_t index, const archive::EntryInfo& entry,
                std::span<const std::uint8_t> data, std::ostream& out)
{
    fs::path target = directory;
    std::size_t start = 0;
    while (start <= entry.name.size()) {
        std::size_t end = std::min(entry.name.find('\\', start), entry.name.size());
        target /= entry.name.substr(start, end - start);
        start = end + 1;
    }
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (error)
        throw ToolError(target.parent_path().string(),
                        "cannot create the directory: " + error.message());
    WriteFileBytes(target, data);
    DosStamp restored = RestoredStamp({entry.dosDate, entry.dosTime});
    // Like the setup program, leave the time alone when it is invalid.
    if (std::optional<UnixSeconds> time = FromDosStamp(restored))
        SetModificationTime(target, *time);
    out << std::left << std::setw(8) << KeyOfEntry(index) << ' ' << target.string() << '\n';
}

} // namespace

int ListSetup(const fs::path& setup, std::ostream& out, int codePage)
{
    const CodePage& page = PageOf(codePage);
    std::vector<std::uint8_t> program = ReadFileBytes(setup);
    RequireSetupProgram(setup, program);
    archive::SealStatus seal = archive::CheckSeal(program);
    std::string error;
    std::vector<archive::EntryInfo> entries =
        archive::ListEntries(EntryPart(program, seal), &error);
    const int keyWidth = KeyWidth(entries.size());
    // Sizes of a GB and more have ten digits: a blank before each column.
    std::uint32_t largest = 0;
    for (const archive::EntryInfo& entry : entries)
        largest = std::max({largest, entry.decodedSize, entry.streamSize});
    const int sizeWidth = static_cast<int>(std::max<std::size_t>(10, std::to_string(largest).size() + 1));
    const StreamColumn streams = Streams(program, entries);
    const int streamWidth =
        static_cast<int>(std::max<std::size_t>(7, std::to_string(streams.count).size() + 7));
    out << std::right << std::setw(4) << "#" << "  " << std::left << std::setw(keyWidth)
        << "key" << std::right << std::setw(sizeWidth) << "size" << std::setw(sizeWidth)
        << "packed" << "  " << std::left << std::setw(8) << "method" << "  "
        << std::setw(streamWidth) << "stream" << "  " << std::setw(19) << "date/time (UTC)"
        << "  " << std::setw(11) << "attributes" << "  name\n";
    std::uint64_t mostMemory = 0;
    unsigned mostMemoryStream = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const archive::EntryInfo& entry = entries[i];
        DosStamp restored = RestoredStamp({entry.dosDate, entry.dosTime});
        std::string stream = "-";
        if (streams.number[i])
            stream = std::to_string(streams.number[i]) + (streams.starts[i] ? " start" : "");
        else if (entry.method == archive::Method::Lzma)
            stream = "?"; // continues no stream: damaged
        if (std::uint64_t memory = StreamDictionary(program, entries, i); memory > mostMemory)
            mostMemory = memory, mostMemoryStream = streams.number[i];
        out << std::right << std::setw(4) << i + 1 << "  " << std::left << std::setw(keyWidth)
            << KeyOfEntry(i) << std::right << std::setw(sizeWidth) << entry.decodedSize
            << std::setw(sizeWidth) << entry.streamSize << "  " << std::left << std::setw(8)
            << MethodText(program, entry) << "  " << std::setw(streamWidth) << stream << "  "
            << std::setw(19) << FormatDosStamp(restored) << "  " << std::setw(11)
            << AttributeText(entry.attributes) << "  " << page.Show(entry.name) << '\n';
    }
    if (streams.count)
        out << "LZMA: " << (streams.count == 1 ? "1 stream" : std::to_string(streams.count) + " streams")
            << "; the setup program allocates a dictionary of at most " << Thousands(mostMemory)
            << " bytes (stream " << mostMemoryStream << ") and about "
            << (sizeof(Lzma2Decoder) + 500) / 1000 << " KB of decoder state\n";
    out << SealText(seal, program) << '\n';
    if (!error.empty()) throw ToolError(setup.string(), page.Show(error));
    return 0;
}

int VerifySetup(const fs::path& setup, std::ostream& out, std::ostream& errors, int codePage)
{
    const CodePage& page = PageOf(codePage);
    std::vector<std::uint8_t> program = ReadFileBytes(setup);
    RequireSetupProgram(setup, program);
    archive::SealStatus seal = archive::CheckSeal(program);
    int bad = 0;
    // `reason` may hold the program's own bytes (names, values).
    auto report = [&](const std::string& reason) {
        errors << "mksetup: " << setup.string() << ": " << page.Show(reason) << '\n';
        ++bad;
    };
    // A damaged archive is reported, and every entry is still decoded to
    // say which ones fail.
    if (seal.kind == archive::SealStatus::Damaged)
        report("the archive is damaged: " + seal.problem);
    std::string chainError;
    std::vector<archive::EntryInfo> entries =
        archive::ListEntries(EntryPart(program, seal), &chainError);
    if (!chainError.empty()) report(chainError);
    const std::uint32_t stubSize = archive::StubSizeOf(program);
    if (program[stubSize - 2] != '\r' || program[stubSize - 1] != '\n')
        report("the stub does not end in CR LF");
    if (entries.size() < 2)
        report("holds " + std::to_string(entries.size()) +
               " entries; a setup program needs the setup information file "
               "and the license");

    // Each entry's problems, told in the entries' order: the damage of an
    // LZMA entry is known only once its stream has been read.
    std::vector<std::pair<std::size_t, std::string>> entryProblems;
    std::optional<std::vector<std::uint8_t>> setupInfo;
    DecodeEntries(
        program, entries,
        [&](std::size_t i, std::span<const std::uint8_t> data) {
            if (i >= 2) {
                if (auto problem = StoredNameProblem(entries[i].name))
                    entryProblems.emplace_back(i, EntryName(i, entries[i]) + ": " + *problem);
            }
            if (i == 0) setupInfo.emplace(data.begin(), data.end());
        },
        [&](std::size_t i, const std::string& reason) { entryProblems.emplace_back(i, reason); });
    std::stable_sort(entryProblems.begin(), entryProblems.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [index, problem] : entryProblems) report(problem);
    if (setupInfo) {
        SetupInfo info = SetupInfo::Parse(std::string_view(
            reinterpret_cast<const char*>(setupInfo->data()), setupInfo->size()));
        long long fileNum = info.Integer("Install", "FileNum").value_or(0);
        long long present = static_cast<long long>(entries.size()) - 2;
        if (fileNum != present)
            report("[Install] FileNum is " + std::to_string(fileNum) + ", but " +
                   std::to_string(present) + " application files follow");
        CheckLinks(info, report);
    }
    if (bad) return 1;
    const std::size_t lzma = static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [](const archive::EntryInfo& entry) {
            return entry.method == archive::Method::Lzma;
        }));
    const unsigned streams = Streams(program, entries).count;
    out << setup.string() << ": " << entries.size() << " entries OK"
        << (lzma ? " (" + std::to_string(lzma) + " of them LZMA, in " +
                       (streams == 1 ? std::string("1 stream") : std::to_string(streams) + " streams") + ")"
                 : std::string())
        << (seal.kind == archive::SealStatus::Sound ? ", integrity record OK" : "")
        << (seal.bytesBehind ? " (" + std::to_string(seal.bytesBehind) +
                                   " bytes behind the record)"
                             : std::string())
        << '\n';
    return 0;
}

int ExtractSetup(const fs::path& setup, const fs::path& directory, std::ostream& out,
                 int codePage)
{
    const CodePage& page = PageOf(codePage);
    std::vector<std::uint8_t> program = ReadFileBytes(setup);
    RequireSetupProgram(setup, program);
    archive::SealStatus seal = archive::CheckSeal(program);
    // Refuse before anything is written.
    if (seal.kind == archive::SealStatus::Damaged)
        throw ToolError(setup.string(), "the archive is damaged: " + seal.problem +
                                            "; nothing extracted");
    std::vector<archive::EntryInfo> entries = ReadChain(setup, program, seal, page);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& name = entries[i].name;
        if (!IsSafeStoredName(name.data(), static_cast<unsigned>(name.size())))
            throw ToolError(setup.string(),
                            page.Show(EntryName(i, entries[i]) + ": unsafe stored name"));
    }

    // Written in order up to the first damaged entry; an entry of a
    // damaged stream's later files is lost with it, and a sound entry
    // behind a damaged one is not written either.
    std::size_t next = 0;
    bool stopped = false;
    std::optional<std::string> firstDamage;
    auto write = [&](std::size_t i, std::span<const std::uint8_t> data) {
        if (stopped || i != next) {
            stopped = true;
            return;
        }
        ++next;
        WriteEntry(directory, i, entries[i], data, out);
    };
    DecodeEntries(program, entries, write, [&](std::size_t, const std::string& reason) {
        stopped = true;
        if (!firstDamage) firstDamage = reason;
    });
    if (firstDamage) throw ToolError(setup.string(), page.Show(*firstDamage));
    return 0;
}

} // namespace mksetup
