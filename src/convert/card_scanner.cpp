#include "convert/card_scanner.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "convert/csv_output.hpp"
#include "convert/encoded_values.hpp"
#include "convert/logical_lines.hpp"
#include "convert/tag_index.hpp"
#include "text/clean_value.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "text/value_decoding.hpp"

namespace cardtab {

namespace {

constexpr std::string_view kCardStart = "BEGIN:VCARD";
constexpr std::string_view kCardEnd = "END:";
constexpr std::string_view kVersion = "VERSION:";

// The card line being scanned, with what is worked out about it only when
// a column needs it.
struct CardLine {
    explicit CardLine(PaddedText line_text) : padded(line_text), text(line_text.view()) {}
    PaddedText padded;
    std::string_view text;
    std::size_t colon = 0; // one past the colon, or the end of the line
    bool colon_found = false;
    // The start of the line folded, enough for any tag.
    std::array<char, 2 * kMaxTagBytes + 1> folded;
    std::size_t folded_length = 0;
    bool folded_done = false;
};

// The text after the first colon that is not the line's first byte. Folding
// neither makes nor moves a colon, so it is found in the line as read; with
// no colon the value is empty.
PaddedText text_after_colon(CardLine& line, std::size_t search_from)
{
    if (!line.colon_found) {
        std::size_t colon = search_from;
        while (colon < line.text.size() && line.text[colon] != ':') {
            ++colon;
        }
        line.colon = std::min(colon + 1, line.text.size());
        line.colon_found = true;
    }
    return line.padded.substr(line.colon);
}

// The text before the colon, once text_after_colon has found it.
std::string_view prefix_of(const CardLine& line)
{
    const bool found = line.colon > 0 && line.text[line.colon - 1] == ':';
    return found ? line.text.substr(0, line.colon - 1) : std::string_view();
}

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

// Columns match the lines that begin with their tags, compared byte for
// byte with the line folded.
struct TagPrefixes {
    const ColumnTable& columns;
    TagIndex index = index_tags(columns);

    // A line a non-empty tag may begin with is compared as read: the tag
    // never ends in a space or a line feed, so trimming cannot cut into it.
    bool matches(CardLine& line, std::size_t j) const
    {
        const std::string_view tag = view(columns.columns[j].tag);
        if (tag.empty()) {
            return true;
        }
        if ((index.plain_tags >> j & 1) != 0) {
            return line.text.size() >= tag.size() && std::memcmp(line.text.data(), tag.data(), tag.size()) == 0;
        }
        return folded_line_begins_with(line, tag);
    }

    ColumnSet columns_matching(CardLine& line) const
    {
        ColumnSet matching = 0;
        for (ColumnSet set = columns_to_try(index, line.text); set != 0; set &= set - 1) {
            const auto j = static_cast<std::size_t>(std::countr_zero(set));
            matching |= matches(line, j) ? ColumnSet{1} << j : 0;
        }
        return matching;
    }
};

// The ordinary way: the card file in pieces, each value as it stands.
struct AsTheyStand {
    AsTheyStand(LineReader& reader, const ColumnTable& columns) : cards(reader), tags{columns} {}
    LineReader& cards;
    TagPrefixes tags;
    // Lines as a person counts them: a line longer than a piece is still one.
    std::size_t lines_begun = 0;
    bool starts_line = true;

    bool read_line()
    {
        if (!read_piece(cards)) {
            return false;
        }
        lines_begun += starts_line ? 1 : 0;
        starts_line = cards.piece_ends_line;
        return true;
    }

    PaddedText text() const { return current_padded_text(cards); }

    std::size_t line_number() const { return lines_begun; }

    ColumnSet columns_matching(CardLine& line) const { return tags.columns_matching(line); }

    std::size_t take_value(CardLine& line, std::size_t j, bool, std::span<char> value) const
    {
        const Column& column = tags.columns.columns[j];
        return clean_value(text_after_colon(line, tags.index.colon_from[j]), value, column.marks.strips_spaces);
    }

    // A 0x1A at the start of a line stands on the line after the last.
    std::size_t eof_byte_line() const { return lines_begun + (starts_line ? 1 : 0); }
};

// The decoding way: the card file in logical lines, each value decoded as
// its line's prefix and its card's version say.
struct Decoded {
    Decoded(LineReader& reader, const ColumnTable& columns) : cards(reader), tags{columns} {}
    LineReader& cards;
    TagPrefixes tags;
    LogicalLines lines;
    PaddedBuffer scratch = PaddedBuffer(kMaxLogicalLineBytes);

    bool read_line() { return read_logical_line(cards, lines); }

    PaddedText text() const { return lines.text; }

    std::size_t line_number() const { return lines.line_number; }

    ColumnSet columns_matching(CardLine& line) const { return tags.columns_matching(line); }

