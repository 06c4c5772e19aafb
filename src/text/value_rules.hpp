#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The rules that make a column's value, over a text already in the table's
// character set, stated once; the fast ways of cleaning a value
// (clean_value.hpp) do the same through the tables this gives them.
namespace cardtab {

// The character set the table is written in, chosen once for a run.
enum class TableCharset {
    // Windows-1250, with the accented Czech, Slovak and Hungarian letters
    // made plain ASCII letters (Dvořák gives Dvorak).
    windows_1250_plain,
};

// A semicolon in a value becomes a space: the value stands in one field.
inline constexpr char kSemicolon = ';';
inline constexpr char kSpace = ' ';

// A control character other than the tab: none that decoding reads may
// reach the table, where it could steer a terminal or break a line.
inline constexpr char32_t kLastControlBelowSpace = 0x1F;
inline constexpr char32_t kDelete = 0x7F;
constexpr bool is_control(char32_t character)
{
    return (character <= kLastControlBelowSpace && character != '\t') || character == kDelete;
}

// What a character the table's character set lacks becomes.
inline constexpr char kUnknownCharacter = '?';

// A character as bytes of the table's character set: at most four.
struct EncodedCharacter {
    std::array<char, 4> bytes{};
    std::size_t length = 0;
};

// The character in the table's character set: in Windows-1250 its byte, or,
// from U+00A0 to U+017F, the byte folding makes of it; '?' where the set
// has none.
EncodedCharacter encode_character(char32_t character, TableCharset charset);

// The value rules: the text, in the table's character set, cut to its
// first `capacity` bytes; each semicolon a space; every space dropped when
// `drop_spaces`; the accents taken off where the character set says; and
// the trailing spaces, line feeds and carriage returns trimmed. In place;
// returns the value's length.
std::size_t apply_value_rules(std::span<char> text, std::size_t capacity, TableCharset charset, bool drop_spaces);

// What the fast ways of cleaning need of a character set, as tables.
struct ValueTables {
    // What each byte alone becomes.
    std::array<char, 256> singles;
    // What each two-byte sequence that folding covers becomes, at
    // pair_index(lead, second); 0 for a sequence it does not cover.
    std::array<char, 256> pairs;
    // What each byte is, as the bits below say. Every byte of 0x80 or more
    // is unusual, a lead byte of folding's range a pair lead, and no other
    // bit holds for one.
    std::array<std::uint8_t, 256> classes;
};

// The byte begins a two-byte sequence that folding may cover.
inline constexpr std::uint8_t kPairLead = 1;
// The byte alone becomes a space.
inline constexpr std::uint8_t kBecomesSpace = 2;
// The byte alone becomes a byte that trimming takes off a value's end.
inline constexpr std::uint8_t kTrimmed = 4;
// Decoding reads the byte otherwise than folding does, unless it begins a
// covered sequence: a control character but the tab, DEL, the backslash
// (which may begin an escape), and every byte of 0x80 or more.
inline constexpr std::uint8_t kUnusual = 8;

// The four lead bytes that folding covers and the low six bits of the
// second byte give each covered sequence an index of its own below 256.
constexpr std::size_t pair_index(unsigned char lead, unsigned char second)
{
    return static_cast<std::size_t>(((lead & 3u) << 6) | (second & 0x3Fu));
}

const ValueTables& value_tables(TableCharset charset);

} // namespace cardtab
