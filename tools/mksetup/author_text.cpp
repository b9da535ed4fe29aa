#include "author_text.h"

#include <algorithm>
#include <cstdio>

namespace mksetup {

std::optional<AuthorText> ReadAuthorText(std::span<const std::uint8_t> bytes,
                                         const std::string& file,
                                         Diagnostics& diagnostics)
{
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        diagnostics.Error(file, 0, "UTF-16 text; save it as UTF-8");
        return std::nullopt;
    }
    AuthorText result;
    if (text.starts_with("\xEF\xBB\xBF")) {
        result.byteOrderMark = true;
        text.remove_prefix(3);
    }
    bool sound = true;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        std::size_t next;
        if (end == std::string_view::npos) {
            end = next = text.size();
        } else if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
            next = end + 2;
        } else {
            next = end + 1;
            result.otherLineEnds = true;
        }
        std::string_view line = text.substr(start, end - start);
        std::size_t number = result.lines.size() + 1;
        std::size_t bad = 0;
        if (!DecodeUtf8(line, &bad)) {
            char byte[8];
            std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(line[bad]));
            diagnostics.Error(file, number,
                              std::string("not UTF-8 (byte ") + byte + " in column " +
                                  std::to_string(bad + 1) +
                                  "); save the file as UTF-8");
            sound = false;
        } else if (line.find('\0') != std::string_view::npos) {
            diagnostics.Error(file, number, "holds a NUL byte; not a text file");
            sound = false;
        }
        if (std::any_of(line.begin(), line.end(), [](char c) { return c & 0x80; }))
            result.nonAscii = true;
        result.lines.emplace_back(line);
        result.lastLineEnded = next > end;
        start = next;
    }
    if (!sound) return std::nullopt;
    return result;
}

bool CheckCodePage(const AuthorText& text, const CodePage& page,
                   const std::string& file, Diagnostics& diagnostics)
{
    bool complete = true;
    for (std::size_t i = 0; i < text.lines.size(); ++i) {
        std::u32string missing;
        std::optional<std::u32string> line = DecodeUtf8(text.lines[i]);
        if (!line || page.EncodeText(*line, &missing)) continue;
        std::string list;
        for (char32_t c : missing) list += (list.empty() ? "" : ", ") + DescribeCharacter(c);
        diagnostics.Error(file, i + 1,
                          list + (missing.size() == 1 ? " is" : " are") +
                              " not in code page " + std::to_string(page.number()) +
                              " (" + page.script() + "); choose another with --codepage");
        complete = false;
    }
    return complete;
}

std::optional<std::string> EncodeLine(std::string_view line, const CodePage& page)
{
    std::optional<std::u32string> characters = DecodeUtf8(line);
    if (!characters) return std::nullopt;
    return page.EncodeText(*characters);
}

std::vector<std::uint8_t> JoinLines(const std::vector<std::string>& lines,
                                    bool lastLineEnded)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        bytes.insert(bytes.end(), lines[i].begin(), lines[i].end());
        if (i + 1 < lines.size() || lastLineEnded) bytes.insert(bytes.end(), {'\r', '\n'});
    }
    return bytes;
}

std::string ConversionSummary(const AuthorText& text, const CodePage& page)
{
    std::string summary;
    auto add = [&](const std::string& part) {
        summary += (summary.empty() ? "" : ", ") + part;
    };
    if (text.otherLineEnds) add("line ends to CR LF");
    if (text.nonAscii) add("UTF-8 to code page " + std::to_string(page.number()));
    if (text.byteOrderMark) add("byte order mark dropped");
    return summary;
}

} // namespace mksetup
