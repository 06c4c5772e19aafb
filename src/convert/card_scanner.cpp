#include "convert/card_scanner.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <span>
#include <string_view>

#include "convert/csv_output.hpp"
#include "text/diacritics.hpp"
#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "text/words.hpp"

namespace cardtab {

namespace {

constexpr std::string_view kCardStart = "BEGIN:VCARD";
constexpr std::string_view kCardEnd = "END:";

// The columns whose tags begin with each byte, as one bit a column, so a
// line is compared in full only with the tags that can match it.
using ColumnSet = std::uint64_t;
static_assert(kMaxColumns <= 64, "a column set holds one bit for each column");

// A tag as whole words with a mask over its bytes, so that a line is
// compared with it in three steps, not byte by byte.
constexpr std::size_t kTagWords = (kMaxTagBytes + sizeof(Word) - 1) / sizeof(Word);
static_assert(kTagWords * sizeof(Word) <= kReadableFromText, "a line may be read as whole tag words");

struct TagWords {
    std::array<Word, kTagWords> bytes{};
    std::array<Word, kTagWords> mask{};
    std::size_t length = 0;
};

struct TagIndex {
    std::array<ColumnSet, 256> by_first_byte{};
    ColumnSet empty_tags = 0;
    std::array<TagWords, kMaxColumns> tags{};
};

TagWords words_of(std::string_view tag)
{
    std::array<char, kTagWords * sizeof(Word)> bytes{};
    std::array<char, kTagWords * sizeof(Word)> mask{};
    tag.copy(bytes.data(), tag.size());
    std::fill_n(mask.begin(), tag.size(), '\xFF');
    TagWords words;
    for (std::size_t k = 0; k < kTagWords; ++k) {
        words.bytes[k] = load_word(bytes.data() + k * sizeof(Word));
        words.mask[k] = load_word(mask.data() + k * sizeof(Word));
    }
    words.length = tag.size();
    return words;
}

TagIndex index_tags(const ColumnTable& columns)
{
    TagIndex index;
    for (std::size_t j = 0; j < columns.count; ++j) {
        const std::string_view tag = view(columns.columns[j].tag);
        ColumnSet& set = tag.empty() ? index.empty_tags : index.by_first_byte[static_cast<unsigned char>(tag.front())];
        set |= ColumnSet{1} << j;
        index.tags[j] = words_of(tag);
    }
    return index;
}

// begins_with for a line read by the line reader, which may be read in
// whole words past its end.
bool begins_with_tag(std::string_view line, const TagWords& tag)
{
    if (line.size() < tag.length || (tag.length == 0 && !line.empty())) {
        return false;
    }
    Word difference = 0;
    for (std::size_t k = 0; k < kTagWords; ++k) {
        difference |= (load_word(line.data() + k * sizeof(Word)) ^ tag.bytes[k]) & tag.mask[k];
    }
    return difference == 0;
}

ColumnSet candidates(const TagIndex& index, std::string_view trimmed)
{
    return trimmed.empty() ? index.empty_tags : index.by_first_byte[static_cast<unsigned char>(trimmed.front())];
}

// Semicolons become spaces and accented letters plain ones, in one table.
// The two rules never meet, and neither makes a space from anything but a
// semicolon, so they can be applied together, before spaces are removed.
constexpr std::array<char, 256> kCleanedBytes = [] {
    std::array<char, 256> table = kWithoutDiacritics;
    table[static_cast<unsigned char>(';')] = ' ';
    return table;
}();

void clear_values(ColumnTable& columns)
{
    for (std::size_t j = 0; j < columns.count; ++j) {
        columns.columns[j].value.length = 0;
    }
}

// The bytes after the first colon that is not the line's first byte; empty
// when there is none, so that a tag of ':' takes 'b' from ':a:b'.
std::string_view text_after_colon(std::string_view trimmed)
{
    const std::size_t colon = trimmed.find(':', 1);
    return colon == std::string_view::npos ? std::string_view{} : trimmed.substr(colon + 1);
}

// Semicolons made spaces and accents stripped, byte by byte.
void clean_bytes(char* value, std::string_view folded)
{
    for (const char byte : folded) {
        *value++ = kCleanedBytes[static_cast<unsigned char>(byte)];
    }
}

// Cleans the folded bytes into the value, eight bytes at a time where they
// are ASCII: then only the semicolons change.
void clean_into(char* value, std::string_view folded)
{
    constexpr Word kSemicolonToSpace = ';' - ' ';
    std::size_t at = 0;
    for (; at + sizeof(Word) <= folded.size(); at += sizeof(Word)) {
        const Word word = load_word(folded.data() + at);
        if ((word & kHighBits) != 0) {
            clean_bytes(value + at, folded.substr(at, sizeof(Word)));
        } else {
            store_word(value + at, word - (bytes_equal_to(word, ';') >> 7) * kSemicolonToSpace);
        }
    }
    clean_bytes(value + at, folded.substr(at));
}

// The value from the first 100 bytes after the colon: cleaned, without
// spaces for a column that strips them (the semicolons made spaces go too),
// and with its trailing spaces trimmed.
void capture_value(Column& column, std::string_view source)
{
    const std::string_view taken = take_span(source, 0, kMaxValueBytes);
    const std::span<char> value(column.value.bytes.data(), taken.size());
    clean_into(value.data(), taken);
    const std::size_t length = column.marks.strips_spaces ? remove_char(value, ' ') : value.size();
    column.value.length = trim_value(std::string_view(value.data(), length)).size();
}

void capture_line(ColumnTable& columns, const TagIndex& index, ColumnSet set, std::string_view trimmed)
{
    const std::string_view source = text_after_colon(trimmed);
    for (; set != 0; set &= set - 1) {
        const auto j = static_cast<std::size_t>(std::countr_zero(set));
        if (begins_with_tag(trimmed, index.tags[j])) {
            capture_value(columns.columns[j], source);
        }
    }
}

// Sees the values as they stand, before write_row puts any constant
// column's tag in place.
bool card_is_complete(const ColumnTable& columns)
{
    for (std::size_t j = 0; j < columns.count; ++j) {
        const Column& column = columns.columns[j];
        if (column.marks.is_required && column.value.length == 0) {
            return false;
        }
    }
    return true;
}

// Folding keeps every ASCII byte, and the only ASCII bytes it makes are '_'
// and '`'. So it cannot make or unmake "END:", nor change an ASCII first
// byte or whether a line is empty after trimming: both bounds are tested on
// the line as read, and only a line that holds a byte of 0x80 or more, and
// that a tag may match, is folded.
// Returns whether the line ends a card.
bool scan_line(LineReader& cards, TableWriter& table, const RunSettings& settings, ColumnTable& columns,
               const TagIndex& index)
{
    std::span<char> line(cards.text, cards.text_length);
    const std::string_view as_read(line.data(), line.size());
    const bool ends_card = begins_with(as_read, kCardEnd);
    if (begins_with(as_read, kCardStart)) {
        clear_values(columns);
    }
    std::string_view trimmed = trim_right(as_read);
    const bool folds_first_byte = !trimmed.empty() && static_cast<unsigned char>(trimmed.front()) >= 0x80;
    if (folds_first_byte || candidates(index, trimmed) != 0) {
        if (!is_ascii(trimmed)) {
            line = line.first(fold_utf8_line(line));
            trimmed = trim_right(std::string_view(line.data(), line.size()));
        }
        if (const ColumnSet set = candidates(index, trimmed); set != 0) {
            capture_line(columns, index, set, trimmed);
        }
    }
    if (ends_card && card_is_complete(columns)) {
        write_row(table, settings, columns);
    }
    return ends_card;
}

// UTF-16 text, either way round: no card line can match in it.
bool begins_with_utf16_mark(std::string_view line)
{
    return line.starts_with("\xFF\xFE") || line.starts_with("\xFE\xFF");
}

} // namespace

CardsSeen scan_cards(LineReader& cards, TableWriter& table, const RunSettings& settings, ColumnTable& columns)
{
    const TagIndex index = index_tags(columns);
    CardsSeen seen;
    if (!table.status.ok || !read_line(cards)) {
        return seen;
    }
    seen.utf16 = begins_with_utf16_mark(line_text(cards));
    do {
        seen.card_ends += scan_line(cards, table, settings, columns, index) ? 1u : 0u;
    } while (table.status.ok && read_line(cards));
    return seen;
}

} // namespace cardtab
