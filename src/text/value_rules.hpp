#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "text/charsets.hpp"

// The rules that make a column's value, over a text already in the table's
// character set, stated once; the fast ways of cleaning a value
// (clean_value.hpp) do the same through the tables this gives them.
namespace cardtab {

// A semicolon in a value becomes a space: the value stands in one field.
inline constexpr char kSemicolon = ';';
inline constexpr char kSpace = ' ';

struct ValueRules {
    std::size_t capacity = 0; // bytes of the table's text a value keeps
    TableCharset charset = TableCharset::windows_1250_plain;
    bool drop_spaces = false;
    // Every semicolon becomes a space. Decoding makes spaces of the
    // semicolons that separate components before it undoes the escapes,
    // and keeps an escaped one.
    bool semicolons = true;
};

// The value rules: the text, in the table's character set, cut to its
// first `capacity` bytes, never inside a character; each semicolon a space;
// every space dropped when `drop_spaces`; the accents taken off where the
// character set says; and the trailing spaces, line feeds and carriage
// returns trimmed. In place; returns the value's length.
std::size_t apply_value_rules(std::span<char> text, const ValueRules& rules);

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
    // A covered sequence stays as it is, both bytes (UTF-8), rather than
    // becoming the one byte `pairs` gives.
    bool pairs_stay_whole = false;
    // The bytes are folded as the ordinary mode's rules fold them, and every
    // other byte kept, which needs no second look at the value.
    bool folds = false;
};

// The byte begins a two-byte sequence that folding may cover.
inline constexpr std::uint8_t kPairLead = 1;
// The byte alone becomes a space.
inline constexpr std::uint8_t kBecomesSpace = 2;
// The byte alone becomes a byte that trimming takes off a value's end.
inline constexpr std::uint8_t kTrimmed = 4;
// Decoding reads the byte otherwise than the tables do, unless it begins a
// covered sequence: a control character but the tab, DEL, the backslash
// (which may begin an escape), and every byte of 0x80 or more.
inline constexpr std::uint8_t kUnusual = 8;

// The four lead bytes that folding covers and the low six bits of the
// second byte give each covered sequence an index of its own below 256.
constexpr std::size_t pair_index(unsigned char lead, unsigned char second)
{
    return static_cast<std::size_t>(((lead & 3u) << 6) | (second & 0x3Fu));
}

// The tables of the table's character set; `folds`: for the card's bytes
// as the ordinary mode's rules fold them (in the default set only);
// `semicolons`: each semicolon becomes a space (decoding keeps an escaped
// one, and makes the separating ones spaces itself).
const ValueTables& value_tables(TableCharset charset, bool folds, bool semicolons = true);

} // namespace cardtab
