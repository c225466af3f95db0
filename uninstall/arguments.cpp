#include "frame/environment.h"
#include "frame/text.h"
#include "uninstall/invocation.h"

#include <cstring>

char gLayoutKey[260];
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
