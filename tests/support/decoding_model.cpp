#include "support/decoding_model.hpp"

#include <algorithm>

#include <optional>

#include "config/records.hpp"
#include "support/conversion_model.hpp"
#include "convert/logical_lines.hpp"
#include "text/code_pages.hpp"
#include "text/diacritics.hpp"
#include "text/fold_utf8.hpp"

namespace cardtab::testing {

namespace {

std::string upper(std::string_view text)
{
    std::string result(text);
    for (char& byte : result) {
        if (byte >= 'a' && byte <= 'z') {
            byte = static_cast<char>(byte - 32);
        }
    }
    return result;
}

// The text before the first colon after the first byte, if there is one.
std::optional<std::string> prefix_of(std::string_view line)
{
    const std::size_t colon = line.find(':', 1);
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(line.substr(0, colon));
}

bool is_quoted_printable(std::string_view line)
{
    const auto prefix = prefix_of(line);
    return prefix && upper(*prefix).find("QUOTED-PRINTABLE") != std::string::npos;
}

bool is_blank(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\r';
}

// The file after the text-mode rules, cut into physical lines without their
// line feeds, each cut at its first zero byte.
std::vector<std::string> physical_lines(std::string_view bytes)
{
    const std::string text = model_text_mode(bytes);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = std::string_view(text).substr(start, end - start);
        lines.emplace_back(line.substr(0, line.find('\0')));
        start = end + 1;
    }
    return lines;
}

ModelLogicalLine kept_of(const std::string& whole)
{
    return {whole.substr(0, kMaxLogicalLineBytes), whole.size() > kMaxLogicalLineBytes};
}

} // namespace

// A logical line is joined from whole strings; `last` is where the physical
// line joined last begins in it.
std::vector<ModelLogicalLine> model_logical_lines(std::string_view bytes)
{
    std::vector<ModelLogicalLine> logical;
    std::optional<std::string> line;
    std::size_t last = 0;
    for (const std::string& physical : physical_lines(bytes)) {
        if (line) {
            const std::string kept = line->substr(0, kMaxLogicalLineBytes);
            const std::size_t colon = kept.find(':', 1);
            std::size_t solid = line->size();
            while (solid > last && is_blank((*line)[solid - 1])) {
                --solid;
            }
            const bool soft_break = is_quoted_printable(kept) && solid > last && (*line)[solid - 1] == '=' &&
                                    solid - 1 > colon;
            if (soft_break) {
                line->resize(solid - 1);
                last = line->size();
                *line += physical;
                continue;
            }
            if (!physical.empty() && (physical[0] == ' ' || physical[0] == '\t')) {
                while (line->size() > last && line->back() == '\r') {
                    line->pop_back();
                }
                last = line->size();
                *line += physical.substr(1);
                continue;
            }
            logical.push_back(kept_of(*line));
        }
        line = physical;
        last = 0;
    }
    if (line) {
        logical.push_back(kept_of(*line));
    }
    return logical;
}