    std::size_t take_value(CardLine& line, std::size_t j, bool version_21, std::span<char> value)
    {
        const PaddedText raw = text_after_colon(line, tags.index.colon_from[j]);
        const ValueDecoding how{encoding_of(prefix_of(line)), version_21, lines.cut};
        return decode_value(raw, how, scratch, value, tags.columns.columns[j].marks.strips_spaces);
    }

    std::size_t eof_byte_line() const { return cards.eof_byte_line; }
};

// What the run notices beside a scan without decoding.
struct WatchForEncoded {
    EncodedValues seen;

    void line_read(std::string_view text, std::size_t line_number) { note_piece(seen, text, line_number); }

    void values_taken(const CardLine& line, std::size_t values, std::size_t line_number)
    {
        note_values(seen, prefix_of(line), line.text.substr(line.colon), values, line_number);
    }

    void report(CardsSeen& cards) const
    {
        cards.encoded_values = seen.count;
        cards.first_encoded_line = seen.first_line;
    }
};

// Decoding leaves nothing encoded to notice.
struct NothingToWatch {
    void line_read(std::string_view, std::size_t) {}
    void values_taken(const CardLine&, std::size_t, std::size_t) {}
    void report(CardsSeen&) const {}
};

// The last "VERSION:" line of a card counts, its value trimmed of spaces and
// CRs.
bool is_version_21(std::string_view line)
{
    std::string_view version = line.substr(kVersion.size());
    version.remove_prefix(std::min(version.find_first_not_of(" \r"), version.size()));
    version = version.substr(0, version.find_last_not_of(" \r") + 1);
    return version == "2.1";
}

// Both ways share everything but how lines are read, matched and their
// values taken: the card bounds, the required and constant columns, the
// rows.
template <class Mode, class Watch>
CardsSeen scan(Mode& mode, Watch& watch, TableWriter& table, const RunSettings& settings, const ColumnTable& columns)
{
    const TagIndex& index = mode.tags.index;
    CardValues card;
    bool version_21 = false;
    CardsSeen seen;
    while (table.status.ok && mode.read_line()) {
        const PaddedText padded = mode.text();
        const std::string_view text = padded.view();
        // Folding keeps every ASCII byte and makes none but '_' and '`', so it
        // cannot make or unmake a card bound: both are tested on the line as
        // read, and the line itself is never folded.
        const unsigned char first_byte = text.empty() ? 0 : static_cast<unsigned char>(text[0]);
        if (first_byte == 'B' && text.starts_with(kCardStart)) {
            card.filled = 0;
            for (std::size_t j = 0; j < columns.count; ++j) {
                card.values[j].length = 0;
            }
            version_21 = false;
        } else if (first_byte == 'V' && text.starts_with(kVersion)) {
            version_21 = is_version_21(text);
        }
        watch.line_read(text, mode.line_number());
        CardLine line(padded);
        if (const ColumnSet matching = mode.columns_matching(line); matching != 0) {
            for (ColumnSet set = matching; set != 0; set &= set - 1) {
                const auto j = static_cast<std::size_t>(std::countr_zero(set));
                const ColumnSet bit = ColumnSet{1} << j;
                card.values[j].length = mode.take_value(line, j, version_21, card.values[j].bytes);
                card.filled = card.values[j].length != 0 ? card.filled | bit : card.filled & ~bit;
            }
            watch.values_taken(line, static_cast<std::size_t>(std::popcount(matching)), mode.line_number());
        }
        if (first_byte == 'E' && text.starts_with(kCardEnd)) {
            ++seen.card_ends;
            seen.required_ever_filled |= card.filled & index.required;
            if ((index.required & ~card.filled) == 0) {
                write_row(table, settings, columns, card);
                ++seen.rows;
                // From now on a constant column counts as filled, as if its
                // row had stored the tag it shows as its value: a card that
                // goes on without a "BEGIN:VCARD" sees it so.
                card.filled |= index.constant;
            }
        }
    }
    seen.required_never_filled = index.required & ~seen.required_ever_filled;
    seen.wide_text = wide_text_of(mode.cards);
    seen.eof_byte_line = mode.cards.stopped_at_eof_byte ? mode.eof_byte_line() : 0;
    watch.report(seen);
    return seen;
}

} // namespace

CardsSeen scan_cards(LineReader& cards, TableWriter& table, const RunSettings& settings, const ColumnTable& columns,
                     CardReading reading)
{
    if (reading == CardReading::decoded) {
        Decoded mode(cards, columns);
        NothingToWatch watch;
        return scan(mode, watch, table, settings, columns);
    }
    AsTheyStand mode(cards, columns);
    WatchForEncoded watch;
    return scan(mode, watch, table, settings, columns);
}

} // namespace cardtab
