// Stopped from outside, the demo ends as Esc ends it. On POSIX systems that
// is SIGINT (Ctrl+C), SIGTERM (`kill`, `timeout`, a session ending) and
// SIGHUP (a closed terminal); on Windows Ctrl+C, Ctrl+Break and closing the
// console window. Each platform has its own source file, chosen by the build.
//
// The library's own handlers for these signals shut it down from inside the
// handler, which can crash or hang it; ours only raise a flag, which the main
// loop looks at where it looks at Esc, so the same orderly shutdown runs.
// Afterwards the process ends the way the platform reports such a stop: on
// POSIX systems by the signal itself (a shell shows 128 + its number).
#pragma once

#include <atomic>

static_assert(std::atomic<int>::is_always_lock_free,
              "a signal handler may only touch a lock-free flag");

// 0 until a stop comes from outside; then what asked for it (the signal's
// number on POSIX systems). Only the first stop is kept.
extern std::atomic<int> stop_signal;

// Before the library starts. POSIX: notes which of the three signals the
// program was started with ignored (a background job, `nohup`), so they stay
// ignored, and holds the others back until our handler is in place, so none
// reaches the library's. Also ignores SIGXFSZ, so that writing past a
// file-size limit fails a screenshot like a full disk does instead of killing
// the demo. Windows: installs the console handler already.
void hold_stop_signals();

// Once the library and the display are up: our handler in place of the
// library's, and the signals held back so far are let through; one that came
// during start-up ends the demo before its first frame.
void handle_stop_signals();

// After the orderly shutdown (back buffer, then shapes): when a stop came,
// shuts the library down and ends the process as that stop asks; returns
// only when none came.
void end_if_stopped();
