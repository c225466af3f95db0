#include "uninstall/user_path.h"

#include "frame/text.h"

#include <cstring>

static bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// Only dots and blanks, two dots at least: Windows reads it as the parent.
static bool IsParentComponent(const char* begin, const char* end)
{
    size_t dots = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p != '.' && *p != ' ')
            return false;
        dots += *p == '.' ? 1 : 0;
    }
    return dots >= 2;
}

bool ExpandUserPath(const char* raw, const char* profile, const char* systemRoot, char* path, size_t size)
{
    char drive[3] = {systemRoot[0], systemRoot[0] != '\0' ? systemRoot[1] : '\0', '\0'};
    const struct {
        const char* name;
        const char* value;
    } kVariables[] = {{"%USERPROFILE%", profile}, {"%SystemDrive%", drive}, {"%SystemRoot%", systemRoot}};
    if (size == 0)
        return false;
    path[0] = '\0';
    for (const char* p = raw; *p != '\0';) {
        const char* mark = strchr(p, '%');
        size_t literal = mark != nullptr ? static_cast<size_t>(mark - p) : strlen(p);
        if (!AppendTextN(path, size, p, literal))
            return false;
        p += literal;
        if (mark == nullptr)
            break;
        bool known = false;
        for (const auto& variable : kVariables) {
            size_t length = strlen(variable.name);
            if (!known && EqualNoCaseN(p, variable.name, length)) {
                if (variable.value[0] == '\0' || !AppendText(path, size, variable.value))
                    return false;
                p += length;
                known = true;
            }
        }
        if (!known)
            return false;
    }
    char letter = path[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) || path[1] != ':' ||
        path[2] != '\\' || strchr(path + 2, ':') != nullptr)
        return false;
    for (const char* begin = path + 3; *begin != '\0';) {
        const char* end = begin;
        while (*end != '\0' && !IsSeparator(*end))
            ++end;
        if (IsParentComponent(begin, end))
            return false;
        begin = *end != '\0' ? end + 1 : end;
    }
    return true;
}
