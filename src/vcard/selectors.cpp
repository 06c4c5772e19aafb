#include "vcard/selectors.hpp"

#include <bit>

#include "text/text.hpp"
#include "vcard/names.hpp"
#include "vcard/prefix.hpp"

namespace cardtab {

namespace {

bool is_digit(char byte)
{
    return byte >= '0' && byte <= '9';
}

// Takes ":k" off the end of the tag: false where what follows the last ':'
// is neither nothing nor one or two digits from 1 to 99.
bool take_component(std::string_view& tag, std::size_t& component)
{
    const std::size_t colon = tag.rfind(':');
    if (colon == std::string_view::npos) {
        return true;
    }
    const std::string_view digits = tag.substr(colon + 1);
    tag = tag.substr(0, colon);
    if (digits.empty()) {
        return true;
    }
    if (digits.size() > 2 || !is_digit(digits[0]) || !is_digit(digits.back())) {
        return false;
    }
    component = digits.size() == 1 ? std::size_t(digits[0] - '0')
                                   : std::size_t(digits[0] - '0') * 10 + std::size_t(digits[1] - '0');
    return component >= 1 && component <= kMaxComponent;
}

// Takes "[n]" off the end of the tag: false where the tag ends in ']'
// otherwise than with one digit from 1 to kMaxNthLine between brackets.
bool take_nth_line(std::string_view& tag, std::size_t& nth_line)
{
    static_assert(kMaxNthLine <= 9, "n is one digit");
    if (!tag.ends_with(']')) {
        return true;
    }
    if (tag.size() < 3 || tag[tag.size() - 3] != '[' || !is_digit(tag[tag.size() - 2])) {
        return false;
    }
    const auto n = std::size_t(tag[tag.size() - 2] - '0');
    if (n < 1 || n > kMaxNthLine) {
        return false;
    }
    nth_line = n;
    tag.remove_suffix(3);
    return true;
}

void assign_upper(FixedText<kMaxTagBytes>& text, std::string_view source)
{
    text.length = 0;
    for (const char byte : source) {
        if (byte != '"' && text.length < text.bytes.size()) {
            text.bytes[text.length++] = upper_ascii_byte(byte);
        }
    }
}

void add_requirements(Selector& selector, std::string_view parameters)
{
    SplitParameters split;
    split_parameters(parameters, split);
    for (const Parameter& parameter : split.split()) {
        std::string_view key = parameter.key;
        std::string_view values = parameter.values;
        std::string_view& marked = parameter.bare ? values : key;
        const bool forbidden = marked.starts_with(kNot);
        marked.remove_prefix(forbidden ? 1 : 0);
        while (!values.empty()) {
            const std::string_view value = next_value(values);
            if (value.find_first_not_of('"') == std::string_view::npos) {
                continue; // an empty value asks for nothing
            }
            if (!forbidden && equals_unquoted(key, kTypeKey) && equals_unquoted(value, kPreferred)) {
                selector.wants_preferred = true;
            } else if (selector.requirement_count < selector.requirements.size()) {
                Requirement& requirement = selector.requirements[selector.requirement_count++];
                assign_upper(requirement.key, key);
                assign_upper(requirement.value, value);
                requirement.forbidden = forbidden;
            }
        }
    }
}

} // namespace

bool is_plain_part(std::string_view part)
{
    return !part.empty() && part.find_first_of(":;[]\"") == std::string_view::npos;
}

Selector read_selector(std::string_view tag, bool cut)
{
    Selector selector;
    tag = trim_both(tag, kSpaceAndTab);
    // A tag that names no property keeps no line, so no line before one.
    if (cut || !take_component(tag, selector.component) || !take_nth_line(tag, selector.nth_line)) {
        return Selector{};
    }
    const std::size_t semicolon = tag.find(';');
    const PrefixParts parts = split_prefix(tag.substr(0, semicolon));
    if (!is_plain_part(parts.name) || (parts.grouped && !is_plain_part(parts.group))) {
        return Selector{};
    }
    selector.grouped = parts.grouped;
    assign_upper(selector.group, parts.group);
    assign_upper(selector.name, parts.name);
    if (semicolon != std::string_view::npos) {
        add_requirements(selector, tag.substr(semicolon + 1));
    }
    selector.names_property = true;
    return selector;
}

namespace {

// FNV-1a: the pairs are the configuration's, so no input chooses how they
// fall together.
std::size_t slot_of(std::string_view pair)
{
    std::uint32_t hash = 2166136261u;
    for (const char byte : pair) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 16777619u;
    }
    return hash & (RequirementIndex::kSlots - 1);
}

// The place of `pair` among the index's pairs, or kMaxDistinct.
std::size_t place_of_pair(const RequirementIndex& index, std::string_view pair)
{
    for (std::size_t slot = slot_of(pair);; slot = (slot + 1) & (RequirementIndex::kSlots - 1)) {
        const std::size_t place = index.slots[slot];
        if (place == 0) {
            return RequirementIndex::kMaxDistinct;
        }
        if (view(index.pairs[place - 1]) == pair) {
            return place - 1;
        }
    }
}

// "KEY=VALUE" in upper case without quotes, false where it does not fit:
// then no requirement can be it.
bool make_pair_text(RequirementIndex::Pair& pair, std::string_view key, std::string_view value)
{
    pair.length = 0;
    const auto add = [&pair](std::string_view text) {
        for (const char byte : text) {
            if (byte == '"') {
                continue;
            }
            if (pair.length == pair.bytes.size()) {
                return false;
            }
            pair.bytes[pair.length++] = upper_ascii_byte(byte);
        }
        return true;
    };
    return add(key) && add("=") && add(value);
}

std::uint16_t add_pair(RequirementIndex& index, const Requirement& requirement)
{
    RequirementIndex::Pair pair;
    make_pair_text(pair, view(requirement.key), view(requirement.value));
    if (const std::size_t place = place_of_pair(index, view(pair)); place != RequirementIndex::kMaxDistinct) {
        return static_cast<std::uint16_t>(place);
    }
    std::size_t slot = slot_of(view(pair));
    while (index.slots[slot] != 0) {
        slot = (slot + 1) & (RequirementIndex::kSlots - 1);
    }
    index.pairs[index.count] = pair;
    index.slots[slot] = static_cast<std::uint16_t>(++index.count);
    return static_cast<std::uint16_t>(index.count - 1);
}

} // namespace

