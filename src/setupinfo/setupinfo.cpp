#include <windows.h>
#include "setupinfo.h"
#include "entry_format.h"
#include "text.h"

unsigned long ReadInfString(const char* section, const char* key, char* value,
                            const char* path)
{
    return GetPrivateProfileStringA(section, key, "", value, INF_VALUE_LIMIT,
                                    path);
}

int ReadInfInt(const char* section, const char* key, int fallback,
               const char* path)
{
    return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, path));
}

void WriteInfString(const char* section, const char* key, const char* value,
                    const char* path)
{
    WritePrivateProfileStringA(section, key, value, path);
}

int FindFreeLetterKey(const char* section, const char* stem,
                      const char* path, unsigned long probeSize, char* key)
{
    char probe[256];
    if (probeSize > sizeof probe) probeSize = sizeof probe;
    unsigned stemLength = TextLength(stem);
    CopyText(key, stem, stemLength + 1);
    key[stemLength] = 'a';
    key[stemLength + 1] = 0;
    // Only emptiness counts: the value itself is not used.
    while (GetPrivateProfileStringA(section, key, "", probe, probeSize, path))
        if (!StepLetter(key + stemLength)) {
            key[0] = 0;
            return 0;
        }
    return 1;
}
