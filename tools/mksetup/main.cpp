// mksetup: makes setup programs (stub + payload archive) and lists,
// verifies and extracts them.
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "commands.h"
#include "tool_error.h"

namespace {

constexpr const char* kUsage =
    "usage: mksetup build --inf FILE --license FILE --root DIR -o OUT\n"
    "                     [--stub FILE] [-1..-9] [PATH...]\n"
    "       mksetup list SETUP\n"
    "       mksetup verify SETUP\n"
    "       mksetup extract SETUP -d DIR\n"
    "       mksetup --help\n";

constexpr const char* kHelp =
    "\n"
    "build    Writes OUT: the stub, then entry 1 the setup information file\n"
    "         (--inf, extracted as Uninstal.inf), entry 2 the license text\n"
    "         (--license, extracted as License.txt), then the application\n"
    "         files: the PATHs below DIR in the order given, or every regular\n"
    "         file below DIR sorted by name. [Install] FileNum must equal the\n"
    "         number of application files. Prints the [Uninstall]/[Copymode]\n"
    "         key of each file. --stub defaults to setup-stub.exe next to\n"
    "         mksetup; -1 packs fastest, -9 (the default) smallest.\n"
    "list     Shows every entry: number, key, size, packed size, the time\n"
    "         the setup program gives the file (UTC) and its attributes.\n"
    "verify   Decodes every entry and checks sizes, damage and names;\n"
    "         exits non-zero naming each bad entry.\n"
    "extract  Writes every entry under its stored name below DIR, with the\n"
    "         modification time the setup program would give it.\n";

// Thrown for a command line that makes no sense; shown with the usage.
struct UsageError {
    std::string text;
};

// Takes the value of an option such as "--inf FILE".
std::string TakeValue(const std::vector<std::string>& args, std::size_t& i)
{
    if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a value"};
    return args[++i];
}

int RunBuild(const std::vector<std::string>& args)
{
    mksetup::BuildOptions options;
    bool haveInf = false, haveLicense = false, haveRoot = false, haveOutput = false;
    bool onlyPaths = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyPaths || arg.empty() || arg[0] != '-') {
            options.paths.push_back(arg);
        } else if (arg == "--") {
            onlyPaths = true;
        } else if (arg == "--inf") {
            options.setupInfo = TakeValue(args, i);
            haveInf = true;
        } else if (arg == "--license") {
            options.license = TakeValue(args, i);
            haveLicense = true;
        } else if (arg == "--root") {
            options.root = TakeValue(args, i);
            haveRoot = true;
        } else if (arg == "-o") {
            options.output = TakeValue(args, i);
            haveOutput = true;
        } else if (arg == "--stub") {
            options.stub = TakeValue(args, i);
        } else if (arg.size() == 2 && arg[1] >= '1' && arg[1] <= '9') {
            options.level = arg[1] - '0';
        } else {
            throw UsageError{"unknown option " + arg};
        }
    }
    if (!haveInf) throw UsageError{"build needs --inf FILE"};
    if (!haveLicense) throw UsageError{"build needs --license FILE"};
    if (!haveRoot) throw UsageError{"build needs --root DIR"};
    if (!haveOutput) throw UsageError{"build needs -o OUT"};
    options.progress = ::isatty(STDERR_FILENO); // the line goes to stderr
    return mksetup::BuildSetup(options, std::cout);
}

int Run(const std::vector<std::string>& args)
{
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage << kHelp;
        return 0;
    }
    if (command == "build") return RunBuild(args);
    if (command == "list" || command == "verify") {
        if (args.size() != 2) throw UsageError{command + " takes one SETUP file"};
        return command == "list" ? mksetup::ListSetup(args[1], std::cout)
                                 : mksetup::VerifySetup(args[1], std::cout, std::cerr);
    }
    if (command == "extract") {
        std::string setup, directory;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "-d") directory = TakeValue(args, i);
            else if (setup.empty()) setup = args[i];
            else throw UsageError{"extract takes one SETUP file"};
        }
        if (setup.empty() || directory.empty())
            throw UsageError{"extract needs SETUP and -d DIR"};
        return mksetup::ExtractSetup(setup, directory, std::cout);
    }
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
