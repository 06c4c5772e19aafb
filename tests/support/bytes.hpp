#pragma once

#include <string>
#include <string_view>

#include "text/padded_text.hpp"
#include "text/value_rules.hpp"

namespace cardtab::testing {

// Shows bytes so that a failed comparison can be read: \r, \n, \0 and
// every byte outside printable ASCII as \xNN.
std::string escaped(std::string_view bytes);

// `bytes` in a buffer of their own, followed by `filler` up to the end of
// its padding: as a reader's bytes after a text, they mean nothing. Take the
// text with `.text(0, bytes.size())`.
PaddedBuffer padded_copy(std::string_view bytes, char filler);

// The value the program's value rules make of the text after a line's
// colon: folded as the ordinary mode folds it where `folds`, else read as
// UTF-8 where it is and as Windows-1250 where not and written in the set.
// The plain statement that the fast ways of cleaning are held to.
std::string by_the_value_rules(std::string_view text, TableCharset charset, bool folds, bool drop_spaces);

} // namespace cardtab::testing
