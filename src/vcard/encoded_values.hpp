#pragma once

#include <cstddef>
#include <string_view>

#include "result/findings.hpp"
#include "text/padded_text.hpp"

// What a run without decoding notices beside the scan: values taken as they
// stand that look encoded, so that the run can say how to decode them.
namespace cardtab {

// The values that look encoded are counted in `encoded`.
struct EncodedValues {
    Counted& encoded;
    // Values taken from the line `pending_line` that look plain so far: the
    // next line may still show that it continues theirs.
    std::size_t pending = 0;
    std::size_t pending_line = 0;
};

// The first piece of each line of the card file: a line that begins with a
// space or a tab continues the line before, so the values taken from that
// one were continued.
void note_line_begun(EncodedValues& seen, std::string_view text);

// What a line's prefix (the text before its colon) says of its values.
struct PrefixFacts {
    bool quoted_printable = false;
    bool other_charset = false; // a character set other than UTF-8 or ASCII
};

PrefixFacts facts_of_prefix(std::string_view prefix);

// A line of a card of that version that gave `values` values, from the
// text after its colon. They are written otherwise than decoding would
// write them when the line is quoted-printable and the text holds an
// encoded byte or a soft line break; or the text holds a backslash escape;
// or the line names a character set other than UTF-8; or the text holds
// UTF-8 that folding leaves as it is (three- and four-byte sequences, and
// two-byte ones outside U+00A0-U+017F). `plain`: cleaning found the values'
// bytes plain, so that only the prefix can tell.
void note_values(EncodedValues& seen, PrefixFacts prefix, std::string_view value_text, bool plain,
                 std::size_t values, bool version_21, std::size_t line_number);

// A line that decoding would read as a property: one with a '.' (a group)
// before its first ';' or ':', or that begins with a lower-case letter.
// Asked of every line: it looks at eight bytes at a time.
bool may_name_property_otherwise(PaddedText line);


} // namespace cardtab
