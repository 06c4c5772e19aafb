#include "convert/logical_lines.hpp"

#include <algorithm>
#include <cstring>

#include "text/value_decoding.hpp"

namespace cardtab {

namespace {

constexpr char kSoftBreak = '=';

// A physical line that begins with one of these continues the line before.
bool continues_line(int first_byte)
{
    return first_byte == ' ' || first_byte == '\t';
}

// What may stand after a soft break's '=' on its line.
bool is_space_tab_or_cr(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\r';
}

// The position of the last byte that is not a space, a tab or a CR, or npos.
std::size_t last_solid(std::string_view bytes)
{
    for (std::size_t back = bytes.size(); back > 0; --back) {
        if (!is_space_tab_or_cr(bytes[back - 1])) {
            return back - 1;
        }
    }
    return std::string_view::npos;
}

// The logical line being joined: its length counts every byte joined, kept
// or not. What ends a physical line is looked at on the physical line
// joined last, in positions of the logical line; what its prefix says is
// worked out once, as soon as its colon has been joined.
struct Joining {
    std::size_t length = 0;
    std::size_t last_solid = std::string_view::npos;
    char last_solid_byte = '\0';
    std::size_t end_before_crs = 0; // just past the last byte that is not a CR
    std::size_t colon_searched = 1; // the colon is looked for from the second byte
    std::size_t colon = std::string_view::npos;
    bool quoted_printable = false;
};

// The next physical line is joined at `joining.length`, which may have
// moved back over what ended the line before.
void begin_physical_line(Joining& joining)
{
    joining.colon_searched = std::min(joining.colon_searched, std::max<std::size_t>(joining.length, 1));
    joining.last_solid = std::string_view::npos;
    joining.end_before_crs = joining.length;
}

void find_prefix(LogicalLines& lines, Joining& joining)
{
    const std::size_t kept = std::min(joining.length, kMaxLogicalLineBytes);
    if (joining.colon != std::string_view::npos || joining.colon_searched >= kept) {
        return;
    }
    const std::string_view text(lines.joined.data(), kept);
    joining.colon = text.find(':', joining.colon_searched);
    joining.colon_searched = kept;
    if (joining.colon != std::string_view::npos) {
        joining.quoted_printable = holds_quoted_printable(text.substr(0, joining.colon));
    }
}

void join_bytes(LogicalLines& lines, Joining& joining, std::string_view bytes)
{
    if (joining.length < kMaxLogicalLineBytes) {
        bytes.copy(lines.joined.data() + joining.length, kMaxLogicalLineBytes - joining.length);
    }
    if (const std::size_t end = bytes.find_last_not_of('\r'); end != std::string_view::npos) {
        joining.end_before_crs = joining.length + end + 1;
    }
    if (const std::size_t solid = last_solid(bytes); solid != std::string_view::npos) {
        joining.last_solid = joining.length + solid;
        joining.last_solid_byte = bytes[solid];
    }
    joining.length += bytes.size();
    find_prefix(lines, joining);
}

// Joins the physical line's runs from `run` on, the first of them without
// its first `skipped` bytes.
void join_physical_line(LineReader& reader, LogicalLines& lines, Joining& joining, PaddedText run,
                        std::size_t skipped)
{
    run = run.substr(skipped);
    for (;; run = read_line_run(reader)) {
        join_bytes(lines, joining, run.view());
        if (reader.line_ended) {
            return;
        }
    }
}

// A quoted-printable line whose last physical line ends, but for spaces,
// tabs and CRs, in a '=' after the line's colon.
bool ends_in_soft_break(const Joining& joining)
{
    return joining.last_solid_byte == kSoftBreak && joining.last_solid != std::string_view::npos &&
           joining.quoted_printable && joining.last_solid > joining.colon;
}

bool join_logical_line(LineReader& reader, LogicalLines& lines, PaddedText first_run)
{
    Joining joining;
    join_physical_line(reader, lines, joining, first_run, 0);
    for (int next = first_byte_of_next_line(reader); next >= 0; next = first_byte_of_next_line(reader)) {
        std::size_t skipped = 0;
        if (ends_in_soft_break(joining)) {
            joining.length = joining.last_solid;
        } else if (continues_line(next)) {
            // The CRs before the line feed of a file with CR CR LF line ends
            // belong to the line end, not to the text that goes on.
            joining.length = joining.end_before_crs;
            skipped = 1;
        } else {
            break;
        }
        begin_physical_line(reader);
        begin_physical_line(joining);
        join_physical_line(reader, lines, joining, read_line_run(reader), skipped);
    }
    lines.text = lines.joined.text(0, std::min(joining.length, kMaxLogicalLineBytes));
    lines.cut = joining.length > kMaxLogicalLineBytes;
    return true;
}

} // namespace

bool read_logical_line(LineReader& reader, LogicalLines& lines)
{
    if (!begin_physical_line(reader)) {
        return false;
    }
    lines.line_number = reader.lines_begun;
    const PaddedText run = read_line_run(reader);
    // Most lines lie whole in the read buffer, fit the bytes that are kept,
    // cannot end in a soft break and are not continued by the next line,
    // which is already read: they are used where they lie.
    if (reader.line_ended && run.size() <= kMaxLogicalLineBytes) {
        const std::size_t solid = last_solid(run.view());
        const std::string_view ahead = bytes_ahead(reader);
        if ((solid == std::string_view::npos || run[solid] != kSoftBreak) && !ahead.empty() &&
            !continues_line(static_cast<unsigned char>(ahead.front()))) {
            lines.text = run;
            lines.cut = false;
            return true;
        }
    }
    return join_logical_line(reader, lines, run);
}

} // namespace cardtab
