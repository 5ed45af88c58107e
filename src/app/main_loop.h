// The main loop: fixed-rate logic, free-running drawing.
//
// Each pass works off every pending logic tick, draws one frame into the back
// buffer, saves it on F12, prints the FPS text into it and copies it to the
// screen, flips the FPS text on F1, clears the buffer and counts the frame.
// Esc, the window's close button and a stop signal are looked at once, at the
// top of a pass, so a pass that has begun always runs to its end. The loop
// never sleeps: it draws as fast as the machine allows.
#pragma once

#include "close_button.h"
#include "pacing.h"

struct BITMAP;

// Esc is down, the window's close button has been pressed or a stop signal
// has come (see stop_signals.h).
bool quit_requested();

// F12 saves the back buffer as "screenshot.bmp" (see screenshot.h). It comes
// before the FPS text goes into the buffer, so a screenshot never holds it.
// F12 and F1 each clear their key entry after acting, so a held key acts once
// until the library reports it down again.
void save_frame_on_f12(BITMAP* buffer);

// Prints the FPS text into the back buffer when it is switched on, then
// copies the buffer to the screen: the text reaches the window in the same
// copy as its frame. It stays in the buffer until end_frame clears it.
void show_frame(BITMAP* buffer);

// F1 flips the FPS text. It comes after the copy, so the pass that sees F1
// shows its frame as it had decided and the change starts with the next one.
void flip_fps_text_on_f1();

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
    save_frame_on_f12(buffer);
    show_frame(buffer);
    flip_fps_text_on_f1();
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
