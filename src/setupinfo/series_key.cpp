#include "series_key.h"

unsigned SeriesKey(char* key, unsigned size, const char* stem, unsigned long n)
{
    if (size) key[0] = 0;
    if (n == 0) return 0;

    // The part after the stem, written backwards for the digits.
    char tail[SERIES_TAIL_LIMIT];
    unsigned tailLength = 0;
    if (n <= SERIES_LETTERS) {
        tail[tailLength++] = static_cast<char>(0x60 + n);
    } else {
        while (n) {
            tail[tailLength++] = static_cast<char>('0' + n % 10);
            n /= 10;
        }
    }

    unsigned stemLength = 0;
    while (stem[stemLength]) ++stemLength;
    if (stemLength >= size || tailLength >= size - stemLength) return 0;

    for (unsigned i = 0; i < stemLength; ++i) key[i] = stem[i];
    for (unsigned i = 0; i < tailLength; ++i)
        key[stemLength + i] = tail[tailLength - 1 - i];
    key[stemLength + tailLength] = 0;
    return stemLength + tailLength;
}
