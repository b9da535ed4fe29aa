// Fuzz target: the entry header rules of the payload archive.
//
// The input is taken as an entry block (and once more with its length
// field made to agree with its size, so that the parser gets past that
// test), and its bytes feed the length check, the attribute mapping, the
// time adjustment and the letter step. Each result is compared with the
// rule written out again here in the plainest way, and the name rules of
// the stub are compared with mksetup's: every name the stub refuses,
// mksetup must refuse as well.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "dos_time.h"
#include "entry_format.h"
#include "fuzz_check.h"
#include "package.h"

namespace {

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Safe: not empty, no control character, DEL, ':' or '/', no leading or
// trailing '\', and no component that is empty, "." or "..".
bool ReferenceSafe(std::string_view name)
{
    if (name.empty() || name.front() == '\\' || name.back() == '\\') return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == ':' || c == '/') return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('\\', start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view component = name.substr(start, end - start);
        if (component.empty() || component == "." || component == "..") return false;
        start = end + 1;
    }
    return true;
}

void CheckName(std::string_view name)
{
    const bool safe = IsSafeStoredName(name.data(), static_cast<unsigned>(name.size()));
    FUZZ_CHECK(safe == ReferenceSafe(name));
    if (safe) {
        FUZZ_CHECK(name.find(':') == std::string_view::npos);
        FUZZ_CHECK(name.find('/') == std::string_view::npos);
        FUZZ_CHECK(name.find("\\..\\") == std::string_view::npos);
        FUZZ_CHECK(name != ".." && !name.starts_with("..\\") && !name.ends_with("\\.."));
        FUZZ_CHECK(name.front() != '\\' && name.back() != '\\');
        for (unsigned char c : name) FUZZ_CHECK(c >= 0x20 && c != 0x7F);
    } else {
        // mksetup must never pack a name the stub would refuse.
        FUZZ_CHECK(mksetup::StoredNameProblem(name).has_value());
    }
}

void CheckParsed(const std::uint8_t* block, std::size_t size)
{
    ArchiveEntry entry{};
    const bool expected = size >= ENTRY_BLOCK_FIXED &&
                          Le32(block) == static_cast<std::uint64_t>(size) + 4 &&
                          size >= ENTRY_BLOCK_FIXED + std::size_t{block[9]};
    const int parsed = ParseEntryBlock(block, size, &entry);
    FUZZ_CHECK((parsed == 1) == expected);
    FUZZ_CHECK(parsed == 0 || parsed == 1);
    if (!parsed) return;

    const auto* begin = reinterpret_cast<const char*>(block);
    const auto* end = begin + size;
    FUZZ_CHECK(entry.entryLength == size + 4);
    FUZZ_CHECK(entry.nameLength == block[9]);
    FUZZ_CHECK(entry.name == begin + 10);
    FUZZ_CHECK(entry.name + entry.nameLength + 4 <= end);
    FUZZ_CHECK(entry.decodedSize == Le32(block + 10 + entry.nameLength));
    FUZZ_CHECK(entry.stream == block + 14 + entry.nameLength);
    FUZZ_CHECK(entry.stream + entry.streamSize == block + size);
    FUZZ_CHECK(entry.dosDate == (block[4] | block[5] << 8));
    FUZZ_CHECK(entry.dosTime == (block[6] | block[7] << 8));
    FUZZ_CHECK(entry.dosAttributes == block[8]);
    CheckName(std::string_view(entry.name, entry.nameLength));
}

void CheckLength(std::uint32_t entryLength, std::uint32_t offset, std::uint32_t fileSize)
{
    const bool expected = entryLength >= ENTRY_FIXED_SIZE &&
                          std::uint64_t{offset} + entryLength <= fileSize;
    FUZZ_CHECK(CheckEntryLength(entryLength, offset, fileSize) == (expected ? 1 : 0));
}

