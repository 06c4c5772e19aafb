#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace cardtab {

inline constexpr std::size_t kBytesPerMarkWord = 64;

// Marks every byte of `bytes` that is one of `wanted`: bit n % 64 of
// marks[n / 64] for byte n, and no bit past the last byte. `marks` holds a
// word for every 64 bytes begun. So a reader finds the next line end in a
// few instructions, not with a search for each line.
void mark_bytes(std::span<const char> bytes, const std::array<char, 3>& wanted, std::span<std::uint64_t> marks);

} // namespace cardtab
