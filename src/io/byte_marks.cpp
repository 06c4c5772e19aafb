#include "io/byte_marks.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cardtab {

namespace {

std::uint64_t mark_word_bytewise(std::span<const char> bytes, const std::array<char, 3>& wanted)
{
    std::uint64_t word = 0;
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        const char byte = bytes[n];
        const bool is_wanted = byte == wanted[0] || byte == wanted[1] || byte == wanted[2];
        word |= std::uint64_t{is_wanted} << n;
    }
    return word;
}

#if defined(__SSE2__)
// Every x86-64 has SSE2: sixteen bytes compared in one instruction, and
// their matches gathered into sixteen bits in another.
std::uint64_t mark_word(const char* bytes, const std::array<char, 3>& wanted)
{
    const __m128i first = _mm_set1_epi8(wanted[0]);
    const __m128i second = _mm_set1_epi8(wanted[1]);
    const __m128i third = _mm_set1_epi8(wanted[2]);
    std::uint64_t word = 0;
    for (std::size_t part = 0; part < kBytesPerMarkWord; part += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + part));
        const __m128i found = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, first), _mm_cmpeq_epi8(chunk, second)),
                                           _mm_cmpeq_epi8(chunk, third));
        word |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(found))} << part;
    }
    return word;
}
#else
std::uint64_t mark_word(const char* bytes, const std::array<char, 3>& wanted)
{
    return mark_word_bytewise(std::span<const char>(bytes, kBytesPerMarkWord), wanted);
}
#endif

} // namespace

void mark_bytes(std::span<const char> bytes, const std::array<char, 3>& wanted, std::span<std::uint64_t> marks)
{
    std::size_t word = 0;
    for (; (word + 1) * kBytesPerMarkWord <= bytes.size(); ++word) {
        marks[word] = mark_word(bytes.data() + word * kBytesPerMarkWord, wanted);
    }
    if (word * kBytesPerMarkWord < bytes.size()) {
        marks[word] = mark_word_bytewise(bytes.subspan(word * kBytesPerMarkWord), wanted);
    }
}

} // namespace cardtab