void CheckAttributes(unsigned char dos)
{
    const unsigned long mapped = MapDosAttributes(dos);
    if (dos < 0x40) {
        const unsigned long kept = dos & 0x27u;
        FUZZ_CHECK(mapped == (kept ? kept : 0x80ul));
    } else {
        // The subtraction chain turns the high bits into archive, system
        // and hidden, and never yields a directory or a volume label.
        FUZZ_CHECK(mapped != 0 && (mapped & ~0x27ul) == 0);
    }
}

void CheckTime(std::uint16_t date, std::uint16_t time)
{
    unsigned short newDate = date, newTime = time;
    AdjustDosTime(&newDate, &newTime);
    const unsigned hour = time >> 11;
    const bool knownDate = mksetup::FromDosStamp({date, 0}).has_value();
    const bool lastDay = date == (127 << 9 | 12 << 5 | 31);
    if (hour + 6 < 24 || (knownDate && !lastDay)) {
        // Minutes and seconds stay; the hour moves on by six, modulo 24,
        // carried into the next day.
        FUZZ_CHECK((newTime & 0x07FF) == (time & 0x07FF));
        FUZZ_CHECK((newTime >> 11) == (hour + 6) % 24);
        if (hour + 6 < 24) FUZZ_CHECK(newDate == date);
    } else {
        // No next day to carry into: that day's last moment, 23:59:58.
        FUZZ_CHECK(newDate == date);
        FUZZ_CHECK(newTime == (23 << 11 | 59 << 5 | 29));
    }

    // A valid stamp names the moment six hours later, save at the very
    // end of the range the format holds, where it is never earlier.
    const std::optional<mksetup::UnixSeconds> before = mksetup::FromDosStamp({date, time});
    if (before) {
        const std::optional<mksetup::UnixSeconds> after =
            mksetup::FromDosStamp({newDate, newTime});
        FUZZ_CHECK(after.has_value());
        if (!(lastDay && hour + 6 >= 24))
            FUZZ_CHECK(*after == *before + mksetup::kStubTimeShift);
        else
            FUZZ_CHECK(*after >= *before);
    }
    // A date the calendar does not know (month 0, 30 February) is left as
    // it is.
    if (!knownDate) FUZZ_CHECK(newDate == date);
}

void CheckLetter(unsigned char letter)
{
    char c = static_cast<char>(letter);
    const int stepped = StepLetter(&c);
    if (letter == 0xFF) {
        FUZZ_CHECK(stepped == 0);
        FUZZ_CHECK(static_cast<unsigned char>(c) == 0xFF);
    } else {
        FUZZ_CHECK(stepped == 1);
        FUZZ_CHECK(static_cast<unsigned char>(c) == letter + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The block as it comes, then with an agreeing length field.
    std::vector<std::uint8_t> block(data, data + size);
    CheckParsed(block.data(), block.size());
    if (size >= 4) {
        const std::uint32_t length = static_cast<std::uint32_t>(size + 4);
        for (int i = 0; i < 4; ++i) block[i] = static_cast<std::uint8_t>(length >> (8 * i));
        CheckParsed(block.data(), block.size());
    }

    // The whole input as a name.
    if (size <= 255) CheckName(std::string_view(reinterpret_cast<const char*>(data), size));

    std::uint8_t word[12] = {};
    for (std::size_t i = 0; i < sizeof word && i < size; ++i) word[i] = data[i];
    const std::uint32_t a = Le32(word), b = Le32(word + 4), c = Le32(word + 8);
    CheckLength(a, b, c);
    CheckLength(a, b, b + a);     // exactly at the end (modulo 2^32)
    CheckLength(a, b, b + a - 1); // one byte short
    CheckLength(a, c - a, c);

    if (size >= 4) CheckTime(static_cast<std::uint16_t>(word[0] | word[1] << 8),
                             static_cast<std::uint16_t>(word[2] | word[3] << 8));
    for (std::size_t i = 0; i < size && i < 16; ++i) {
        CheckAttributes(data[i]);
        CheckLetter(data[i]);
    }
    return 0;
}
