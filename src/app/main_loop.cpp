// The scene-independent steps of a main-loop pass.

#include "main_loop.h"

#include "screenshot.h"
#include "stop_signals.h"

#include <allegro.h>

#include <cstdio>

namespace {

constexpr const char* screenshot_file = "screenshot.bmp";

// The FPS text sits in the top right corner, 75 pixels from the right edge.
constexpr int fps_text_right_margin = 75;
constexpr int fps_text_top = 2;

void print_fps_text(BITMAP* target)
{
    char text[32];
    std::snprintf(text, sizeof text, "fps: %d", fps.load());
    // _textmode is the library's default text background, which the
    // program leaves as it is.
    textout_ex(target, font, text, SCREEN_W - fps_text_right_margin, fps_text_top,
               makecol(255, 255, 255), _textmode);
}

} // namespace

bool quit_requested()
{
    return key[KEY_ESC] != 0 || close_button_pressed.load() || stop_signal.load() != 0;
}

void save_frame_on_f12(BITMAP* buffer)
{
    if (key[KEY_F12]) {
        // A failed save is not worth stopping the demo for; it says why.
        save_screenshot(buffer, screenshot_file);
        key[KEY_F12] = 0;
    }
}

void show_frame(BITMAP* buffer)
{
    if (show_fps)
        print_fps_text(buffer);
    blit(buffer, screen, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
}

void flip_fps_text_on_f1()
{
    if (key[KEY_F1]) {
        show_fps = !show_fps;
        key[KEY_F1] = 0;
    }
}

void end_frame(BITMAP* buffer)
{
    clear_to_color(buffer, makecol(0, 0, 0));
    frame_count.fetch_add(1);
}
