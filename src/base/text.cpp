#include "text.h"

unsigned TextLength(const char* s)
{
    unsigned n = 0;
    while (s[n]) ++n;
    return n;
}

int CopyText(char* dst, const char* src, unsigned size)
{
    if (size == 0) return 0;
    unsigned i = 0;
    for (; src[i]; ++i) {
        if (i + 1 >= size) {
            dst[i] = 0;
            return 0;
        }
        dst[i] = src[i];
    }
    dst[i] = 0;
    return 1;
}

int AppendText(char* dst, const char* src, unsigned size)
{
    unsigned n = 0;
    while (n < size && dst[n]) ++n;
    if (n >= size) return 0;
    return CopyText(dst + n, src, size - n);
}
