#include "uninstall/arguments.h"

#include "frame/cmdline.h"
#include "frame/text.h"
#include "layouts/tables.h"

#include <cstring>

bool gForce;

// The switches are taken even from a line that is then refused, so that a
// refusal asked for quietly goes to the log instead of waiting for a click.
static void TakeSwitches()
{
    gQuiet = false;
    gLogPath[0] = '\0';
    for (int i = 1; i <= gArgumentCount; ++i) {
        const char* word = gArguments[i];
        if (strcmp(word, "/quiet") == 0)
            gQuiet = true;
        else if (strncmp(word, "/log=", 5) == 0 && gLogPath[0] == '\0')
            CopyText(gLogPath, sizeof gLogPath, word + 5);
    }
}

ArgumentVerdict ValidateArguments()
{
    TakeSwitches();
    // After the key: "/force", "/quiet" and "/log=PATH", each at most once,
    // in any order. A quote inside the path could not be handed on to the copy.
    bool force = false, quiet = false, log = false, wellFormed = gArgumentCount >= 1;
    for (int i = 2; i <= gArgumentCount && wellFormed; ++i) {
        const char* word = gArguments[i];
        bool* seen = strcmp(word, "/force") == 0   ? &force
                     : strcmp(word, "/quiet") == 0 ? &quiet
                     : strncmp(word, "/log=", 5) == 0 && word[5] != '\0' && strchr(word, '"') == nullptr
                         ? &log
                         : nullptr;
        wellFormed = seen != nullptr && !*seen;
        if (seen != nullptr)
            *seen = true;
    }
    gForce = wellFormed && force;
    if (!wellFormed)
        return kArgumentsMissing;
    CopyText(gLayoutKey, sizeof gLayoutKey, gArguments[1]);
    if (CharacterCount(gLayoutKey) != 8)
        return kKeyLength;
    if (strcmp(SkipCharacters(gLayoutKey, 4), "0407") != 0)
        return kKeyNotGerman;
    // Windows' own layouts all begin with "0"; /force skips the driver-file
    // comparison that would otherwise keep them from being removed.
    if (EqualNoCase(gLayoutKey, "00000407") || (gForce && gLayoutKey[0] == '0'))
        return kKeyStandard;
    return kArgumentsAccepted;
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
