#include "convert/card_scanner.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "convert/csv_output.hpp"
#include "convert/tag_index.hpp"
#include "text/clean_value.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "text/value_decoding.hpp"

namespace cardtab {

namespace {

constexpr std::string_view kCardStart = "BEGIN:VCARD";
constexpr std::string_view kCardEnd = "END:";

// The card line being scanned, with what is worked out about it only when
// a column needs it.
struct CardLine {
    // The text stays where the scan keeps it: copied in here, its two
    // halves, stored apart, would be read back as one, which stalls the
    // processor on every line.
    explicit CardLine(const std::string_view& line_text) : text(line_text) {}
    const std::string_view& text;
    std::size_t colon = 0; // one past the colon, or the end of the line
    bool colon_found = false;
    // The start of the line folded, enough for any tag.
    std::array<char, 2 * kMaxTagBytes + 1> folded;
    std::size_t folded_length = 0;
    bool folded_done = false;
};

// A tag that folding may change is compared with the start of the line
// folded, which is worked out once for the line.
bool folded_line_begins_with(CardLine& line, std::string_view tag)
{
    if (!line.folded_done) {
        const std::size_t length = std::min(line.text.size(), line.folded.size());
        line.text.copy(line.folded.data(), length);
        line.folded_length = fold_utf8_line(std::span<char>(line.folded.data(), length));
        line.folded_done = true;
    }
    return begins_with(std::string_view(line.folded.data(), line.folded_length), tag);
}

// A line a non-empty tag may begin with is compared as read: the tag never
// ends in a space or a line feed, so trimming cannot cut into it.
inline bool tag_matches(CardLine& line, std::string_view tag, bool plain)
{
    if (tag.empty()) {
        return true;
    }
    if (plain) {
        return line.text.size() >= tag.size() && std::memcmp(line.text.data(), tag.data(), tag.size()) == 0;
    }
    return folded_line_begins_with(line, tag);
}

static_assert(kReadablePastValueText <= kReadablePastPiece, "a value is cleaned from a piece a word at a time");

// The text after the first colon that is not the line's first byte. Folding
// neither makes nor moves a colon, so it is found in the line as read; with
// no colon the value is empty.
std::string_view text_after_colon(CardLine& line, std::size_t search_from)
{
    if (!line.colon_found) {
        std::size_t colon = search_from;
        while (colon < line.text.size() && line.text[colon] != ':') {
            ++colon;
        }
        line.colon = std::min(colon + 1, line.text.size());
        line.colon_found = true;
    }
    return line.text.substr(line.colon);
}

// The text before the colon, once text_after_colon has found it.
std::string_view prefix_of(const CardLine& line)
{
    const bool found = line.colon > 0 && line.text[line.colon - 1] == ':';
    return found ? line.text.substr(0, line.colon - 1) : std::string_view();
}

// A backslash followed by one of the bytes that make an escape.
bool holds_escape(std::string_view value)
{
    for (std::size_t at = value.find('\\'); at != std::string_view::npos; at = value.find('\\', at + 1)) {
        if (at + 1 < value.size() && std::string_view(",;\\nN").find(value[at + 1]) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

// The ordinary way: the card file in pieces, each value as it stands. It
// counts the values that look encoded, so that the run can say how to
// decode them: from a quoted-printable line, holding a backslash escape, or
// from a line that the next line continues.
struct AsTheyStand {
    std::size_t encoded = 0;
    std::size_t first_encoded_line = 0;
    // Lines as a person counts them: a line longer than a piece is still one.
    std::size_t line_number = 0;
    bool starts_line = true;
    // Values taken from the line `pending_line` that look plain so far: the
    // next line may still show that it continues theirs.
    std::size_t pending = 0;
    std::size_t pending_line = 0;
    bool backslash_taken = false; // by a value of the current line

    static bool read(LineReader& cards) { return read_piece(cards); }

    void count_encoded(std::size_t values, std::size_t on_line)
    {
        first_encoded_line = encoded == 0 ? on_line : first_encoded_line;
        encoded += values;
    }

    void begin_line(const LineReader& cards, std::string_view text)
    {
        if (starts_line) {
            ++line_number;
            if (pending != 0) {
                if (!text.empty() && (text[0] == ' ' || text[0] == '\t')) {
                    count_encoded(pending, pending_line);
                }
                pending = 0;
            }
        }
        starts_line = cards.piece_ends_line;
    }

    void begin_card() {}

    std::size_t take_value(CardLine& line, std::size_t search_from, Column& column)
    {
        const CleanedValue cleaned =
            clean_value(text_after_colon(line, search_from), column.value.bytes, column.marks.strips_spaces);
        backslash_taken = backslash_taken || cleaned.holds_backslash;
        return cleaned.length;
    }

    // Once for a line that gave `values` values.
    void values_taken(const CardLine& line, std::size_t values)
    {
        const bool quoted_printable = holds_quoted_printable(prefix_of(line));
        const bool escaped = backslash_taken && holds_escape(line.text.substr(line.colon));
        backslash_taken = false;
        if (quoted_printable || escaped) {
            count_encoded(values, line_number);
        } else {
            pending += values;
            pending_line = line_number;
        }
    }

    void end(const LineReader& cards, CardsSeen& seen) const
    {
        seen.encoded_values = encoded;
        seen.first_encoded_line = first_encoded_line;
        // A 0x1A at the start of a line stands on the line after the last.
        seen.eof_byte_line = cards.stopped_at_eof_byte ? line_number + (starts_line ? 1 : 0) : 0;
    }
};

constexpr std::string_view kVersion = "VERSION:";

// The decoding way: the card file in logical lines, each value decoded as
// its line's prefix and its card's version say.
struct Decoded {
    bool version_21 = false;
    bool line_cut = false;
    std::vector<char> scratch = std::vector<char>(kMaxLogicalLineBytes + kReadablePastValueText);

    static bool read(LineReader& cards) { return read_logical_line(cards); }

    // The last "VERSION:" line of the card counts, its value trimmed of
    // spaces and CRs.
    void begin_line(const LineReader& cards, std::string_view text)
    {
        line_cut = cards.line_cut;
        if (!text.empty() && text[0] == 'V' && text.starts_with(kVersion)) {
            std::string_view version = text.substr(kVersion.size());
            version.remove_prefix(std::min(version.find_first_not_of(" \r"), version.size()));
            version = version.substr(0, version.find_last_not_of(" \r") + 1);
            version_21 = version == "2.1";
        }
    }

    void begin_card() { version_21 = false; }

    std::size_t take_value(CardLine& line, std::size_t search_from, Column& column)
    {
        const std::string_view raw = text_after_colon(line, search_from);
        const ValueDecoding how{encoding_of(prefix_of(line)), version_21, line_cut};
        return decode_value(raw, how, scratch, column.value.bytes, column.marks.strips_spaces);
    }

    void values_taken(const CardLine&, std::size_t) {}

    static void end(const LineReader& cards, CardsSeen& seen)
    {
        seen.eof_byte_line = cards.stopped_at_eof_byte ? cards.eof_byte_line : 0;
    }
};

// Returns how many values the line gave.
template <class Way>
std::size_t capture_line(Way& way, ColumnTable& columns, const TagIndex& index, ColumnSet set, CardLine& line,
                         ColumnSet& filled)
{
    std::size_t values = 0;
    for (; set != 0; set &= set - 1) {
        const auto j = static_cast<std::size_t>(std::countr_zero(set));
        const ColumnSet bit = ColumnSet{1} << j;
        Column& column = columns.columns[j];
        if (!tag_matches(line, view(column.tag), (index.plain_tags & bit) != 0)) {
            continue;
        }
        column.value.length = way.take_value(line, index.colon_from[j], column);
        filled = column.value.length != 0 ? filled | bit : filled & ~bit;
        ++values;
    }
    return values;
}

void clear_values(ColumnTable& columns, ColumnSet& filled)
{
    for (std::size_t j = 0; j < columns.count; ++j) {
        columns.columns[j].value.length = 0;
    }
    filled = 0;
}

// Both ways share everything but how lines are read and values taken: the
// card bounds, the tag match, the required and constant columns, the rows.
template <class Way>
CardsSeen scan(LineReader& cards, TableWriter& table, const RunSettings& settings, ColumnTable& columns)
{
    const TagIndex index = index_tags(columns);
    // The columns whose value is not empty. A constant column's value is its
    // tag once a row has been written; it is marked then.
    ColumnSet filled = 0;
    CardsSeen seen;
    Way way;
    while (table.status.ok && Way::read(cards)) {
        const std::string_view text = current_text(cards);
        // Folding keeps every ASCII byte and makes none but '_' and '`', so it
        // cannot make or unmake "END:": both card bounds are tested on the
        // line as read, and the line itself is never folded.
        const unsigned char first_byte = text.empty() ? 0 : static_cast<unsigned char>(text[0]);
        if (first_byte == 'B' && text.starts_with(kCardStart)) {
            clear_values(columns, filled);
            way.begin_card();
        }
        way.begin_line(cards, text);
        const bool ends_card = first_byte == 'E' && text.starts_with(kCardEnd);
        if (const ColumnSet set = columns_to_try(index, text); set != 0) {
            CardLine line(text);
            if (const std::size_t values = capture_line(way, columns, index, set, line, filled); values != 0) {
                way.values_taken(line, values);
            }
        }
        if (ends_card) {
            ++seen.card_ends;
            seen.required_ever_filled |= filled & index.required;
            // The check sees the values as they stand, before write_row puts
            // a constant column's tag in place.
            if ((index.required & ~filled) == 0) {
                write_row(table, settings, columns);
                ++seen.rows;
                filled |= index.constant;
            }
        }
    }
    seen.required_never_filled = index.required & ~seen.required_ever_filled;
    seen.wide_text = wide_text_of(cards);
    way.end(cards, seen);
    return seen;
}

} // namespace

CardsSeen scan_cards(LineReader& cards, TableWriter& table, const RunSettings& settings, ColumnTable& columns)
{
    return settings.decode ? scan<Decoded>(cards, table, settings, columns)
                           : scan<AsTheyStand>(cards, table, settings, columns);
}

} // namespace cardtab
