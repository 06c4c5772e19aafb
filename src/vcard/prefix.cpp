#include "vcard/prefix.hpp"

#include "text/text.hpp"

namespace cardtab {

namespace {

constexpr std::string_view kBareKey = "TYPE";

// Where the next ';' outside quotes stands in `parameters`, or its size.
// Every quote counts that follows a '=' or a ',': these texts lie past the
// line's first ';'.
std::size_t parameter_end(std::string_view parameters)
{
    bool in_quotes = false;
    for (std::size_t at = 0; at < parameters.size(); ++at) {
        const char byte = parameters[at];
        if (in_quotes) {
            in_quotes = byte != '"';
        } else if (byte == ';') {
            return at;
        } else if (byte == '"' && at > 0 && (parameters[at - 1] == '=' || parameters[at - 1] == ',')) {
            in_quotes = true;
        }
    }
    return parameters.size();
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
        } else if (byte == '"' && scan.first_semicolon != std::string_view::npos && at > scan.first_semicolon + 1 &&
                   (text[at - 1] == '=' || text[at - 1] == ',')) {
            scan.in_quotes = true;
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

std::string_view next_parameter(std::string_view& parameters)
{
    const std::size_t end = parameter_end(parameters);
    const std::string_view parameter = parameters.substr(0, end);
    parameters.remove_prefix(end == parameters.size() ? end : end + 1);
    return parameter;
}

std::string_view parameter_key(std::string_view parameter)
{
    const std::size_t equals = parameter.find('=');
    return equals == std::string_view::npos ? kBareKey : parameter.substr(0, equals);
}

std::string_view parameter_values(std::string_view parameter)
{
    const std::size_t equals = parameter.find('=');
    return equals == std::string_view::npos ? parameter : parameter.substr(equals + 1);
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
    // Most texts hold no quote: their size tells at once.
    if (text.size() == upper.size()) {
        if (equals_in_any_case(text, upper)) {
            return true;
        }
    } else if (text.size() < upper.size()) {
        return false;
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

bool has_parameter_value(std::string_view parameters, std::string_view key, std::string_view value)
{
    while (!parameters.empty()) {
        const std::string_view parameter = next_parameter(parameters);
        if (!equals_unquoted(parameter_key(parameter), key)) {
            continue;
        }
        for (std::string_view values = parameter_values(parameter); !values.empty();) {
            if (equals_unquoted(next_value(values), value)) {
                return true;
            }
        }
    }
    return false;
}

std::string_view first_parameter_value(std::string_view parameters, std::string_view key, bool& found)
{
    found = false;
    while (!parameters.empty()) {
        const std::string_view parameter = next_parameter(parameters);
        if (parameter.find('=') != std::string_view::npos && equals_unquoted(parameter_key(parameter), key)) {
            found = true;
            std::string_view values = parameter_values(parameter);
            return next_value(values);
        }
    }
    return {};
}

void split_parameters(std::string_view parameters, SplitParameters& split)
{
    split.count = 0;
    while (!parameters.empty() && split.count < kMaxParametersSplit) {
        const std::string_view parameter = next_parameter(parameters);
        const std::size_t equals = parameter.find('=');
        const bool bare = equals == std::string_view::npos;
        split.keys[split.count] = bare ? kBareKey : parameter.substr(0, equals);
        split.values[split.count] = bare ? parameter : parameter.substr(equals + 1);
        split.bare[split.count] = bare;
        ++split.count;
    }
    split.rest = parameters;
}

namespace {

bool holds_value(std::string_view values, std::string_view value)
{
    while (!values.empty()) {
        if (equals_unquoted(next_value(values), value)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool has_parameter_value(const SplitParameters& parameters, std::string_view key, std::string_view value)
{
    for (std::size_t n = 0; n < parameters.count; ++n) {
        if (equals_unquoted(parameters.keys[n], key) && holds_value(parameters.values[n], value)) {
            return true;
        }
    }
    return !parameters.rest.empty() && has_parameter_value(parameters.rest, key, value);
}

std::string_view first_parameter_value(const SplitParameters& parameters, std::string_view key, bool& found)
{
    for (std::size_t n = 0; n < parameters.count; ++n) {
        if (!parameters.bare[n] && equals_unquoted(parameters.keys[n], key)) {
            found = true;
            std::string_view values = parameters.values[n];
            return next_value(values);
        }
    }
    return first_parameter_value(parameters.rest, key, found);
}

bool is_preferred(const SplitParameters& parameters)
{
    // PREF in any case: most parameters hold no P at all.
    const auto holds_p = [](std::string_view text) {
        for (const char byte : text) {
            if ((byte | 0x20) == 'p') {
                return true;
            }
        }
        return false;
    };
    bool any_p = !parameters.rest.empty();
    for (std::size_t n = 0; n < parameters.count && !any_p; ++n) {
        any_p = holds_p(parameters.keys[n]) || holds_p(parameters.values[n]);
    }
    if (!any_p) {
        return false;
    }
    for (std::size_t n = 0; n < parameters.count; ++n) {
        if (!parameters.bare[n] && equals_unquoted(parameters.keys[n], "PREF")) {
            return true;
        }
        if (equals_unquoted(parameters.keys[n], kBareKey) && holds_value(parameters.values[n], "PREF")) {
            return true;
        }
    }
    for (std::string_view rest = parameters.rest; !rest.empty();) {
        const std::string_view parameter = next_parameter(rest);
        if (parameter.find('=') != std::string_view::npos && equals_unquoted(parameter_key(parameter), "PREF")) {
            return true;
        }
    }
    return has_parameter_value(parameters.rest, kBareKey, "PREF");
}

} // namespace cardtab
