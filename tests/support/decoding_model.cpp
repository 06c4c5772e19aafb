#include "support/decoding_model.hpp"

#include <algorithm>

#include <optional>

#include "config/records.hpp"
#include "support/conversion_model.hpp"
#include "vcard/logical_lines.hpp"
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

// Where the prefix ends: the first ':' at 1 or later that no quoted
// parameter value holds. A '"' right after a '=' or a ',' that stands after
// the first ';' opens a quoted value, the next '"' closes it; where one is
// never closed, the first ':' at 1 or later counts after all.
std::optional<std::size_t> prefix_colon(std::string_view line)
{
    const std::size_t semicolon = line.find(';');
    bool quoted = false;
    for (std::size_t at = 0; at < line.size(); ++at) {
        const char byte = line[at];
        if (quoted) {
            quoted = byte != '"';
        } else if (byte == ':' && at >= 1) {
            return at;
        } else if (byte == '"' && semicolon != std::string_view::npos && at >= semicolon + 2 &&
                   (line[at - 1] == '=' || line[at - 1] == ',')) {
            quoted = true;
        }
    }
    if (quoted && line.find(':', 1) != std::string_view::npos) {
        return line.find(':', 1);
    }
    return std::nullopt;
}

// The text before the prefix colon, if there is one.
std::optional<std::string> prefix_of(std::string_view line)
{
    const auto colon = prefix_colon(line);
    if (!colon) {
        return std::nullopt;
    }
    return std::string(line.substr(0, *colon));
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
// line feeds, each cut at its first zero byte and without a byte order mark
// at its start.
std::vector<std::string> physical_lines(std::string_view bytes)
{
    const std::string text = model_text_mode(bytes);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = std::string_view(text).substr(start, end - start);
        std::string_view kept = line.substr(0, line.find('\0'));
        if (kept.starts_with("\xEF\xBB\xBF")) {
            kept.remove_prefix(3);
        }
        lines.emplace_back(kept);
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
            std::size_t solid = line->size();
            while (solid > last && is_blank((*line)[solid - 1])) {
                --solid;
            }
            const std::string next = upper(physical);
            const bool bound = next.starts_with("BEGIN:VCARD") || next.starts_with("END:");
            const auto colon = prefix_colon(kept);
            const bool soft_break = is_quoted_printable(kept) && solid > last && (*line)[solid - 1] == '=' &&
                                    colon && solid - 1 > *colon && !bound;
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

// A parameter of a prefix: its key in upper case and its values, each
// without double quotes and in upper case.
struct ModelParameter {
    std::string key;
    std::vector<std::string> values;
    bool negated = false; // its text begins with '!'
    bool bare = false;    // no '='
};

std::string without_quotes(std::string_view text)
{
    std::string result;
    for (const char byte : text) {
        if (byte != '"') {
            result += byte;
        }
    }
    return result;
}

// The parameters after a prefix's first ';', split at each ';' outside a
// quoted value (a '"' after a '=' or a ',' opens one).
std::vector<ModelParameter> parameters_of(std::string_view prefix)
{
    std::vector<ModelParameter> parameters;
    const std::size_t first = prefix.find(';');
    if (first == std::string_view::npos) {
        return parameters;
    }
    std::vector<std::string> texts(1);
    bool quoted = false;
    for (std::size_t at = first + 1; at < prefix.size(); ++at) {
        const char byte = prefix[at];
        if (quoted) {
            quoted = byte != '"';
        } else if (byte == ';') {
            texts.emplace_back();
            continue;
        } else if (byte == '"' && at > first + 1 && (prefix[at - 1] == '=' || prefix[at - 1] == ',')) {
            quoted = true;
        }
        texts.back() += byte;
    }
    for (const std::string& text : texts) {
        if (text.empty()) {
            continue;
        }
        const std::size_t equals = text.find('=');
        ModelParameter parameter{equals == std::string::npos ? "TYPE" : upper(without_quotes(text.substr(0, equals))), {},
                                 text[0] == '!', equals == std::string::npos};
        std::string values = without_quotes(equals == std::string::npos ? text : text.substr(equals + 1));
        for (std::size_t start = 0;;) {
            const std::size_t comma = values.find(',', start);
            parameter.values.push_back(upper(values.substr(start, comma - start)));
            if (comma == std::string::npos) {
                break;
            }
            start = comma + 1;
        }
        parameters.push_back(parameter);
    }
    return parameters;
}

// The first value of the first CHARSET parameter.
ModelCharset charset_named(const std::string& prefix)
{
    for (const ModelParameter& parameter : parameters_of(prefix)) {
        if (parameter.key != "CHARSET") {
            continue;
        }
        const std::string& name = parameter.values[0];
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

// Each ';' that separates components a space; the escapes undone where
// `undo`, an escaped ';' staying one, and otherwise kept as they stand.
std::string separated(const std::string& raw, bool version_21, bool undo)
{
    const std::string escapes = version_21 ? ";" : "\\,;:nN";
    std::string bytes;
    for (std::size_t at = 0; at < raw.size(); ++at) {
        const bool pair = raw[at] == '\\' && at + 1 < raw.size() && (!version_21 || raw[at + 1] == ';');
        if (undo && raw[at] == '\\' && at + 1 < raw.size() && escapes.find(raw[at + 1]) != std::string::npos) {
            const char next = raw[at + 1];
            bytes += next == 'n' || next == 'N' ? '\n' : next;
            ++at;
        } else if (!undo && pair) {
            bytes += raw.substr(at, 2);
            ++at;
        } else {
            bytes += raw[at] == ';' ? ' ' : raw[at];
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
    if (character >= 0 && character < 0x80) {
        return static_cast<char>(character);
    }
    for (std::size_t byte = 0x80; byte <= 0xFF; ++byte) {
        if (character > 0 && kWindows1250[byte - 0x80] == static_cast<char32_t>(character)) {
            return static_cast<char>(byte);
        }
    }
    return '?';
}

std::string utf8_of(long character)
{
    std::string bytes;
    const auto add = [&](long value) { bytes += static_cast<char>(value); };
    if (character < 0) {
        add('?');
    } else if (character < 0x80) {
        add(character);
    } else if (character < 0x800) {
        add(0xC0 | (character >> 6));
        add(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        add(0xE0 | (character >> 12));
        add(0x80 | ((character >> 6) & 0x3F));
        add(0x80 | (character & 0x3F));
    } else {
        add(0xF0 | (character >> 18));
        add(0x80 | ((character >> 12) & 0x3F));
        add(0x80 | ((character >> 6) & 0x3F));
        add(0x80 | (character & 0x3F));
    }
    return bytes;
}

// A cut line's value loses half an escape at its end: a '=' with fewer
// than two hex digits; a backslash in a vCard 2.1 card; elsewhere a
// backslash that ends an odd run of them.
std::string without_broken_escape(std::string raw, bool quoted_printable, bool version_21)
{
    if (quoted_printable) {
        if (!raw.empty() && raw.back() == '=') {
            raw.pop_back();
        } else if (raw.size() >= 2 && raw[raw.size() - 2] == '=' && hex(raw.back()) >= 0) {
            raw.resize(raw.size() - 2);
        }
        return raw;
    }
    std::size_t run = 0;
    while (run < raw.size() && raw[raw.size() - 1 - run] == '\\') {
        ++run;
    }
    if (run % 2 == 1 || (version_21 && run > 0)) {
        raw.pop_back();
    }
    return raw;
}

} // namespace

std::size_t model_incomplete_utf8_end(const std::string& bytes)
{
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto lead = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if (lead >= 0x80 && lead <= 0xBF) {
            continue;
        }
        const std::size_t needed = lead >= 0xC2 && lead <= 0xDF   ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        if (needed <= back) {
            return 0;
        }
        if (back > 1) {
            const auto second = static_cast<unsigned char>(bytes[bytes.size() - back + 1]);
            if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
                (lead == 0xF4 && second > 0x8F)) {
                return 0;
            }
        }
        return back;
    }
    return 0;
}

namespace {

// Component `k` of the bytes, split at each ';' that no escape holds.
std::string component_of(const std::string& bytes, std::size_t k, bool version_21)
{
    std::vector<std::string> components(1);
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        if (bytes[at] == '\\' && at + 1 < bytes.size() && (!version_21 || bytes[at + 1] == ';')) {
            components.back() += bytes.substr(at, 2);
            ++at;
        } else if (bytes[at] == ';') {
            components.emplace_back();
        } else {
            components.back() += bytes[at];
        }
    }
    return k <= components.size() ? components[k - 1] : "";
}

} // namespace

std::vector<long> model_characters(const std::string& bytes, bool utf8)
{
    return utf8 ? utf8_characters(bytes) : single_byte_characters(bytes, ModelCharset::cp1250);
}

std::string model_in_table_charset(const std::vector<long>& characters, TableCharset charset)
{
    std::string text;
    for (const long character : characters) {
        text += charset == TableCharset::utf8 ? utf8_of(character) : std::string(1, windows_1250(character));
    }
    return text;
}

std::string model_cut(const std::string& text, std::size_t capacity, TableCharset charset)
{
    std::string kept = text.substr(0, capacity);
    if (charset == TableCharset::utf8) {
        kept.resize(kept.size() - model_incomplete_utf8_end(kept));
    }
    return kept;
}

std::string model_decoded_value(const ModelLogicalLine& line, bool version_21, bool strips_spaces,
                                std::size_t component, TableCharset table_charset)
{
    const auto prefix = prefix_of(line.text);
    if (!prefix) {
        return "";
    }
    const bool quoted_printable = is_quoted_printable(line.text);
    std::string raw = line.text.substr(prefix->size() + 1);
    for (const ModelParameter& parameter : parameters_of(*prefix)) {
        const bool uri = parameter.key == "VALUE" &&
                         std::find(parameter.values.begin(), parameter.values.end(), "URI") != parameter.values.end();
        if (uri && upper(raw.substr(0, 4)) == "TEL:") {
            raw = raw.substr(4);
            break;
        }
    }
    if (line.cut) {
        raw = without_broken_escape(raw, quoted_printable, version_21);
    }
    std::string bytes = quoted_printable ? undo_quoted_printable(raw) : raw;
    ModelCharset charset = charset_named(*prefix);
    const std::size_t incomplete = model_incomplete_utf8_end(bytes);
    const std::string whole = bytes.substr(0, bytes.size() - incomplete);
    if (charset == ModelCharset::utf8) {
        bytes = whole;
    } else if (charset == ModelCharset::unnamed) {
        const bool multibyte = std::any_of(whole.begin(), whole.end(), [](char byte) { return byte & 0x80; });
        if (is_valid_utf8(whole) && (incomplete == 0 || multibyte)) {
            bytes = whole;
            charset = ModelCharset::utf8;
        } else {
            charset = ModelCharset::cp1250;
        }
    }
    if (component != 0) {
        bytes = component_of(bytes, component, version_21);
    }
    bytes = separated(bytes, version_21, !quoted_printable || version_21);
    const std::vector<long> characters =
        charset == ModelCharset::utf8 ? utf8_characters(bytes) : single_byte_characters(bytes, charset);
    std::vector<long> shown;
    for (std::size_t n = 0; n < characters.size(); ++n) {
        const long character = characters[n];
        if (character == '\r' && n + 1 < characters.size() && characters[n + 1] == '\n') {
            continue;
        }
        const bool control = (character >= 0 && character < 0x20 && character != '\t') || character == 0x7F;
        shown.push_back(character == '\r' || character == '\n' ? ' ' : control ? -1 : character);
    }
    std::string value = model_cut(model_in_table_charset(shown, table_charset), kMaxDecodedValueBytes, table_charset);
    for (char& byte : value) {
        const std::size_t accented = kAccentedLetters.find(byte);
        if (table_charset == TableCharset::windows_1250_plain && accented != std::string_view::npos) {
            byte = kPlainLetters[accented];
        }
    }
    if (strips_spaces) {
        std::erase(value, ' ');
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\n' || value.back() == '\r')) {
        value.pop_back();
    }
    return value;
}

namespace {

ModelProperty property_of_prefix(const std::string& prefix)
{
    ModelProperty property;
    const std::string name = prefix.substr(0, prefix.find(';'));
    const std::size_t dot = name.rfind('.');
    property.grouped = dot != std::string::npos;
    property.group = property.grouped ? upper(name.substr(0, dot)) : "";
    property.name = upper(property.grouped ? name.substr(dot + 1) : name);
    for (const ModelParameter& parameter : parameters_of(prefix)) {
        property.values.emplace_back(parameter.key, "");
        for (const std::string& value : parameter.values) {
            property.values.emplace_back(parameter.key, value);
        }
        if (parameter.key == "PREF" && !parameter.bare) {
            const std::string& n = parameter.values[0];
            const bool number = !n.empty() && n.find_first_not_of("0123456789") == std::string::npos;
            const std::size_t digits = number ? n.find_first_not_of('0') : std::string::npos;
            const unsigned rank = digits == std::string::npos || n.size() - digits > 3
                                      ? 100
                                      : std::min(100u, static_cast<unsigned>(std::stoul(n.substr(digits))));
            property.rank = std::min(property.rank, rank);
        }
    }
    for (const auto& [key, value] : property.values) {
        property.rank = key == "TYPE" && value == "PREF" ? 1 : property.rank;
    }
    return property;
}

} // namespace

ModelProperty model_property(const std::string& line)
{
    return property_of_prefix(prefix_of(line).value_or(line));
}

ModelSelector model_selector(std::string tag, bool cut)
{
    ModelSelector selector;
    while (!tag.empty() && (tag.back() == ' ' || tag.back() == '\t')) {
        tag.pop_back();
    }
    while (!tag.empty() && (tag.front() == ' ' || tag.front() == '\t')) {
        tag.erase(0, 1);
    }
    if (cut) {
        return selector;
    }
    if (const std::size_t colon = tag.rfind(':'); colon != std::string::npos) {
        const std::string digits = tag.substr(colon + 1);
        tag.resize(colon);
        if (!digits.empty()) {
            const bool number = digits.size() <= 2 && std::all_of(digits.begin(), digits.end(), [](char byte) {
                                    return byte >= '0' && byte <= '9';
                                });
            if (!number || std::stoul(digits) == 0) {
                return selector;
            }
            selector.component = std::stoul(digits);
        }
    }
    if (tag.ends_with(']')) {
        if (tag.size() < 3 || tag[tag.size() - 3] != '[' || tag[tag.size() - 2] < '1' || tag[tag.size() - 2] > '9') {
            return selector;
        }
        selector.nth = static_cast<std::size_t>(tag[tag.size() - 2] - '0');
        tag.resize(tag.size() - 3);
    }
    const ModelProperty named = property_of_prefix(tag);
    const auto plain = [](const std::string& part) {
        return !part.empty() && part.find_first_of(":;[]\"") == std::string::npos;
    };
    if (!plain(named.name) || (named.grouped && !plain(named.group))) {
        return selector;
    }
    selector.names_property = true;
    selector.grouped = named.grouped;
    selector.group = named.group;
    selector.name = named.name;
    for (ModelParameter parameter : parameters_of(tag)) {
        if (parameter.negated) {
            (parameter.bare ? parameter.values[0] : parameter.key).erase(0, 1);
        }
        for (const std::string& value : parameter.values) {
            if (value.empty()) {
                continue;
            }
            if (parameter.negated) {
                selector.forbidden.emplace_back(parameter.key, value);
            } else if (parameter.key == "TYPE" && value == "PREF") {
                selector.preferred = true;
            } else {
                selector.wanted.emplace_back(parameter.key, value);
            }
        }
    }
    return selector;
}

bool model_selects(const ModelSelector& selector, const ModelProperty& property)
{
    if (!selector.names_property || selector.name != property.name) {
        return false;
    }
    if (selector.grouped && (!property.grouped || selector.group != property.group)) {
        return false;
    }
    if (selector.preferred && property.rank > 100) {
        return false;
    }
    const auto holds = [&](const auto& value) {
        return std::find(property.values.begin(), property.values.end(), value) != property.values.end();
    };
    return std::all_of(selector.wanted.begin(), selector.wanted.end(), holds) &&
           std::none_of(selector.forbidden.begin(), selector.forbidden.end(), holds);
}

} // namespace cardtab::testing
