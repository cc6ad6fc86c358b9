#pragma once

// Element names of the log file match in any letter case, ASCII letters only.
namespace XmlNames {

inline bool nameIs(const char *name, const char *expected)
{
    for (; *name && *expected; ++name, ++expected) {
        char a = *name, b = *expected;
        if (a >= 'A' && a <= 'Z')
            a = char(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = char(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return *name == *expected;
}

} // namespace XmlNames
