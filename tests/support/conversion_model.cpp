#include "support/conversion_model.hpp"

#include <algorithm>

#include "config/configuration.hpp"
#include "config/records.hpp"
#include "support/decoding_model.hpp"
#include "io/line_reader.hpp"
#include "text/diacritics.hpp"
#include "text/fold_utf8.hpp"

namespace cardtab::testing {

namespace {

constexpr std::string_view kSeparatorSet = "|!/#$&?=-+,.:;<>()[]{}";
// A header shows at most this much of the title after its first '*'.
constexpr std::size_t kModelHeaderBytes = 100;

// The program's own search: forward, never backing up after a partial match.
long find(std::string_view subject, std::string_view pattern, std::size_t start = 0)
{
    if (start > subject.size()) {
        return -1;
    }
    if (pattern.empty()) {
        return start == subject.size() ? static_cast<long>(start) : -1;
    }
    std::size_t k = 0;
    long match = -1;
    for (std::size_t p = start; p < subject.size(); ++p) {
        if (subject[p] == pattern[k]) {
            if (match == -1) {
                match = static_cast<long>(p);
            }
            if (++k == pattern.size()) {
                return match;
            }
        } else {
            match = -1;
            k = 0;
        }
    }
    return -1;
}

bool begins(std::string_view text, std::string_view prefix)
{
    return find(text, prefix) == 0;
}

std::string upper(std::string text)
{
    for (char& byte : text) {
        if (byte >= 'a' && byte <= 'z') {
            byte = static_cast<char>(byte - 32);
        }
    }
    return text;
}

std::string trimmed(std::string text, std::string_view trailing)
{
    while (!text.empty() && trailing.find(text.back()) != std::string_view::npos) {
        text.pop_back();
    }
    return text;
}

std::string first(std::string_view text, std::size_t count)
{
    return std::string(text.substr(0, count));
}

// Each two-byte sequence of a character from U+00A0 to U+017F as one byte;
// a lead byte that starts no such sequence is kept, and so is what follows.
std::string folded(std::string_view line)
{
    std::string result;
    for (std::size_t at = 0; at < line.size(); ++at) {
        const auto lead = static_cast<unsigned char>(line[at]);
        const int second = at + 1 < line.size() ? static_cast<unsigned char>(line[at + 1]) : -1;
        int entry = -1;
        if (lead == 0xC2 && second >= 0xA0 && second <= 0xBF) {
            entry = second - 0xA0;
        } else if (lead >= 0xC3 && lead <= 0xC5 && second >= 0x80 && second <= 0xBF) {
            entry = 32 + (lead - 0xC3) * 64 + (second - 0x80);
        }
        if (entry >= 0) {
            result += static_cast<char>(kFoldTable[static_cast<std::size_t>(entry)]);
            ++at;
        } else {
            result += line[at];
        }
    }
    return result;
}

std::string stripped(std::string text)
{
    for (char& byte : text) {
        const std::size_t at = kAccentedLetters.find(byte);
        if (at != std::string_view::npos) {
            byte = kPlainLetters[at];
        }
    }
    return text;
}

struct ModelColumn {
    std::string title;
    std::string tag;
    std::string value;
    bool cut = false; // the tag lost bytes past the 20th
    // Decoding: the values of the lines taken in this card, with their
    // ranks, in file order.
    std::vector<std::pair<unsigned, std::string>> taken;
};

struct ModelSettings {
    std::string input = "import";
    std::string output = "*";
    char separator = ',';
    bool decode = false;
    TableCharset charset = TableCharset::windows_1250_plain;
    std::vector<ModelColumn> columns;
};

// The word after a file's name: blanks, or a word after a space or a tab,
// then blanks; empty where there is none or no blank before it.
std::string word_after(const std::string& rest, bool& any)
{
    std::string words = rest;
    while (!words.empty() && std::string_view(" \t\r\n").find(words.back()) != std::string_view::npos) {
        words.pop_back();
    }
    const std::size_t start = words.find_first_not_of(" \t");
    any = start != std::string::npos;
    return any && start > 0 ? upper(words.substr(start)) : "";
}

// After the card file's name: blanks, or "decode" in any case after a space
// or a tab, then blanks.
bool asks_to_decode(const std::string& rest)
{
    bool any = false;
    return word_after(rest, any) == "DECODE";
}

// After the table file's name: "utf8" or "accents" as "decode" after the
// card file's.
TableCharset charset_asked(const std::string& rest)
{
    bool any = false;
    const std::string word = word_after(rest, any);
    return word == "UTF8" ? TableCharset::utf8 : word == "ACCENTS" ? TableCharset::windows_1250
                                                                     : TableCharset::windows_1250_plain;
}

// Whether a tag taken from `text` lost more than blanks and a line end.
bool cut_from(const std::string& text)
{
    return text.size() > kMaxTagBytes && text.substr(kMaxTagBytes).find_first_not_of(" \t\r\n") != std::string::npos;
}

void add_column(ModelSettings& settings, std::string title, std::string tag, bool cut)
{
    if (settings.columns.size() == kMaxColumns) {
        return;
    }
    settings.columns.push_back({first(title, kMaxTitleBytes), std::move(tag), "", cut, {}});
}

// Returns false when the line refuses the run.
bool apply_line(ModelSettings& settings, const std::string& line)
{
    const std::string upper_line = upper(line);
    for (const auto& [extension, name] : {std::pair{".VCF", &settings.input}, std::pair{".CSV", &settings.output}}) {
        if (const long at = find(upper_line, extension); at >= 0) {
            *name = first(line, static_cast<std::size_t>(at));
            const std::string rest = line.substr(static_cast<std::size_t>(at) + 4);
            if (name == &settings.input) {
                settings.decode = asks_to_decode(rest);
            } else {
                settings.charset = charset_asked(rest);
            }
            return name->size() <= kMaxBaseNameBytes;
        }
    }
    if (find(kSeparatorSet, line) >= 0) {
        settings.separator = line[0];
    } else if (const long equals = find(line, "="); equals >= 0) {
        const auto split = static_cast<std::size_t>(equals);
        const std::string text = line.substr(split + 1);
        add_column(settings, first(line, split), trimmed(first(text, kMaxTagBytes), " \n"), cut_from(text));
    } else {
        const std::string bare = trimmed(first(upper_line, kMaxTagBytes), " \n");
        add_column(settings, bare, bare, cut_from(upper_line));
    }
    return true;
}

bool holds(std::string_view title, std::string_view mark)
{
    return find(title, mark) >= 0;
}

std::string quoted(std::string_view text, char quote)
{
    std::string field(1, quote);
    for (const char byte : text) {
        field += byte;
        if (byte == quote) {
            field += byte;
        }
    }
    return field + quote;
}

// A text of the configuration in the table's set: read as UTF-8 where it
// is, else as Windows-1250, and kept as it is in a Windows-1250 table.
std::string configured_text(const std::string& text, TableCharset charset)
{
    const std::vector<long> characters = model_characters(text, true);
    const bool utf8 = std::find(characters.begin(), characters.end(), -1) == characters.end();
    if (!utf8 && charset != TableCharset::utf8) {
        return text;
    }
    return model_in_table_charset(model_characters(text, utf8),
                                  charset == TableCharset::utf8 ? charset : TableCharset::windows_1250);
}

std::string header_line(const ModelSettings& settings)
{
    std::string line = settings.charset == TableCharset::utf8 ? "\xEF\xBB\xBF" : "";
    for (std::size_t j = 0; j < settings.columns.size(); ++j) {
        const std::string& title = settings.columns[j].title;
        const long star = find(title, "*");
        const std::string header = configured_text(
            star < 0 ? title : first(title.substr(static_cast<std::size_t>(star) + 1), kModelHeaderBytes),
            settings.charset);
        const bool needs_quotes = header.find_first_of(std::string{settings.separator, '"', '\r'}) != std::string::npos;
        line += (j > 0 ? std::string(1, settings.separator) : "") + (needs_quotes ? quoted(header, '"') : header);
    }
    return line + "\n";
}

std::string data_line(ModelSettings& settings)
{
    std::string line;
    for (std::size_t j = 0; j < settings.columns.size(); ++j) {
        ModelColumn& column = settings.columns[j];
        if (holds(column.title, "Ident")) {
            column.value = column.tag;
        }
        const std::string value = trimmed(column.value, " \n\r");
        line += (j > 0 ? std::string(1, settings.separator) : "") +
                quoted(holds(column.title, "Ident") ? configured_text(value, settings.charset) : value, '"');
    }
    return line + "\n";
}

// The value rules over a text in the table's set.
std::string by_the_rules(const std::string& text, bool strips_spaces, TableCharset charset)
{
    std::string value = model_cut(text, kMaxValueBytes, charset);
    for (char& byte : value) {
        byte = byte == ';' ? ' ' : byte;
    }
    if (strips_spaces) {
        std::erase(value, ' ');
    }
    return trimmed(charset == TableCharset::windows_1250_plain ? stripped(value) : value, " \n\r");
}

// The default set takes the value from the line folded; another reads the
// value as the card file holds it, without its line end: as UTF-8 where it
// is (a UTF-8 character cut at its end left out), else as Windows-1250.
std::string value_of(const std::string& folded_line, const std::string& piece, bool strips_spaces,
                     TableCharset charset)
{
    if (charset == TableCharset::windows_1250_plain) {
        const std::size_t colon = folded_line.find(':', 1);
        return colon == std::string::npos || folded_line.empty()
                   ? ""
                   : by_the_rules(folded_line.substr(colon + 1), strips_spaces, charset);
    }
    const std::size_t colon = piece.find(':', 1);
    std::string raw = colon == std::string::npos ? "" : trimmed(piece.substr(colon + 1), "\n\r");
    const std::size_t incomplete = model_incomplete_utf8_end(raw);
    const std::string whole = raw.substr(0, raw.size() - incomplete);
    const std::vector<long> characters = model_characters(whole, true);
    const bool multibyte = std::any_of(whole.begin(), whole.end(), [](char byte) { return byte & 0x80; });
    const bool utf8 = std::find(characters.begin(), characters.end(), -1) == characters.end() &&
                      (incomplete == 0 || multibyte);
    return by_the_rules(model_in_table_charset(model_characters(utf8 ? whole : raw, utf8), charset), strips_spaces,
                        charset);
}

void clear_values(ModelSettings& settings)
{
    for (ModelColumn& column : settings.columns) {
        column.value.clear();
        column.taken.clear();
    }
}

// `text` is the line folded and trimmed.
bool matches(const std::string& text, const ModelColumn& column)
{
    return column.tag.empty() ? text.empty() : begins(text, column.tag);
}

// A data line at the end of a complete card; `text` is the line folded and
// trimmed, which begins as the folded line does.
std::string row_at_end(ModelSettings& settings, const std::string& text, bool any_case = false)
{
    if (!(any_case ? upper(text).starts_with("END:") : begins(text, "END:"))) {
        return "";
    }
    for (const ModelColumn& column : settings.columns) {
        const bool required = holds(column.title, "*") || holds(column.title, "#");
        if (required && column.value.empty()) {
            return "";
        }
    }
    return data_line(settings);
}

// The card file, line by line, as the rules tell it.
std::string scanned(ModelSettings& settings, std::string_view cards)
{
    std::string table;
    for (const std::string& piece : model_pieces(cards)) {
        if (begins(piece, "BEGIN:VCARD")) {
            clear_values(settings);
        }
        const std::string text = trimmed(folded(piece), " \n");
        for (ModelColumn& column : settings.columns) {
            if (matches(text, column)) {
                column.value = value_of(text, piece, holds(column.title, "#"), settings.charset);
            }
        }
        table += row_at_end(settings, text);
    }
    return table;
}

// The card file read as vCard: logical lines read as properties, each
// column taking those its tag names, ranked by PREF, and showing the n-th,
// decoded by the line's prefix and the card's version.
std::string scanned_decoding(ModelSettings& settings, std::string_view cards)
{
    std::string table;
    bool version_21 = false;
    std::vector<ModelSelector> selectors;
    for (const ModelColumn& column : settings.columns) {
        selectors.push_back(model_selector(column.tag, column.cut));
    }
    for (const ModelLogicalLine& line : model_logical_lines(cards)) {
        const std::string upper_line = upper(line.text);
        if (upper_line.starts_with("BEGIN:VCARD")) {
            clear_values(settings);
            version_21 = false;
        } else if (upper_line.starts_with("VERSION:")) {
            const std::string version = line.text.substr(8);
            const std::size_t start = version.find_first_not_of(" \r");
            const std::size_t end = version.find_last_not_of(" \r");
            version_21 = start != std::string::npos && version.substr(start, end - start + 1) == "2.1";
        }
        const ModelProperty property = model_property(line.text);
        for (std::size_t j = 0; j < settings.columns.size(); ++j) {
            if (!model_selects(selectors[j], property)) {
                continue;
            }
            ModelColumn& column = settings.columns[j];
            column.taken.emplace_back(property.rank, model_decoded_value(line, version_21, holds(column.title, "#"),
                                                                         selectors[j].component, settings.charset));
            std::vector<std::pair<unsigned, std::string>> ranked = column.taken;
            std::stable_sort(ranked.begin(), ranked.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            column.value = ranked.size() >= selectors[j].nth ? ranked[selectors[j].nth - 1].second : "";
        }
        table += row_at_end(settings, trimmed(folded(line.text), " \n"), true);
    }
    return table;
}

std::string with_cr_lf(std::string_view text)
{
    std::string bytes;
    for (const char byte : text) {
        if (byte == '\n') {
            bytes += '\r';
        }
        bytes += byte;
    }
    return bytes;
}

} // namespace

std::string model_text_mode(std::string_view bytes)
{
    bytes = bytes.substr(0, bytes.find('\x1A'));
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t cr_lf = std::min(bytes.find("\r\n", at), bytes.size());
        text.append(bytes.substr(at, cr_lf - at));
        at = cr_lf == bytes.size() ? cr_lf : cr_lf + 1;
    }
    return text;
}

std::vector<std::string> model_pieces(std::string_view bytes)
{
    const std::string text = model_text_mode(bytes);
    std::vector<std::string> pieces;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t line_feed = text.find('\n', at);
        const std::size_t line_end = line_feed == std::string::npos ? text.size() : line_feed + 1;
        const std::size_t end = std::min(line_end, at + kMaxPieceBytes);
        const std::string_view piece = std::string_view(text).substr(at, end - at);
        pieces.emplace_back(piece.substr(0, piece.find('\0')));
        at = end;
    }
    return pieces;
}

