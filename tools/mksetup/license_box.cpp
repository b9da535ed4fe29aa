#include "license_box.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace mksetup {
namespace {

// The advance widths of MS Sans Serif 8 pt at 96 dots per inch, in pixels,
// for the characters 0x20 (blank) to 0x7E ("~"): read from the font's
// resource (sserife.fon, as Wine ships it).
constexpr std::array<unsigned char, 95> kSansSerif8 = {
    3, 3, 5, 7, 6, 8, 6, 2, 3, 3, 4,  6, 3, 3, 3, 5, 6, 6, 6, 6, 6, 6, 6, 6,
    6, 6, 3, 3, 6, 6, 6, 6, 11, 7, 7, 7, 8, 7, 6, 8, 8, 3, 5, 7, 6, 9, 8, 8,
    7, 8, 8, 7, 7, 8, 7, 11, 7, 7, 7, 3, 5, 3, 6, 6, 3, 6, 6, 6, 6, 6, 3, 6,
    6, 2, 2, 6, 2, 8, 6, 6, 6, 6, 3, 5, 3, 6, 6, 8, 5, 5, 5, 4, 2, 4, 7};
constexpr int kAverageWidth = 6;

// A form feed (a page break in many license texts) counts as a blank.
bool Blank(char c) { return c == ' ' || c == '\t' || c == '\f'; }

std::string_view TrimEnd(std::string_view line)
{
    while (!line.empty() && Blank(line.back())) line.remove_suffix(1);
    return line;
}

bool IsBlankLine(std::string_view line) { return TrimEnd(line).empty(); }

// "-", "*", "+" or a bullet, or a number, a letter or a roman numeral of
// up to four characters followed by "." or ")", or in parentheses; then a
// blank.
bool StartsWithListMarker(std::string_view line)
{
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) return false;
    std::string_view text = line.substr(start);
    auto followedByBlank = [&](std::size_t length) {
        return text.size() > length && Blank(text[length]);
    };
    if ((text[0] == '-' || text[0] == '*' || text[0] == '+') && followedByBlank(1)) return true;
    if (text.starts_with("\xE2\x80\xA2") && followedByBlank(3)) return true; // U+2022
    std::size_t at = text[0] == '(' ? 1 : 0;
    std::size_t length = 0;
    while (at + length < text.size() && length <= 4 &&
           std::isalnum(static_cast<unsigned char>(text[at + length])))
        ++length;
    if (length == 0 || length > 4) return false;
    std::string_view label = text.substr(at, length);
    bool digits = std::all_of(label.begin(), label.end(),
                              [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    bool roman = label.find_first_not_of("ivxlcIVXLC") == std::string_view::npos;
    if (!digits && !roman && length > 1) return false;
    char close = at + length < text.size() ? text[at + length] : '\0';
    if (at == 1) return close == ')' && followedByBlank(at + length + 1);
    return (close == '.' || close == ')') && followedByBlank(length + 1);
}

// A line of a table or a drawing: a tab or "|", a gap of blanks inside the
// text that is no sentence's end, or no letter or digit at all.
bool LooksPreformatted(std::string_view line)
{
    std::string_view text = TrimEnd(line);
    std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) return false;
    text.remove_prefix(start);
    if (text.find_first_of("\t|") != std::string_view::npos) return true;
    if (std::none_of(text.begin(), text.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || (c & 0x80); }))
        return true;
    for (std::size_t gap = text.find("  "); gap != std::string_view::npos;
         gap = text.find("  ", gap + 1)) {
        std::size_t end = text.find_first_not_of(' ', gap);
        bool sentence = gap > 0 && std::string_view(".!?:;").find(text[gap - 1]) != std::string_view::npos;
        if (end - gap >= 3 || !sentence) return true;
    }
    return false;
}

// Whether the paragraph's lines [first, last) read as running text.
bool IsRunningText(const std::vector<std::string>& lines, std::size_t first, std::size_t last)
{
    if (last - first < 2) return false;
    for (std::size_t i = first; i < last; ++i) {
        if (LooksPreformatted(lines[i])) return false;
        if (i > first && (Blank(lines[i][0]) || StartsWithListMarker(lines[i]))) return false;
    }
    return true;
}

} // namespace

int LicenseLineWidth(std::string_view line)
{
    int width = 0;
    for (char c : TrimEnd(line)) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) width += kSansSerif8[byte - 0x20];
        else if (byte == '\t') width += 8 * kAverageWidth; // tab stops of eight
        else if ((byte & 0xC0) != 0x80) width += kAverageWidth; // a character's first byte
    }
    return width;
}

LicenseLines LicenseAsWritten(const std::vector<std::string>& lines)
{
    LicenseLines result;
    result.lines = lines;
    for (std::size_t i = 0; i < lines.size(); ++i) result.origin.push_back(i + 1);
    result.joined.assign(lines.size(), false);
    return result;
}

LicenseLines ReflowLicense(const std::vector<std::string>& lines)
{
    LicenseLines result;
    std::size_t i = 0;
    while (i < lines.size()) {
        if (IsBlankLine(lines[i])) {
            result.lines.push_back(lines[i]);
            result.origin.push_back(i + 1);
            result.joined.push_back(false);
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < lines.size() && !IsBlankLine(lines[end])) ++end;
        if (IsRunningText(lines, i, end)) {
            std::string joined(TrimEnd(lines[i]));
            for (std::size_t k = i + 1; k < end; ++k) joined += " " + std::string(TrimEnd(lines[k]));
            result.lines.push_back(std::move(joined));
            result.origin.push_back(i + 1);
            result.joined.push_back(true);
            ++result.paragraphs;
        } else {
            for (std::size_t k = i; k < end; ++k) {
                result.lines.push_back(lines[k]);
                result.origin.push_back(k + 1);
                result.joined.push_back(false);
            }
        }
        i = end;
    }
    return result;
}

} // namespace mksetup
