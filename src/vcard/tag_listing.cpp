#include "vcard/tag_listing.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <span>
#include <utility>

#include "vcard/names.hpp"
#include "vcard/logical_lines.hpp"
#include "vcard/selectors.hpp"
#include "result/run_result.hpp"
#include "text/printable.hpp"
#include "text/text.hpp"
#include "vcard/prefix.hpp"

namespace cardtab {

namespace {

// Murmur3's last step: a bijection in which every bit reaches every other.
std::uint64_t mixed(std::uint64_t value)
{
    value ^= value >> 33;
    value *= 0xFF51AFD7ED558CCDu;
    value ^= value >> 33;
    value *= 0xC4CEB9FE1A85EC53u;
    return value ^ (value >> 33);
}

} // namespace

std::size_t TextHash::operator()(std::string_view text) const
{
    std::uint64_t hash = mixed(key ^ text.size());
    for (std::size_t at = 0; at < text.size(); at += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, std::min(sizeof word, text.size() - at));
        hash = mixed(hash ^ word);
    }
    return static_cast<std::size_t>(hash);
}

std::uint64_t random_hash_key()
{
    std::random_device device;
    const auto ticks = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return mixed((std::uint64_t{device()} << 32 | device()) ^ ticks);
}

namespace {

constexpr std::size_t kCountWidth = 7;

// A card's bounds and its version are no data anyone wants a column of.
bool is_card_frame(std::string_view tag)
{
    for (const std::string_view frame : kFrameNames) {
        if (equals_in_any_case(tag, frame)) {
            return true;
        }
    }
    return false;
}

void note_tag(TagCounts& counts, std::string_view tag)
{
    if (!counts.in_a_card || tag.empty() || is_card_frame(tag)) {
        return;
    }
    tag = tag.substr(0, std::min(tag.size(), kMaxListedTagBytes));
    auto found = counts.tags.find(tag);
    if (found == counts.tags.end()) {
        if (counts.tags.size() == kMaxListedTags) {
            ++counts.lines_not_kept;
            return;
        }
        found = counts.tags.emplace(std::string(tag), TagCount{}).first;
    }
    TagCount& count = found->second;
    if (count.last_card != counts.cards_begun) {
        count.last_card = counts.cards_begun;
        counts.in_card.push_back(&count);
    }
}

// What a column must begin with to take the line, as it stands.
std::string_view tag_as_written(std::string_view line)
{
    if (line.empty() || line[0] == ' ' || line[0] == '\t') {
        return {};
    }
    const std::size_t colon = line.find(':', 1);
    return colon == std::string_view::npos ? std::string_view() : line.substr(0, colon);
}

bool is_bare_encoding(const Parameter& parameter)
{
    for (const std::string_view encoding : kBareEncodings) {
        if (parameter.bare && equals_in_any_case(parameter.values, encoding)) {
            return true;
        }
    }
    return false;
}

// Each value of each TYPE parameter (a bare one too), without its quotes,
// in upper case, but PREF, which orders lines and names none.
void collect_types(std::string_view parameters, TagCounts& counts)
{
    std::vector<std::string>& types = counts.types;
    types.clear();
    split_parameters(parameters, counts.parameters);
    for (const Parameter& parameter : counts.parameters.split()) {
        if (!equals_in_any_case(parameter.key, kTypeKey) || is_bare_encoding(parameter)) {
            continue;
        }
        for (std::string_view values = parameter.values; !values.empty();) {
            std::string type;
            for (const char byte : next_value(values)) {
                if (byte != '"') {
                    type += upper_ascii_byte(byte);
                }
            }
            if (!type.empty() && type != kPreferred) {
                types.push_back(std::move(type));
            }
        }
    }
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
}

// What a column's tag names to take the line when decoding: its
// property's name and types, without its group and other parameters. A
// name that no tag can write gives none.
std::string_view property_tag(std::string_view line, TagCounts& counts)
{
    const std::size_t colon = find_prefix_colon(line);
    if (colon == std::string_view::npos) {
        return {};
    }
    const PrefixParts parts = split_prefix(line.substr(0, colon));
    if (!is_plain_part(parts.name) || is_card_frame(parts.name)) {
        return {};
    }
    counts.tag.assign(parts.name);
    upper_ascii(std::span<char>(counts.tag.data(), counts.tag.size()));
    collect_types(parts.parameters, counts);
    for (const std::string& type : counts.types) {
        counts.tag.append(";").append(type);
    }
    return counts.tag;
}

} // namespace

void card_begun(TagCounts& counts)
{
    counts.in_card.clear();
    ++counts.cards_begun;
    counts.in_a_card = true;
}

void card_ended(TagCounts& counts)
{
    for (TagCount* count : counts.in_card) {
        ++count->cards;
    }
    counts.in_card.clear();
    counts.in_a_card = false;
}

void file_begun(TagCounts& counts)
{
    counts.in_card.clear();
    counts.in_a_card = false;
    counts.first_line = true;
}

void note_line(TagCounts& counts, std::string_view line, bool begins_line, bool decoded)
{
    const bool first = std::exchange(counts.first_line, false);
    if (decoded) {
        if (counts.in_a_card) {
            note_tag(counts, property_tag(line, counts));
        }
        return;
    }
    // A byte order mark hides the first card's start from the scan, but
    // not from the listing.
    if (first && begins_with_byte_order_mark(line)) {
        line.remove_prefix(kByteOrderMark.size());
        if (begins_with_bound(line, kCardStart, false)) {
            card_begun(counts);
            return;
        }
    }
    if (begins_line) {
        note_tag(counts, tag_as_written(line));
    }
}

std::vector<std::string> tag_listing(const TagCounts& counts)
{
    std::vector<std::pair<std::size_t, std::string_view>> listed;
    for (const auto& [tag, count] : counts.tags) {
        if (count.cards != 0) {
            listed.emplace_back(count.cards, tag);
        }
    }
    std::sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::vector<std::string> lines;
    for (const auto& [cards, tag] : listed) {
        const std::string count = std::to_string(cards);
        lines.push_back(std::string(kCountWidth - std::min(kCountWidth, count.size()), ' ')
                            .append(count)
                            .append("  ")
                            .append(printable(tag)));
    }
    if (counts.lines_not_kept != 0) {
        lines.push_back(counted(counts.lines_not_kept, "line", "lines") + " in cards had tags past the first " +
                        std::to_string(kMaxListedTags) + " distinct ones, which are not listed");
    }
    return lines;
}

} // namespace cardtab
