#pragma once

#include <cstddef>
#include <string_view>

// UTF-8, as one table of well-formed sequences says it: the lead bytes, how
// long a sequence each begins, and the bytes that may follow it, so that no
// overlong form, no surrogate and nothing past U+10FFFF is UTF-8.
namespace cardtab {

// A byte that goes on a sequence: 0x80-0xBF.
inline constexpr unsigned char kContinuationMask = 0xC0;
inline constexpr unsigned char kContinuationBits = 0x80;
constexpr bool is_continuation(unsigned char byte)
{
    return (byte & kContinuationMask) == kContinuationBits;
}

// The length of the UTF-8 sequence at the start of `text` and, through
// `code_point`, the character it encodes; 0 when the text is empty or does
// not begin with a whole, valid sequence.
std::size_t decode_utf8(std::string_view text, char32_t& code_point);

// The length of an incomplete UTF-8 sequence at the very end of `text`: a
// lead byte followed by fewer continuation bytes than it needs, where those
// there could still begin a character. 0 where the text ends otherwise.
std::size_t incomplete_utf8_end(std::string_view text);

} // namespace cardtab
