#include "result/findings.hpp"

#include <algorithm>

#include "text/text.hpp"

namespace cardtab {

void note_unknown_charset(UnknownCharsets& charsets, std::string_view name, std::size_t line)
{
    note(charsets.lines, line);
    FixedText<UnknownCharsets::kNameBytes> shown;
    for (const char byte : name) {
        if (byte != '"' && shown.length < UnknownCharsets::kNameBytes) {
            shown.bytes[shown.length++] = byte;
        }
    }
    for (std::size_t n = 0; n < std::min(charsets.distinct, UnknownCharsets::kNamesKept); ++n) {
        if (equals_in_any_case(view(charsets.names[n]), view(shown))) {
            return;
        }
    }
    if (charsets.distinct < UnknownCharsets::kNamesKept) {
        charsets.names[charsets.distinct] = shown;
    }
    ++charsets.distinct;
}

} // namespace cardtab