// Decoding reads a card file in UTF-16 or UTF-32 (a byte order mark, or a
// zero in every second or fourth of its first four bytes) as UTF-8, and one
// with CRs and no line feed in its first 4,096 bytes with CRs as line feeds.
std::string model_text(std::string_view cards)
{
    const std::string_view window = cards.substr(0, 4096);
    const auto zero = [&](std::size_t at) { return cards.size() >= 4 && cards[at] == '\0'; };
    std::size_t unit = 0;
    bool little = true;
    if (cards.size() >= 4 && (cards.starts_with(std::string_view("\xFF\xFE\0\0", 4)) || (!zero(0) && zero(1) && zero(2) && zero(3)))) {
        unit = 4;
    } else if (cards.size() >= 4 && (cards.starts_with(std::string_view("\0\0\xFE\xFF", 4)) || (zero(0) && zero(1) && zero(2) && !zero(3)))) {
        unit = 4;
        little = false;
    } else if (cards.size() >= 4 && (cards.starts_with("\xFF\xFE") || (!zero(0) && zero(1) && !zero(2) && zero(3)))) {
        unit = 2;
    } else if (cards.size() >= 4 && (cards.starts_with("\xFE\xFF") || (zero(0) && !zero(1) && zero(2) && !zero(3)))) {
        unit = 2;
        little = false;
    }
    if (unit == 0) {
        std::string text(cards);
        if (window.find('\n') == std::string_view::npos && window.find('\r') != std::string_view::npos) {
            std::replace(text.begin(), text.end(), '\r', '\n');
        }
        return text;
    }
    std::vector<long> characters;
    const auto unit_at = [&](std::size_t at) {
        long value = 0;
        for (std::size_t n = 0; n < unit; ++n) {
            value = value * 256 + static_cast<unsigned char>(cards[at + (little ? unit - 1 - n : n)]);
        }
        return value;
    };
    for (std::size_t at = 0; at < cards.size(); at += unit) {
        if (cards.size() - at < unit) {
            characters.push_back(0xFFFD);
            break;
        }
        const long value = unit_at(at);
        if (unit == 2 && value >= 0xD800 && value <= 0xDBFF && cards.size() - at >= 4 && unit_at(at + 2) >= 0xDC00 &&
            unit_at(at + 2) <= 0xDFFF) {
            characters.push_back(0x10000 + (value - 0xD800) * 1024 + (unit_at(at + 2) - 0xDC00));
            at += 2;
        } else {
            characters.push_back(value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) ? 0xFFFD : value);
        }
    }
    return model_in_table_charset(characters, TableCharset::utf8);
}

