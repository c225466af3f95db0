#include "frame/environment.h"
#include "frame/text.h"
#include "layouts/tables.h"
#include "uninstall/invocation.h"

#include <cstring>

bool gForce;

ArgumentVerdict ValidateArguments()
{
    gForce = gArgumentCount == 2 && strcmp(gArguments[2], "/force") == 0;
    if (gArgumentCount != 1 && !gForce)
        return kArgumentsMissing;
    CopyText(gLayoutKey, sizeof gLayoutKey, gArguments[1]);
    if (strlen(gLayoutKey) != 8)
        return kKeyLength;
    if (memcmp(gLayoutKey + 4, "0407", 4) != 0)
        return kKeyNotGerman;
    if (EqualNoCase(gLayoutKey, "00000407"))
        return kKeyStandard;
    return kArgumentsAccepted;
}

static bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsCopyPath(const char* modulePath, const char* tempDirectory)
{
    static const char kPrefix[] = "Uninstall_Quorvex.";
    size_t tempLength = strlen(tempDirectory);
    if (tempLength == 0 || !EqualNoCaseN(modulePath, tempDirectory, tempLength))
        return false;
    const char* p = modulePath + tempLength;
    if (!EqualNoCaseN(p, kPrefix, sizeof kPrefix - 1))
        return false;
    p += sizeof kPrefix - 1;
    for (int i = 0; i < 8; ++i)
        if (!IsHexDigit(p[i]))
            return false;
    p += 8;
    // The file itself, directly inside: no further directory below.
    return *p == '\\' && p[1] != '\0' && strpbrk(p + 1, "\\/:") == nullptr;
}
