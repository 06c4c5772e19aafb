#include "vcard/logical_lines.hpp"

#include <algorithm>
#include <cstring>

#include "vcard/names.hpp"
#include "text/text.hpp"
#include "vcard/value_decoding.hpp"
#include "vcard/prefix.hpp"

namespace cardtab {

namespace {

constexpr char kSoftBreak = '=';

static_assert(2 * (kMaxParameters - 1) >= kMaxLogicalLineBytes, "every parameter of a kept line is split");

// A physical line that begins with a space or a tab continues the line
// before.
bool continues_line(char first_byte)
{
    return is_one_of(first_byte, kSpaceAndTab);
}

// The position of the last byte that is not a space, a tab or a CR, which
// may stand after a soft break's '=' on its line; or npos.
std::size_t last_solid(std::string_view bytes)
{
    const std::size_t kept = trim_end(bytes, kLineBlanks).size();
    return kept == 0 ? std::string_view::npos : kept - 1;
}

// The start of the next physical line as far as a card bound needs it,
// without a byte order mark and up to the first byte that ends its text.
std::string_view next_line_start(std::string_view ahead)
{
    if (begins_with_byte_order_mark(ahead)) {
        ahead.remove_prefix(kByteOrderMark.size());
    }
    ahead = ahead.substr(0, kCardStart.size());
    std::size_t end = 0;
    while (end < ahead.size() && ahead[end] != '\n' && ahead[end] != '\0' && ahead[end] != '\x1A') {
        ++end;
    }
    return ahead.substr(0, end);
}

// The logical line being joined: its length counts every byte joined, kept
// or not. What ends a physical line is looked at on the physical line
// joined last, in positions of the logical line. The prefix is read as the
// bytes come; whether it is quoted-printable is worked out again only when
// its colon moves.
struct Joining {
    std::size_t length = 0;
    std::size_t last_solid = std::string_view::npos;
    char last_solid_byte = '\0';
    std::size_t end_before_crs = 0; // just past the last byte that is not a CR
    PrefixScan prefix;
    std::size_t checked_colon = std::string_view::npos;
    bool quoted_printable = false;
};

// The next physical line is joined at `joining.length`, which may have
// moved back over what ended the line before: a soft break's '=' (after
// the prefix) or CRs, neither of which a prefix scan heeds.
void start_next_physical_line(Joining& joining)
{
    joining.prefix.scanned = std::min(joining.prefix.scanned, joining.length);
    joining.last_solid = std::string_view::npos;
    joining.end_before_crs = joining.length;
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
    scan_prefix(joining.prefix, std::string_view(lines.joined.data(), std::min(joining.length, kMaxLogicalLineBytes)));
}

// Joins the physical line's runs from `run` on, the first of them without
// its first `skipped` bytes.
void join_physical_line(LineReader& reader, LogicalLines& lines, Joining& joining, PaddedText run,
                        std::size_t skipped)
{
    run = run.substr(std::min(skipped, run.size()));
    for (;; run = read_line_run(reader)) {
        join_bytes(lines, joining, run.view());
        if (reader.line_ended) {
            return;
        }
    }
}

// A quoted-printable line whose last physical line ends, but for spaces,
// tabs and CRs, in a '=' after the prefix as the bytes so far tell it.
bool ends_in_soft_break(const LogicalLines& lines, Joining& joining)
{
    if (joining.last_solid_byte != kSoftBreak || joining.last_solid == std::string_view::npos) {
        return false;
    }
    const std::size_t colon = prefix_colon(joining.prefix);
    if (colon == std::string_view::npos || joining.last_solid <= colon) {
        return false;
    }
    if (colon != joining.checked_colon) {
        joining.checked_colon = colon;
        joining.quoted_printable = holds_quoted_printable(std::string_view(lines.joined.data(), colon));
    }
    return joining.quoted_printable;
}

// A soft break never joins a card bound to the line before: the card would
// be lost.
bool begins_card_bound(std::string_view line_start)
{
    return begins_in_any_case(line_start, kCardStart) || begins_in_any_case(line_start, kCardEnd);
}

// How many bytes of the next physical line to skip where it goes on the
// logical line (its byte order mark, and the space or tab that continues
// it), or
// npos where it begins a logical line of its own.
std::size_t continuation(LineReader& reader, const LogicalLines& lines, Joining& joining)
{
    const std::string_view ahead = peek_ahead(reader, kByteOrderMark.size() + kCardStart.size());
    if (ahead.empty() || ahead.front() == '\x1A') {
        return std::string_view::npos;
    }
    const std::string_view start = next_line_start(ahead);
    const std::size_t mark = begins_with_byte_order_mark(ahead) ? kByteOrderMark.size() : 0;
    if (ends_in_soft_break(lines, joining) && !begins_card_bound(start)) {
        joining.length = joining.last_solid;
        return mark;
    }
    if (!start.empty() && continues_line(start.front())) {
        // The CRs before the line feed of a file with CR CR LF line ends
        // belong to the line end, not to the text that goes on.
        joining.length = joining.end_before_crs;
        return mark + 1;
    }
    return std::string_view::npos;
}

bool join_logical_line(LineReader& reader, LogicalLines& lines, PaddedText first_run)
{
    Joining joining;
    join_physical_line(reader, lines, joining, first_run, 0);
    for (std::size_t skipped = continuation(reader, lines, joining); skipped != std::string_view::npos;
         skipped = continuation(reader, lines, joining)) {
        begin_physical_line(reader);
        start_next_physical_line(joining);
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
    lines.line_number = reader.line_number;
    const bool marked = begins_with_byte_order_mark(peek_ahead(reader, kByteOrderMark.size()));
    PaddedText run = read_line_run(reader);
    if (marked) {
        run = run.substr(kByteOrderMark.size());
    }
    // Most lines lie whole in the read buffer, fit the bytes that are kept,
    // cannot end in a soft break and are not continued by the next line,
    // which is already read: they are used where they lie.
    if (reader.line_ended && run.size() <= kMaxLogicalLineBytes) {
        const std::size_t solid = last_solid(run.view());
        const std::string_view ahead = bytes_ahead(reader);
        if ((solid == std::string_view::npos || run[solid] != kSoftBreak) && !ahead.empty() &&
            !continues_line(ahead.front()) && ahead.front() != kByteOrderMark.front()) {
            lines.text = run;
            lines.cut = false;
            return true;
        }
    }
    return join_logical_line(reader, lines, run);
}

} // namespace cardtab
