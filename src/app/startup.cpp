// Start-up steps, in the order the main function calls them.

#include "startup.h"

#include "pacing.h"

#include <allegro.h>

#include <new>

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
    // Without the timer and its two callbacks the scene would never move and
    // the frame rate never be sampled: a frozen demo that looks as if it ran.
    if (install_timer() != 0) {
        allegro_message("Error installing the timer: the scene cannot move without it\n");
        return false;
    }
    if (!install_pacing_timers()) {
        allegro_message("Error starting the timer's callbacks: the scene cannot move without "
                        "them\n");
        return false;
    }
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

bool install_keys()
{
    // Without the keyboard nothing could end a full-screen demo.
    if (install_keyboard() != 0) {
        allegro_message("Error installing the keyboard: nothing could end the demo without "
                        "it\n");
        return false;
    }
    // The library's Ctrl+Alt+End emergency exit aborts the whole process,
    // which to a user is a crash; Esc already ends the demo cleanly.
    three_finger_flag = FALSE;
    return true;
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

std::unique_ptr<Scene> build_scene_or_say_why()
{
    try {
        // Made in place: the shapes can be neither copied nor moved.
        return std::unique_ptr<Scene>(new Scene(build_scene()));
    } catch (const std::bad_alloc&) {
        // Only a shape's vertex array can fail to allocate; the shapes built
        // so far are already gone. Say so rather than abort.
        allegro_message("Error building the scene: not enough memory\n");
        return nullptr;
    }
}
