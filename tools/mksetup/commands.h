// The four commands of mksetup. Each writes its report to `out`, throws
// ToolError on an error that stops it at once (an input it cannot read, a
// damaged setup program), and returns the exit status.
#pragma once
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace mksetup {

struct BuildOptions {
    std::filesystem::path setupInfo;  // --inf
    std::filesystem::path license;    // --license
    std::filesystem::path root;       // --root
    std::filesystem::path output;     // -o
    std::optional<std::filesystem::path> stub; // --stub; else next to mksetup
    int level = 9;                    // -1 .. -9
    std::vector<std::string> paths;   // the application files, or all
    int codePage = 1252;              // --codepage: the texts' and names' page
    bool allFiles = false;            // --all-files: hidden files and backups too
    bool progress = false;            // show a progress line
};

// Reports every problem of the inputs on `errors` before anything is
// written; returns 1 when one is an error.
int BuildSetup(const BuildOptions& options, std::ostream& out, std::ostream& errors);
int ListSetup(const std::filesystem::path& setup, std::ostream& out);
// Reports every bad entry on `errors`; returns 1 when there was one.
int VerifySetup(const std::filesystem::path& setup, std::ostream& out,
                std::ostream& errors);
int ExtractSetup(const std::filesystem::path& setup,
                 const std::filesystem::path& directory, std::ostream& out);

} // namespace mksetup
