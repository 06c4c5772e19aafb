#include "io/console.hpp"

#include <windows.h>

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

void write_to(HANDLE handle, std::string_view text)
{
    if (is_console(handle)) {
        const std::wstring wide = wide_of_utf8(text);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool is_enter(const INPUT_RECORD& record)
{
    return record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
           record.Event.KeyEvent.wVirtualKeyCode == VK_RETURN;
}

} // namespace

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
