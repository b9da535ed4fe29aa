// mksetup: makes setup programs (stub + payload archive) and lists,
// verifies and extracts them.
#include <cctype>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "code_page.h"
#include "commands.h"
#include "tool_error.h"

#ifndef MKSETUP_VERSION
#define MKSETUP_VERSION "1.0"
#endif

namespace {

constexpr const char* kUsage =
    "usage: mksetup build --inf FILE --license FILE --root DIR -o OUT\n"
    "                     [--stub FILE] [--codepage N] [--all-files] [--reflow-license]\n"
    "                     [--verbose] [--method lzhuf|lzma --preview] [--no-solid]\n"
    "                     [--dictionary MIB] [-1..-9] [PATH...]\n"
    "       mksetup list [--codepage N] SETUP\n"
    "       mksetup verify [--codepage N] SETUP\n"
    "       mksetup extract [--codepage N] SETUP -d DIR\n"
    "       mksetup COMMAND --help | --help | --version\n";

constexpr const char* kBuildHelp =
    "build    Checks the setup information file against the files to pack and\n"
    "         reports every error and warning at once (FILE:LINE: error: ...);\n"
    "         writes OUT only when there is no error: the stub, then entry 1\n"
    "         the setup information file (--inf, extracted as Uninstal.inf),\n"
    "         entry 2 the license text (--license, extracted as License.txt),\n"
    "         then the application files: the PATHs below DIR in the order\n"
    "         given, or every file below DIR sorted by name, hidden files and\n"
    "         editor backups left out (--all-files packs them). Both texts are\n"
    "         packed with CR LF line ends, converted from UTF-8 to the ANSI\n"
    "         code page --codepage (default 1252), as are the stored names.\n"
    "         FileNum may be left out, and [Copymode] may name files by their\n"
    "         stored path (data\\config.ini=3): mksetup writes both into the\n"
    "         packed copy. Prints a summary; --verbose also prints the\n"
    "         [Uninstall]/[Copymode] key of each file (filea ... file~,\n"
    "         file31, file32, ...). --reflow-license joins the lines of each\n"
    "         paragraph of the license so that the license box wraps them\n"
    "         evenly. --stub defaults to setup-stub.exe next to mksetup; -1\n"
    "         packs fastest, -9 (the default) smallest. --method lzma packs\n"
    "         the application files with LZMA (the two texts stay LZHUF):\n"
    "         one solid stream over all of them, or one per file with\n"
    "         --no-solid; programs go through the x86 branch filter; the\n"
    "         dictionary is at most --dictionary MIB (1 to 64, default 8,\n"
    "         the most a 16 MB Windows 95 machine can give) and never more\n"
    "         than the files hold. The setup program of this release cannot\n"
    "         install LZMA entries yet (\"File Error!\"): --method lzma needs\n"
    "         --preview, and such a program is for list, verify, extract and\n"
    "         measurements. Options take their value after a blank or\n"
    "         after \"=\" (--inf=setup.inf).\n";
constexpr const char* kListHelp =
    "list     Shows every entry: number, key, size, packed size, method\n"
    "         (LZHUF, LZMA, LZMA+x86) and LZMA stream, the time the setup\n"
    "         program gives the file (UTC), its attributes and its name, read\n"
    "         in code page --codepage (default 1252); and the memory the setup\n"
    "         program allocates for its largest LZMA stream.\n";
constexpr const char* kVerifyHelp =
    "verify   Decodes every entry and checks sizes, damage, names, FileNum\n"
    "         and the shortcuts of [Links]; exits non-zero naming each\n"
    "         problem.\n";
constexpr const char* kExtractHelp =
    "extract  Writes every entry under its stored name below DIR, with the\n"
    "         modification time the setup program would give it.\n";

// The largest --dictionary: that of liblzma's own -9, already eight times
// what a Windows 95 machine with 16 MB can give the setup program.
constexpr unsigned kMaxDictionaryMiB = 64;

// Thrown for a command line that makes no sense; shown with the usage.
struct UsageError {
    std::string text;
};

struct OptionForm {
    const char* name;  // "--inf", "-o"
    const char* alias; // another spelling, or nullptr
    bool takesValue;
};

// The options of one command, in the forms "--name VALUE", "--name=VALUE"
// and, for one-letter ones, "-o VALUE"; operands in between and after "--".
class Arguments {
public:
    Arguments(const std::vector<std::string>& args, std::vector<OptionForm> forms)
    {
        bool onlyOperands = false;
        for (std::size_t i = 1; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (onlyOperands || arg.size() < 2 || arg[0] != '-') {
                operands.push_back(arg);
                continue;
            }
            if (arg == "--") {
                onlyOperands = true;
                continue;
            }
            if (arg == "--help" || arg == "-h") {
                help = true;
                continue;
            }
            std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string::npos;
            std::string name = arg.substr(0, equals);
            const OptionForm* form = nullptr;
            for (const OptionForm& candidate : forms)
                if (name == candidate.name || (candidate.alias && name == candidate.alias))
                    form = &candidate;
            if (!form) throw UsageError{"unknown option " + name + " for " + args[0]};
            std::string value;
            if (form->takesValue) {
                if (equals != std::string::npos) value = arg.substr(equals + 1);
                else if (i + 1 < args.size()) value = args[++i];
                else throw UsageError{name + " needs a value"};
                if (value.empty()) throw UsageError{name + " needs a value"};
            } else if (equals != std::string::npos) {
                throw UsageError{name + " takes no value"};
            }
            values.push_back({form->name, value});
        }
    }

