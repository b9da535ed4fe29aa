// mksetup build: checks every input, reports all that is wrong at once, and
// only then writes the setup program.
#include <cstdio>
#include <iomanip>

#include "archive.h"
#include "author_text.h"
#include "code_page.h"
#include "commands.h"
#include "diagnostics.h"
#include "file_io.h"
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

std::vector<std::uint8_t> PackText(const AuthorText& text, const CodePage& page)
{
    std::vector<std::string> lines;
    for (const std::string& line : text.lines) lines.push_back(EncodeLine(line, page).value());
    return JoinLines(lines, text.lastLineEnded);
}

} // namespace

int BuildSetup(const BuildOptions& options, std::ostream& out, std::ostream& errors)
{
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

    CollectOptions collect;
    collect.codePage = page;
    collect.allFiles = options.allFiles;
    std::vector<PackageFile> files =
        CollectFiles(options.root, options.paths, collect, diagnostics);
    if (files.size() > kMaxApplicationFiles)
        diagnostics.Error(options.root.string(), 0,
                          std::to_string(files.size()) +
                              " files are more than the setup program can record (at most " +
                              std::to_string(kMaxApplicationFiles) + ")");

    std::vector<BuildInput> inputs = {
        {options.setupInfo, "the setup information file (--inf)"},
        {options.license, "the license (--license)"},
        {stubPath, "the stub"}};
    for (const PackageFile& file : files)
        inputs.push_back({file.source, "the application file " + file.name});
    CheckOutputPath(options.output, options.root, inputs, diagnostics);

    ScriptPlan plan;
    if (setupInfo) {
        SetupInfo info = SetupInfo::Parse(setupInfo->lines);
        ScriptInput script{options.setupInfo.string(), &*setupInfo, &info, page, &files};
        plan = CheckScript(script, diagnostics);
    }

    diagnostics.Print(errors);
    if (diagnostics.errors()) {
        errors << "mksetup: " << Count(diagnostics.errors(), "error") << " and "
               << Count(diagnostics.warnings(), "warning") << "; "
               << options.output.string() << " not written\n";
        return 1;
    }

    std::vector<Source> sources;
    sources.push_back({options.setupInfo, kSetupInfoName, kSetupInfoName,
                       PackScript(*setupInfo, plan, *page, files.size())});
    sources.push_back({options.license, kLicenseName, kLicenseName, PackText(*license, *page)});
    for (const PackageFile& file : files)
        sources.push_back({file.source, file.storedName, file.name, std::nullopt});

    std::uint64_t total = 0;
    for (const Source& source : sources) {
        std::error_code error;
        total += fs::file_size(source.path, error);
    }
    ProgressLine progress(options.progress && total >= kProgressThreshold, total);

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
        std::vector<std::uint8_t> entry;
        try {
            entry = archive::MakeEntry(wanted, options.level);
        } catch (const std::length_error& error) {
            throw ToolError(source.path.string(), error.what());
        }
        program.insert(program.end(), entry.begin(), entry.end());
        // The setup program walks its archive with 32-bit offsets, and
        // the integrity record follows it.
        if (program.size() > 0xFFFFFFFFu - archive::kRecordSize)
            throw ToolError(options.output.string(),
                            "the setup program would be larger than 4 GiB");
    }
    // The trailer in the stub and the record behind the last entry let the
    // setup program refuse a cut or damaged copy before it writes anything.
    archive::Seal(program);

    progress.Clear();
    WriteFileAtomically(options.output, program);
    for (std::size_t i = 0; i < files.size(); ++i)
        out << std::left << std::setw(8) << FileKeyOf(i) << ' ' << files[i].name << "  "
            << CopyModeText(plan.copyModes[i]) << '\n';
    out << options.output.string() << ": " << sources.size() << " entries, "
        << program.size() << " bytes\n";
    return 0;
}

} // namespace mksetup
