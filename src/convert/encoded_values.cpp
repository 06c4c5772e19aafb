#include "convert/encoded_values.hpp"

#include "config/records.hpp"
#include "text/escapes.hpp"
#include "text/value_decoding.hpp"

namespace cardtab {

namespace {

void count_encoded(EncodedValues& seen, std::size_t values, std::size_t line_number)
{
    seen.first_line = seen.count == 0 ? line_number : seen.first_line;
    seen.count += values;
}

} // namespace

void note_piece(EncodedValues& seen, std::string_view text, std::size_t line_number)
{
    if (line_number == seen.last_line) {
        return;
    }
    seen.last_line = line_number;
    if (seen.pending != 0 && !text.empty() && (text[0] == ' ' || text[0] == '\t')) {
        count_encoded(seen, seen.pending, seen.pending_line);
    }
    seen.pending = 0;
}

void note_values(EncodedValues& seen, std::string_view prefix, std::string_view value_text, std::size_t values,
                 std::size_t line_number)
{
    // The value taken holds a backslash, and the line an escape.
    const std::string_view taken = value_text.substr(0, kMaxValueBytes);
    const bool escaped = taken.find('\\') != std::string_view::npos && holds_escape(value_text, false);
    if (escaped || holds_quoted_printable(prefix)) {
        count_encoded(seen, values, line_number);
    } else {
        seen.pending += values;
        seen.pending_line = line_number;
    }
}

} // namespace cardtab
