#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace cardtab {

// A text of at most Capacity bytes stored in place, so that the records of a
// run never allocate. Bytes past `length` are unspecified.
template <std::size_t Capacity>
struct FixedText {
    std::array<char, Capacity> bytes{};
    std::size_t length = 0;
};

template <std::size_t Capacity>
std::string_view view(const FixedText<Capacity>& text)
{
    return {text.bytes.data(), text.length};
}

// Stores `source`, cut to the capacity. Returns false when it had to cut.
template <std::size_t Capacity>
bool assign(FixedText<Capacity>& text, std::string_view source)
{
    const bool fits = source.size() <= Capacity;
    text.length = fits ? source.size() : Capacity;
    source.copy(text.bytes.data(), text.length);
    return fits;
}

} // namespace cardtab
