#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vcard/prefix.hpp"

// What --tags shows: each tag the cards hold, and in how many cards, so
// that a column can be written for it.
namespace cardtab {

inline constexpr std::size_t kMaxListedTagBytes = 100;
inline constexpr std::size_t kMaxListedTags = 10000;

struct TagCount {
    std::size_t cards = 0;
    std::size_t last_card = 0; // the card that counted it last
};

// A hash keyed anew for each run, so that no card file can be made of tags
// that all fall together.
struct TextHash {
    using is_transparent = void;
    std::uint64_t key = 0;
    std::size_t operator()(std::string_view text) const;
};

// A key no input can know beforehand.
std::uint64_t random_hash_key();

// The tags seen, at most kMaxListedTags of them, each cut to
// kMaxListedTagBytes. A card counts at its end, each tag once.
struct TagCounts {
    std::unordered_map<std::string, TagCount, TextHash, std::equal_to<>> tags{0, TextHash{random_hash_key()}};
    std::vector<TagCount*> in_card; // the tags of the card being read
    std::size_t cards_begun = 0;
    bool in_a_card = false;
    bool first_line = true;
    std::size_t lines_not_kept = 0; // lines whose tags found no room
    // A line's tag and types, made here so that a line costs no memory.
    std::string tag;
    std::vector<std::string> types;
    SplitParameters parameters;
};

// The tags are counted as the scan reads the card file, of the lines in
// cards, from "BEGIN:VCARD" to "END:", but for the BEGIN, END and VERSION
// lines: the scan tells where cards begin and end, and hands over every
// other line. As they stand, a tag is the text before the first ':' at
// position 1 or later of a line's first piece (`begins_line`), as written;
// a continued line gives none. Decoded, it is the property's name and its
// types, in upper case: TEL;CELL;VOICE.
void card_begun(TagCounts& counts);
void card_ended(TagCounts& counts);
// A new card file: nothing of a card the last one left open counts.
void file_begun(TagCounts& counts);
void note_line(TagCounts& counts, std::string_view line, bool begins_line, bool decoded);

// A line for each tag: its count right-aligned in 7 columns, two spaces and
// the tag made printable; most cards first, ties in byte order of the tag.
// Then a line for the lines whose tags were not kept, if any.
std::vector<std::string> tag_listing(const TagCounts& counts);

} // namespace cardtab
