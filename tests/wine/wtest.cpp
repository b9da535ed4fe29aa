// The test runner: runs every registered case in source order (or those
// whose names contain one of the filters), prints one line per case and
// the summary line. The UI driver's transcript of each case goes to a file
// next to the program and, for a failing case, to stdout as well.
#include "wtest.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <vector>

#include "uidriver.h"

namespace wtest {

Case*& Registry()
{
    static Case* head = nullptr;
    return head;
}

int& Failures()
{
    static int failures = 0;
    return failures;
}

Child*& Children()
{
    static Child* head = nullptr;
    return head;
}

void Fail(const char* file, int line, const std::string& what)
{
    const char* base = file;
    for (const char* p = file; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    std::printf("    FAIL %s:%d: %s\n", base, line, what.c_str());
    std::fflush(stdout);
    ui::Note("FAIL %s:%d: %s", base, line, what.c_str());
    ++Failures();
}

static std::string& SkipReason()
{
    static std::string reason;
    return reason;
}

void Skip(const std::string& reason)
{
    SkipReason() = reason.empty() ? "skipped" : reason;
    ui::Note("SKIP %s", SkipReason().c_str());
}

static std::string ProgramPath()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

std::string ChildCommand(const char* name)
{
    return "\"" + ProgramPath() + "\" --child " + name;
}

int RunAll(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--child") {
        for (Child* c = Children(); c; c = c->next)
            if (std::string(c->name) == argv[2]) return c->run(argc - 2, argv + 2);
        std::printf("no child program %s\n", argv[2]);
        return 2;
    }

    // Registration prepends, so the list runs backwards.
    std::vector<Case*> cases;
    for (Case* c = Registry(); c; c = c->next) cases.push_back(c);
    std::reverse(cases.begin(), cases.end());

    bool verbose = false;
    std::vector<std::string> filters;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-v" || arg == "--verbose") verbose = true;
        else filters.push_back(arg);
    }

    std::string program = ProgramPath();
    std::string transcript = program.substr(0, program.rfind('.')) + ".transcript.txt";
    if (!verbose) ui::SetTranscript(transcript);

    int passed = 0, failed = 0, skipped = 0;
    for (Case* c : cases) {
        if (!filters.empty() &&
            std::none_of(filters.begin(), filters.end(), [&](const std::string& f) {
                return std::string(c->name).find(f) != std::string::npos;
            }))
            continue;
        ui::ClearTranscript();
        ui::Note("=== %s", c->name);
        Failures() = 0;
        SkipReason().clear();
        DWORD start = GetTickCount();
        try {
            c->run();
        } catch (const std::exception& e) {
            Fail(__FILE__, __LINE__, std::string("exception: ") + e.what());
        } catch (...) {
            Fail(__FILE__, __LINE__, "unknown exception");
        }
        unsigned ms = GetTickCount() - start;
        if (Failures() == 0 && !SkipReason().empty()) {
            ++skipped;
            std::printf("  skip %s: %s\n", c->name, SkipReason().c_str());
        } else if (Failures() == 0) {
            ++passed;
            std::printf("  ok   %s (%u ms)\n", c->name, ms);
        } else {
            ++failed;
            std::printf("  FAIL %s (%u ms)\n", c->name, ms);
            if (!verbose) {
                std::printf("    transcript:\n");
                std::string text = ui::Transcript();
                size_t begin = 0;
                while (begin < text.size()) {
                    size_t end = text.find('\n', begin);
                    if (end == std::string::npos) end = text.size();
                    std::printf("    | %s\n", text.substr(begin, end - begin).c_str());
                    begin = end + 1;
                }
            }
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}

} // namespace wtest
