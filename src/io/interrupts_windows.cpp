#include "io/interrupts.hpp"

#include <windows.h>

#include <array>
#include <string>

#include "io/wide_text_windows.hpp"

namespace cardtab {

namespace {

// The program's one piece of global state. The console control handler
// runs on a thread of its own and can reach nothing but static storage, so
// the name of the file that an interrupt is to remove lives here, in a
// buffer that exists before the file does. The lock makes "remove it" (the
// handler) and "make it, or move it into place" (the run) exclusive: the
// handler never lets go of it, so once it has run the file stays gone.
constexpr std::size_t kMaxPendingName = 32768;
std::array<wchar_t, kMaxPendingName> pending_name{};
bool pending = false;
bool held_to_the_end = false;
SRWLOCK pending_lock = SRWLOCK_INIT;

BOOL WINAPI remove_pending_on_console_event(DWORD event)
{
    AcquireSRWLockExclusive(&pending_lock);
    // Once the table is being put in place, Ctrl-C and Ctrl-Break are let
    // pass, and the run goes on to its end.
    if (held_to_the_end && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)) {
        ReleaseSRWLockExclusive(&pending_lock);
        return TRUE;
    }
    if (pending) {
        DeleteFileW(pending_name.data());
        pending = false;
    }
    // Not handled: the default handler then ends the process as Ctrl-C or
    // the close of the console would have.
    return FALSE;
}

} // namespace

void install_interrupt_cleanup()
{
    SetConsoleCtrlHandler(remove_pending_on_console_event, TRUE);
}

void hold_interrupts_to_the_end()
{
    AcquireSRWLockExclusive(&pending_lock);
    held_to_the_end = true;
    ReleaseSRWLockExclusive(&pending_lock);
}

InterruptsHeld::InterruptsHeld()
{
    AcquireSRWLockExclusive(&pending_lock);
}

InterruptsHeld::~InterruptsHeld()
{
    ReleaseSRWLockExclusive(&pending_lock);
}

bool record_pending_file(std::string_view name)
{
    const std::wstring wide = wide_name(name);
    if (wide.size() >= kMaxPendingName) {
        return false;
    }
    wide.copy(pending_name.data(), wide.size());
    pending_name[wide.size()] = L'\0';
    pending = true;
    return true;
}

void clear_pending_file()
{
    pending = false;
}

} // namespace cardtab
