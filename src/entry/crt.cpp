// The few memory routines the compiler may call on its own: the stub links
// no C runtime. Built with loop-pattern recognition off (stub_flags), so
// these loops are not turned back into calls of themselves. The compiler
// calls them with the arguments on the stack (__cdecl) even where the
// stub's own functions take theirs in registers.
#include <string.h>

extern "C" void* __cdecl memset(void* dst, int value, size_t size)
{
    unsigned char* d = static_cast<unsigned char*>(dst);
    while (size--) *d++ = static_cast<unsigned char>(value);
    return dst;
}

extern "C" void* __cdecl memcpy(void* dst, const void* src, size_t size)
{
    unsigned char* d = static_cast<unsigned char*>(dst);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    while (size--) *d++ = *s++;
    return dst;
}

extern "C" void* __cdecl memmove(void* dst, const void* src, size_t size)
{
    unsigned char* d = static_cast<unsigned char*>(dst);
    const unsigned char* s = static_cast<const unsigned char*>(src);
    if (d < s) {
        while (size--) *d++ = *s++;
    } else {
        while (size--) d[size] = s[size];
    }
    return dst;
}
