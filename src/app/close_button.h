// The window's close button ends the demo just as Esc does.
//
// The library calls the hook from its own input-handling context (a thread of
// its own under X), so the flag it raises is a lock-free atomic, like the
// pacing counters. The main loop looks at it where it looks at Esc: once, at
// the top of a pass, so the pass under way always runs to its end.
#pragma once

#include <atomic>

static_assert(std::atomic<bool>::is_always_lock_free,
              "the close-button hook must never block");

// Raised once the window's close button has been pressed; never lowered.
extern std::atomic<bool> close_button_pressed;

// The hook the library calls when the close button is pressed.
void close_button_callback();

// Hands the hook to the library; the display mode must be set.
void install_close_button();
