#include "text/clean_value.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "text/fold_utf8.hpp"
#include "text/text.hpp"
#include "text/words.hpp"

namespace cardtab {

namespace {

// One byte of the text, or one folded pair, cleaned into the value; a
// space is not kept when `drop_spaces`. False for a high byte that begins
// no pair folding covers.
bool clean_byte(PaddedText text, std::size_t& at, char* value, std::size_t& kept, bool drop_spaces)
{
    auto byte = static_cast<unsigned char>(text[at++]);
    bool plain = byte < 0x80;
    if (byte >= kFirstFoldLead && byte <= kLastFoldLead && at < text.size()) {
        if (const int pair = fold_pair(byte, static_cast<unsigned char>(text[at])); pair != kNoPair) {
            byte = static_cast<unsigned char>(pair);
            plain = true;
            ++at;
        }
    }
    const char cleaned = kCleanedBytes[byte];
    value[kept] = cleaned;
    kept += drop_spaces && cleaned == ' ' ? 0u : 1u;
    return plain;
}

// The bytes that decoding reads otherwise than folding does and that no
// pair folding covers holds: control characters but the tab (line breaks
// become spaces, the others '?') and DEL.
Word control_bytes(Word word)
{
    const Word below_space = ~(((word & kLowSevenBits) + kEveryByte * (0x80 - ' ')) | word) & kHighBits;
    return (below_space & ~bytes_equal_to(word, '\t')) | bytes_equal_to(word, '\x7F');
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
    return drop_spaces ? high | semicolons | bytes_equal_to(word, ' ') : high;
}

} // namespace

// Eight bytes at a time: the plain ASCII before the first special byte of a
// word is cleaned in one step (only its semicolons change), and the special
// byte is left to clean_byte. Most of a value is plain. The last word of the
// text may reach past its end: those bytes count as special.
std::size_t clean_value_with_words(PaddedText text, std::span<char> value, bool drop_spaces, bool* plain)
{
    static_assert(std::endian::native == std::endian::little, "the first byte of a word is its lowest");
    constexpr Word kSemicolonToSpace = ';' - ' ';
    std::size_t at = 0;
    std::size_t kept = 0;
    std::size_t taken = 0; // bytes of the folded text taken so far
    bool pairs_only = true; // every high byte taken began a pair folding covers
    while (taken < value.size() && at < text.size()) {
        if (kept + sizeof(Word) <= value.size()) {
            const Word word = load_word(text.data() + at);
            const Word semicolons = bytes_equal_to(word, ';');
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
        pairs_only = clean_byte(text, at, value.data(), kept, drop_spaces) && pairs_only;
        ++taken;
    }
    if (plain != nullptr) {
        *plain = pairs_only && !holds_unusual_ascii(text.substr(0, at));
    }
    return trim_value(std::string_view(value.data(), kept)).size();
}

std::size_t clean_folded_value(std::span<char> text, bool drop_spaces)
{
    std::size_t kept = 0;
    for (const char byte : text) {
        const char cleaned = kCleanedBytes[static_cast<unsigned char>(byte)];
        text[kept] = cleaned;
        kept += drop_spaces && cleaned == ' ' ? 0u : 1u;
    }
    return trim_value(std::string_view(text.data(), kept)).size();
}

std::size_t clean_value(PaddedText text, std::span<char> value, bool drop_spaces, bool* plain)
{
    return can_clean_with_avx512() ? clean_value_with_avx512(text, value, drop_spaces, plain)
                                   : clean_value_with_words(text, value, drop_spaces, plain);
}

std::size_t clean_plain_value(PaddedText text, std::span<char> value, bool drop_spaces)
{
    bool plain = false;
    const std::size_t length = clean_value(text, value, drop_spaces, &plain);
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
