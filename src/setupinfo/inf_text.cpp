#include "inf_text.h"

namespace {

int IsBlank(char c) { return c == ' ' || c == '\t'; }

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// One line of the text: [start, end) without its line end; `next` is the
// offset of the following line.
struct Line {
    unsigned long start, end, next;
};

void ReadLine(const InfText* inf, unsigned long offset, Line* line)
{
    const char* t = inf->text;
    unsigned long end = offset;
    while (end < inf->size && t[end] != '\r' && t[end] != '\n') ++end;
    line->next = end;
    if (end < inf->size) {
        ++line->next;
        if (t[end] == '\r' && line->next < inf->size && t[line->next] == '\n')
            ++line->next;
    }
    while (offset < end && IsBlank(t[offset])) ++offset;
    while (end > offset && IsBlank(t[end - 1])) --end;
    line->start = offset;
    line->end = end;
}

// For a section header line, the name between "[" and the first "]",
// without blanks; 0 for any other line.
int HeaderName(const InfText* inf, const Line& line, unsigned long* start,
               unsigned long* end)
{
    const char* t = inf->text;
    if (line.start == line.end || t[line.start] != '[') return 0;
    unsigned long close = line.start + 1;
    while (close < line.end && t[close] != ']') ++close;
    if (close == line.end) return 0; // no "]": neither section nor key
    unsigned long s = line.start + 1;
    while (s < close && IsBlank(t[s])) ++s;
    while (close > s && IsBlank(t[close - 1])) --close;
    *start = s;
    *end = close;
    return 1;
}

} // namespace

int InfSameName(const char* a, unsigned long aLength, const char* b)
{
    unsigned long i = 0;
    for (; i < aLength; ++i)
        if (!b[i] || Fold(a[i]) != Fold(b[i])) return 0;
    return b[i] == 0;
}

int InfFindSection(const InfText* inf, const char* name, InfSection* section)
{
    section->begin = section->end = 0;
    Line line;
    for (unsigned long offset = 0; offset < inf->size; offset = line.next) {
        ReadLine(inf, offset, &line);
        unsigned long start, end;
        if (!HeaderName(inf, line, &start, &end) ||
            !InfSameName(inf->text + start, end - start, name))
            continue;
        section->begin = line.next;
        for (offset = line.next; offset < inf->size; offset = line.next) {
            ReadLine(inf, offset, &line);
            if (HeaderName(inf, line, &start, &end)) break;
        }
        section->end = offset < inf->size ? offset : inf->size;
        return 1;
    }
    return 0;
}

// A key line of a section: its name [start, nameEnd) and value. 0 for a
// blank line, a comment and anything that looks like a header.
static int KeyLine(const InfText* inf, const Line& line, unsigned long* nameEnd,
                   InfValue* value)
{
    const char* t = inf->text;
    if (line.start == line.end || t[line.start] == ';' || t[line.start] == '[')
        return 0;
    unsigned long equals = line.start;
    while (equals < line.end && t[equals] != '=') ++equals;
    unsigned long end = equals;
    while (end > line.start && IsBlank(t[end - 1])) --end;
    *nameEnd = end;
    unsigned long start = equals < line.end ? equals + 1 : line.end;
    while (start < line.end && IsBlank(t[start])) ++start;
    end = line.end;
    if (end - start >= 2 && (t[start] == '"' || t[start] == '\'') &&
        t[end - 1] == t[start]) {
        ++start;
        --end;
    }
    value->text = t + start;
    value->length = end - start;
    return 1;
}

int InfFindKey(const InfText* inf, const InfSection* section, const char* key,
               InfValue* value)
{
    Line line;
    for (unsigned long offset = section->begin; offset < section->end;
         offset = line.next) {
        ReadLine(inf, offset, &line);
        unsigned long nameEnd;
        if (KeyLine(inf, line, &nameEnd, value) &&
            InfSameName(inf->text + line.start, nameEnd - line.start, key))
            return 1;
    }
    value->text = 0;
    value->length = 0;
    return 0;
}

int InfNextKey(const InfText* inf, const InfSection* section,
               unsigned long* offset, InfValue* name, InfValue* value)
{
    Line line;
    while (*offset < section->end) {
        ReadLine(inf, *offset, &line);
        *offset = line.next;
        unsigned long nameEnd;
        if (KeyLine(inf, line, &nameEnd, value)) {
            name->text = inf->text + line.start;
            name->length = nameEnd - line.start;
            return 1;
        }
    }
    return 0;
}

