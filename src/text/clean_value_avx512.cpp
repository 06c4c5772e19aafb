#include "text/clean_value.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "text/fold_utf8.hpp"
#include "text/utf8.hpp"

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

// A table of 256 bytes in four registers, each a member of its own so that
// they stay in registers: an array of them would be kept on the stack.
struct Table256 {
    __m512i first;
    __m512i second;
    __m512i third;
    __m512i fourth;
};

template <class Byte>
CARDTAB_AVX512 Table256 load_table(const std::array<Byte, 256>& table)
{
    return {_mm512_loadu_si512(table.data()), _mm512_loadu_si512(table.data() + 64),
            _mm512_loadu_si512(table.data() + 128), _mm512_loadu_si512(table.data() + 192)};
}

// Each byte of `index` looked up in the 256-byte table.
CARDTAB_AVX512 __m512i look_up(const Table256& table, __m512i index)
{
    const __m512i low = _mm512_permutex2var_epi8(table.first, index, table.second);
    const __m512i high = _mm512_permutex2var_epi8(table.third, index, table.fourth);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

CARDTAB_AVX512 __mmask64 first_bytes(std::size_t count)
{
    return count >= 64 ? ~__mmask64{0} : (__mmask64{1} << count) - 1;
}

// The classes of the bytes below 0x80, in two registers: the bytes of 0x80
// or more are told apart by their high bit and the lead bytes' range.
struct AsciiClasses {
    __m512i low;
    __m512i high;
};

CARDTAB_AVX512 AsciiClasses load_ascii_classes(const std::array<std::uint8_t, 256>& classes)
{
    return {_mm512_loadu_si512(classes.data()), _mm512_loadu_si512(classes.data() + 64)};
}

// The bytes below 0x80 whose class holds `bits`.
CARDTAB_AVX512 __mmask64 of_class(__m512i classes, __mmask64 high, std::uint8_t bits)
{
    return _mm512_test_epi8_mask(classes, _mm512_set1_epi8(static_cast<char>(bits))) & ~high;
}

CARDTAB_AVX512 __mmask64 bytes_from(__m512i bytes, unsigned char first, unsigned char last)
{
    return _mm512_cmp_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8(static_cast<char>(first))),
                                _mm512_set1_epi8(static_cast<char>(last - first + 1)), _MM_CMPINT_LT);
}

} // namespace

// Sixty-four bytes at a time, with no branch for a byte: each byte is looked
// up both alone and as the lead of a pair with the byte after it, the
// second bytes of pairs and the dropped spaces are squeezed out, and the
// value is cut after its last byte that fits. What each byte is comes from
// the tables alone.
CARDTAB_AVX512 std::size_t clean_value_with_avx512(PaddedText text, std::span<char> value, bool drop_spaces,
                                                   const ValueTables& tables, bool* plain)
{
    const Table256 singles = load_table(tables.singles);
    const Table256 pairs = load_table(tables.pairs);
    const AsciiClasses classes = load_ascii_classes(tables.classes);
    std::size_t at = 0;
    std::size_t kept = 0;
    std::size_t taken = 0;
    std::size_t length = 0; // up to the last byte that trimming keeps
    __mmask64 unusual = 0;  // bytes that decoding reads otherwise than folding
    while (taken < value.size() && at < text.size()) {
        const std::size_t count = std::min<std::size_t>(64, text.size() - at);
        const __m512i bytes = _mm512_maskz_loadu_epi8(first_bytes(count), text.data() + at);
        const __m512i next = _mm512_maskz_loadu_epi8(first_bytes(text.size() - at - 1), text.data() + at + 1);
        const __mmask64 high = _mm512_movepi8_mask(bytes);
        const __m512i byte_classes = _mm512_permutex2var_epi8(classes.low, bytes, classes.high);
        // pair_index of each byte and the byte after it.
        const __m512i index = _mm512_or_si512(_mm512_and_si512(_mm512_slli_epi16(bytes, 6), _mm512_set1_epi8('\xC0')),
                                              _mm512_and_si512(next, _mm512_set1_epi8(0x3F)));
        const __m512i cleaned_pairs = look_up(pairs, index);
        const __mmask64 continued =
            _mm512_cmpeq_epi8_mask(_mm512_and_si512(next, _mm512_set1_epi8(static_cast<char>(kContinuationMask))),
                                   _mm512_set1_epi8(static_cast<char>(kContinuationBits)));
        __mmask64 pairs_here = bytes_from(bytes, kFirstFoldLead, kLastFoldLead) & continued &
                               _mm512_test_epi8_mask(cleaned_pairs, cleaned_pairs);
        __mmask64 block = first_bytes(count);
        std::size_t used = count;
        if (count == 64 && (pairs_here >> 63) != 0) {
            // The pair runs into the next block: it starts that block.
            block >>= 1;
            pairs_here &= block;
            used = 63;
        }
        const __m512i cleaned = _mm512_mask_blend_epi8(pairs_here, look_up(singles, bytes), cleaned_pairs);
        // The bytes the value takes: a pair that becomes one byte takes its
        // lead's place, one that stays whole both.
        const __mmask64 seconds = pairs_here << 1;
        __mmask64 folded = tables.pairs_stay_whole ? block : block & ~seconds;
        bool full = false;
        if (static_cast<std::size_t>(std::popcount(folded)) > value.size() - taken) {
            const std::uint64_t last = _pdep_u64(std::uint64_t{1} << (value.size() - taken - 1), folded);
            // A pair that stays whole is not cut in two: it goes.
            folded &= (last & pairs_here) != 0 && tables.pairs_stay_whole ? last - 1 : last | (last - 1);
            full = true;
        }
        const __mmask64 singles_here = folded & ~pairs_here & ~seconds;
        if (plain != nullptr) {
            unusual |= (of_class(byte_classes, high, kUnusual) | high) & singles_here;
        }
        __mmask64 keep = folded;
        if (drop_spaces) {
            keep &= ~(of_class(byte_classes, high, kBecomesSpace) & singles_here);
        }
        const auto kept_here = static_cast<std::size_t>(std::popcount(keep));
        _mm512_mask_storeu_epi8(value.data() + kept, first_bytes(kept_here), _mm512_maskz_compress_epi8(keep, cleaned));
        // Trimmed from the masks, not by reading back what was just stored.
        const __mmask64 solid = keep & ~(of_class(byte_classes, high, kTrimmed) & singles_here);
        if (solid != 0) {
            const __mmask64 up_to_last_solid = ~__mmask64{0} >> std::countl_zero(solid);
            length = kept + static_cast<std::size_t>(std::popcount(keep & up_to_last_solid));
        }
        kept += kept_here;
        taken += static_cast<std::size_t>(std::popcount(folded));
        at += used;
        if (full) {
            break;
        }
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
std::size_t clean_value_with_avx512(PaddedText text, std::span<char> value, bool drop_spaces,
                                    const ValueTables& tables, bool* plain)
{
    return clean_value_with_words(text, value, drop_spaces, tables, plain);
}

#endif

} // namespace cardtab
