#pragma once

#include <cstddef>
#include <span>

namespace cardtab {

// Rewrites, in place, each two-byte UTF-8 sequence for a character from
// U+00A0 to U+017F as one byte, mostly its Windows-1250 byte. Every other
// byte passes unchanged, a lead byte 0xC2-0xC5 that starts no such sequence
// included. Returns the new length, never more than the old.
std::size_t fold_utf8_line(std::span<char> line);

} // namespace cardtab
