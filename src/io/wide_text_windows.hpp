#pragma once

#include <string>
#include <string_view>

// Windows takes file names and console text as UTF-16; the program's texts
// are bytes. The one place they are converted.
namespace cardtab {

// A file name as bytes, as Windows should read it: one that is valid UTF-8
// and not plain ASCII as UTF-8; any other in the ANSI code page, as the byte
// API would take it, so that a configuration saved either way names the
// file its author meant.
std::wstring wide_name(std::string_view name);

// Text known to be UTF-8, such as a message.
std::wstring wide_of_utf8(std::string_view text);

std::string utf8_of(std::wstring_view wide);

} // namespace cardtab
