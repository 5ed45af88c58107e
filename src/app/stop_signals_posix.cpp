// Stop signals on POSIX systems. SIGINT, SIGTERM and SIGHUP are blocked in
// every thread from before the library starts (a thread inherits the mask, so
// the library's threads get it too), and one thread of our own takes them
// with sigwait. No handler ever runs in the middle of the library, a save or
// the start-up, and the library's own handler for them never runs at all. The
// thread raises the flag the main loop looks at where it looks at Esc; once
// the demo has shut down in order, the same signal ends the process, so a
// shell or a parent sees how it was stopped.
//
// A thread rather than a handler, because a thread can wait and decide. It
// ends the demo at once, by the signal, when the orderly shutdown cannot come:
// when the main thread is still starting up a second after the stop (stuck on
// an X server that never answers, say; nothing of the demo's own needs
// shutting down yet), and when Ctrl+C comes again a second or more after the
// first stop (the person at the keyboard insists, as people do with a program
// that hangs). A Ctrl+C sooner than that is part of the same stop, and a
// repeated SIGHUP or SIGTERM never cuts the shutdown short: a closed terminal
// sends SIGHUP more than once, and service managers and `timeout` may send
// SIGTERM twice. Children forked by the library (its message dialog) get the
// signals as the program got them.

#include "stop_signals.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

std::atomic<int> stop_signal{0};

namespace {

using Clock = std::chrono::steady_clock;

constexpr int stop_signal_numbers[] = {SIGINT, SIGTERM, SIGHUP};
// How long the main thread has to take up a stop while starting up, and how
// long after the first stop a Ctrl+C counts as a second one.
constexpr auto patience = std::chrono::seconds(1);

// Who ends the process once a stop has come. Starting up, the waiting thread
// may give up on the main thread and end it; running, the main loop takes the
// stop; exiting, the shutdown is over and a stop ends the process at once.
enum Phase { starting_up, running, exiting, given_up };
std::atomic<int> phase{starting_up};

sigset_t mask_at_start;
sigset_t ignored_at_start;
sigset_t taken; // the stop signals not ignored at start
struct sigaction file_size_action_at_start;

void set_action(int number, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, nullptr);
}

bool is_ignored(int number)
{
    struct sigaction current {};
    return sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// Ends the process by the signal, from whichever thread, skipping the exit
// handlers that have not run yet.
[[noreturn]] void end_by(int number)
{
    set_action(number, SIG_DFL);
    sigset_t just_this;
    sigemptyset(&just_this);
    sigaddset(&just_this, number);
    pthread_sigmask(SIG_UNBLOCK, &just_this, nullptr);
    raise(number);
    // Reached when the default action is to ignore the signal after all: as
    // PID 1 (in a container, say) a process gets no signal it does not
    // handle. The status is then the one a shell would show.
    _exit(128 + number);
}

[[noreturn]] void wait_forever()
{
    for (;;)
        pause();
}

// The next stop signal, or 0 once `deadline` has passed.
int next_stop_signal(const Clock::time_point* deadline)
{
    for (;;) {
        timespec left{};
        if (deadline) {
            const auto time_left = std::max(*deadline - Clock::now(), Clock::duration::zero());
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(time_left);
            left.tv_sec = static_cast<time_t>(seconds.count());
            left.tv_nsec = static_cast<long>(std::chrono::nanoseconds(time_left - seconds).count());
        }
        const int number = sigtimedwait(&taken, nullptr, deadline ? &left : nullptr);
        if (number > 0)
            return number;
        if (errno == EAGAIN)
            return 0;
    }
}

void* take_stop_signals(void*)
{
    const int first = next_stop_signal(nullptr);
    const Clock::time_point first_at = Clock::now();
    stop_signal.store(first);
    if (phase.load() == exiting)
        end_by(first);
    const Clock::time_point start_up_deadline = first_at + patience;
    for (;;) {
        const bool starting = phase.load() == starting_up;
        const int number = next_stop_signal(starting ? &start_up_deadline : nullptr);
        int still_starting = starting_up;
        if (number == 0 && phase.compare_exchange_strong(still_starting, given_up))
            end_by(first);
        if (number == SIGINT && Clock::now() - first_at >= patience)
            end_by(SIGINT);
    }
}

// A child gets the signals as the program got them: none held back, and
// ignored only where they were ignored at start.
void restore_in_child()
{
    for (const int number : stop_signal_numbers)
        if (sigismember(&ignored_at_start, number))
            set_action(number, SIG_IGN);
    sigaction(SIGXFSZ, &file_size_action_at_start, nullptr);
    pthread_sigmask(SIG_SETMASK, &mask_at_start, nullptr);
}

// Registered before the library starts, so it runs after the library's own
// exit handler: after its shutdown, whichever way main ended.
void end_by_stop_at_exit()
{
    // Ending by the signal skips the flushing of streams.
    std::fflush(nullptr);
    if (phase.exchange(exiting) == given_up)
        wait_forever();
    if (const int number = stop_signal.load())
        end_by(number);
}

void start_waiting_thread()
{
    // Every signal blocked in it, so those the library handles still go to
    // the main thread, as they did before this thread existed.
    sigset_t all;
    sigfillset(&all);
    sigset_t before;
    pthread_sigmask(SIG_SETMASK, &all, &before);
    pthread_t thread;
    const bool started = pthread_create(&thread, nullptr, take_stop_signals, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (started)
        pthread_detach(thread);
    else // Better ended at once by their default action than not at all.
        pthread_sigmask(SIG_UNBLOCK, &taken, nullptr);
}

} // namespace

void hold_stop_signals()
{
    pthread_sigmask(SIG_BLOCK, nullptr, &mask_at_start);
    sigemptyset(&ignored_at_start);
    sigemptyset(&taken);
    for (const int number : stop_signal_numbers)
        sigaddset(is_ignored(number) ? &ignored_at_start : &taken, number);
    // Those ignored at start are blocked too and never waited for, so the
    // handler the library puts over them never runs.
    sigset_t all_three;
    sigemptyset(&all_three);
    for (const int number : stop_signal_numbers)
        sigaddset(&all_three, number);
    pthread_sigmask(SIG_BLOCK, &all_three, nullptr);
    sigaction(SIGXFSZ, nullptr, &file_size_action_at_start);
    set_action(SIGXFSZ, SIG_IGN);
    pthread_atfork(nullptr, nullptr, restore_in_child);
    std::atexit(end_by_stop_at_exit);
    start_waiting_thread();
}

void handle_stop_signals()
{
    int expected = starting_up;
    if (!phase.compare_exchange_strong(expected, running))
        wait_forever(); // the waiting thread is ending the process
}

void end_if_stopped()
{
    // Nothing to do here: the exit handler that hold_stop_signals registered
    // ends the process by the signal once the library has shut down at exit.
}
