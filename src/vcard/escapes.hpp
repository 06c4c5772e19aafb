#pragma once

#include <string_view>

// The backslash escapes of vCard values, listed once: decoding undoes them,
// and a run without decoding warns of values that hold them.
namespace cardtab {

// The byte that a backslash followed by `after` stands for, or 0 where the
// backslash begins no escape. A card of version 2.1 knows only "\;"; other
// cards also "\\", "\,", "\:", and "\n" or "\N" for a line break.
inline char escaped_byte(char after, bool version_21)
{
    if (version_21) {
        return after == ';' ? ';' : '\0';
    }
    switch (after) {
    case '\\':
    case ',':
    case ';':
    case ':':
        return after;
    case 'n':
    case 'N':
        return '\n';
    default:
        return '\0';
    }
}

} // namespace cardtab
