#include "convert/tag_index.hpp"

#include <algorithm>

namespace cardtab {

namespace {

// A plain tag is ASCII and holds neither of the two ASCII bytes that folding
// makes ('_' and '`'). Folding keeps every ASCII byte and turns a pair into
// a byte that is not in such a tag, so the line as read begins with a plain
// tag exactly when the folded line does.
bool is_plain_tag(std::string_view tag)
{
    for (const char byte : tag) {
        if (static_cast<unsigned char>(byte) >= 0x80 || byte == '_' || byte == '`') {
            return false;
        }
    }
    return true;
}

// A line that begins with a plain tag holds the tag's bytes up to its end,
// so its first colon after the first byte is the tag's own, or lies past the
// tag. Other tags fold, and say nothing of where the line's bytes lie.
std::size_t colon_search_start(std::string_view tag)
{
    if (!is_plain_tag(tag)) {
        return 1;
    }
    const std::size_t colon = tag.find(':', 1);
    return colon != std::string_view::npos ? colon : std::max<std::size_t>(tag.size(), 1);
}

} // namespace

TagIndex index_tags(const ColumnTable& columns)
{
    TagIndex index;
    for (std::size_t j = 0; j < columns.count; ++j) {
        const Column& column = columns.columns[j];
        const std::string_view tag = view(column.tag);
        const ColumnSet bit = ColumnSet{1} << j;
        (tag.empty() ? index.empty_tags : index.by_first_byte[static_cast<unsigned char>(tag.front())]) |= bit;
        index.plain_tags |= is_plain_tag(tag) ? bit : 0;
        if (is_plain_tag(tag) && tag.size() <= ShortText::kMaxBytes) {
            index.short_tags |= bit;
            index.short_texts[j] = short_text(tag);
        }
        index.colon_from[j] = colon_search_start(tag);
        index.required |= column.marks.is_required ? bit : 0;
        index.strips_spaces |= column.marks.strips_spaces ? bit : 0;
        index.constant |= column.marks.is_constant && !tag.empty() ? bit : 0;
    }
    return index;
}

} // namespace cardtab
