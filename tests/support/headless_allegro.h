// Allegro for tests that need no display: the library started with no system
// driver and 16-bit colour, plus a stand-in graphics driver so that SCREEN_W
// and SCREEN_H have a size while a test runs.
#pragma once

#include <allegro.h>

// Starts the library once per process, without a display, in 16-bit colour.
void start_headless_allegro();

// While alive, SCREEN_W x SCREEN_H is width x height, as if a mode of that
// size were set, and `screen` is a memory bitmap of that size. Restores "no
// graphics driver" when it goes.
class FakeScreen {
public:
    explicit FakeScreen(int width = 640, int height = 480);
    ~FakeScreen();
    FakeScreen(const FakeScreen&) = delete;
    FakeScreen& operator=(const FakeScreen&) = delete;

private:
    GFX_DRIVER driver_{};
};

// A 16-bit memory bitmap, destroyed with the handle.
class Bitmap {
public:
    Bitmap(int width, int height, int colour = 0);
    BITMAP* get() const { return bitmap_; }
    operator BITMAP*() const { return bitmap_; }
    ~Bitmap() { destroy_bitmap(bitmap_); }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int pixel(int x, int y) const;
    // Number of pixels that differ from `colour`.
    int count_not(int colour) const;

private:
    BITMAP* bitmap_;
};

// Number of pixels at which two bitmaps of the same size differ.
int differing_pixels(BITMAP* a, BITMAP* b);