unsigned long InfCountLines(const InfText* inf, const InfSection* section)
{
    unsigned long count = 0;
    Line line;
    for (unsigned long offset = section->begin; offset < section->end;
         offset = line.next) {
        ReadLine(inf, offset, &line);
        ++count;
    }
    return count;
}

void InfScanSeries(const InfText* inf, const InfSection* section,
                   const char* stem, InfValue* letters, InfValue* numbered,
                   unsigned long numberedCount)
{
    const char* t = inf->text;
    unsigned long stemLength = 0;
    while (stem[stemLength]) ++stemLength;
    Line line;
    for (unsigned long offset = section->begin; offset < section->end;
         offset = line.next) {
        ReadLine(inf, offset, &line);
        unsigned long nameEnd;
        InfValue value;
        if (!KeyLine(inf, line, &nameEnd, &value) ||
            nameEnd - line.start <= stemLength)
            continue;
        unsigned long i = 0;
        while (i < stemLength && Fold(t[line.start + i]) == Fold(stem[i])) ++i;
        if (i < stemLength) continue;
        const char* suffix = t + line.start + stemLength;
        unsigned long suffixLength = nameEnd - line.start - stemLength;
        InfValue* slot = 0;
        unsigned char c = static_cast<unsigned char>(Fold(suffix[0]));
        if (suffixLength == 1 && c >= 'a') {
            slot = letters + (c - 'a');
        } else if (suffix[0] >= '1' && suffix[0] <= '9' && suffixLength <= 9) {
            unsigned long n = 0;
            for (i = 0; i < suffixLength && suffix[i] >= '0' && suffix[i] <= '9'; ++i)
                n = n * 10 + static_cast<unsigned long>(suffix[i] - '0');
            if (i == suffixLength && n >= 31 && n - 31 < numberedCount)
                slot = numbered + (n - 31);
        }
        if (slot && !slot->text) *slot = value;
    }
}

unsigned long InfListSeries(const InfText* inf, const InfSection* section,
                            const char* stem, int withOldLetters,
                            InfValue* slots, unsigned long numbered)
{
    for (unsigned long i = 0; i < INF_LETTER_KEYS + numbered; ++i) {
        slots[i].text = 0;
        slots[i].length = 0;
    }
    InfScanSeries(inf, section, stem, slots, slots + INF_LETTER_KEYS, numbered);
    // In place: a value only ever moves towards the front.
    unsigned long count = 0, i = 0;
    while (i < INF_SERIES_LETTERS && slots[i].length) slots[count++] = slots[i++];
    if (count < INF_SERIES_LETTERS) return count;
    while (withOldLetters && i < INF_LETTER_KEYS && slots[i].length)
        slots[count++] = slots[i++];
    for (i = 0; i < numbered && slots[INF_LETTER_KEYS + i].length; ++i)
        slots[count++] = slots[INF_LETTER_KEYS + i];
    return count;
}

unsigned long InfCopyValue(char* buffer, unsigned long size, const char* value,
                           unsigned long length)
{
    if (size == 0) return 0;
    if (length > size - 1) length = size - 1;
    for (unsigned long i = 0; i < length; ++i) buffer[i] = value[i];
    buffer[length] = 0;
    return length;
}

long InfInteger(const char* value, unsigned long length, long fallback)
{
    if (length == 0) return fallback;
    unsigned long i = 0;
    while (i < length && IsBlank(value[i])) ++i;
    int negative = 0;
    if (i < length && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
    unsigned base = 10;
    if (length - i >= 2 && value[i] == '0') {
        char prefix = Fold(value[i + 1]);
        base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
        if (base != 10) i += 2;
    }
    unsigned long result = 0;
    for (; i < length; ++i) {
        char c = Fold(value[i]);
        unsigned digit = c >= '0' && c <= '9' ? static_cast<unsigned>(c - '0')
                         : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                                                : 99;
        if (digit >= base) break;
        result = (result * base + digit) & 0xFFFFFFFFul;
    }
    if (negative) result = (0 - result) & 0xFFFFFFFFul;
    return static_cast<long>(static_cast<int>(result));
}
