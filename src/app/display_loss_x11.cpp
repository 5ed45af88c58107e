// Under X, a lost connection to the X server ends the demo through Xlib's IO
// error handler; Xlib ends the process itself should the handler return.
// Its default prints "XIO: fatal IO error" and calls exit(1) from whichever
// thread met the broken connection: most often the library's thread that
// polls X for events a hundred times a second, while the main thread goes on
// drawing. exit runs the exit handlers in that thread, the library's
// shutdown among them; the shutdown frees the screen bitmap the main thread
// is copying frames to, the copy faults, and the library's own SIGSEGV
// handler, finding the screen locked, calls abort(). So the demo ended by
// SIGABRT whenever the main thread reached the screen before exit was done,
// and with 1 otherwise.
//
// Nothing can be shut down cleanly against a dead display, so nothing is
// tried: a screenshot being saved is let finish (it needs no display; the
// main thread's next copy to the screen then waits on the library's lock,
// held by the thread that met the loss), the program says what happened in
// one line, and _exit ends every thread at once without the exit handlers.

#include "display_loss.h"

#include "screenshot.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <unistd.h>

namespace {

// The library makes every X call under a lock of its own, so one thread at
// a time can meet the broken connection: this runs once.
int end_as_display_went_away(Display*)
{
    let_the_last_save_finish();
    static const char line[] = "ribbons: the display went away\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line, sizeof line - 1);
    _exit(EXIT_FAILURE);
}

} // namespace

void end_cleanly_if_display_goes_away()
{
    // The library sets no handler of its own, so this one stays.
    XSetIOErrorHandler(end_as_display_went_away);
}
