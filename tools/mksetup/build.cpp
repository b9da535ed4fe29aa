// mksetup build: checks every input, reports all that is wrong at once, and
// only then writes the setup program.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iomanip>

#include "archive.h"
#include "author_text.h"
#include "code_page.h"
#include "commands.h"
#include "diagnostics.h"
#include "entry_format.h"
#include "file_io.h"
#include "license_box.h"
#include "lzma2_decode.h"
#include "lzma_pack.h"
#include "output_guard.h"
#include "package.h"
#include "seal.h"
#include "setup_check.h"
#include "setup_info.h"
#include "stub_image.h"
#include "tool_error.h"

namespace fs = std::filesystem;

namespace mksetup {
namespace {

constexpr std::uint64_t kProgressThreshold = 4u << 20; // bytes of input
constexpr std::uint64_t kMaxEntryData = 0xFFFFFFFFu;     // decodedSize is 32 bits

// One line on the terminal that is rewritten as the build goes on.
class ProgressLine {
public:
    ProgressLine(bool enabled, std::uint64_t total) : enabled_(enabled), total_(total) {}
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { Clear(); }

    void Clear()
    {
        if (shown_) std::fputs("\r\x1b[K", stderr);
        shown_ = false;
    }

    void Show(std::size_t number, std::size_t count, const std::string& name,
              std::uint64_t done)
    {
        if (!enabled_) return;
        std::fprintf(stderr, "\r\x1b[Kmksetup: packing %zu/%zu (%llu of %llu MiB) %s",
                     number, count, static_cast<unsigned long long>(done >> 20),
                     static_cast<unsigned long long>(total_ >> 20), name.c_str());
        std::fflush(stderr);
        shown_ = true;
    }

private:
    bool enabled_;
    std::uint64_t total_;
    bool shown_ = false;
};

// One entry to pack: its bytes already prepared, or a file to read.
struct Source {
    fs::path path;
    std::string storedName;
    std::string shownName;
    std::optional<std::vector<std::uint8_t>> data;
};

std::string CopyModeText(long long mode)
{
    // As the setup program reads it: only 2 and 3 differ from 1.
    const char* effect = mode == 2 ? "ask" : mode == 3 ? "keep" : "replace";
    return "copymode " + std::to_string(mode) + " (" + effect + ")";
}

std::string Count(std::size_t n, const char* what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// Reads one of the author's texts; reports what cannot be packed, and what
// packing changes.
std::optional<AuthorText> ReadText(const fs::path& path, const CodePage& page,
                                   Diagnostics& diagnostics)
{
    std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    std::optional<AuthorText> text = ReadAuthorText(bytes, path.string(), diagnostics);
    if (!text || !CheckCodePage(*text, page, path.string(), diagnostics)) return text;
    std::string summary = ConversionSummary(*text, page);
    if (!summary.empty()) diagnostics.Note(path.string(), 0, "converted for the setup program: " + summary);
    return text;
}

std::vector<std::uint8_t> PackText(const std::vector<std::string>& text, bool lastLineEnded,
                                   const CodePage& page)
{
    std::vector<std::string> lines;
    for (const std::string& line : text) lines.push_back(EncodeLine(line, page).value());
    return JoinLines(lines, lastLineEnded);
}

std::size_t Characters(std::string_view utf8)
{
    while (!utf8.empty() && (utf8.back() == ' ' || utf8.back() == '\t')) utf8.remove_suffix(1);
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Notes a license whose lines the license box breaks once more before the
// next line of the same paragraph (the widest of them, once): a paragraph
// then reads as long and short lines by turns. A paragraph written as one
// line the box wraps evenly. Notes what --reflow-license did, too.
void NoteLicenseLayout(const LicenseLines& license, bool reflowed, const std::string& file,
                       Diagnostics& diagnostics)
{
    if (reflowed && license.paragraphs)
        diagnostics.Note(file, 0, "--reflow-license joined the lines of " +
                                      Count(license.paragraphs, "paragraph") +
                                      " into one line each, which the license box wraps");
    std::size_t wide = 0, widest = 0;
    int widestWidth = 0;
    for (std::size_t i = 0; i < license.lines.size(); ++i) {
        bool continued = i + 1 < license.lines.size() &&
                         license.lines[i + 1].find_first_not_of(" \t") != std::string::npos;
        if (license.joined[i] || !continued) continue;
        int width = LicenseLineWidth(license.lines[i]);
        if (width <= kLicenseBoxPixels) continue;
        ++wide;
        if (width > widestWidth) widestWidth = width, widest = i;
    }
    if (!wide) return;
    std::string lines = wide == 1 ? "1 line" : std::to_string(wide) + " lines";
    std::string are = wide == 1 ? " is" : " are";
    std::string which = "the widest is this one, " +
                        std::to_string(Characters(license.lines[widest])) + " characters in " +
                        std::to_string(widestWidth) + " of the box's " +
                        std::to_string(kLicenseBoxPixels) + " pixels";
    if (!reflowed)
        diagnostics.Note(file, license.origin[widest],
                         lines + are +
                             " wider than the license box, which holds about 70 characters "
                             "of text a line (" + which + ")" +
                             "; the setup program wraps such lines raggedly, and "
                             "--reflow-license joins the lines of each paragraph so that the "
                             "box wraps them evenly");
    else
        diagnostics.Note(file, license.origin[widest],
                         lines + " left as written (indented, a list or a table)" + are +
                             " wider than the license box (" + which +
                             "), and the setup program wraps " + (wide == 1 ? "it" : "them"));
}

// The size of each application file, taken before any is read: a file of
// 4 GiB or more cannot be an entry, and reading it would only exhaust the
// memory.
std::vector<std::uint64_t> FileSizes(const std::vector<PackageFile>& files,
                                     Diagnostics& diagnostics)
{
    std::vector<std::uint64_t> sizes;
    for (const PackageFile& file : files) {
        std::error_code error;
        std::uintmax_t size = fs::file_size(file.source, error);
        if (error) size = 0; // reading it reports why
        if (size > kMaxEntryData)
            diagnostics.Error(file.source.string(), 0,
                              "is " + Thousands(size) + " bytes; an entry of the setup program "
                              "holds at most " + Thousands(kMaxEntryData) + " (4 GiB - 1)");
        sizes.push_back(size);
    }
    return sizes;
}

std::string Percent(std::uint64_t part, std::uint64_t whole)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%",
                  whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
    return text;
}

// The largest dictionary a setup program of ours is promised to get: what
// a Windows 95 machine with 16 MB gives besides the system.
constexpr std::uint32_t kPromisedDictionary = lzmapack::kDefaultDictSize;

std::string MiBText(std::uint64_t bytes)
{
    if (bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes % (1u << 10) == 0) return Thousands(bytes >> 10) + " KiB";
    return Thousands(bytes) + " bytes";
}

// The LZMA options of a build: the level's preset and the dictionary the
// author allows. The setup program learns a stream's dictionary from a
// byte that states 2 or 3 times a power of two and allocates that much, so
// a size between two of them is taken down to the one below, which the
// setup program then allocates exactly; a note says so.
lzmapack::Options LzmaOptions(const BuildOptions& options, Diagnostics& diagnostics)
{
    lzmapack::Options lzma;
    lzma.preset = options.level;
    lzma.solid = options.solid;
    const std::uint32_t asked = options.dictionaryMiB << 20;
    std::uint8_t byte = lzmapack::DictionaryByte(asked);
    if (Lzma2DictSize(byte) > asked) byte--;
    lzma.dictSize = static_cast<std::uint32_t>(Lzma2DictSize(byte));
    if (lzma.dictSize != asked)
        diagnostics.Note("--dictionary " + std::to_string(options.dictionaryMiB), 0,
                         "the setup program is told a dictionary as 2 or 3 times a power of "
                         "two (1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48 or 64 MiB): packed with " +
                         MiBText(lzma.dictSize) + ", the largest of them up to " +
                         std::to_string(options.dictionaryMiB) + " MiB");
    return lzma;
}

// Warns when the dictionary of the largest stream is more than a 16 MB
// Windows 95 machine is promised: `sizes` are the application files'.
void CheckDictionaryMemory(const BuildOptions& options, const lzmapack::Options& lzma,
                           const std::vector<std::uint64_t>& sizes, Diagnostics& diagnostics)
{
    std::uint64_t largest = 0, total = 0;
    for (std::uint64_t size : sizes) largest = std::max(largest, size), total += size;
    const std::uint64_t stream = lzma.solid ? total : largest;
    // What the setup program allocates: the dictionary, but no more than
    // the stream holds.
    const std::uint64_t dictionary = std::min<std::uint64_t>(lzmapack::DictionaryFor(stream, lzma), stream);
    if (dictionary <= kPromisedDictionary) return;
    const std::uint64_t state = sizeof(Lzma2Decoder);
    char megabytes[32];
    std::snprintf(megabytes, sizeof megabytes, "%.1f",
                  static_cast<double>(dictionary + state) / 1e6);
    diagnostics.Warning("--dictionary " + std::to_string(options.dictionaryMiB), 0,
                        "the setup program needs about " + std::string(megabytes) +
                            " MB of memory to install this package (a dictionary of " +
                            MiBText(dictionary) + " and about " +
                            std::to_string((state + 500) / 1000) +
                            " KB of decoder state), more than a Windows 95 machine with "
                            "16 MB can give, which gets 8 MiB (the default); where it cannot "
                            "allocate the dictionary, it stops with \"File Error!\"");
}

// What the summary says of the method: "LZHUF -9", or "LZMA -9 (1 solid
// stream, dictionary 8 MiB, x86 filter on 3 files)".
std::string MethodSummary(const BuildOptions& options, std::size_t files, std::size_t x86,
                          std::uint32_t largestDictionary)
{
    const std::string level = " -" + std::to_string(options.level);
    if (options.method == archive::Method::Lzhuf) return "LZHUF" + level;
    std::string text = "LZMA" + level + " (";
    if (files == 0) return text + "no stream)";
    text += options.solid ? "1 solid stream, dictionary " : Count(files, "stream") + ", dictionaries up to ";
    text += MiBText(largestDictionary) + ", x86 filter on " + Count(x86, "file") + ")";
    return text;
}

} // namespace

int BuildSetup(const BuildOptions& options, std::ostream& out, std::ostream& errors)
{
    const auto started = std::chrono::steady_clock::now();
    const CodePage* page = CodePage::Find(options.codePage);
    if (!page)
        throw ToolError("--codepage " + std::to_string(options.codePage), "not supported");
    Diagnostics diagnostics;

    fs::path stubPath = options.stub ? *options.stub
                                     : ExecutableDirectory() / "setup-stub.exe";
    std::vector<std::uint8_t> program = ReadFileBytes(stubPath);
    std::string stubProblem;
    StubImage stub = ReadStubImage(program, &stubProblem);
    if (!stubProblem.empty())
        diagnostics.Error(stubPath.string(), 0, stubProblem);
    else if (stub.machine == kMachineX8664)
        diagnostics.Note(stubPath.string(), 0,
                         "an x86-64 program (a test build): the setup program runs only "
                         "on 64-bit Windows");

    std::optional<AuthorText> setupInfo = ReadText(options.setupInfo, *page, diagnostics);
    std::optional<AuthorText> license = ReadText(options.license, *page, diagnostics);
    LicenseLines licenseLines;
    if (license) {
        licenseLines = options.reflowLicense ? ReflowLicense(license->lines)
                                             : LicenseAsWritten(license->lines);
        NoteLicenseLayout(licenseLines, options.reflowLicense, options.license.string(),
                          diagnostics);
    }

    CollectOptions collect;
    collect.codePage = page;
    collect.allFiles = options.allFiles;
    std::vector<PackageFile> files =
        CollectFiles(options.root, options.paths, collect, diagnostics);
    std::vector<std::uint64_t> sizes = FileSizes(files, diagnostics);
    const bool lzma = options.method == archive::Method::Lzma;
    lzmapack::Options lzmaOptions;
    if (lzma) {
        lzmaOptions = LzmaOptions(options, diagnostics);
        CheckDictionaryMemory(options, lzmaOptions, sizes, diagnostics);
    }

    std::vector<BuildInput> inputs = {
        {options.setupInfo, "the setup information file (--inf)"},
        {options.license, "the license (--license)"},
        {stubPath, "the stub"}};
    for (const PackageFile& file : files)
        inputs.push_back({file.source, "the application file " + file.name});
    CheckOutputPath(options.output, options.root, inputs, diagnostics);

    ScriptPlan plan;
    std::vector<std::uint8_t> packedInfo;
    if (setupInfo) {
        SetupInfo info = SetupInfo::Parse(setupInfo->lines);
        ScriptInput script{options.setupInfo.string(), &*setupInfo, &info, page, &files};
        plan = CheckScript(script, diagnostics);
        if (!diagnostics.errors()) {
            packedInfo = PackScript(*setupInfo, plan, *page, files.size());
            CheckUninstallLog(script, plan, packedInfo.size(), diagnostics);
        }
    }

    diagnostics.Print(errors);
    if (diagnostics.errors()) {
        errors << "mksetup: " << Count(diagnostics.errors(), "error") << " and "
               << Count(diagnostics.warnings(), "warning") << "; "
               << options.output.string() << " not written\n";
        return 1;
    }

    std::vector<Source> sources;
    sources.push_back({options.setupInfo, kSetupInfoName, kSetupInfoName, std::move(packedInfo)});
    sources.push_back({options.license, kLicenseName, kLicenseName,
                       PackText(licenseLines.lines, license->lastLineEnded, *page)});
    for (const PackageFile& file : files)
        sources.push_back({file.source, file.storedName, file.name, std::nullopt});

    // What is to be packed, and room for the program it makes: the inputs
    // and what the headers and a little growth of the streams add, but no
    // more than the largest program there may be.
    std::uint64_t total = sources[0].data->size() + sources[1].data->size();
    for (std::uint64_t size : sizes) total += size;
    std::uint64_t room = program.size() + total + total / 64 + archive::kRecordSize;
    for (const Source& source : sources) room += ENTRY_FIXED_SIZE + source.storedName.size() + 16;
    program.reserve(static_cast<std::size_t>(std::min(room, options.sizeLimit)));
    ProgressLine progress(options.progress && total >= kProgressThreshold, total);

    // The application files' LZMA streams, packed as the files are read.
    std::optional<lzmapack::Packer> packer;
    if (lzma) packer.emplace(lzmaOptions, sizes);
    std::size_t x86Files = 0;
    std::uint32_t largestDictionary = 0;

    std::uint64_t done = 0;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const Source& source = sources[i];
        progress.Show(i + 1, sources.size(), source.shownName, done);
        archive::EntrySpec wanted;
        wanted.name = source.storedName;
        wanted.data = source.data ? *source.data : ReadFileBytes(source.path);
        DosStamp stamp = StoredStampFor(ModificationTime(source.path));
        wanted.dosDate = stamp.date;
        wanted.dosTime = stamp.time;
        wanted.attributes = 0x20;
        done += wanted.data.size();
        try {
            if (packer && i >= 2) {
                largestDictionary = std::max(largestDictionary, packer->NextDictionary());
                std::vector<std::uint8_t> part = packer->Next({source.shownName, wanted.data});
                if (part[0] & lzmapack::kFlagX86) ++x86Files;
                archive::AppendLzmaEntry(program, wanted, part);
            } else {
                archive::AppendEntry(program, wanted, options.level);
            }
        } catch (const std::length_error& error) {
            throw ToolError(source.path.string(), error.what());
        }
        // The setup program reads its archive with 32-bit offsets, and the
        // integrity record follows the last entry.
        if (program.size() + archive::kRecordSize > options.sizeLimit)
            throw ToolError(options.output.string(),
                            "the setup program would pass " + Thousands(options.sizeLimit) +
                                " bytes, the most the setup program can read: it reaches " +
                                Thousands(program.size() + archive::kRecordSize) +
                                " bytes with entry " + std::to_string(i + 1) + " of " +
                                std::to_string(sources.size()) + " (" + source.shownName +
                                "), and " + Thousands(total - done) +
                                " bytes of files are still to be packed");
    }
    // The trailer in the stub and the record behind the last entry let the
    // setup program refuse a cut or damaged copy before it writes anything.
    archive::Seal(program);

    progress.Clear();
    WriteFileAtomically(options.output, program);
    if (options.verbose) {
        std::size_t width = 8;
        if (!files.empty()) width = std::max(width, FileKeyOf(files.size() - 1).size());
        for (std::size_t i = 0; i < files.size(); ++i)
            out << std::left << std::setw(static_cast<int>(width)) << FileKeyOf(i) << ' '
                << files[i].name << "  " << CopyModeText(plan.copyModes[i]) << '\n';
    }
    const std::uint64_t archiveBytes = program.size() - archive::StubSizeOf(program);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.2f s", seconds);
    out << options.output.string() << ": " << Count(files.size(), "application file") << ", "
        << MethodSummary(options, files.size(), x86Files, largestDictionary) << ", "
        << Thousands(total) << " bytes in, " << Thousands(archiveBytes) << " bytes out ("
        << Percent(archiveBytes, total) << "), " << Thousands(program.size())
        << " bytes with the stub, " << elapsed << '\n';
    return 0;
}

} // namespace mksetup
