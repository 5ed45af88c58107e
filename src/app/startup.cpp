// Start-up steps, in the order the main function calls them.

#include "startup.h"

#include "pacing.h"

#include <allegro.h>

bool start_library()
{
    // With no display at all the library cannot start, and every later call
    // into it would crash; stop here instead. Its error text is empty then,
    // so say what that means in practice: there is nothing to draw on.
    if (allegro_init() != 0) {
        allegro_message("Error starting the Allegro library: %s\n",
                        allegro_error[0] ? allegro_error
                                         : "no display (no X server answered at DISPLAY, "
                                           "and no console graphics)");
        return false;
    }
    install_timer();
    install_pacing_timers();
    return true;
}

bool open_display()
{
    set_color_depth(colour_depth);
    if (set_gfx_mode(GFX_AUTODETECT, screen_width, screen_height, screen_width,
                     screen_height) < 0) {
        allegro_message("Error setting video mode %s", allegro_error);
        return false;
    }
    return true;
}

void install_keys()
{
    install_keyboard();
    // The library's Ctrl+Alt+End emergency exit aborts the whole process,
    // which to a user is a crash; Esc already ends the demo cleanly.
    three_finger_flag = FALSE;
}

BITMAP* create_back_buffer()
{
    BITMAP* buffer = create_bitmap(SCREEN_W, SCREEN_H);
    if (!buffer) {
        allegro_message("Error creating the back buffer: not enough memory\n");
        return nullptr;
    }
    // The library leaves a new bitmap's pixels as the allocator gave them;
    // cleared here, the first frame is drawn on black like every later one
    // instead of on whatever memory it got.
    clear_to_color(buffer, makecol(0, 0, 0));
    return buffer;
}
