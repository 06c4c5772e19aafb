#include "text/clean_value.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "text/fold_utf8.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

// A value cleaned sixty-four bytes at a time, where the processor has
// AVX-512 VBMI2 (chosen at run time): the same value as the word loop
// gives, which the tests and the fuzzer hold it to.
namespace cardtab {

#if defined(__x86_64__) && defined(__GNUC__)

#define CARDTAB_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi2,popcnt")))

namespace {

// What a two-byte sequence cleans to, at ((lead & 3) << 6) | (second & 0x3F):
// the four lead bytes 0xC2-0xC5 and the low six bits of the second byte
// give each covered pair an index of its own below 256.
constexpr std::array<char, 256> kCleanedPairs = [] {
    std::array<char, 256> table{};
    for (unsigned lead = kFirstFoldLead; lead <= kLastFoldLead; ++lead) {
        for (unsigned second = 0x80; second <= 0xBF; ++second) {
            const int pair = fold_pair(static_cast<unsigned char>(lead), static_cast<unsigned char>(second));
            if (pair != kNoPair) {
                table[((lead & 3) << 6) | (second & 0x3F)] = kCleanedBytes[static_cast<unsigned char>(pair)];
            }
        }
    }
    return table;
}();

struct Table256 {
    __m512i quarters[4];
};

CARDTAB_AVX512 Table256 load_table(const std::array<char, 256>& table)
{
    Table256 loaded;
    for (std::size_t n = 0; n < 4; ++n) {
        loaded.quarters[n] = _mm512_loadu_si512(table.data() + 64 * n);
    }
    return loaded;
}

// Each byte of `index` looked up in the 256-byte table.
CARDTAB_AVX512 __m512i look_up(const Table256& table, __m512i index)
{
    const __m512i low = _mm512_permutex2var_epi8(table.quarters[0], index, table.quarters[1]);
    const __m512i high = _mm512_permutex2var_epi8(table.quarters[2], index, table.quarters[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

CARDTAB_AVX512 __mmask64 first_bytes(std::size_t count)
{
    return count >= 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
}

CARDTAB_AVX512 __mmask64 bytes_below(__m512i bytes, char from, char count)
{
    return _mm512_cmp_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8(from)), _mm512_set1_epi8(count),
                                _MM_CMPINT_LT);
}

} // namespace

// Sixty-four bytes at a time, with no branch for a byte: each byte is looked
// up both alone and as the lead of a pair with the byte after it, the
// second bytes of pairs and the dropped spaces are squeezed out, and the
// value is cut after its hundredth folded byte.
CARDTAB_AVX512 std::size_t clean_value_with_avx512(PaddedText text, std::span<char> value, bool drop_spaces,
                                                   bool* plain)
{
    const Table256 singles = load_table(kCleanedBytes);
    const Table256 pairs = load_table(kCleanedPairs);
    std::size_t at = 0;
    std::size_t kept = 0;
    std::size_t taken = 0;
    std::size_t length = 0; // up to the last byte that trimming keeps
    __mmask64 unusual = 0;  // bytes that decoding reads otherwise than folding
    while (taken < value.size() && at < text.size()) {
        const std::size_t count = std::min<std::size_t>(64, text.size() - at);
        const __m512i bytes = _mm512_maskz_loadu_epi8(first_bytes(count), text.data() + at);
        const __m512i next = _mm512_maskz_loadu_epi8(first_bytes(text.size() - at - 1), text.data() + at + 1);
        const __mmask64 low_second = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\xC2')) &
                                     _mm512_cmp_epu8_mask(next, _mm512_set1_epi8('\xA0'), _MM_CMPINT_LT);
        __mmask64 pairs_here = bytes_below(bytes, '\xC2', 4) & bytes_below(next, '\x80', 0x40) & ~low_second;
        __mmask64 block = first_bytes(count);
        std::size_t used = count;
        if (count == 64 && (pairs_here >> 63) != 0) {
            // The pair runs into the next block: it starts that block.
            block >>= 1;
            pairs_here &= block;
            used = 63;
        }
        const __m512i index = _mm512_or_si512(_mm512_and_si512(_mm512_slli_epi16(bytes, 6), _mm512_set1_epi8('\xC0')),
                                              _mm512_and_si512(next, _mm512_set1_epi8(0x3F)));
        const __m512i cleaned = _mm512_mask_blend_epi8(pairs_here, look_up(singles, bytes), look_up(pairs, index));
        __mmask64 folded = block & ~(pairs_here << 1);
        if (static_cast<std::size_t>(std::popcount(folded)) > value.size() - taken) {
            const std::uint64_t last = _pdep_u64(std::uint64_t{1} << (value.size() - taken - 1), folded);
            folded &= last | (last - 1);
        }
        if (plain != nullptr) {
            const __mmask64 controls =
                (_mm512_cmp_epu8_mask(bytes, _mm512_set1_epi8(' '), _MM_CMPINT_LT) &
                 ~_mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\t'))) |
                _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\x7F'));
            unusual |= ((_mm512_movepi8_mask(bytes) & ~pairs_here) | controls |
                        _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\\'))) &
                       folded;
        }
        __mmask64 keep = folded;
        if (drop_spaces) {
            keep &= ~_mm512_cmpeq_epi8_mask(cleaned, _mm512_set1_epi8(' '));
        }
        const auto kept_here = static_cast<std::size_t>(std::popcount(keep));
        _mm512_mask_storeu_epi8(value.data() + kept, first_bytes(kept_here), _mm512_maskz_compress_epi8(keep, cleaned));
        // Trimmed from the masks, not by reading back what was just stored.
        const __mmask64 solid = keep & ~(_mm512_cmpeq_epi8_mask(cleaned, _mm512_set1_epi8(' ')) |
                                         _mm512_cmpeq_epi8_mask(cleaned, _mm512_set1_epi8('\n')) |
                                         _mm512_cmpeq_epi8_mask(cleaned, _mm512_set1_epi8('\r')));
        if (solid != 0) {
            const __mmask64 up_to_last_solid = ~__mmask64{0} >> std::countl_zero(solid);
            length = kept + static_cast<std::size_t>(std::popcount(keep & up_to_last_solid));
        }
        kept += kept_here;
        taken += static_cast<std::size_t>(std::popcount(folded));
        at += used;
    }
    if (plain != nullptr) {
        *plain = unusual == 0;
    }
    return length;
}

bool can_clean_with_avx512()
{
    static const bool supported = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                                  __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
                                  __builtin_cpu_supports("bmi2");
    return supported;
}

#else

bool can_clean_with_avx512()
{
    return false;
}

// Never called: can_clean_with_avx512() is false wherever this is built.
std::size_t clean_value_with_avx512(PaddedText text, std::span<char> value, bool drop_spaces, bool* plain)
{
    return clean_value_with_words(text, value, drop_spaces, plain);
}

#endif

} // namespace cardtab
