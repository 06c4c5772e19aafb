#pragma once

#include <cstdint>
#include <cstring>

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

} // namespace cardtab
