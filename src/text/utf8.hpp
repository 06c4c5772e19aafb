#pragma once

#include <cstddef>
#include <string_view>

namespace cardtab {

// The length of the UTF-8 sequence at the start of `text` and, through
// `code_point`, the character it encodes; 0 when the text is empty or does
// not begin with a whole, valid sequence. Overlong forms, surrogates and
// code points past U+10FFFF are not UTF-8.
std::size_t decode_utf8(std::string_view text, char32_t& code_point);

} // namespace cardtab
