#include "headless_allegro.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

void start_headless_allegro()
{
    static const bool started = [] {
        if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
            return false;
        set_color_depth(16);
        return true;
    }();
    ASSERT_TRUE(started) << "could not start Allegro without a display";
}

FakeScreen::FakeScreen(int width, int height)
{
    start_headless_allegro();
    driver_.w = width;
    driver_.h = height;
    gfx_driver = &driver_;
    screen = create_bitmap(width, height);
    clear_to_color(screen, 0);
}

FakeScreen::~FakeScreen()
{
    destroy_bitmap(screen);
    screen = nullptr;
    gfx_driver = nullptr;
}

Bitmap::Bitmap(int width, int height, int colour)
{
    start_headless_allegro();
    bitmap_ = create_bitmap_ex(16, width, height);
    clear_to_color(bitmap_, colour);
}

int Bitmap::pixel(int x, int y) const
{
    return reinterpret_cast<const std::uint16_t*>(bitmap_->line[y])[x];
}

int Bitmap::count_not(int colour) const
{
    int count = 0;
    for (int y = 0; y < bitmap_->h; ++y)
        for (int x = 0; x < bitmap_->w; ++x)
            count += pixel(x, y) != colour;
    return count;
}

int differing_pixels(BITMAP* a, BITMAP* b)
{
    int count = 0;
    for (int y = 0; y < a->h; ++y)
        for (int x = 0; x < a->w; ++x)
            count += getpixel(a, x, y) != getpixel(b, x, y);
    return count;
}
