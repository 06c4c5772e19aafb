#include "convert/card_scanner.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "vcard/names.hpp"
#include "convert/csv_output.hpp"
#include "convert/part_queue.hpp"
#include "vcard/encoded_values.hpp"
#include "vcard/logical_lines.hpp"
#include "vcard/selectors.hpp"
#include "convert/tag_index.hpp"
#include "text/clean_value.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "vcard/value_decoding.hpp"
#include "vcard/prefix.hpp"

namespace cardtab {

namespace {

// The card line being scanned, with what is worked out about it only when
// a column needs it.
struct CardLine {
    explicit CardLine(PaddedText line_text) : padded(line_text), text(line_text.view()) {}
    PaddedText padded;
    std::string_view text;
    // The values taken hold only bytes that decoding reads as they stand.
    bool plain = true;
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
PaddedText prefix_of(const CardLine& line)
{
    const bool found = line.colon > 0 && line.text[line.colon - 1] == ':';
    return found ? line.padded.substr(0, line.colon - 1) : PaddedText();
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

void mark_filled(CardValues& card, std::size_t j)
{
    const ColumnSet bit = ColumnSet{1} << j;
    card.filled = card.slots[j].length != 0 ? card.filled | bit : card.filled & ~bit;
    card.cut = card.slots[j].cut_line != 0 ? card.cut | bit : card.cut & ~bit;
}

void clear_card(CardValues& card, std::size_t count)
{
    card.filled = 0;
    card.cut = 0;
    for (std::size_t j = 0; j < count; ++j) {
        card.slots[j] = {};
        card.ranked[j] = 0;
    }
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
        // Most tags are short: the index alone tells, and the column's
        // record, far from the next one's, is not read at all.
        if ((index.short_tags >> j & 1) != 0) {
            return begins_with_short(line.padded.data(), line.text.size(), index.short_texts[j]);
        }
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
    AsTheyStand(LineReader& reader, const ColumnTable& columns, TableCharset table_charset, CardFindings&)
        : cards(reader), tags{columns}, charset(table_charset),
          tables(value_tables(table_charset, table_charset == TableCharset::windows_1250_plain))
    {
    }
    static constexpr bool kDecoded = false;
    static constexpr bool kBoundsInAnyCase = false;
    LineReader& cards;
    TagPrefixes tags;
    TableCharset charset;
    const ValueTables& tables;

    bool read_line() { return read_piece(cards); }

    static void file_begun() {}

    // A value holds the rules' 100 bytes, and a column shows its last line.
    void prepare(CardValues& card) const
    {
        const std::array<std::size_t, kMaxColumns> last{[] {
            std::array<std::size_t, kMaxColumns> ones{};
            ones.fill(1);
            return ones;
        }()};
        prepare_card(card, tags.columns.count, value_capacity(CardReading::as_they_stand), last);
    }

    PaddedText text() const { return current_padded_text(cards); }

    std::size_t line_number() const { return cards.line_number; }

    // A line longer than a piece is still one line.
    bool begins_line() const { return cards.piece_begins_line; }

    ColumnSet columns_matching(CardLine& line) const { return tags.columns_matching(line); }

    // The value as read, without the line end: cleaning would trim it, and
    // it is no byte of the value that decoding reads otherwise.
    PaddedText value_text(CardLine& line, std::size_t j) const
    {
        PaddedText text = text_after_colon(line, tags.index.colon_from[j]);
        std::size_t end = text.size();
        while (end > 0 && is_one_of(text[end - 1], "\n\r")) {
            --end;
        }
        return text.substr(0, end);
    }

    // The default set folds the bytes as they stand, which the tables do in
    // one pass.
    std::size_t take_value(CardLine& line, std::size_t j, std::span<char> value, std::size_t& cut_line) const
    {
        if (!tables.folds) [[unlikely]] {
            return take_value_in_set(line, j, value, cut_line);
        }
        const PaddedText text = value_text(line, j);
        const bool cut = text.size() > value.size() && cleaning_cuts_text(text, value.size(), tables);
        cut_line = cut ? cards.line_number : 0;
        bool plain = false;
        const std::size_t length = clean_value(text, value, strips_spaces(j), tables, &plain);
        line.plain = line.plain && plain;
        return length;
    }

    bool strips_spaces(std::size_t j) const { return (tags.index.strips_spaces >> j & 1) != 0; }

    // Another set reads the value as UTF-8 where it all is, else as
    // Windows-1250: the one pass does that where every high byte begins a
    // pair the tables cover, which makes it UTF-8; any other value is
    // written character by character.
    [[gnu::noinline]] std::size_t take_value_in_set(CardLine& line, std::size_t j, std::span<char> value,
                                                    std::size_t& cut_line) const
    {
        const PaddedText text = value_text(line, j);
        bool plain = false;
        std::size_t length = clean_value(text, value, strips_spaces(j), tables, &plain);
        line.plain = line.plain && plain;
        bool cut = false;
        if (high_bytes_are_covered_pairs(text)) {
            cut = text.size() > value.size() && cleaning_cuts_text(text, value.size(), tables);
        } else {
            length = written_in_table_charset(text, value, strips_spaces(j), cut);
        }
        cut_line = cut ? cards.line_number : 0;
        return length;
    }

    std::size_t written_in_table_charset(PaddedText text, std::span<char> value, bool strips, bool& cut) const
    {
        const Charset read_as = utf8_or_windows_1250(text);
        std::size_t read = 0;
        const std::size_t length = to_table_text(text.view(), read_as, charset, Controls::kept, value, read);
        cut = holds_other_than(text.view().substr(read), kValueBlanks);
        return apply_value_rules(value.first(length), {value.size(), charset, strips, true});
    }

    // A later line a column takes overwrites its value.
    ColumnSet take_line(CardLine& line, CardValues& card, bool)
    {
        const ColumnSet matching = columns_matching(line);
        for (ColumnSet set = matching; set != 0; set &= set - 1) {
            const auto j = static_cast<std::size_t>(std::countr_zero(set));
            TakenValue& taken = card.slots[j];
            taken.length = take_value(line, j, slot_bytes(card, j), taken.cut_line);
            mark_filled(card, j);
        }
        return matching;
    }
};

// Real exports write the same few prefixes on every card: what each says
// is kept, keyed by its bytes, so that most lines are read as a property
// only once. A prefix that names an unknown character set is never kept:
// its name is noted for each line.
struct PrefixMemo {
    static constexpr std::size_t kEntries = 64;
    static constexpr std::size_t kPrefixBytes = 56;
    // No prefix is this long: an entry that was never kept matches none,
    // and its bytes are never compared.
    static constexpr std::size_t kNothingKept = std::string_view::npos;
    struct Entry {
        std::array<char, kPrefixBytes> bytes;
        std::size_t length = kNothingKept;
        PrefixReading reading;
    };
    std::array<Entry, kEntries> entries;

    Entry& entry_for(std::string_view prefix)
    {
        const std::size_t last = prefix.empty() ? 0 : static_cast<unsigned char>(prefix.back());
        const std::size_t first = prefix.empty() ? 0 : static_cast<unsigned char>(prefix.front());
        return entries[(prefix.size() * 31 + first * 7 + last) % kEntries];
    }

    const PrefixReading* find(std::string_view prefix)
    {
        const Entry& entry = entry_for(prefix);
        return entry.length == prefix.size() && std::memcmp(entry.bytes.data(), prefix.data(), prefix.size()) == 0
                   ? &entry.reading
                   : nullptr;
    }

    void keep(std::string_view prefix, const PrefixReading& reading)
    {
        if (prefix.size() <= kPrefixBytes && reading.encoding.unknown_charset.empty()) {
            Entry& entry = entry_for(prefix);
            prefix.copy(entry.bytes.data(), prefix.size());
            entry.length = prefix.size();
            entry.reading = reading;
        }
    }
};

// The slot of place `n` in column `j`'s order: the last kept is the value
// shown.
std::size_t ranked_slot(const CardValues& card, std::size_t j, std::size_t n, std::size_t shown)
{
    return n + 1 == shown ? j : card.first_ranked[j] + n;
}

// Where a new line of that rank goes in column `j`'s order, after every
// line kept of a rank no higher, or npos where it falls past the line the
// column shows.
std::size_t place_of(const CardValues& card, std::size_t j, unsigned rank, std::size_t shown)
{
    std::size_t at = 0;
    while (at < card.ranked[j] && card.slots[ranked_slot(card, j, at, shown)].rank <= rank) {
        ++at;
    }
    return at < shown ? at : std::string_view::npos;
}

// Makes room at `at` in column `j`'s order, dropping the last value kept
// where all are.
void make_room(CardValues& card, std::size_t j, std::size_t at, std::size_t shown)
{
    const std::size_t kept = std::min(card.ranked[j] + 1, shown);
    for (std::size_t n = kept - 1; n > at; --n) {
        const std::size_t to = ranked_slot(card, j, n, shown);
        const std::size_t from = ranked_slot(card, j, n - 1, shown);
        std::copy_n(slot_bytes(card, from).data(), card.slots[from].length, slot_bytes(card, to).data());
        card.slots[to] = card.slots[from];
    }
    card.ranked[j] = kept;
}

// The decoding way: the card file in logical lines, each line read as a
// vCard property that the columns' tags name, its value decoded as its
// prefix and its card's version say. A column shows the n-th of the lines
// it takes, the preferred ones first.
struct Decoded {
    Decoded(LineReader& reader, const ColumnTable& columns, TableCharset table_charset, CardFindings& found)
        : cards(reader), properties(columns), charset(table_charset), unknown_charsets(found.unknown_charsets),
          read_as_windows_1250(found.read_as_windows_1250)
    {
    }
    static constexpr bool kDecoded = true;
    static constexpr bool kBoundsInAnyCase = true;
    LineReader& cards;
    ColumnSelectors properties;
    LogicalLines lines;
    PaddedBuffer scratch = PaddedBuffer(kMaxLogicalLineBytes);
    SplitParameters parameters; // the line's, split anew where its prefix is new
    PrefixReading fresh;        // what a prefix not kept says
    PrefixMemo memo;
    TableCharset charset;
    UnknownCharsets& unknown_charsets;
    Counted& read_as_windows_1250;

    bool read_line() { return read_logical_line(cards, lines); }

    void file_begun()
    {
        lines.text = {};
        lines.cut = false;
        lines.line_number = 0;
    }

    // A value holds as much as a line keeps, and a column the lines up to
    // the one it shows.
    void prepare(CardValues& card) const
    {
        std::array<std::size_t, kMaxColumns> shown{};
        for (std::size_t j = 0; j < properties.columns.count; ++j) {
            shown[j] = properties.selectors[j].nth_line;
        }
        prepare_card(card, properties.columns.count, value_capacity(CardReading::decoded), shown);
    }

    PaddedText text() const { return lines.text; }

    std::size_t line_number() const { return lines.line_number; }

    static bool begins_line() { return true; }

    const PrefixReading& reading_of(std::string_view prefix)
    {
        if (const PrefixReading* kept = memo.find(prefix)) {
            return *kept;
        }
        fresh = read_prefix(properties, prefix, parameters);
        memo.keep(prefix, fresh);
        return fresh;
    }

    // The raw value: the text after the prefix's colon, without the "tel:"
    // of a vCard 4.0 number given as a URI.
    static PaddedText raw_value(const CardLine& line, std::size_t colon, bool uri)
    {
        if (colon == std::string_view::npos) {
            return {};
        }
        PaddedText raw = line.padded.substr(colon + 1);
        if (uri && begins_in_any_case(raw.view(), kTelephoneUri)) {
            raw = raw.substr(kTelephoneUri.size());
        }
        return raw;
    }

    std::size_t take_value(PaddedText raw, ValueDecoding& how, std::size_t j, std::span<char> value,
                           std::size_t& cut_line)
    {
        how.component = properties.selectors[j].component;
        bool cut = false;
        bool guessed = false;
        const std::size_t length =
            decode_value(raw, how, scratch, value, properties.columns.columns[j].marks.strips_spaces, &cut, &guessed);
        cut_line = cut ? line_number() : 0;
        if (guessed) {
            note(read_as_windows_1250, line_number());
        }
        return length;
    }

    ColumnSet take_line(CardLine& line, CardValues& card, bool version_21)
    {
        const std::size_t colon = find_prefix_colon(line.text);
        const PrefixReading& reading = reading_of(line.text.substr(0, colon));
        if (reading.matching == 0) {
            return 0;
        }
        ValueDecoding how{reading.encoding, version_21, lines.cut, 0, charset};
        if (!how.encoding.unknown_charset.empty()) {
            note_unknown_charset(unknown_charsets, how.encoding.unknown_charset, line_number());
        }
        const PaddedText raw = raw_value(line, colon, reading.uri);
        for (ColumnSet set = reading.matching; set != 0; set &= set - 1) {
            const auto j = static_cast<std::size_t>(std::countr_zero(set));
            const std::size_t shown = properties.selectors[j].nth_line;
            if (const std::size_t at = place_of(card, j, reading.rank, shown); at != std::string_view::npos) {
                make_room(card, j, at, shown);
                const std::size_t slot = ranked_slot(card, j, at, shown);
                TakenValue& taken = card.slots[slot];
                taken.length = take_value(raw, how, j, slot_bytes(card, slot), taken.cut_line);
                // A prefix longer than the line keeps has lost the whole value.
                taken.cut_line = colon == std::string_view::npos && lines.cut ? line_number() : taken.cut_line;
                taken.rank = reading.rank;
            }
            // Even a line that falls past the one shown marks the column by
            // the ranking again, after a row stored a constant column's tag.
            mark_filled(card, j);
        }
        return reading.matching;
    }
};

// The lines a column takes mostly share one prefix: what the last one
// said is kept for each column. A prefix lies in a line that may be read
// past its end, and is compared a word at a time.
struct PrefixFactsMemo {
    static constexpr std::size_t kPrefixBytes = 48;
    static_assert(kPrefixBytes % sizeof(Word) == 0 && sizeof(Word) <= kReadablePast);
    static constexpr std::size_t kNothingKept = PrefixMemo::kNothingKept;
    struct Entry {
        std::array<char, kPrefixBytes> bytes;
        std::size_t length = kNothingKept;
        PrefixFacts facts;
    };
    std::array<Entry, kMaxColumns> entries{};

    static bool same(const Entry& entry, PaddedText prefix)
    {
        if (entry.length != prefix.size()) {
            return false;
        }
        Word differ = 0;
        for (std::size_t at = 0; at < prefix.size(); at += sizeof(Word)) {
            const Word mask = first_bytes_of_word(prefix.size() - at);
            differ |= (load_word(entry.bytes.data() + at) ^ load_word(prefix.data() + at)) & mask;
        }
        return differ == 0;
    }

    PrefixFacts facts(PaddedText prefix, std::size_t j)
    {
        Entry& entry = entries[j];
        if (same(entry, prefix)) {
            return entry.facts;
        }
        entry.facts = facts_of_prefix(prefix.view());
        entry.length = prefix.size() <= kPrefixBytes ? prefix.size() : kNothingKept;
        prefix.view().copy(entry.bytes.data(), std::min(prefix.size(), kPrefixBytes));
        return entry.facts;
    }
};

// Set bits one at a time: a line takes one column or two, and the
// processor the program is built for may have no instruction for it.
std::size_t count_columns(ColumnSet set)
{
    std::size_t count = 0;
    for (; set != 0; set &= set - 1) {
        ++count;
    }
    return count;
}

// What the run notices beside a scan without decoding.
struct WatchForEncoded {
    WatchForEncoded(const ColumnTable& columns, CardFindings& found)
        : seen{found.encoded_values}, properties(columns), properties_not_taken(found.properties_not_taken)
    {
    }
    EncodedValues seen;
    ColumnSelectors properties; // how decoding would read the tags
    Counted& properties_not_taken;
    SplitParameters parameters;
    PrefixFactsMemo prefixes;
    bool starts_line = false;

    void file_begun()
    {
        seen.pending = 0;
        starts_line = false;
    }

    void line_read(std::string_view text, bool begins_line)
    {
        starts_line = begins_line;
        if (begins_line) {
            note_line_begun(seen, text);
        }
    }

    void line_taken(const CardLine& line, ColumnSet taken, bool version_21, std::size_t line_number)
    {
        if (taken != 0) {
            const PrefixFacts prefix = prefixes.facts(prefix_of(line), static_cast<std::size_t>(std::countr_zero(taken)));
            note_values(seen, prefix, line.text.substr(line.colon), line.plain, count_columns(taken), version_21,
                        line_number);
        }
        // Only a grouped line or one in lower case can be one that decoding
        // takes and a prefix does not.
        if (starts_line && may_name_property_otherwise(line.padded)) {
            const std::string_view prefix = line.text.substr(0, find_prefix_colon(line.text));
            if ((read_prefix(properties, prefix, parameters).matching & ~taken) != 0) {
                note(properties_not_taken, line_number);
            }
        }
    }
};

// Decoding leaves nothing encoded to notice, and a listing takes no values.
struct NothingToWatch {
    NothingToWatch(const ColumnTable&, CardFindings&) {}
    void file_begun() {}
    void line_read(std::string_view, bool) {}
    void line_taken(const CardLine&, ColumnSet, bool, std::size_t) {}
};

// The last "VERSION:" line of a card counts, its value trimmed of spaces,
// CRs and the line feed a piece ends in.
bool is_version_21(std::string_view line)
{
    return trim_both(line.substr(kVersion.size()), kValueBlanks) == kVersion21;
}

// A value that Excel or Calc would run as a formula, quoted or not: one
// beginning with '=' or '@', or with '+' or '-' and holding more than what
// a number or a phone number holds ("+420 601 123", "-5", "+1 (555) 12-34"
// are none; "-2+3" and "+A1" are).
// A phone number is mostly digits: the bytes it may hold after its sign
// are looked up, not searched for.
constexpr std::array<bool, 256> kNumberBytes = [] {
    std::array<bool, 256> number{};
    for (const char byte : std::string_view("0123456789 ().-/")) {
        number[static_cast<unsigned char>(byte)] = true;
    }
    return number;
}();

bool looks_like_formula(std::string_view value)
{
    if (value[0] == '=' || value[0] == '@') {
        return true;
    }
    if (value[0] != '+' && value[0] != '-') {
        return false;
    }
    for (std::size_t at = 1; at < value.size(); ++at) {
        if (!kNumberBytes[static_cast<unsigned char>(value[at])]) {
            return true;
        }
    }
    return false;
}

// Most values begin with a letter or a digit: their first byte tells.
inline void note_formulas(CardFindings& found, const CardValues& card, std::size_t count, ColumnSet constant,
                          std::size_t line)
{
    for (std::size_t j = 0; j < count; ++j) {
        const std::string_view value = shown_value(card, j);
        const bool may_be = !value.empty() && (value[0] == '=' || value[0] == '@' || value[0] == '+' || value[0] == '-');
        if (may_be && (constant >> j & 1) == 0 && looks_like_formula(value)) {
            found.first_formula_column = found.formula_values.count == 0 ? j : found.first_formula_column;
            note(found.formula_values, line);
        }
    }
}

// Read as they stand, a byte order mark hides the card bound after it (a
// file joined from exports), and a piece of a long line after its first is
// matched like a line.
void note_line_traps(CardFindings& found, PaddedText text, ColumnSet taken, bool begins_line, std::size_t line)
{
    if (begins_line && line > 1 && begins_with_byte_order_mark(text.view())) {
        note(found.byte_order_marks, line);
    }
    // A file whose lines end in CR alone is one line to the text-mode rules.
    const auto holds = [&text](std::string_view bound) { return text.view().find(bound) != std::string_view::npos; };
    if (line == 1 && !found.cr_only_line_ends && (holds("\rBEGIN:VCARD") || holds("\rEND:"))) {
        found.cr_only_line_ends = true;
    }
    if (taken != 0 && !begins_line) {
        found.first_later_piece_column = found.values_from_later_pieces.count == 0
                                             ? static_cast<std::size_t>(std::countr_zero(taken))
                                             : found.first_later_piece_column;
        note(found.values_from_later_pieces, line);
    }
}

// A card that ends without its required columns gives no row.
void note_rowless_card(CardFindings& found, ColumnSet empty_required, std::size_t line)
{
    found.first_rowless_column = found.cards_without_row.count == 0
                                     ? static_cast<std::size_t>(std::countr_zero(empty_required))
                                     : found.first_rowless_column;
    note(found.cards_without_row, line);
}

// A constant column shows its tag, not its value.
void note_cut_values(CardFindings& found, const CardValues& card, ColumnSet constant)
{
    for (ColumnSet set = card.cut & ~constant; set != 0; set &= set - 1) {
        const auto j = static_cast<std::size_t>(std::countr_zero(set));
        found.first_cut_column = found.cut_values.count == 0 ? j : found.first_cut_column;
        note(found.cut_values, card.slots[j].cut_line);
    }
}

// A card that ends complete is a data line of the table, or of a part's
// rows in memory, whose buffer, once full, waits for the main thread.
struct TableRows {
    TableWriter& table;
    const TableTexts& texts;
    const RunSettings& settings;
    const ColumnTable& columns;
    PartQueue* queue = nullptr;
    ScanPart* part = nullptr;
    static constexpr bool kWritesRows = true;
    bool can_go_on() const { return table.status.ok; }
    void write(const CardValues& card)
    {
        if (part != nullptr && table.used + texts.row_room + 2 > table.largest_buffer) {
            queue->hand_over_rows(*part);
        }
        write_row(table, settings, columns, texts, card);
    }
    void card_begun() {}
    void card_ended() {}
    void file_begun() {}
    void line(std::string_view, bool, bool) {}
};

// A listing takes no value and writes no row: it counts the tags of each
// card's lines.
struct ListedTags {
    TagCounts& counts;
    static constexpr bool kWritesRows = false;
    static bool can_go_on() { return true; }
    static void write(const CardValues&) {}
    void card_begun() { cardtab::card_begun(counts); }
    void card_ended() { cardtab::card_ended(counts); }
    void file_begun() { cardtab::file_begun(counts); }
    void line(std::string_view text, bool begins_line, bool decoded) { note_line(counts, text, begins_line, decoded); }
};

// Every way shares everything but how lines are read, matched and their
// values taken, and where rows go: the card bounds, the required and
// constant columns, the rows. Each way's loop is a function of its own, so
// that what a line needs is inlined into each.
template <class Mode, class Watch, class Output>
[[gnu::noinline]] void scan_file(Mode& mode, Watch& watch, Output& output, const ColumnTable& columns,
                                 const TagIndex& index, CardValues& card, CardFindings& found)
{
    bool version_21 = false;
    // Counted here and stored at the end: the findings lie where any store
    // of the loop might write.
    std::size_t card_ends = 0;
    std::size_t rows = 0;
    ColumnSet taken_ever = 0;
    ColumnSet required_ever_filled = 0;
    while (output.can_go_on() && mode.read_line()) {
        const PaddedText padded = mode.text();
        const std::string_view text = padded.view();
        // Folding keeps every ASCII byte and makes none but '_' and '`', so it
        // cannot make or unmake a card bound: both are tested on the line as
        // read, and the line itself is never folded.
        const bool starts_card = begins_with_bound(padded, kStartBound, Mode::kBoundsInAnyCase);
        if (starts_card) {
            clear_card(card, columns.count);
            version_21 = false;
            output.card_begun();
        } else if (begins_with_bound(padded, kVersionBound, Mode::kBoundsInAnyCase)) {
            version_21 = is_version_21(text);
        }
        watch.line_read(text, mode.begins_line());
        CardLine line(padded);
        ColumnSet taken = 0;
        if constexpr (Output::kWritesRows) {
            taken = mode.take_line(line, card, version_21);
        }
        taken_ever |= taken;
        watch.line_taken(line, taken, version_21, mode.line_number());
        if constexpr (!Mode::kDecoded && Output::kWritesRows) {
            note_line_traps(found, padded, taken, mode.begins_line(), mode.line_number());
        }
        if (begins_with_bound(padded, kEndBound, Mode::kBoundsInAnyCase)) {
            ++card_ends;
            required_ever_filled |= card.filled & index.required;
            if (Output::kWritesRows && (index.required & ~card.filled) != 0) {
                note_rowless_card(found, index.required & ~card.filled, mode.line_number());
            } else if (Output::kWritesRows) {
                output.write(card);
                ++rows;
                note_cut_values(found, card, index.constant);
                note_formulas(found, card, columns.count, index.constant, mode.line_number());
                // From now on a constant column counts as filled, as if its
                // row had stored the tag it shows as its value: a card that
                // goes on without a "BEGIN:VCARD" sees it so.
                card.filled |= index.constant;
            }
            output.card_ended();
        } else if (!starts_card) {
            output.line(text, mode.begins_line(), Mode::kDecoded);
        }
    }
    found.card_ends += card_ends;
    found.rows += rows;
    found.columns_taken |= taken_ever;
    found.required_never_filled &= ~required_ever_filled;
}

// What only the end of a file tells.
void note_file_end(LineReader& cards, CardFindings& found)
{
    found.wide_text = wide_text_of(cards);
    if (cards.stopped_at_eof_byte) {
        found.eof_byte_line = cards.eof_byte_line;
        found.bytes_after_eof_byte = count_bytes_after_eof_byte(cards);
    }
}

// A part's rows grow in memory up to this size, then are handed over.
inline constexpr std::size_t kPartRowBytes = std::size_t{1} << 20;

// A thread's own way of reading, watch and card, for the parts it scans.
template <class Mode, class Watch>
struct PartScanner {
    PartScanner(const ColumnTable& columns, TableCharset charset)
        : mode(reader, columns, charset, found), watch(columns, found)
    {
        mode.prepare(card);
    }
    LineReader reader;
    CardFindings found;
    Mode mode;
    Watch watch;
    CardValues card;
};

// A part begins at a card's first line, where a scan forgets all it held:
// it is scanned as a file of its own, and so just as the whole file would
// be scanned there.
template <class Mode, class Watch>
void scan_part(PartScanner<Mode, Watch>& scanner, ScanPart& part, PartQueue& queue, const TableRows& table,
               const TagIndex& index)
{
    read_bytes_alone(scanner.reader, part.bytes, part.size);
    scanner.found = CardFindings{};
    scanner.found.required_never_filled = index.required;
    clear_card(scanner.card, table.columns.count);
    scanner.mode.file_begun();
    scanner.watch.file_begun();
    TableRows rows{part.rows, table.texts, table.settings, table.columns, &queue, &part};
    scan_file(scanner.mode, scanner.watch, rows, table.columns, index, scanner.card, scanner.found);
    part.found = scanner.found;
    part.lines = scanner.reader.line_number;
    std::swap(scanner.reader.chunk, part.bytes); // the part keeps its buffer
}

// Where the last line that begins a card begins, or npos.
std::size_t last_card_start(std::string_view bytes)
{
    for (std::size_t lf = bytes.rfind('\n'); lf != std::string_view::npos;
         lf = lf == 0 ? std::string_view::npos : bytes.rfind('\n', lf - 1)) {
        if (bytes.substr(lf + 1).starts_with(kCardStart)) {
            return lf + 1;
        }
    }
    return std::string_view::npos;
}

enum class PartFilled {
    part,      // it ends where a card begins; what follows is carried on
    last_part, // the file ends with it
    rest_here, // the rest of the file is scanned on the main thread
};

// Fills a part with `carried` and the file's next bytes, and cuts it before
// its last card start. A part in which no card starts but the first, that
// holds a 0x1A or after which reading failed, is left to the main thread.
PartFilled fill_part(LineReader& cards, ScanPart& part, std::string& carried, std::size_t part_bytes)
{
    if (part.bytes.capacity() < std::max(part_bytes, carried.size() + 1)) {
        part.bytes.assign(std::max(part_bytes, carried.size() + 1));
    }
    char* bytes = part.bytes.data();
    const std::size_t capacity = part.bytes.capacity();
    std::memcpy(bytes, carried.data(), carried.size());
    std::size_t size = carried.size();
    carried.clear();
    bool ended = false;
    while (size < capacity && !ended) {
        const ReadResult got = read_on(cards, std::span<char>(bytes + size, capacity - size));
        size += got.count;
        ended = got.count == 0;
    }
    part.size = size;
    const std::string_view read(bytes, size);
    if (!cards.status.ok || holds_end_of_file_byte(read)) {
        return PartFilled::rest_here;
    }
    if (ended) {
        return PartFilled::last_part;
    }
    const std::size_t start = last_card_start(read);
    if (start == std::string_view::npos) {
        return PartFilled::rest_here;
    }
    carried.assign(read.substr(start));
    part.size = start;
    return PartFilled::part;
}

// The parts of a run's card files and the workers that scan them, shared
// by all its files and started with the first of more than one part.
template <class Mode, class Watch>
struct PartScan {
    PartScan(const TableRows& rows, const TagIndex& tags, ScanSpread how)
        : table(rows), index(tags), spread(how), queue(how.threads + 1)
    {
    }
    const TableRows& table;
    const TagIndex& index;
    ScanSpread spread;
    PartQueue queue;
    std::optional<ScanWorkers> workers;

    bool start_workers()
    {
        if (!workers) {
            workers.emplace(queue, spread.threads, [this](PartQueue& parts) {
                PartScanner<Mode, Watch> scanner(table.columns, table.settings.charset);
                while (ScanPart* part = parts.next_to_scan()) {
                    scan_part(scanner, *part, parts, table, index);
                    parts.part_scanned(*part);
                }
            });
        }
        return workers->started();
    }
};

// The card file in parts on the workers; the reading, the rows written and
// the findings added in the file's order, here. A file of one part, and
// what is left to the main thread, is put back in the reader, at the start
// of its line: false where the file is to be scanned on from there.
template <class Mode, class Watch>
bool scan_file_in_parts(PartScan<Mode, Watch>& scan, LineReader& cards, TableRows& output, CardFindings& found)
{
    PartQueue& queue = scan.queue;
    std::string carried;
    std::size_t lines_before = 0;
    const auto write_rows = [&output](ScanPart& part) {
        append_lines(output.table, buffered_rows(part.rows));
        empty_row_buffer(part.rows);
    };
    const auto take_back_oldest = [&] {
        ScanPart& part = queue.wait_for_oldest(write_rows);
        write_rows(part);
        add_part_findings(found, part.found, lines_before);
        lines_before += part.lines;
        queue.take_back_oldest();
    };
    bool filled_last = false;
    for (bool first = true; !filled_last && output.can_go_on(); first = false) {
        if (queue.full()) {
            take_back_oldest();
            continue;
        }
        ScanPart& part = queue.next_free();
        const PartFilled filled = fill_part(cards, part, carried, scan.spread.part_bytes);
        filled_last = filled == PartFilled::last_part;
        if (filled == PartFilled::rest_here || (first && filled_last) || !scan.start_workers()) {
            while (!queue.empty()) {
                take_back_oldest();
            }
            put_bytes_ahead(cards, part.bytes, part.size);
            cards.line_number = lines_before;
            return false;
        }
        if (part.rows.buffer.empty()) {
            open_row_buffer(part.rows, std::max(kPartRowBytes, output.texts.row_room + 2));
        }
        queue.hand_out();
    }
    while (!queue.empty()) {
        take_back_oldest();
    }
    return true;
}

// Parts are cut where the file's bytes begin lines as they stand: not in
// UTF-16, nor where CRs alone end the lines. A file whose first read gave
// less than the reader's buffer holds, and less than a part, is small, and
// never tried.
bool may_cut_into_parts(const LineReader& cards, std::size_t part_bytes)
{
    return (cards.chunk_filled || cards.chunk_end > part_bytes) &&
           (!cards.reads_as_text || cards.text_read.form == TextRead::Form::as_it_stands);
}

// What a scan of the files needs beside the way of reading: the parts, where
// rows are written on more than one thread.
template <class Mode, class Watch, class Output>
struct FileScan {
    FileScan(const Output&, const TagIndex&, ScanSpread) {}
    bool scan_in_parts(LineReader&, Output&, CardFindings&) { return false; }
};

template <class Mode, class Watch>
struct FileScan<Mode, Watch, TableRows> {
    FileScan(const TableRows& rows, const TagIndex& index, ScanSpread spread) : parts(rows, index, spread) {}
    PartScan<Mode, Watch> parts;
    bool scan_in_parts(LineReader& cards, TableRows& output, CardFindings& found)
    {
        return parts.spread.threads > 1 && may_cut_into_parts(cards, parts.spread.part_bytes) &&
               scan_file_in_parts(parts, cards, output, found);
    }
};

// The card files one after another, each read as if alone: a card still
// open at a file's end gives no row, and nothing of it is seen in the next
// file. What the columns need is made once for them all.
template <class Mode, class Watch, class Output>
void scan(Mode& mode, Watch& watch, Output& output, const ColumnTable& columns, CardFindings& found,
          NextCardFile& next, ScanSpread spread)
{
    const TagIndex index = index_tags(columns);
    FileScan<Mode, Watch, Output> file_scan(output, index, spread);
    CardValues card;
    mode.prepare(card);
    for (;;) {
        found.required_never_filled = index.required;
        if (!file_scan.scan_in_parts(mode.cards, output, found)) {
            scan_file(mode, watch, output, columns, index, card, found);
        }
        note_file_end(mode.cards, found);
        if (!next.file_ended(mode.cards, found, output.can_go_on())) {
            return;
        }
        found = CardFindings{};
        clear_card(card, columns.count);
        mode.file_begun();
        watch.file_begun();
        output.file_begun();
    }
}

template <class Mode, class Watch, class Output>
void scan_as(LineReader& cards, const RunSettings& settings, const ColumnTable& columns, Output& output,
             CardFindings& found, NextCardFile& next, ScanSpread spread)
{
    Mode mode(cards, columns, settings.charset, found);
    Watch watch(columns, found);
    scan(mode, watch, output, columns, found, next, spread);
}

template <class Output>
void scan_with(LineReader& cards, const RunSettings& settings, const ColumnTable& columns, CardReading reading,
               Output& output, CardFindings& found, NextCardFile& next, ScanSpread spread)
{
    if (reading == CardReading::decoded) {
        scan_as<Decoded, NothingToWatch>(cards, settings, columns, output, found, next, spread);
    } else if constexpr (Output::kWritesRows) {
        scan_as<AsTheyStand, WatchForEncoded>(cards, settings, columns, output, found, next, spread);
    } else {
        scan_as<AsTheyStand, NothingToWatch>(cards, settings, columns, output, found, next, spread);
    }
}

// A scan of one file.
struct NoOtherFile final : NextCardFile {
    bool file_ended(LineReader&, const CardFindings&, bool) override { return false; }
};

} // namespace

void scan_cards(LineReader& cards, const RunSettings& settings, const ColumnTable& columns, CardReading reading,
                ScanOutput output, CardFindings& found, NextCardFile& next)
{
    if (output.table != nullptr) {
        TableRows rows{*output.table, *output.texts, settings, columns, nullptr, nullptr};
        scan_with(cards, settings, columns, reading, rows, found, next, output.spread);
    } else {
        ListedTags tags{*output.tags};
        scan_with(cards, settings, columns, reading, tags, found, next, output.spread);
    }
}

void scan_cards(LineReader& cards, const RunSettings& settings, const ColumnTable& columns, CardReading reading,
                ScanOutput output, CardFindings& found)
{
    NoOtherFile none;
    scan_cards(cards, settings, columns, reading, output, found, none);
}

} // namespace cardtab
