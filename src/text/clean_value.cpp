#include "text/clean_value.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "text/utf8.hpp"
#include "text/words.hpp"

namespace cardtab {

namespace {

// The cleaned pair that the byte at `at` begins, or 0.
char pair_at(PaddedText text, std::size_t at, const ValueTables& tables)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    if ((tables.classes[lead] & kPairLead) == 0 || at + 1 >= text.size()) {
        return 0;
    }
    const auto second = static_cast<unsigned char>(text[at + 1]);
    return is_continuation(second) ? tables.pairs[pair_index(lead, second)] : 0;
}

// Where a value is in the making: the bytes of the text read, those of the
// value taken (spaces to be dropped included) and kept.
struct Cleaning {
    std::size_t at = 0;
    std::size_t taken = 0;
    std::size_t kept = 0;
    bool pairs_only = true; // every high byte taken began a covered pair
};

// One byte of the text, or one covered pair, cleaned into the value; a
// space is not kept when `drop_spaces`. False where a pair that stays
// whole has no room: the value ends before it.
bool clean_byte(PaddedText text, std::span<char> value, bool drop_spaces, const ValueTables& tables,
                Cleaning& cleaning)
{
    const auto byte = static_cast<unsigned char>(text[cleaning.at]);
    const char pair = pair_at(text, cleaning.at, tables);
    if (pair != 0 && tables.pairs_stay_whole) {
        if (cleaning.taken + 2 > value.size()) {
            return false;
        }
        value[cleaning.kept++] = text[cleaning.at++];
        value[cleaning.kept++] = text[cleaning.at++];
        cleaning.taken += 2;
        return true;
    }
    const char cleaned = pair != 0 ? pair : tables.singles[byte];
    cleaning.at += pair != 0 ? 2 : 1;
    value[cleaning.kept] = cleaned;
    cleaning.kept += drop_spaces && cleaned == kSpace ? 0u : 1u;
    ++cleaning.taken;
    cleaning.pairs_only = cleaning.pairs_only && (pair != 0 || byte < 0x80);
    return true;
}

// is_control for each byte of a word: the bytes below a space but the tab,
// and DEL, which decoding reads otherwise than folding does.
Word control_bytes(Word word)
{
    constexpr unsigned char kFirstAfterControls = kLastControlBelowSpace + 1;
    const Word below = ~(((word & kLowSevenBits) + kEveryByte * (0x80 - kFirstAfterControls)) | word) & kHighBits;
    return (below & ~bytes_equal_to(word, '\t')) | bytes_equal_to(word, static_cast<char>(kDelete));
}

// Control characters but the tab, DEL and the backslash, which may begin
// an escape: ASCII that decoding reads otherwise than folding does.
bool holds_unusual_ascii(PaddedText text)
{
    Word unusual = 0;
    for (std::size_t at = 0; at < text.size(); at += sizeof(Word)) {
        const Word word = load_word(text.data() + at);
        unusual |= (control_bytes(word) | bytes_equal_to(word, '\\')) & first_bytes_of_word(text.size() - at);
    }
    return unusual != 0;
}

// The bytes that the word loop leaves to clean_byte: those of 0x80 or more,
// and the spaces and semicolons that are to be dropped.
Word special_bytes(Word word, Word semicolons, bool drop_spaces)
{
    const Word high = word & kHighBits;
    return drop_spaces ? high | semicolons | bytes_equal_to(word, kSpace) : high;
}

} // namespace

// Eight bytes at a time: the plain ASCII before the first special byte of a
// word is cleaned in one step (only its semicolons change), and the special
// byte is left to clean_byte. Most of a value is plain. The last word of the
// text may reach past its end: those bytes count as special.
std::size_t clean_value_with_words(PaddedText text, std::span<char> value, bool drop_spaces, const ValueTables& tables,
                                   bool* plain)
{
    static_assert(std::endian::native == std::endian::little, "the first byte of a word is its lowest");
    // Only a semicolon changes among the bytes below 0x80: no accented
    // letter is one.
    constexpr Word kSemicolonToSpace = kSemicolon - kSpace;
    Cleaning cleaning;
    std::size_t& at = cleaning.at;
    std::size_t& kept = cleaning.kept;
    std::size_t& taken = cleaning.taken;
    while (taken < value.size() && at < text.size()) {
        if (kept + sizeof(Word) <= value.size()) {
            const Word word = load_word(text.data() + at);
            const Word semicolons = bytes_equal_to(word, kSemicolon);
            store_word(value.data() + kept, word - (semicolons >> 7) * kSemicolonToSpace);
            const std::size_t left = std::min(text.size() - at, value.size() - taken);
            const Word beyond = kHighBits & ~first_bytes_of_word(left);
            const Word special = special_bytes(word, semicolons, drop_spaces) | beyond;
            const std::size_t ordinary = special == 0 ? sizeof(Word) : static_cast<std::size_t>(std::countr_zero(special)) / 8;
            at += ordinary;
            kept += ordinary;
            taken += ordinary;
            if (special == 0 || ordinary == left) {
                continue;
            }
        }
        if (!clean_byte(text, value, drop_spaces, tables, cleaning)) {
            break;
        }
    }
    if (plain != nullptr) {
        *plain = cleaning.pairs_only && !holds_unusual_ascii(text.substr(0, at));
    }
    return trim_value(std::string_view(value.data(), kept)).size();
}

bool cleaning_cuts_text(PaddedText text, std::size_t capacity, const ValueTables& tables)
{
    if (text.size() <= capacity) {
        return false;
    }
    std::size_t at = 0;
    for (std::size_t taken = 0; at < text.size();) {
        const bool pair = pair_at(text, at, tables) != 0;
        const std::size_t width = pair && tables.pairs_stay_whole ? 2 : 1;
        if (taken + width > capacity) {
            break;
        }
        taken += width;
        at += pair ? 2 : 1;
    }
    return holds_other_than(text.view().substr(at), kValueBlanks);
}

std::size_t clean_value(PaddedText text, std::span<char> value, bool drop_spaces, const ValueTables& tables,
                        bool* plain)
{
    return can_clean_with_avx512() ? clean_value_with_avx512(text, value, drop_spaces, tables, plain)
                                   : clean_value_with_words(text, value, drop_spaces, tables, plain);
}

std::size_t clean_plain_value(PaddedText text, std::span<char> value, bool drop_spaces, const ValueTables& tables)
{
    bool plain = false;
    const std::size_t length = clean_value(text, value, drop_spaces, tables, &plain);
    return plain ? length : kNeedsDecoding;
}

namespace {

// Every byte of 0x80 or more begins a covered pair (where `pairs`), and no
// control byte is there unless `controls`.
bool holds_only_covered_text(PaddedText text, bool pairs, bool controls)
{
    for (std::size_t at = 0; at < text.size();) {
        const Word word = load_word(text.data() + at);
        const Word special =
            ((word & kHighBits) | (controls ? 0 : control_bytes(word))) & first_bytes_of_word(text.size() - at);
        if (special == 0) {
            at += sizeof(Word);
            continue;
        }
        at += static_cast<std::size_t>(std::countr_zero(special)) / 8;
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80 || !pairs || at + 1 == text.size() ||
            fold_pair(byte, static_cast<unsigned char>(text[at + 1])) == kNoPair) {
            return false;
        }
        at += 2;
    }
    return true;
}

} // namespace

bool holds_only_folding_text(PaddedText text, bool pairs)
{
    return holds_only_covered_text(text, pairs, false);
}

bool high_bytes_are_covered_pairs(PaddedText text)
{
    return holds_only_covered_text(text, true, true);
}

} // namespace cardtab
