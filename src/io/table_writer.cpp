#include "io/table_writer.hpp"

#include <algorithm>
#include <optional>
#include <span>

#include "text/words.hpp"

namespace cardtab {

namespace {

void flush(TableWriter& writer)
{
    if (writer.used == 0 || !writer.status.ok) {
        writer.used = 0;
        return;
    }
    writer.status = writer.file.write(std::span<const char>(writer.buffer.data(), writer.used));
    writer.used = 0;
}

} // namespace

IoStatus create_table_writer(TableWriter& writer, FileLayer& files, const FileFacts& target,
                             std::size_t buffer_bytes)
{
    OpenResult opened;
    bool in_place = target.exists && !target.regular;
    if (!in_place) {
        NewFile created = files.create_beside(target.final_name);
        in_place = created.folder_refused;
        opened = {created.file, std::move(created.status)};
        writer.new_name = std::move(created.name);
    }
    if (in_place) {
        opened = files.create_for_writing(target.final_name);
    }
    if (!opened.status.ok) {
        return opened.status;
    }
    writer.files = &files;
    writer.file = OwnedFile(files, opened.file);
    writer.target = target.final_name;
    writer.buffer.assign(std::max<std::size_t>(buffer_bytes, 2), '\0');
    writer.used = 0;
    return {};
}

namespace {

// True when `text` holds no line feed and no `doubled` byte, so that it can
// be copied as it is.
bool copies_plainly(std::string_view text, std::optional<char> doubled)
{
    const char other = doubled.value_or('\n');
    std::size_t at = 0;
    for (; at + sizeof(Word) <= text.size(); at += sizeof(Word)) {
        const Word word = load_word(text.data() + at);
        if ((bytes_equal_to(word, '\n') | bytes_equal_to(word, other)) != 0) {
            return false;
        }
    }
    const std::string_view tail = text.substr(at);
    return tail.find('\n') == std::string_view::npos && tail.find(other) == std::string_view::npos;
}

// Writes `text` with each line feed as CR LF and, when `doubled` is given,
// each of those bytes twice. Each byte takes at most two in the buffer; with
// room for that, the loops need no checks.
void put_translated(TableWriter& writer, std::string_view text, std::optional<char> doubled)
{
    if (writer.buffer.size() - writer.used < 2 * text.size()) {
        flush(writer);
    }
    if (writer.buffer.size() < 2 * text.size()) {
        for (const char byte : text) {
            put_byte(writer, byte);
            if (byte == doubled) {
                put_byte(writer, byte);
            }
        }
        return;
    }
    char* out = writer.buffer.data() + writer.used;
    if (copies_plainly(text, doubled)) {
        text.copy(out, text.size());
        writer.used += text.size();
        return;
    }
    for (const char byte : text) {
        if (byte == '\n') {
            *out++ = '\r';
        } else if (byte == doubled) {
            *out++ = byte;
        }
        *out++ = byte;
    }
    writer.used = static_cast<std::size_t>(out - writer.buffer.data());
}

} // namespace

void put_text(TableWriter& writer, std::string_view text)
{
    put_translated(writer, text, std::nullopt);
}

void put_text_doubling(TableWriter& writer, std::string_view text, char doubled)
{
    put_translated(writer, text, doubled);
}

void put_byte(TableWriter& writer, char byte)
{
    if (writer.buffer.size() - writer.used < 2) {
        flush(writer);
    }
    if (byte == '\n') {
        writer.buffer[writer.used++] = '\r';
    }
    writer.buffer[writer.used++] = byte;
}

IoStatus close_table_writer(TableWriter& writer)
{
    if (writer.file.is_open()) {
        flush(writer);
    }
    IoStatus closed = writer.file.close();
    return writer.status.ok ? closed : writer.status;
}

IoStatus put_table_in_place(TableWriter& writer)
{
    if (writer.new_name.empty()) {
        return {};
    }
    IoStatus moved = writer.files->replace(writer.new_name, writer.target);
    if (moved.ok) {
        writer.new_name.clear();
    }
    return moved;
}

void discard_table(TableWriter& writer)
{
    writer.file.close();
    if (!writer.new_name.empty()) {
        writer.files->remove(writer.new_name);
        writer.new_name.clear();
    }
}

TableWriter::~TableWriter()
{
    discard_table(*this);
}

} // namespace cardtab
