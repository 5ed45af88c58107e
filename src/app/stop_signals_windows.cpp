// Stop requests on Windows: Ctrl+C and Ctrl+Break in the console window and
// closing it raise the flag; once the demo has shut down in order, the
// process ends with the status Windows gives a program stopped by Ctrl+C.

#include "stop_signals.h"

#include <allegro.h>
#include <winalleg.h>

#include <cstdio>

std::atomic<int> stop_signal{0};

namespace {

// Windows ends a process this long after its console window was closed.
constexpr DWORD close_allowance_ms = 5000;

BOOL WINAPI handle_console_event(DWORD event)
{
    // Logging off and shutting down keep Windows' own handling.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    // CTRL_C_EVENT is 0, and the flag must not be.
    int none = 0;
    stop_signal.compare_exchange_strong(none, static_cast<int>(event) + 1);
    // Windows ends the process as soon as the handler of a close event
    // returns, so it waits here while the main thread shuts down; the main
    // thread then ends the process, this thread with it.
    if (event == CTRL_CLOSE_EVENT)
        Sleep(close_allowance_ms);
    return TRUE;
}

} // namespace

void hold_stop_signals()
{
    // Called on a thread of its own, and never for a Ctrl+C that the program
    // was started to ignore (in a new process group, say). The library
    // installs no console handler, so this one can go in at once.
    SetConsoleCtrlHandler(handle_console_event, TRUE);
}

void handle_stop_signals()
{
}

void end_if_stopped()
{
    if (stop_signal.load() == 0)
        return;
    // Ending the process at once skips the exit handlers, the library's
    // shutdown among them.
    allegro_exit();
    std::fflush(nullptr);
    ExitProcess(STATUS_CONTROL_C_EXIT);
}
