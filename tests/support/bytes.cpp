#include "support/bytes.hpp"

#include <cstdio>

#include "config/records.hpp"
#include "text/fold_utf8.hpp"

namespace cardtab::testing {

std::string escaped(std::string_view bytes)
{
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\\') {
            shown += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            shown += hex;
        } else {
            shown += c;
        }
    }
    return shown;
}

PaddedBuffer padded_copy(std::string_view bytes, char filler)
{
    PaddedBuffer buffer(bytes.size() + kReadablePast);
    bytes.copy(buffer.data(), bytes.size());
    for (std::size_t at = bytes.size(); at < bytes.size() + kReadablePast; ++at) {
        buffer[at] = filler;
    }
    return buffer;
}

std::string by_the_value_rules(std::string_view text, TableCharset charset, bool folds, bool drop_spaces)
{
    std::string value(text);
    if (folds) {
        value.resize(fold_utf8_line(value));
    } else {
        std::size_t read = 0;
        value.assign(kMaxValueBytes, '\0');
        value.resize(to_table_text(text, is_utf8(text) ? Charset::utf8 : Charset::windows_1250, charset,
                                   Controls::kept, value, read));
    }
    value.resize(apply_value_rules(value, {kMaxValueBytes, charset, drop_spaces, true}));
    return value;
}

} // namespace cardtab::testing
