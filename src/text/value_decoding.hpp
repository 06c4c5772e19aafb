#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "text/padded_text.hpp"

// Card values read as vCard writes them, for the decoding mode: quoted-
// printable or backslash escapes undone, the bytes read in their character
// set, and the text written as Windows-1250, the table's code page. The
// ordinary mode takes values as they stand and never comes here.
namespace cardtab {

enum class Charset {
    unnamed, // none given, or one not known here: UTF-8 when the bytes are, else Windows-1250
    utf8,
    iso_8859_1,
    iso_8859_2,
    windows_1250,
    windows_1252,
};

// What a card line's prefix (its text before the first colon that is not
// its first byte) says of how the value after the colon is written.
struct ValueEncoding {
    bool quoted_printable = false;
    Charset charset = Charset::unnamed;
};

// "QUOTED-PRINTABLE" anywhere in the prefix, in any letter case.
bool holds_quoted_printable(std::string_view prefix);

// The text after the first "CHARSET=" of the prefix, up to the next ';',
// compared in any letter case with the names of the known character sets.
ValueEncoding encoding_of(std::string_view prefix);

struct ValueDecoding {
    ValueEncoding encoding;
    // The card says VERSION:2.1, whose only escape is "\;". Other cards
    // also have "\\", "\,", "\:" and "\n" (or "\N") for a line break.
    bool version_21 = false;
    // The line was longer than the part of it that is kept, so the value
    // may end in half an escape or half a character, which is dropped.
    bool line_cut = false;
};

// Makes a column's value from the raw text after a card line's colon:
// decoded as `how` says, each line break (CR LF, LF or CR) made one space,
// every character written as its Windows-1250 byte (those from U+00A0 to
// U+017F as folding writes them) or as '?' where the code page has none;
// then the value rules of the ordinary mode: the first value.size() bytes,
// semicolons as spaces, spaces dropped when `drop_spaces`, accented
// letters plain, trailing spaces, line feeds and CRs trimmed. `scratch`
// holds at least raw.size() bytes. Returns the value's length.
std::size_t decode_value(PaddedText raw, const ValueDecoding& how, PaddedBuffer& scratch, std::span<char> value,
                         bool drop_spaces);

} // namespace cardtab
