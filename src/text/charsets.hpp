#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "text/padded_text.hpp"

// The character sets a run meets: the one a card value is written in, and
// the one the table is written in; and the characters of a text carried
// from the first to the second.
namespace cardtab {

// What a card value may be written in.
enum class Charset {
    unnamed, // none given, ASCII, or one not known here: UTF-8 when the bytes are, else Windows-1250
    utf8,
    iso_8859_1,
    iso_8859_2,
    windows_1250,
    windows_1252,
};

// What the table is written in, chosen once for a run.
enum class TableCharset {
    // Windows-1250, with the accented Czech, Slovak and Hungarian letters
    // made plain ASCII letters (Dvořák gives Dvorak).
    windows_1250_plain,
    // Windows-1250 with every letter it has.
    windows_1250,
    // UTF-8, every character kept; the table begins with a byte order mark.
    utf8,
};

// What a character the table's character set lacks becomes, and a byte
// that is no character in the set it is read in.
inline constexpr char kUnknownCharacter = '?';

// The character at the start of `text` in `charset` (never unnamed), and
// through `length` how many bytes it takes.
char32_t character_at(std::string_view text, Charset charset, std::size_t& length);

// The text is UTF-8, every byte of it.
bool is_utf8(std::string_view text);

// What a text that names no character set is read in: UTF-8 where its
// bytes are, else Windows-1250. A text cut inside its last UTF-8 character
// loses that part, where the rest is UTF-8 with a character of more than
// one byte.
Charset utf8_or_windows_1250(PaddedText& bytes);

// A character as bytes of the table's character set: at most four.
struct EncodedCharacter {
    std::array<char, 4> bytes{};
    std::size_t length = 0;
};

// The character in the table's character set: in Windows-1250 its byte, or
// '?' where the set has none; in UTF-8 its bytes.
EncodedCharacter encode_character(char32_t character, TableCharset charset);

// A control character other than the tab: none that decoding reads may
// reach the table, where it could steer a terminal or break a line.
inline constexpr char32_t kLastControlBelowSpace = 0x1F;
inline constexpr char32_t kDelete = 0x7F;
constexpr bool is_control(char32_t character)
{
    return (character <= kLastControlBelowSpace && character != '\t') || character == kDelete;
}

// How the characters of a text are carried: as they are, or, decoding, a
// line break as one space and every other control character but the tab
// as '?', so that none can steer a terminal or break a line.
enum class Controls {
    kept,
    replaced,
};

// The text, read in `charset`, written in `table` until `out` is full,
// never half a character; returns how much was written, and through `read`
// how many bytes of the text that took.
std::size_t to_table_text(std::string_view text, Charset charset, TableCharset table, Controls controls,
                          std::span<char> out, std::size_t& read);

} // namespace cardtab
