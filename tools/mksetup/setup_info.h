// Reads the author's setup information file the way the setup program's
// private-profile calls will: section and key names without regard to ASCII
// case, blanks around names and values ignored, a value in matching quotes
// unquoted, the first matching section and key winning.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mksetup {

class SetupInfo {
public:
    static SetupInfo Parse(std::string_view text);

    // The value of `key` in `section`; nothing when absent.
    std::optional<std::string> Value(std::string_view section,
                                     std::string_view key) const;

    // The value read as an integer the way GetPrivateProfileIntA does:
    // leading blanks, an optional sign, a 0x/0o/0b prefix, then digits up to
    // the first other character ("4 files" is 4, "many" is 0). Nothing when
    // the key is absent or empty.
    std::optional<long long> Integer(std::string_view section,
                                     std::string_view key) const;

private:
    struct Entry {
        std::size_t sectionNumber; // counts section headers from 0
        std::string section, key, value;
    };
    std::vector<Entry> entries_;
};

} // namespace mksetup
