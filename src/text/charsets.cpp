#include "text/charsets.hpp"

#include <algorithm>

#include "text/code_pages.hpp"
#include "text/utf8.hpp"

namespace cardtab {

namespace {

// Stands for a byte that is no character: not part of a valid UTF-8
// sequence, or left undefined by its code page.
constexpr char32_t kNoCharacter = kUnknownCharacter;

// The characters of Windows-1250 from 0x80 on, with their bytes, in the
// order of the characters, for a look-up by character.
struct Windows1250Byte {
    char32_t character;
    unsigned char byte;
};
constexpr std::size_t kWindows1250Characters = static_cast<std::size_t>(
    std::count_if(kWindows1250.begin(), kWindows1250.end(), [](char32_t character) { return character != kUndefined; }));
constexpr std::array<Windows1250Byte, kWindows1250Characters> kWindows1250Bytes = [] {
    std::array<Windows1250Byte, kWindows1250Characters> bytes{};
    std::size_t count = 0;
    for (std::size_t byte = 0x80; byte <= 0xFF; ++byte) {
        if (kWindows1250[byte - 0x80] != kUndefined) {
            bytes[count++] = {kWindows1250[byte - 0x80], static_cast<unsigned char>(byte)};
        }
    }
    std::sort(bytes.begin(), bytes.end(), [](const auto& a, const auto& b) { return a.character < b.character; });
    return bytes;
}();

char windows_1250_byte(char32_t character)
{
    if (character < 0x80) {
        return static_cast<char>(character);
    }
    const auto found = std::lower_bound(kWindows1250Bytes.begin(), kWindows1250Bytes.end(), character,
                                        [](const Windows1250Byte& entry, char32_t c) { return entry.character < c; });
    return found != kWindows1250Bytes.end() && found->character == character ? static_cast<char>(found->byte)
                                                                             : kUnknownCharacter;
}

EncodedCharacter utf8_bytes(char32_t character)
{
    EncodedCharacter encoded;
    auto put = [&](unsigned value) { encoded.bytes[encoded.length++] = static_cast<char>(value); };
    if (character < 0x80) {
        put(character);
    } else if (character < 0x800) {
        put(0xC0 | (character >> 6));
        put(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        put(0xE0 | (character >> 12));
        put(0x80 | ((character >> 6) & 0x3F));
        put(0x80 | (character & 0x3F));
    } else {
        put(0xF0 | (character >> 18));
        put(0x80 | ((character >> 12) & 0x3F));
        put(0x80 | ((character >> 6) & 0x3F));
        put(0x80 | (character & 0x3F));
    }
    return encoded;
}

bool holds_multibyte_sequence(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char byte) { return static_cast<unsigned char>(byte) >= 0x80; });
}

} // namespace

char32_t character_at(std::string_view text, Charset charset, std::size_t& length)
{
    const auto byte = static_cast<unsigned char>(text[0]);
    length = 1;
    if (charset == Charset::utf8) {
        char32_t character = 0;
        const std::size_t taken = decode_utf8(text, character);
        length = taken == 0 ? 1 : taken;
        return taken == 0 ? kNoCharacter : character;
    }
    if (byte < 0x80 || charset == Charset::iso_8859_1) {
        return byte;
    }
    const auto& table = charset == Charset::iso_8859_2   ? kIso8859_2
                        : charset == Charset::windows_1252 ? kWindows1252
                                                           : kWindows1250;
    const char32_t character = table[byte - 0x80];
    return character == kUndefined ? kNoCharacter : character;
}

bool is_utf8(std::string_view text)
{
    char32_t ignored = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = decode_utf8(text.substr(at), ignored);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

Charset utf8_or_windows_1250(PaddedText& bytes)
{
    const std::size_t incomplete = incomplete_utf8_end(bytes.view());
    const PaddedText whole = bytes.substr(0, bytes.size() - incomplete);
    if (!is_utf8(whole.view()) || (incomplete != 0 && !holds_multibyte_sequence(whole.view()))) {
        return Charset::windows_1250;
    }
    bytes = whole;
    return Charset::utf8;
}

EncodedCharacter encode_character(char32_t character, TableCharset charset)
{
    if (charset == TableCharset::utf8) {
        return utf8_bytes(character);
    }
    return {{windows_1250_byte(character)}, 1};
}

std::size_t to_table_text(std::string_view text, Charset charset, TableCharset table, Controls controls,
                          std::span<char> out, std::size_t& read)
{
    std::size_t written = 0;
    std::size_t at = 0;
    while (at < text.size() && written < out.size()) {
        std::size_t length = 0;
        char32_t character = character_at(text.substr(at), charset, length);
        if (controls == Controls::replaced) {
            // A line break, CR LF, LF or CR, is one space.
            if (character == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
                ++length;
            }
            character = character == '\r' || character == '\n' ? ' '
                        : is_control(character)                ? kUnknownCharacter
                                                               : character;
        }
        const EncodedCharacter encoded = encode_character(character, table);
        if (written + encoded.length > out.size()) {
            break;
        }
        std::copy_n(encoded.bytes.data(), encoded.length, out.data() + written);
        written += encoded.length;
        at += length;
    }
    read = at;
    return written;
}

} // namespace cardtab
