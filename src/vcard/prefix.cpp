#include "vcard/prefix.hpp"

#include <algorithm>

#include "text/text.hpp"
#include "vcard/names.hpp"

namespace cardtab {

namespace {

// The quote rule, once for the colon and for the parameters: a double
// quote at `at` opens a quoted value right after a '=' or a ',' of the
// parameters, which begin at `parameters` (just past the prefix's first
// ';').
bool opens_quotes(std::string_view text, std::size_t at, std::size_t parameters)
{
    return text[at] == '"' && at > parameters && (text[at - 1] == '=' || text[at - 1] == ',');
}

} // namespace

void scan_prefix(PrefixScan& scan, std::string_view text)
{
    for (std::size_t at = scan.scanned; at < text.size() && scan.colon == std::string_view::npos; ++at) {
        const char byte = text[at];
        if (byte == ':' && at >= 1 && scan.first_colon == std::string_view::npos) {
            scan.first_colon = at;
        }
        if (scan.in_quotes) {
            scan.in_quotes = byte != '"';
        } else if (byte == ':' && at >= 1) {
            scan.colon = at;
        } else if (byte == ';' && scan.first_semicolon == std::string_view::npos) {
            scan.first_semicolon = at;
        } else if (scan.first_semicolon != std::string_view::npos) {
            scan.in_quotes = opens_quotes(text, at, scan.first_semicolon + 1);
        }
        scan.scanned = at + 1;
    }
}

std::size_t prefix_colon(const PrefixScan& scan)
{
    return scan.in_quotes ? scan.first_colon : scan.colon;
}

std::size_t find_prefix_colon(std::string_view line)
{
    // Most prefixes hold no double quote before their first colon, which
    // then ends them.
    const std::size_t colon = line.find(':', 1);
    if (colon == std::string_view::npos || line.substr(0, colon).find('"') == std::string_view::npos) {
        return colon;
    }
    PrefixScan scan;
    scan_prefix(scan, line);
    return prefix_colon(scan);
}

PrefixParts split_prefix(std::string_view prefix)
{
    PrefixParts parts;
    const std::size_t semicolon = prefix.find(';');
    std::string_view name = prefix.substr(0, semicolon);
    parts.parameters = semicolon == std::string_view::npos ? std::string_view() : prefix.substr(semicolon + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        parts.group = name.substr(0, dot);
        name.remove_prefix(dot + 1);
        parts.grouped = true;
    }
    parts.name = name;
    return parts;
}

namespace {

// The parameter `text`, whose first '=' (in quotes or not) is at `equals`.
Parameter parameter_of(std::string_view text, std::size_t equals)
{
    if (equals == std::string_view::npos) {
        return {kTypeKey, text, true};
    }
    return {text.substr(0, equals), text.substr(equals + 1), false};
}

} // namespace

void split_parameters(std::string_view parameters, SplitParameters& split)
{
    split.count = 0;
    const std::string_view text = parameters;
    std::size_t start = 0;
    std::size_t equals = std::string_view::npos;
    bool in_quotes = false;
    for (std::size_t at = 0; at < text.size() && split.count + 1 < kMaxParameters; ++at) {
        equals = equals == std::string_view::npos && text[at] == '=' ? at - start : equals;
        if (in_quotes) {
            in_quotes = text[at] != '"';
        } else if (text[at] == ';') {
            split.parameters[split.count++] = parameter_of(text.substr(start, at - start), equals);
            start = at + 1;
            equals = std::string_view::npos;
        } else {
            in_quotes = opens_quotes(text, at, 0);
        }
    }
    // A ';' at the end begins no parameter.
    if (start < text.size()) {
        const std::string_view last = text.substr(start);
        split.parameters[split.count++] = parameter_of(last, last.find('='));
    }
}

std::string_view next_value(std::string_view& values)
{
    const std::size_t comma = values.find(',');
    const std::string_view value = values.substr(0, comma);
    values.remove_prefix(comma == std::string_view::npos ? values.size() : comma + 1);
    return value;
}

bool equals_unquoted(std::string_view text, std::string_view upper)
{
    // Most texts hold no quote: their size tells at once. A text of the
    // same size with a quote in it is shorter without, so never equal.
    if (text.size() <= upper.size()) {
        return text.size() == upper.size() && equals_in_any_case(text, upper);
    }
    if (text.find('"') == std::string_view::npos) {
        return false;
    }
    std::size_t matched = 0;
    for (const char byte : text) {
        if (byte == '"') {
            continue;
        }
        if (matched == upper.size() || upper_ascii_byte(byte) != upper[matched]) {
            return false;
        }
        ++matched;
    }
    return matched == upper.size();
}

bool holds_value(std::string_view values, std::string_view value)
{
    while (!values.empty()) {
        if (equals_unquoted(next_value(values), value)) {
            return true;
        }
    }
    return false;
}

bool has_parameter_value(const SplitParameters& split, std::string_view key, std::string_view value)
{
    for (const Parameter& parameter : split.split()) {
        if (equals_unquoted(parameter.key, key) && holds_value(parameter.values, value)) {
            return true;
        }
    }
    return false;
}

std::string_view first_parameter_value(const SplitParameters& split, std::string_view key, bool& found)
{
    found = false;
    for (const Parameter& parameter : split.split()) {
        if (!parameter.bare && equals_unquoted(parameter.key, key)) {
            found = true;
            std::string_view values = parameter.values;
            return next_value(values);
        }
    }
    return {};
}

namespace {

unsigned rank_of_value(std::string_view values)
{
    unsigned rank = 0;
    std::size_t digits = 0;
    for (const char byte : next_value(values)) {
        if (byte == '"') {
            continue;
        }
        if (byte < '0' || byte > '9') {
            return kLowestRank;
        }
        rank = std::min(rank * 10 + static_cast<unsigned>(byte - '0'), kUnranked);
        ++digits;
    }
    return digits == 0 || rank == 0 ? kLowestRank : std::min(rank, kLowestRank);
}

} // namespace

unsigned preference_rank(const SplitParameters& split)
{
    // PREF in any case among the types: most values hold no P at all.
    const auto holds_p = [](std::string_view text) {
        for (const char byte : text) {
            if ((byte | 0x20) == 'p') {
                return true;
            }
        }
        return false;
    };
    unsigned rank = kUnranked;
    for (const Parameter& parameter : split.split()) {
        if (!parameter.bare && equals_unquoted(parameter.key, kPreferred)) {
            rank = std::min(rank, rank_of_value(parameter.values));
        } else if (holds_p(parameter.values) && equals_unquoted(parameter.key, kTypeKey) &&
                   holds_value(parameter.values, kPreferred)) {
            rank = 1;
        }
    }
    return rank;
}

} // namespace cardtab
