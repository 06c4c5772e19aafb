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

constexpr std::array kCleanupSignals = {SIGINT, SIGTERM, SIGHUP};

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
    for (const int signal_number : kCleanupSignals) {
        struct sigaction current{};
        if (sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction cleanup{};
        cleanup.sa_handler = remove_pending_and_reraise;
        cleanup.sa_flags = static_cast<int>(SA_RESETHAND);
        sigemptyset(&cleanup.sa_mask);
        sigaction(signal_number, &cleanup, nullptr);
    }
    // Past the file-size limit a write then fails with EFBIG, and the run
    // reports it and keeps the old table, instead of being killed.
    std::signal(SIGXFSZ, SIG_IGN);
}

InterruptsHeld::InterruptsHeld()
{
    sigset_t held;
    sigemptyset(&held);
    for (const int signal_number : kCleanupSignals) {
        sigaddset(&held, signal_number);
    }
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
