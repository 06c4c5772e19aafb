#pragma once

#include <string_view>

#if !defined(_WIN32)
#include <signal.h>
#endif

// What an interrupt does while a run writes a new file beside the table:
// remove that file, then end the process as the interrupt would have. The
// one file that is "pending" is recorded here, where a signal handler (or,
// on Windows, a console control handler) can reach it.
namespace cardtab {

// Installs the handlers, once, before any new file is made. A signal that
// was ignored when the program started (nohup) stays ignored. A write past
// the process's file-size limit then fails like any other write instead of
// ending the process.
void install_interrupt_cleanup();

// Holds interrupts back for as long as it lives, so that a file and the
// record of it change together: a handler sees the file pending exactly
// when it exists.
class InterruptsHeld {
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
#if !defined(_WIN32)
    sigset_t saved_;
#endif
};

// From here on, the table is being put in place or is there: an interrupt
// from outside (Ctrl-C, kill, a closed terminal, a CPU-time limit) no
// longer ends the run, which ends moments later with the status it earned.
// A fault (SIGSEGV, SIGABRT) still ends it. On Windows a console that is
// closed may still end the process; the table is whole by then. Call it
// outside any InterruptsHeld, which would let go of it when it ends.
void hold_interrupts_to_the_end();

// Records the file an interrupt is to remove; false when its name is too
// long to be recorded. Call with interrupts held.
bool record_pending_file(std::string_view name);

// The file is gone, or in place: an interrupt has nothing to remove. Call
// with interrupts held.
void clear_pending_file();

} // namespace cardtab