namespace {

enum class ModelCharset { unnamed, utf8, latin1, latin2, cp1250, cp1252 };

ModelCharset charset_named(const std::string& prefix)
{
    const std::string name_from = upper(prefix);
    const std::size_t at = name_from.find("CHARSET=");
    if (at == std::string::npos) {
        return ModelCharset::unnamed;
    }
    const std::string rest = name_from.substr(at + 8);
    const std::string name = rest.substr(0, rest.find(';'));
    if (name == "UTF-8") {
        return ModelCharset::utf8;
    }
    if (name == "ISO-8859-1") {
        return ModelCharset::latin1;
    }
    if (name == "ISO-8859-2") {
        return ModelCharset::latin2;
    }
    if (name == "WINDOWS-1250" || name == "CP1250") {
        return ModelCharset::cp1250;
    }
    if (name == "WINDOWS-1252" || name == "CP1252") {
        return ModelCharset::cp1252;
    }
    return ModelCharset::unnamed;
}

int hex(char byte)
{
    const std::string digits = "0123456789ABCDEF";
    const std::size_t at = digits.find(upper(std::string(1, byte))[0]);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

std::string undo_quoted_printable(const std::string& raw)
{
    std::string bytes;
    for (std::size_t at = 0; at < raw.size(); ++at) {
        if (raw[at] == '=' && at + 2 < raw.size() && hex(raw[at + 1]) >= 0 && hex(raw[at + 2]) >= 0) {
            bytes += static_cast<char>(hex(raw[at + 1]) * 16 + hex(raw[at + 2]));
            at += 2;
        } else {
            bytes += raw[at];
        }
    }
    return bytes;
}

std::string undo_escapes(const std::string& raw, bool version_21)
{
    const std::string escapes = version_21 ? ";" : "\\,;:nN";
    std::string bytes;
    for (std::size_t at = 0; at < raw.size(); ++at) {
        if (raw[at] == '\\' && at + 1 < raw.size() && escapes.find(raw[at + 1]) != std::string::npos) {
            const char next = raw[at + 1];
            bytes += next == 'n' || next == 'N' ? '\n' : next;
            ++at;
        } else {
            bytes += raw[at];
        }
    }
    return bytes;
}

// Code points, with -1 for a byte that is no character.
std::vector<long> utf8_characters(const std::string& bytes)
{
    std::vector<long> characters;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                                : lead >= 0xF0 && lead <= 0xF4                                 ? 4
                                                                                                               : 0;
        long code = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        bool valid = length != 0 && at + length <= bytes.size();
        for (std::size_t n = 1; valid && n < length; ++n) {
            const auto next = static_cast<unsigned char>(bytes[at + n]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        const long lowest = length == 2 ? 0x80 : length == 3 ? 0x800 : length == 4 ? 0x10000 : 0;
        valid = valid && code >= lowest && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
        characters.push_back(valid ? code : -1);
        at += valid ? length : 1;
    }
    return characters;
}

bool is_valid_utf8(const std::string& bytes)
{
    for (const long character : utf8_characters(bytes)) {
        if (character < 0) {
            return false;
        }
    }
    return true;
}

std::vector<long> single_byte_characters(const std::string& bytes, ModelCharset charset)
{
    std::vector<long> characters;
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        long character = code;
        if (code >= 0x80 && charset != ModelCharset::latin1) {
            const auto& table = charset == ModelCharset::latin2 ? kIso8859_2
                                : charset == ModelCharset::cp1252 ? kWindows1252
                                                                  : kWindows1250;
            character = table[code - 0x80] == kUndefined ? -1 : static_cast<long>(table[code - 0x80]);
        }
        characters.push_back(character);
    }
    return characters;
}

char windows_1250(long character)
{
    if (character > 0 && character < 0x80) {
        return static_cast<char>(character);
    }
    if (character >= 0xA0 && character <= 0x17F) {
        return static_cast<char>(kFoldTable[static_cast<std::size_t>(character - 0xA0)]);
    }
    for (std::size_t byte = 0x80; byte <= 0xFF; ++byte) {
        if (character > 0 && kWindows1250[byte - 0x80] == static_cast<char32_t>(character)) {
            return static_cast<char>(byte);
        }
    }
    return '?';
}

// A cut line's value loses half an escape and half a character at its end.
std::string without_broken_escape(std::string raw, bool quoted_printable)
{
    if (!raw.empty() && raw.back() == (quoted_printable ? '=' : '\\')) {
        raw.pop_back();
    } else if (quoted_printable && raw.size() >= 2 && raw[raw.size() - 2] == '=' && hex(raw.back()) >= 0) {
        raw.resize(raw.size() - 2);
    }
    return raw;
}

std::string without_broken_character(std::string bytes)
{
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto byte = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if (byte >= 0x80 && byte <= 0xBF) {
            continue;
        }
        const std::size_t needed = byte >= 0xF0 && byte <= 0xF4 ? 4 : byte >= 0xE0 && byte <= 0xEF ? 3
                                   : byte >= 0xC2 && byte <= 0xDF                                    ? 2
                                                                                                     : 1;
        if (needed > back) {
            bytes.resize(bytes.size() - back);
        }
        break;
    }
    return bytes;
}

} // namespace

std::string model_decoded_value(const ModelLogicalLine& line, bool version_21, bool strips_spaces)
{
    const auto prefix = prefix_of(line.text);
    if (!prefix) {
        return "";
    }
    const bool quoted_printable = is_quoted_printable(line.text);
    std::string raw = line.text.substr(prefix->size() + 1);
    if (line.cut) {
        raw = without_broken_escape(raw, quoted_printable);
    }
    std::string bytes = quoted_printable ? undo_quoted_printable(raw) : undo_escapes(raw, version_21);
    ModelCharset charset = charset_named(*prefix);
    if (line.cut && (charset == ModelCharset::unnamed || charset == ModelCharset::utf8)) {
        bytes = without_broken_character(bytes);
    }
    if (charset == ModelCharset::unnamed) {
        charset = is_valid_utf8(bytes) ? ModelCharset::utf8 : ModelCharset::cp1250;
    }
    const std::vector<long> characters =
        charset == ModelCharset::utf8 ? utf8_characters(bytes) : single_byte_characters(bytes, charset);
    std::string text;
    for (std::size_t n = 0; n < characters.size(); ++n) {
        if (characters[n] == '\r' && n + 1 < characters.size() && characters[n + 1] == '\n') {
            continue;
        }
        text += characters[n] == '\r' || characters[n] == '\n' ? ' ' : windows_1250(characters[n]);
    }
    std::string value = text.substr(0, kMaxValueBytes);
    for (char& byte : value) {
        byte = byte == ';' ? ' ' : byte;
        const std::size_t accented = kAccentedLetters.find(byte);
        byte = accented == std::string_view::npos ? byte : kPlainLetters[accented];
    }
    if (strips_spaces) {
        std::erase(value, ' ');
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\n' || value.back() == '\r')) {
        value.pop_back();
    }
    return value;
}

} // namespace cardtab::testing