    // The last value given for the option (a later one wins), or nothing.
    std::optional<std::string> Value(const char* name) const
    {
        std::optional<std::string> found;
        for (const auto& [option, value] : values)
            if (option == name) found = value;
        return found;
    }

    bool Has(const char* name) const { return Value(name).has_value(); }

    bool help = false;
    std::vector<std::string> operands;
    std::vector<std::pair<std::string, std::string>> values; // in order
};

int ShowHelp(const char* text)
{
    std::cout << kUsage << '\n' << text;
    return 0;
}

int ParseCodePage(const std::string& text)
{
    int number = 0;
    bool digits = !text.empty() && text.size() <= 5 &&
                  text.find_first_not_of("0123456789") == std::string::npos;
    if (digits) number = std::stoi(text);
    if (!digits || !mksetup::CodePage::Find(number)) {
        std::string supported;
        for (int page : mksetup::CodePage::Numbers())
            supported += (supported.empty() ? "" : ", ") + std::to_string(page);
        throw UsageError{"--codepage " + text + " is not supported; the supported ANSI "
                         "code pages are " + supported};
    }
    return number;
}

archive::Method ParseMethod(const std::string& text)
{
    std::string name = text;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "lzhuf") return archive::Method::Lzhuf;
    if (name == "lzma") return archive::Method::Lzma;
    throw UsageError{"--method " + text + " is not a method; the methods are lzhuf (the "
                     "default) and lzma"};
}

unsigned ParseDictionary(const std::string& text)
{
    unsigned mib = 0;
    bool digits = !text.empty() && text.size() <= 3 &&
                  text.find_first_not_of("0123456789") == std::string::npos;
    if (digits) mib = static_cast<unsigned>(std::stoi(text));
    if (!digits || mib < 1 || mib > kMaxDictionaryMiB)
        throw UsageError{"--dictionary " + text + " is out of range: the LZMA dictionary is "
                         "1 to " + std::to_string(kMaxDictionaryMiB) + " MiB (default 8)"};
    return mib;
}

