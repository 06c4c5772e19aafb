#include "io/wide_text_windows.hpp"

#include <windows.h>

#include <algorithm>

namespace cardtab {

namespace {

bool holds_non_ascii(std::string_view bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char byte) { return static_cast<unsigned char>(byte) >= 0x80; });
}

// The bytes in the code page, or nothing when `flags` refuse them.
std::wstring converted(UINT code_page, DWORD flags, std::string_view bytes)
{
    const auto length = static_cast<int>(bytes.size());
    const int needed = MultiByteToWideChar(code_page, flags, bytes.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(needed, 0)), L'\0');
    if (needed > 0) {
        MultiByteToWideChar(code_page, flags, bytes.data(), length, wide.data(), needed);
    }
    return wide;
}

} // namespace

std::wstring wide_name(std::string_view name)
{
    if (holds_non_ascii(name)) {
        std::wstring wide = converted(CP_UTF8, MB_ERR_INVALID_CHARS, name);
        if (!wide.empty()) {
            return wide;
        }
    }
    return converted(CP_ACP, 0, name);
}

std::wstring wide_of_utf8(std::string_view text)
{
    return converted(CP_UTF8, 0, text);
}

std::string utf8_of(std::wstring_view wide)
{
    const auto length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(needed, 0)), '\0');
    if (needed > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, bytes.data(), needed, nullptr, nullptr);
    }
    return bytes;
}

} // namespace cardtab
