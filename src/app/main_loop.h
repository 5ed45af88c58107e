// The main loop: fixed-rate logic, free-running drawing.
//
// Each pass works off every pending logic tick, draws one frame into the back
// buffer, copies it to the screen, handles F12 and F1, clears the buffer and
// counts the frame. Esc, the window's close button and a stop signal are
// looked at once, at the top of a pass, so a pass that has begun always runs
// to its end. The loop never sleeps: it draws as fast as the machine allows.
#pragma once

#include "close_button.h"
#include "pacing.h"

struct BITMAP;

// Esc is down, the window's close button has been pressed or a stop signal
// has come (see stop_signals.h).
bool quit_requested();

// Copies the back buffer to the screen, with the FPS text over it when it is
// switched on. The text reaches the window in the same copy as the frame,
// and the buffer holds the frame alone again when this returns.
void show_frame(BITMAP* buffer);

// F12 saves the back buffer as "screenshot.bmp" (see screenshot.h), then F1
// flips the FPS text. Each key's entry is cleared after acting, so a held key
// acts once until the library reports it down again.
void handle_frame_keys(BITMAP* buffer);

// Clears the back buffer to black for the next frame and counts this one.
void end_frame(BITMAP* buffer);

// Runs one logic step per pending tick, however many have piled up.
template <class UpdateScene>
void work_off_logic_ticks(UpdateScene&& update_scene)
{
    while (logic_ticks.load() > 0) {
        update_scene();
        logic_ticks.fetch_sub(1);
    }
}

// One pass of the main loop; false when a quit was asked for before it began
// and nothing was done.
template <class UpdateScene, class DrawScene>
bool run_pass(BITMAP* buffer, UpdateScene&& update_scene, DrawScene&& draw_scene)
{
    if (quit_requested())
        return false;
    work_off_logic_ticks(update_scene);
    draw_scene();
    show_frame(buffer);
    handle_frame_keys(buffer);
    end_frame(buffer);
    return true;
}

// Runs passes until Esc, the close button or a stop signal.
template <class UpdateScene, class DrawScene>
void run_main_loop(BITMAP* buffer, UpdateScene&& update_scene, DrawScene&& draw_scene)
{
    while (run_pass(buffer, update_scene, draw_scene)) {
    }
}
