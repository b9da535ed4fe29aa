#include "setup_info.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace mksetup {
namespace {

std::string_view Trim(std::string_view text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

bool SameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) {
                          return std::tolower(x) == std::tolower(y);
                      });
}

std::optional<long long> ProfileInteger(std::string_view text)
{
    if (text.empty()) return std::nullopt;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() >= 2 && text[0] == '0') {
        char prefix = static_cast<char>(std::tolower(static_cast<unsigned char>(text[1])));
        if (prefix == 'x') base = 16;
        else if (prefix == 'o') base = 8;
        else if (prefix == 'b') base = 2;
        if (base != 10) text.remove_prefix(2);
    }
    unsigned long long result = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else break;
        if (digit >= base) break;
        result = result * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        result &= 0xFFFFFFFFull; // the platform's integer is 32 bits wide
    }
    auto value32 = static_cast<std::uint32_t>(result);
    if (negative) value32 = 0u - value32;
    return static_cast<std::int32_t>(value32);
}

bool IsDecimalNumber(std::string_view value)
{
    if (!value.empty() && (value.front() == '-' || value.front() == '+'))
        value.remove_prefix(1);
    return !value.empty() && value.size() <= 9 &&
           std::all_of(value.begin(), value.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

SetupInfo SetupInfo::Parse(std::string_view text)
{
    SetupInfo info;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::size_t number = 0;
    while (!text.empty()) {
        std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        info.AddLine(++number, text.substr(0, end));
        if (end < text.size() && text[end] == '\r' && end + 1 < text.size() &&
            text[end + 1] == '\n')
            ++end;
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return info;
}

SetupInfo SetupInfo::Parse(const std::vector<std::string>& lines)
{
    SetupInfo info;
    for (std::size_t i = 0; i < lines.size(); ++i) info.AddLine(i + 1, lines[i]);
    return info;
}

void SetupInfo::AddLine(std::size_t number, std::string_view text)
{
    Line line;
    line.number = number;
    line.text = std::string(text);
    std::string_view trimmed = Trim(text);
    if (trimmed.empty()) {
        line.kind = LineKind::Blank;
    } else if (trimmed.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (trimmed.front() == '[') {
        std::size_t close = trimmed.find(']');
        if (close == std::string_view::npos) {
            line.kind = LineKind::BadSection;
            line.name = std::string(Trim(trimmed.substr(1)));
        } else {
            line.kind = LineKind::Section;
            line.name = std::string(Trim(trimmed.substr(1, close - 1)));
            Section section{line.name, number, sections_.size()};
            for (std::size_t i = 0; i < sections_.size(); ++i)
                if (SameName(sections_[i].name, line.name)) {
                    section.firstOfName = i;
                    break;
                }
            sections_.push_back(section);
        }
    } else if (sections_.empty()) {
        line.kind = LineKind::Outside;
    } else {
        line.kind = LineKind::Key;
        line.section = sections_.size() - 1;
        std::size_t equals = trimmed.find('=');
        line.hasEquals = equals != std::string_view::npos;
        line.name = std::string(Trim(trimmed.substr(0, equals)));
        if (line.hasEquals) line.value = std::string(Unquote(Trim(trimmed.substr(equals + 1))));
    }
    lines_.push_back(std::move(line));
}

std::optional<std::size_t> SetupInfo::FindSection(std::string_view name) const
{
    for (std::size_t i = 0; i < sections_.size(); ++i)
        if (SameName(sections_[i].name, name)) return i;
    return std::nullopt;
}

const SetupInfo::Line* SetupInfo::Find(std::string_view section, std::string_view key) const
{
    std::optional<std::size_t> index = FindSection(section);
    if (!index) return nullptr;
    for (const Line& line : lines_)
        if (line.kind == LineKind::Key && line.section == *index && SameName(line.name, key))
            return &line;
    return nullptr;
}

std::optional<std::string> SetupInfo::Value(std::string_view section,
                                            std::string_view key) const
{
    const Line* line = Find(section, key);
    if (!line) return std::nullopt;
    return line->value;
}

std::optional<long long> SetupInfo::Integer(std::string_view section,
                                            std::string_view key) const
{
    const Line* line = Find(section, key);
    if (!line) return std::nullopt;
    return ProfileInteger(line->value);
}

} // namespace mksetup