int RunBuild(const std::vector<std::string>& args)
{
    std::vector<OptionForm> forms = {
        {"--inf", nullptr, true},       {"--license", nullptr, true},
        {"--root", nullptr, true},      {"-o", "--output", true},
        {"--stub", nullptr, true},      {"--codepage", nullptr, true},
        {"--all-files", nullptr, false}, {"--reflow-license", nullptr, false},
        {"--verbose", "-v", false},     {"--method", nullptr, true},
        {"--no-solid", nullptr, false},  {"--dictionary", nullptr, true},
        {"--preview", nullptr, false}};
    for (const char* level : {"-1", "-2", "-3", "-4", "-5", "-6", "-7", "-8", "-9"})
        forms.push_back({level, nullptr, false});
    Arguments arguments(args, forms);
    if (arguments.help) return ShowHelp(kBuildHelp);

    mksetup::BuildOptions options;
    auto required = [&](const char* name, const char* what) {
        std::optional<std::string> value = arguments.Value(name);
        if (!value) throw UsageError{std::string("build needs ") + name + " " + what};
        return *value;
    };
    options.setupInfo = required("--inf", "FILE");
    options.license = required("--license", "FILE");
    options.root = required("--root", "DIR");
    options.output = required("-o", "OUT");
    if (auto stub = arguments.Value("--stub")) options.stub = *stub;
    if (auto page = arguments.Value("--codepage")) options.codePage = ParseCodePage(*page);
    options.allFiles = arguments.Has("--all-files");
    options.reflowLicense = arguments.Has("--reflow-license");
    options.verbose = arguments.Has("--verbose");
    for (const auto& [option, value] : arguments.values)
        if (option.size() == 2 && option[1] >= '1' && option[1] <= '9')
            options.level = option[1] - '0';
    if (auto method = arguments.Value("--method")) options.method = ParseMethod(*method);
    const bool lzma = options.method == archive::Method::Lzma;
    // The setup program refuses LZMA entries ("File Error!") until its
    // decoder fits the stub: such a program can be read, not installed.
    if (lzma && !arguments.Has("--preview"))
        throw UsageError{"--method lzma: the setup program of this release cannot install "
                         "LZMA entries (its decoder does not fit the stub yet; they end in "
                         "\"File Error!\"); add --preview to pack them for list, verify, "
                         "extract and measurements"};
    if (arguments.Has("--preview") && !lzma)
        throw UsageError{"--preview is an option of --method lzma"};
    if (arguments.Has("--no-solid") && !lzma)
        throw UsageError{"--no-solid is an option of --method lzma"};
    options.solid = !arguments.Has("--no-solid");
    if (auto dictionary = arguments.Value("--dictionary")) {
        if (!lzma) throw UsageError{"--dictionary is an option of --method lzma"};
        options.dictionaryMiB = ParseDictionary(*dictionary);
    }
    options.paths = arguments.operands;
    options.progress = ::isatty(STDERR_FILENO); // the line goes to stderr
    return mksetup::BuildSetup(options, std::cout, std::cerr);
}

int RunReader(const std::vector<std::string>& args)
{
    const std::string& command = args[0];
    bool extract = command == "extract";
    std::vector<OptionForm> forms = {{"--codepage", nullptr, true}};
    if (extract) forms.push_back({"-d", "--directory", true});
    Arguments arguments(args, forms);
    if (arguments.help)
        return ShowHelp(extract ? kExtractHelp : command == "list" ? kListHelp : kVerifyHelp);
    if (arguments.operands.size() != 1) throw UsageError{command + " takes one SETUP file"};
    const std::string& setup = arguments.operands[0];
    int page = mksetup::kDefaultCodePage;
    if (auto given = arguments.Value("--codepage")) page = ParseCodePage(*given);
    if (command == "list") return mksetup::ListSetup(setup, std::cout, page);
    if (command == "verify") return mksetup::VerifySetup(setup, std::cout, std::cerr, page);
    std::optional<std::string> directory = arguments.Value("-d");
    if (!directory) throw UsageError{"extract needs SETUP and -d DIR"};
    return mksetup::ExtractSetup(setup, *directory, std::cout, page);
}

int Run(const std::vector<std::string>& args)
{
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        if (args.size() >= 2 && command == "help")
            return Run({args[1], "--help"});
        std::cout << kUsage << '\n' << kBuildHelp << kListHelp << kVerifyHelp << kExtractHelp;
        return 0;
    }
    if (command == "--version") {
        std::cout << "mksetup " MKSETUP_VERSION "\n"
                  << "stub: 38914 bytes (38912-byte image and CR LF), archive from offset "
                     "38914\ncode pages:";
        for (int page : mksetup::CodePage::Numbers()) std::cout << ' ' << page;
        std::cout << '\n';
        return 0;
    }
    if (command == "build") return RunBuild(args);
    if (command == "list" || command == "verify" || command == "extract") return RunReader(args);
    throw UsageError{"unknown command " + command};
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return Run(args);
    } catch (const UsageError& error) {
        std::cerr << "mksetup: " << error.text << '\n' << kUsage;
        return 2;
    } catch (const mksetup::ToolError& error) {
        std::cout.flush();
        std::cerr << error.what() << '\n';
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "mksetup: " << error.what() << '\n';
        return 1;
    }
}
