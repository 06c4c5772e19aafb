#include "io/table_writer.hpp"

#include <algorithm>
#include <span>

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

// Appends bytes that need no translation.
void put_raw(TableWriter& writer, std::string_view bytes)
{
    while (!bytes.empty() && writer.status.ok) {
        if (writer.used == writer.buffer.size()) {
            flush(writer);
        }
        const std::size_t n = std::min(bytes.size(), writer.buffer.size() - writer.used);
        bytes.copy(writer.buffer.data() + writer.used, n);
        writer.used += n;
        bytes.remove_prefix(n);
    }
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
    for (std::size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n')) {
        put_raw(writer, text.substr(0, lf));
        put_raw(writer, "\r\n");
        text.remove_prefix(lf + 1);
    }
    put_raw(writer, text);
}

void put_byte(TableWriter& writer, char byte)
{
    if (byte == '\n') {
        put_raw(writer, "\r\n");
    } else if (writer.used < writer.buffer.size()) {
        writer.buffer[writer.used++] = byte;
    } else {
        put_raw(writer, std::string_view(&byte, 1));
    }
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
