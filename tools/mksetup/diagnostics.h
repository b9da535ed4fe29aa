// What mksetup tells the author about the inputs of a build, collected over
// the whole run and shown at once, the way a compiler reports:
//   setup.inf:12: error: linkb=Help.txt: no packed file is named Help.txt
//   files/.DS_Store: warning: hidden file not packed (--all-files packs it)
#pragma once
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace mksetup {

enum class Severity { Note, Warning, Error };

struct Diagnostic {
    Severity severity = Severity::Error;
    std::string file;      // the input as the author named it
    std::size_t line = 0;  // 1-based; 0 for the file as a whole
    std::string text;
};

// 1234567 as "1,234,567", as the messages give sizes.
std::string Thousands(std::uint64_t n);

// "FILE:LINE: error: TEXT", or "FILE: error: TEXT" without a line.
std::string Format(const Diagnostic& diagnostic);

class Diagnostics {
public:
    void Error(std::string file, std::size_t line, std::string text);
    void Warning(std::string file, std::size_t line, std::string text);
    void Note(std::string file, std::size_t line, std::string text);

    std::size_t errors() const { return errors_; }
    std::size_t warnings() const { return warnings_; }
    const std::vector<Diagnostic>& all() const { return all_; }

    // Every diagnostic, one per line: grouped by file in the order the files
    // were first named, and by line within a file.
    void Print(std::ostream& out) const;

private:
    void Add(Severity severity, std::string file, std::size_t line, std::string text);

    std::vector<Diagnostic> all_;
    std::size_t errors_ = 0;
    std::size_t warnings_ = 0;
};

} // namespace mksetup