RequirementSet requirements_met(const RequirementIndex& index, const SplitParameters& parameters)
{
    RequirementSet met;
    RequirementIndex::Pair pair;
    for (const Parameter& parameter : parameters.split()) {
        // Each value, up to a ',', after the key and its '='.
        for (std::size_t start = 0; start < parameter.values.size();) {
            std::size_t end = start;
            while (end < parameter.values.size() && parameter.values[end] != ',') {
                ++end;
            }
            if (make_pair_text(pair, parameter.key, parameter.values.substr(start, end - start))) {
                if (const std::size_t place = place_of_pair(index, view(pair)); place != RequirementIndex::kMaxDistinct) {
                    met.set(place);
                }
            }
            start = end + 1;
        }
    }
    return met;
}

bool selects(const Selector& selector, std::string_view group, bool grouped, std::string_view name,
             const SplitParameters& parameters, unsigned rank, const RequirementSet* met)
{
    if (!selector.names_property || !equals_in_any_case(name, view(selector.name))) {
        return false;
    }
    if (selector.grouped && !(grouped && equals_in_any_case(group, view(selector.group)))) {
        return false;
    }
    if (selector.wants_preferred && rank > kLowestRank) {
        return false;
    }
    for (std::size_t n = 0; n < selector.requirement_count; ++n) {
        const Requirement& requirement = selector.requirements[n];
        const bool has = met != nullptr ? met->test(selector.requirement_ids[n])
                                        : has_parameter_value(parameters, view(requirement.key), view(requirement.value));
        if (has == requirement.forbidden) {
            return false;
        }
    }
    return true;
}

ColumnSelectors::ColumnSelectors(const ColumnTable& table) : columns(table)
{
    for (std::size_t j = 0; j < columns.count; ++j) {
        selectors[j] = read_selector(view(columns.columns[j].tag), columns.columns[j].tag_cut);
        for (std::size_t n = 0; n < selectors[j].requirement_count; ++n) {
            selectors[j].requirement_ids[n] = add_pair(requirements, selectors[j].requirements[n]);
        }
        if (selectors[j].names_property) {
            by_first_byte[static_cast<unsigned char>(selectors[j].name.bytes[0])] |= ColumnSet{1} << j;
        }
    }
}

namespace {

// The name of a line's property, as far as a column may ask for it: the
// text of the prefix before its first ';', after the last '.' of that text.
std::string_view name_of(std::string_view prefix)
{
    const std::string_view name = prefix.substr(0, prefix.find(';'));
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

// The columns whose tags name `name`, in any letter case.
ColumnSet columns_named(const ColumnSelectors& columns, std::string_view name)
{
    ColumnSet named = 0;
    if (!name.empty()) {
        for (ColumnSet set = columns.by_first_byte[static_cast<unsigned char>(upper_ascii_byte(name[0]))]; set != 0;
             set &= set - 1) {
            const auto j = static_cast<std::size_t>(std::countr_zero(set));
            named |= equals_in_any_case(name, view(columns.selectors[j].name)) ? ColumnSet{1} << j : 0;
        }
    }
    return named;
}

} // namespace

PrefixReading read_prefix(const ColumnSelectors& columns, std::string_view prefix, SplitParameters& parameters)
{
    PrefixReading reading;
    const ColumnSet named = columns_named(columns, name_of(prefix));
    if (named == 0) {
        return reading;
    }
    const PrefixParts parts = split_prefix(prefix);
    split_parameters(parts.parameters, parameters);
    reading.rank = preference_rank(parameters);
    // A few parameters are compared with each requirement; many are looked
    // up once, so that no line costs columns times parameters.
    constexpr std::size_t kFewParameters = 8;
    RequirementSet met;
    if (parameters.count > kFewParameters) {
        met = requirements_met(columns.requirements, parameters);
    }
    const RequirementSet* looked_up = parameters.count > kFewParameters ? &met : nullptr;
    for (ColumnSet set = named; set != 0; set &= set - 1) {
        const auto j = static_cast<std::size_t>(std::countr_zero(set));
        if (selects(columns.selectors[j], parts.group, parts.grouped, parts.name, parameters, reading.rank,
                    looked_up)) {
            reading.matching |= ColumnSet{1} << j;
        }
    }
    if (reading.matching != 0) {
        reading.encoding = encoding_of(prefix, parameters);
        reading.uri = has_parameter_value(parameters, kValueKey, kUriValue);
    }
    return reading;
}

} // namespace cardtab
