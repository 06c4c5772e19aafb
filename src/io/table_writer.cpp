#include "io/table_writer.hpp"

#include <algorithm>
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
    writer.status = writer.files->write(writer.file, std::span<const char>(writer.buffer.data(), writer.used));
    writer.used = 0;
}

} // namespace

IoStatus create_table_writer(TableWriter& writer, FileLayer& files, std::string_view name,
                             std::size_t buffer_bytes)
{
    OpenResult created = files.create_for_writing(name);
    if (!created.status.ok) {
        return created.status;
    }
    writer.files = &files;
    writer.file = created.file;
    writer.buffer.assign(std::max<std::size_t>(buffer_bytes, 2), '\0');
    writer.used = 0;
    return {};
}

void put_text(TableWriter& writer, std::string_view text)
{
    put_text_doubling(writer, text, '\n');
}

namespace {

bool holds_neither(std::string_view text, char a, char b)
{
    std::size_t at = 0;
    for (; at + sizeof(Word) <= text.size(); at += sizeof(Word)) {
        const Word word = load_word(text.data() + at);
        if ((bytes_equal_to(word, a) | bytes_equal_to(word, b)) != 0) {
            return false;
        }
    }
    for (; at < text.size(); ++at) {
        if (text[at] == a || text[at] == b) {
            return false;
        }
    }
    return true;
}

} // namespace

void put_text_doubling(TableWriter& writer, std::string_view text, char doubled)
{
    // Each byte takes at most two in the buffer; with room for that, the
    // loops need no checks.
    if (writer.buffer.size() - writer.used < 2 * text.size()) {
        flush(writer);
    }
    if (writer.buffer.size() < 2 * text.size()) {
        for (const char byte : text) {
            put_byte(writer, byte);
            if (byte == doubled && byte != '\n') {
                put_byte(writer, byte);
            }
        }
        return;
    }
    char* out = writer.buffer.data() + writer.used;
    if (holds_neither(text, '\n', doubled)) {
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
    if (writer.files == nullptr) {
        return writer.status;
    }
    flush(writer);
    IoStatus closed = writer.files->close(writer.file);
    writer.files = nullptr;
    if (!writer.status.ok) {
        return writer.status;
    }
    return closed;
}

} // namespace cardtab
