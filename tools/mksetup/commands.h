// The four commands of mksetup. Each writes its report to `out`, throws
// ToolError on an error that stops it at once (an input it cannot read, a
// damaged setup program), and returns the exit status.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "archive.h"

namespace mksetup {

struct BuildOptions {
    std::filesystem::path setupInfo;  // --inf
    std::filesystem::path license;    // --license
    std::filesystem::path root;       // --root
    std::filesystem::path output;     // -o
    std::optional<std::filesystem::path> stub; // --stub; else next to mksetup
    int level = 9;                    // -1 .. -9
    // --method: how the application files are packed (the two texts are
    // LZHUF whatever it says).
    archive::Method method = archive::Method::Lzhuf;
    bool solid = true;                // without --no-solid: one LZMA stream
    unsigned dictionaryMiB = 8;       // --dictionary: the LZMA dictionary at most
    std::vector<std::string> paths;   // the application files, or all
    int codePage = 1252;              // --codepage: the texts' and names' page
    bool allFiles = false;            // --all-files: hidden files and backups too
    bool reflowLicense = false;       // --reflow-license: join each paragraph's lines
    bool verbose = false;             // --verbose: the key table too
    bool progress = false;            // show a progress line
    // The largest setup program to make; smaller only in tests.
    std::uint64_t sizeLimit = 0xFFFFFFFFu;
};

// Reports every problem of the inputs on `errors` before anything is
// written; returns 1 when one is an error.
int BuildSetup(const BuildOptions& options, std::ostream& out, std::ostream& errors);
// The readers show text from the program (stored names, values of the
// setup information file) decoded from `codePage`, control characters and
// bytes the page leaves undefined as \xNN.
int ListSetup(const std::filesystem::path& setup, std::ostream& out, int codePage = 1252);
// Reports every bad entry on `errors`; returns 1 when there was one.
int VerifySetup(const std::filesystem::path& setup, std::ostream& out,
                std::ostream& errors, int codePage = 1252);
int ExtractSetup(const std::filesystem::path& setup,
                 const std::filesystem::path& directory, std::ostream& out,
                 int codePage = 1252);

} // namespace mksetup
