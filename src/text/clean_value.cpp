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

// One byte of the text, or one folded pair, cleaned into the value; a
// space is not kept when `drop_spaces`. False for a high byte that begins
// no pair folding covers.
bool clean_byte(PaddedText text, std::size_t& at, char* value, std::size_t& kept, bool drop_spaces,
                const ValueTables& tables)
{
    const auto byte = static_cast<unsigned char>(text[at]);
    const char pair = pair_at(text, at, tables);
    const char cleaned = pair != 0 ? pair : tables.singles[byte];
    at += pair != 0 ? 2 : 1;
    value[kept] = cleaned;
    kept += drop_spaces && cleaned == kSpace ? 0u : 1u;
    return pair != 0 || byte < 0x80;
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
    std::size_t at = 0;
    std::size_t kept = 0;
    std::size_t taken = 0; // bytes of the folded text taken so far
    bool pairs_only = true; // every high byte taken began a pair folding covers
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
        pairs_only = clean_byte(text, at, value.data(), kept, drop_spaces, tables) && pairs_only;
        ++taken;
    }
    if (plain != nullptr) {
        *plain = pairs_only && !holds_unusual_ascii(text.substr(0, at));
    }
    return trim_value(std::string_view(value.data(), kept)).size();
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

bool holds_only_folding_text(PaddedText text, bool pairs)
{
    for (std::size_t at = 0; at < text.size();) {
        const Word word = load_word(text.data() + at);
        const Word special = ((word & kHighBits) | control_bytes(word)) & first_bytes_of_word(text.size() - at);
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

} // namespace cardtab
