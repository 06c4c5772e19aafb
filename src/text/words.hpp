#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

// Eight bytes at a time: the bulk of a card file is plain ASCII, and these
// let the hot loops test and change a word where they would otherwise
// loop over its bytes.
namespace cardtab {

using Word = std::uint64_t;

inline constexpr Word kEveryByte = 0x0101010101010101u;
inline constexpr Word kHighBits = 0x8080808080808080u;
inline constexpr Word kLowSevenBits = 0x7F7F7F7F7F7F7F7Fu;

inline Word load_word(const char* bytes)
{
    Word word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

inline void store_word(char* bytes, Word word)
{
    std::memcpy(bytes, &word, sizeof word);
}

// The high bit of each byte of `word` that equals `byte`, and no other bit.
inline Word bytes_equal_to(Word word, char byte)
{
    const Word x = word ^ (kEveryByte * static_cast<unsigned char>(byte));
    return ~(((x & kLowSevenBits) + kLowSevenBits) | x | kLowSevenBits);
}

// The first bytes of `bytes`, eight at most, as a word: the first byte is
// the lowest, the bytes past the text zero.
constexpr Word word_of(std::string_view bytes)
{
    static_assert(std::endian::native == std::endian::little, "a loaded word's first byte is its lowest");
    Word word = 0;
    for (std::size_t n = std::min(bytes.size(), sizeof(Word)); n > 0; --n) {
        word = word << 8 | static_cast<unsigned char>(bytes[n - 1]);
    }
    return word;
}

// Every bit of the first `count` bytes of a word, eight at most.
constexpr Word first_bytes_of_word(std::size_t count)
{
    return count >= sizeof(Word) ? ~Word{0} : (Word{1} << (8 * count)) - 1;
}

// A text of up to two words, to be compared with the start of texts that may
// be read past their end a word at a time.
struct ShortText {
    static constexpr std::size_t kMaxBytes = 2 * sizeof(Word);
    Word words[2] = {0, 0};
    Word masks[2] = {0, 0};
    std::size_t length = 0;
};

constexpr ShortText short_text(std::string_view text)
{
    ShortText short_one;
    short_one.length = text.size();
    for (std::size_t n = 0; n < 2 && n * sizeof(Word) < text.size(); ++n) {
        const std::string_view part = text.substr(n * sizeof(Word));
        short_one.words[n] = word_of(part);
        short_one.masks[n] = first_bytes_of_word(part.size());
    }
    return short_one;
}

// The `size` bytes at `bytes` begin with the text; at least two words may
// be read there.
inline bool begins_with_short(const char* bytes, std::size_t size, const ShortText& text)
{
    return size >= text.length && (((load_word(bytes) ^ text.words[0]) & text.masks[0]) |
            ((load_word(bytes + sizeof(Word)) ^ text.words[1]) & text.masks[1])) == 0;
}

} // namespace cardtab
