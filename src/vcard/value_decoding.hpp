#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "text/padded_text.hpp"
#include "text/charsets.hpp"
#include "text/value_rules.hpp"
#include "vcard/prefix.hpp"

// Card values read as vCard writes them, for the decoding mode: quoted-
// printable or backslash escapes undone, the bytes read in their character
// set, and the text written as Windows-1250, the table's code page. The
// ordinary mode takes values as they stand and never comes here.
namespace cardtab {

// What a card line's prefix (its text before the first colon that is not
// its first byte) says of how the value after the colon is written.
struct ValueEncoding {
    bool quoted_printable = false;
    Charset charset = Charset::unnamed;
    // The name of a set the line names and this program does not know, as
    // written; empty where there is none.
    std::string_view unknown_charset;
};

// "QUOTED-PRINTABLE" anywhere in the prefix, in any letter case.
bool holds_quoted_printable(std::string_view prefix);

// The first value of the prefix's first CHARSET parameter, compared in any
// letter case with the names of the known character sets (US-ASCII and
// ASCII are read as no set at all).
ValueEncoding encoding_of(std::string_view prefix);
// The same from the prefix's parameters, split already.
ValueEncoding encoding_of(std::string_view prefix, const SplitParameters& parameters);

struct ValueDecoding {
    ValueEncoding encoding;
    // The card says VERSION:2.1, whose only escape is "\;". Other cards
    // also have "\\", "\,", "\:" and "\n" (or "\N") for a line break.
    bool version_21 = false;
    // The line was longer than the part of it that is kept, so the value
    // may end in half an escape, which is dropped.
    bool line_cut = false;
    // The component of the value to take, counting from 1; 0 for all of it.
    std::size_t component = 0;
    // What the value is written in.
    TableCharset charset = TableCharset::windows_1250_plain;
};

// Where component `component` (counting from 1) of a value's bytes starts,
// and through `length` how long it is: components are split at each ';'
// that is no part of an escape (in a vCard 2.1 card "\;", in others a
// backslash and the byte after it). A component past the last is empty.
std::size_t value_component(std::string_view bytes, std::size_t component, bool version_21, std::size_t& length);

// Makes a column's value from the raw text after a card line's colon:
// decoded as `how` says (quoted-printable undone, the character set decided
// on the whole value, the component taken, the semicolons that separate
// components made spaces and the escapes undone, an escaped semicolon
// staying one), each line break (CR LF, LF or CR) made one space, every
// control character but the tab '?', and the text written in the table's
// character set; then the value rules: the first value.size() bytes,
// spaces dropped when `drop_spaces`, accents taken off where the set says,
// trailing spaces, line feeds and CRs trimmed. `scratch` holds at least
// raw.size() bytes. Returns the value's length; where `cut` is given, it
// tells whether the decoded text lost more than blanks to the value's
// capacity, and where `guessed` is, whether bytes that name no set and are
// not UTF-8 were read as Windows-1250.
std::size_t decode_value(PaddedText raw, const ValueDecoding& how, PaddedBuffer& scratch, std::span<char> value,
                         bool drop_spaces, bool* cut = nullptr, bool* guessed = nullptr);

} // namespace cardtab
