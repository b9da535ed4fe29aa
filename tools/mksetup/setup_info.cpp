#include "setup_info.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace mksetup {
namespace {

bool SameText(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) {
                          return std::tolower(x) == std::tolower(y);
                      });
}

std::string_view Trim(std::string_view text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
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

SetupInfo SetupInfo::Parse(std::string_view text)
{
    SetupInfo info;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::string section;
    std::size_t sectionNumber = 0;
    bool inSection = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line =
            Trim(text.substr(0, end == std::string_view::npos ? text.size() : end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            std::size_t close = line.find(']');
            section = std::string(Trim(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos
                                                   : close - 1)));
            if (inSection) ++sectionNumber;
            inSection = true;
            continue;
        }
        if (!inSection) continue;
        std::size_t equals = line.find('=');
        std::string_view key = Trim(line.substr(0, equals));
        std::string_view value =
            equals == std::string_view::npos
                ? std::string_view()
                : Unquote(Trim(line.substr(equals + 1)));
        info.entries_.push_back(
            {sectionNumber, section, std::string(key), std::string(value)});
    }
    return info;
}

std::optional<std::string> SetupInfo::Value(std::string_view section,
                                            std::string_view key) const
{
    // Only the first section of a name counts, as with the platform's reads.
    std::optional<std::size_t> first;
    for (const Entry& entry : entries_) {
        if (!SameText(entry.section, section)) continue;
        if (!first) first = entry.sectionNumber;
        else if (entry.sectionNumber != *first) break;
        if (SameText(entry.key, key)) return entry.value;
    }
    return std::nullopt;
}

std::optional<long long> SetupInfo::Integer(std::string_view section,
                                            std::string_view key) const
{
    std::optional<std::string> value = Value(section, key);
    if (!value || value->empty()) return std::nullopt;
    std::string_view text = *value;
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

} // namespace mksetup
