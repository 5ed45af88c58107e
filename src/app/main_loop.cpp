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

// A bitmap at least `width` x `height` to keep the frame's pixels under the
// FPS text in; made on the first frame that shows the text and kept for the
// next ones. Null when there is no memory for it.
BITMAP* area_under_text(BITMAP* buffer, int width, int height)
{
    static BITMAP* area = nullptr;
    if (!area || area->w < width || area->h < height) {
        if (area)
            destroy_bitmap(area);
        area = create_bitmap_ex(bitmap_color_depth(buffer), width, height);
    }
    return area;
}

void copy_to_screen(BITMAP* buffer)
{
    blit(buffer, screen, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
}

void print_fps_text(BITMAP* target, const char* text)
{
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

void show_frame(BITMAP* buffer)
{
    if (!show_fps) {
        copy_to_screen(buffer);
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "fps: %d", fps.load());
    BITMAP* under_text = area_under_text(buffer, text_length(font, text), text_height(font));
    if (!under_text) {
        // Nowhere to keep the pixels under the text: a flickering text, as
        // printed on the screen after the copy, beats none.
        copy_to_screen(buffer);
        print_fps_text(screen, text);
        return;
    }
    // The text goes to the window in the same copy as its frame; printed on
    // the screen after the copy, it would be missing from the window until
    // then and flicker. The pixels under it go back into the buffer at once,
    // so the text never reaches a screenshot.
    const int x = SCREEN_W - fps_text_right_margin;
    blit(buffer, under_text, x, fps_text_top, 0, 0, under_text->w, under_text->h);
    print_fps_text(buffer, text);
    copy_to_screen(buffer);
    blit(under_text, buffer, 0, 0, x, fps_text_top, under_text->w, under_text->h);
}

void handle_frame_keys(BITMAP* buffer)
{
    if (key[KEY_F12]) {
        // A failed save is not worth stopping the demo for; it says why.
        save_screenshot(buffer, screenshot_file);
        key[KEY_F12] = 0;
    }
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
