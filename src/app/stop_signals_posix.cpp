// Stop signals on POSIX systems: SIGINT, SIGTERM and SIGHUP only raise the
// flag; once the demo has shut down in order, the same signal ends the
// process, so a shell or a parent sees how it was stopped.

#include "stop_signals.h"

#include <allegro.h>

#include <csignal>
#include <cstdio>
#include <signal.h>
#include <unistd.h>

std::atomic<int> stop_signal{0};

namespace {

constexpr int stop_signal_numbers[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t ignored_at_start;

sigset_t all_stop_signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int number : stop_signal_numbers)
        sigaddset(&set, number);
    return set;
}

bool is_ignored(int number)
{
    struct sigaction current {};
    return sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

void set_action(int number, void (*handler)(int), int flags)
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    sigaction(number, &action, nullptr);
}

void record_stop(int number)
{
    int none = 0;
    stop_signal.compare_exchange_strong(none, number);
}

} // namespace

void hold_stop_signals()
{
    sigemptyset(&ignored_at_start);
    for (const int number : stop_signal_numbers)
        if (is_ignored(number))
            sigaddset(&ignored_at_start, number);
    // The library's threads block every signal, so the held ones all come
    // to the main thread once it lets them through.
    const sigset_t held = all_stop_signals();
    sigprocmask(SIG_BLOCK, &held, nullptr);
    set_action(SIGXFSZ, SIG_IGN, 0);
}

void handle_stop_signals()
{
    for (const int number : stop_signal_numbers) {
        // The library puts its handler over an ignored signal too; putting
        // the ignoring back also drops one that came while it was held.
        if (sigismember(&ignored_at_start, number))
            set_action(number, SIG_IGN, 0);
        // Restarted, so a save under way is not cut short by the signal.
        // Reset after the first, so that a second Ctrl+C ends the program
        // at once should the first not be acted on.
        else
            set_action(number, record_stop, static_cast<int>(SA_RESTART | SA_RESETHAND));
    }
    const sigset_t held = all_stop_signals();
    sigprocmask(SIG_UNBLOCK, &held, nullptr);
}

void end_if_stopped()
{
    const int number = stop_signal.load();
    if (number == 0)
        return;
    // Ending by the signal skips the exit handlers, the library's shutdown
    // among them, and the flushing of streams.
    allegro_exit();
    std::fflush(nullptr);
    set_action(number, SIG_DFL, 0);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, number);
    sigprocmask(SIG_UNBLOCK, &just_this, nullptr);
    raise(number);
    _exit(128 + number); // not reached: the default action ends the process
}
