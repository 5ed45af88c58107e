// The close-button hook and its installation.

#include "close_button.h"

#include <allegro.h>

std::atomic<bool> close_button_pressed{false};

void close_button_callback()
{
    close_button_pressed.store(true);
}

void install_close_button()
{
    // A platform without the hook keeps a close button that does nothing, as
    // before; Esc still ends the demo there, so that is no reason to stop.
    set_close_button_callback(close_button_callback);
}
