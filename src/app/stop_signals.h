// Stopped from outside, the demo ends as Esc ends it. On POSIX systems that
// is SIGINT (Ctrl+C), SIGTERM (`kill`, `timeout`, a session ending) and
// SIGHUP (a closed terminal); on Windows Ctrl+C, Ctrl+Break and closing the
// console window. Each platform has its own source file, chosen by the build.
//
// The library's own handlers for these signals shut it down from inside the
// handler, which can crash or hang it; here a stop only raises a flag, which
// the main loop looks at where it looks at Esc, so the same orderly shutdown
// runs. Afterwards the process ends the way the platform reports such a stop:
// on POSIX systems by the signal itself (a shell shows 128 + its number).
#pragma once

#include <atomic>

// 0 until a stop comes from outside; then what asked for it (the signal's
// number on POSIX systems). Only the first stop is kept.
extern std::atomic<int> stop_signal;

// Before the library starts. POSIX: blocks the three signals in this thread,
// and so in every thread started later, the library's among them, and starts
// the thread of our own that takes them (see stop_signals_posix.cpp). One
// that was ignored at start (a background job, `nohup`) stays ignored, and
// children get the signals as the program got them. Also ignores SIGXFSZ, so
// that writing past a file-size limit fails a screenshot like a full disk
// does instead of killing the demo. Windows: installs the console handler.
void hold_stop_signals();

// Start-up is done and the main loop comes next: from here a stop waits for
// the main loop. Before, on POSIX systems, a stop that the main thread has not
// taken up within a second ends the program at once.
void handle_stop_signals();

// After the orderly shutdown (back buffer, then shapes): when a stop came,
// shuts the library down and ends the process as that stop asks; returns
// only when none came. On POSIX systems this is done at exit instead, after
// the library's own exit handler, which covers a start-up that failed and a
// stop that comes after this call too.
void end_if_stopped();
