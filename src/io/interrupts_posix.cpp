#include "io/interrupts.hpp"

#include <unistd.h>

#include <array>
#include <csignal>

namespace cardtab {

namespace {

// The program's one piece of global state. A signal handler can reach
// nothing but static storage, so the name of the file that an interrupt is
// to remove lives here, in a buffer that exists before the file does.
// `pending` is set only while the file exists under that name; the signals
// are held back while either changes.
constexpr std::size_t kMaxPendingName = 4096;
std::array<char, kMaxPendingName> pending_name{};
volatile std::sig_atomic_t pending = 0;

// Every signal that can be caught and that, left to its default, ends the
// process: sent by a user (kill, Ctrl-C, Ctrl-\\, a closed terminal), by a
// limit (CPU time), by a timer, or by the program's own fault. The file-size
// limit is the one exception: it is ignored, so that the write fails.
constexpr std::array kCleanupSignals = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS,  SIGFPE,  SIGUSR1, SIGSEGV,
    SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU,   SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGIO
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
#ifdef SIGLOST
    SIGLOST,
#endif
};

// The real-time signals end the process too; their numbers are known only
// when the program runs.
template <class Apply>
void for_each_cleanup_signal(Apply apply)
{
    for (const int signal_number : kCleanupSignals) {
        apply(signal_number);
    }
#ifdef SIGRTMIN
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
        apply(signal_number);
    }
#endif
}

extern "C" void remove_pending_and_reraise(int signal_number)
{
    if (pending != 0) {
        unlink(pending_name.data());
    }
    // The handler was installed with SA_RESETHAND: the signal, held back
    // until this returns, then ends the process as it would have.
    raise(signal_number);
}

} // namespace

void install_interrupt_cleanup()
{
    for_each_cleanup_signal([](int signal_number) {
        // A signal ignored by whoever started us (nohup, say) stays ignored,
        // and one that has a handler already (a sanitizer's) keeps it.
        struct sigaction current{};
        if (sigaction(signal_number, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
            current.sa_handler != SIG_DFL) {
            return;
        }
        struct sigaction cleanup{};
        cleanup.sa_handler = remove_pending_and_reraise;
        cleanup.sa_flags = static_cast<int>(SA_RESETHAND);
        sigemptyset(&cleanup.sa_mask);
        sigaction(signal_number, &cleanup, nullptr);
    });
    // Past the file-size limit a write then fails with EFBIG, and the run
    // reports it and keeps the old table, instead of being killed.
    std::signal(SIGXFSZ, SIG_IGN);
}

// The program's own faults, which no hold may keep back.
bool is_fault(int signal_number)
{
    return signal_number == SIGILL || signal_number == SIGTRAP || signal_number == SIGABRT ||
           signal_number == SIGBUS || signal_number == SIGFPE || signal_number == SIGSEGV || signal_number == SIGSYS;
}

void hold_interrupts_to_the_end()
{
    sigset_t held;
    sigemptyset(&held);
    for_each_cleanup_signal([&held](int signal_number) {
        if (!is_fault(signal_number)) {
            sigaddset(&held, signal_number);
        }
    });
    sigprocmask(SIG_BLOCK, &held, nullptr);
}

InterruptsHeld::InterruptsHeld()
{
    sigset_t held;
    sigemptyset(&held);
    for_each_cleanup_signal([&held](int signal_number) { sigaddset(&held, signal_number); });
    sigprocmask(SIG_BLOCK, &held, &saved_);
}

InterruptsHeld::~InterruptsHeld()
{
    sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

bool record_pending_file(std::string_view name)
{
    if (name.size() >= kMaxPendingName) {
        return false;
    }
    name.copy(pending_name.data(), name.size());
    pending_name[name.size()] = '\0';
    pending = 1;
    return true;
}

void clear_pending_file()
{
    pending = 0;
}

} // namespace cardtab
