#include "diagnostics.h"

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace mksetup {

std::string Thousands(std::uint64_t n)
{
    std::string digits = std::to_string(n), grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

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
    // Each file's rank is the order in which it was first named.
    std::unordered_map<std::string_view, std::size_t> first;
    std::vector<std::size_t> rank;
    for (const Diagnostic& diagnostic : all_)
        rank.push_back(first.emplace(diagnostic.file, first.size()).first->second);
    std::vector<std::size_t> order(all_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (rank[a] != rank[b]) return rank[a] < rank[b];
        return all_[a].line < all_[b].line;
    });
    for (std::size_t index : order) out << Format(all_[index]) << '\n';
}

} // namespace mksetup
