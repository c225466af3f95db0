#include "frame/cmdline.h"

#include <cstring>

int gArgumentCount;
char gArguments[kMaxArguments + 1][kArgumentSize];
bool gQuiet;
char gLogPath[kPathSize];

int SplitCommandLine(const wchar_t* p, WideWord* words, int maxWords)
{
    int count = 0;
    while (*p != L'\0' && count < maxWords) {
        WideWord& w = words[count++];
        w.overlong = false;
        wchar_t end = L' ';
        if (*p == L'"') {
            end = L'"';
            ++p;
        }
        size_t n = 0;
        for (; *p != L'\0' && *p != end; ++p) {
            if (n + 1 < kWideWordSize)
                w.text[n++] = *p;
            else
                w.overlong = true;
        }
        w.text[n] = L'\0';
        if (end == L'"' && *p == L'"')
            ++p;
        while (*p == L' ')
            ++p;
    }
    return count;
}

void BaseNameOf(const char* modulePath, char* out, size_t size)
{
    CopyText(out, size, FinalComponent(modulePath));
    // The search stops before the first character: ".profile" keeps its name.
    for (size_t i = strlen(out); i > 1; --i) {
        if (out[i - 1] == '.') {
            out[i - 1] = '\0';
            break;
        }
    }
}
