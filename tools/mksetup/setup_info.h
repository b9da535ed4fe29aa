// Reads a setup information file the way the setup program's
// private-profile calls will: section and key names without regard to ASCII
// case, blanks around names and values ignored, a value in matching quotes
// unquoted, only the first section of a name and the first key of a name
// within it counting. Keeps every line with its number, so that the author
// can be told where a problem is.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mksetup {

// Equal without regard to ASCII case, as the profile functions match names.
bool SameName(std::string_view a, std::string_view b);

// A value read as an integer the way GetPrivateProfileIntA does: leading
// blanks, an optional sign, a 0x/0o/0b prefix, then digits up to the first
// other character ("4 files" is 4, "many" is 0). Nothing for "".
std::optional<long long> ProfileInteger(std::string_view value);

// True when `value` is a plain decimal number, optionally signed: what an
// author should write where an integer is read.
bool IsDecimalNumber(std::string_view value);

class SetupInfo {
public:
    enum class LineKind {
        Blank,
        Comment,    // begins with ";"
        Section,    // "[name]"
        BadSection, // "[" without "]"
        Key,        // "key=value", or a bare "key" inside a section
        Outside,    // text before the first section, never read
    };

    struct Line {
        std::size_t number = 0;     // 1-based
        LineKind kind = LineKind::Blank;
        std::string text;           // the line as written
        std::string name;           // the section's or the key's name
        std::string value;          // Key: the value as the setup program reads it
        bool hasEquals = false;     // Key: false for a bare "key" (read as absent)
        std::size_t section = kNone; // Key: index into sections()
    };

    struct Section {
        std::string name;
        std::size_t line = 0;       // of its header
        std::size_t firstOfName;    // index of the first section of this name
    };

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // Splits at CR LF, LF or CR; a leading UTF-8 byte order mark is dropped.
    static SetupInfo Parse(std::string_view text);
    static SetupInfo Parse(const std::vector<std::string>& lines);

    const std::vector<Line>& lines() const { return lines_; }
    const std::vector<Section>& sections() const { return sections_; }

    // The index of the section that is read under `name`, if any.
    std::optional<std::size_t> FindSection(std::string_view name) const;

    // The line that is read for `key` in `section`, or nullptr.
    const Line* Find(std::string_view section, std::string_view key) const;

    // The value of `key` in `section`; nothing when absent. A bare key reads
    // as "".
    std::optional<std::string> Value(std::string_view section,
                                     std::string_view key) const;

    // ProfileInteger of the value; nothing when the key is absent or empty.
    std::optional<long long> Integer(std::string_view section,
                                     std::string_view key) const;

private:
    void AddLine(std::size_t number, std::string_view text);

    std::vector<Line> lines_;
    std::vector<Section> sections_;
};

} // namespace mksetup