ModelConversion model_conversion(const std::optional<std::string>& configuration, std::string_view cards,
                                 const ModelOptions& options)
{
    ModelSettings settings;
    ModelConversion conversion;
    const bool decode = options.decode || options.outlook;
    const std::string_view lines =
        configuration ? std::string_view(*configuration) : decode && !options.outlook ? kDefaultDecodingColumns : "";
    for (const std::string& line : model_pieces(lines)) {
        if (!apply_line(settings, line)) {
            conversion.refused = true;
            return conversion;
        }
    }
    if (options.outlook) {
        // Outlook's layout in place of the configuration's, file names apart.
        settings.columns.clear();
        for (const std::string& line : model_pieces(kOutlookColumns)) {
            apply_line(settings, line);
        }
        settings.charset = TableCharset::utf8;
    }
    const bool decoding = decode || settings.decode;
    if (configuration && decoding && !options.outlook && settings.columns.empty()) {
        // A cardtab.ini without columns gets the default ones; its own names,
        // set and separator stay.
        const ModelSettings own = settings;
        for (const std::string& line : model_pieces(kDefaultDecodingColumns)) {
            apply_line(settings, line);
        }
        settings.input = own.input;
        settings.output = own.output;
        settings.charset = own.charset != TableCharset::windows_1250_plain ? own.charset : settings.charset;
        settings.separator = own.separator != ',' ? own.separator : settings.separator;
    }
    settings.charset = options.charset.value_or(settings.charset);
    conversion.card_name = settings.input + ".vcf";
    conversion.table_name = (settings.output.starts_with('*') ? settings.input : settings.output) + ".csv";
    conversion.table = with_cr_lf(header_line(settings) +
                                  (decoding ? scanned_decoding(settings, model_text(cards)) : scanned(settings, cards)));
    conversion.separator = settings.separator;
    conversion.columns = settings.columns.size();
    return conversion;
}

} // namespace cardtab::testing
