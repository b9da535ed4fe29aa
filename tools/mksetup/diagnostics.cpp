#include "diagnostics.h"

#include <algorithm>
#include <numeric>

namespace mksetup {

std::string Format(const Diagnostic& diagnostic)
{
    static constexpr const char* kSeverity[] = {"note", "warning", "error"};
    std::string text = diagnostic.file;
    if (diagnostic.line) text += ":" + std::to_string(diagnostic.line);
    text += ": ";
    text += kSeverity[static_cast<int>(diagnostic.severity)];
    return text + ": " + diagnostic.text;
}

void Diagnostics::Error(std::string file, std::size_t line, std::string text)
{
    Add(Severity::Error, std::move(file), line, std::move(text));
}

void Diagnostics::Warning(std::string file, std::size_t line, std::string text)
{
    Add(Severity::Warning, std::move(file), line, std::move(text));
}

void Diagnostics::Note(std::string file, std::size_t line, std::string text)
{
    Add(Severity::Note, std::move(file), line, std::move(text));
}

void Diagnostics::Add(Severity severity, std::string file, std::size_t line, std::string text)
{
    if (severity == Severity::Error) ++errors_;
    if (severity == Severity::Warning) ++warnings_;
    all_.push_back({severity, std::move(file), line, std::move(text)});
}

void Diagnostics::Print(std::ostream& out) const
{
    std::vector<std::string> files;
    for (const Diagnostic& diagnostic : all_)
        if (std::find(files.begin(), files.end(), diagnostic.file) == files.end())
            files.push_back(diagnostic.file);
    auto rank = [&](const Diagnostic& diagnostic) {
        return std::find(files.begin(), files.end(), diagnostic.file) - files.begin();
    };
    std::vector<std::size_t> order(all_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        auto rankA = rank(all_[a]), rankB = rank(all_[b]);
        if (rankA != rankB) return rankA < rankB;
        return all_[a].line < all_[b].line;
    });
    for (std::size_t index : order) out << Format(all_[index]) << '\n';
}

} // namespace mksetup
