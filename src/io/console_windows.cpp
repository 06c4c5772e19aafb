#include "io/console.hpp"

#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <array>
#include <string>

#include "io/wide_text_windows.hpp"

namespace cardtab {

namespace {

bool is_console(HANDLE handle)
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

// True where all of `text` was written; GetLastError says why not.
bool write_to(HANDLE handle, std::string_view text)
{
    if (is_console(handle)) {
        const std::wstring wide = wide_of_utf8(text);
        DWORD written = 0;
        return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
    }
    DWORD written = 0;
    return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
           written == text.size();
}

bool is_enter(const INPUT_RECORD& record)
{
    return record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
           record.Event.KeyEvent.wVirtualKeyCode == VK_RETURN;
}

} // namespace

// The C runtime's argv is in the ANSI code page; the wide command line is
// what Explorer and the shell passed.
std::vector<std::string> program_arguments(int, char*[])
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int n = 1; wide != nullptr && n < count; ++n) {
        arguments.push_back(utf8_of(wide[n]));
    }
    LocalFree(wide);
    return arguments;
}

Written write_output_lines(std::span<const std::string> lines, std::string& reason)
{
    std::string text;
    for (const std::string& line : lines) {
        text.append(line).append("\r\n");
    }
    if (text.empty() || write_to(GetStdHandle(STD_OUTPUT_HANDLE), text)) {
        return Written::all;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE) {
        return Written::reader_gone;
    }
    std::array<char, 256> message{};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        message.data(), static_cast<DWORD>(message.size()), nullptr);
    reason = std::string(message.data(), length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
        reason.pop_back();
    }
    return Written::failed;
}

void write_error_line(std::string_view line)
{
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    write_to(error, std::string(line).append("\r\n"));
}

ConsoleFacts console_facts()
{
    std::array<DWORD, 2> processes{};
    ConsoleFacts facts;
    facts.processes = GetConsoleProcessList(processes.data(), static_cast<DWORD>(processes.size()));
    facts.input_is_console = is_console(GetStdHandle(STD_INPUT_HANDLE));
    return facts;
}

void wait_for_enter(unsigned seconds)
{
    write_to(GetStdHandle(STD_ERROR_HANDLE), "Press Enter to close this window.\r\n");
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const ULONGLONG give_up = GetTickCount64() + ULONGLONG{seconds} * 1000;
    for (ULONGLONG now = GetTickCount64(); now < give_up; now = GetTickCount64()) {
        if (WaitForSingleObject(input, static_cast<DWORD>(give_up - now)) != WAIT_OBJECT_0) {
            return;
        }
        INPUT_RECORD record{};
        DWORD read = 0;
        if (ReadConsoleInputW(input, &record, 1, &read) == 0 || (read == 1 && is_enter(record))) {
            return;
        }
    }
}

} // namespace cardtab
