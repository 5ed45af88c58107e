// The colour-graded line, drawn with one Bresenham walker over a major and a
// minor axis with signed steps, so all eight octants share the same loop.

#include "gradient_line.h"

#include <allegro.h>

#include <cstdint>
#include <cstdlib>

namespace {

int pack16(int r, int g, int b)
{
    return ((r >> 3) << _rgb_r_shift_16) | ((g >> 2) << _rgb_g_shift_16) |
           ((b >> 3) << _rgb_b_shift_16);
}

// One colour component graded along the line. The value is advanced by
// repeated addition, never by multiplying the step by the pixel index: the two
// round differently, and every pixel's colour must stay exactly reproducible.
struct Channel {
    double value;
    double step;

    Channel(int from, int to, int pixel_count)
        : value(from), step(static_cast<double>(to - from) / pixel_count)
    {
    }
    int current() const { return static_cast<int>(value); }
    void advance() { value += step; }
};

} // namespace

int line_pixel_count(int x1, int y1, int x2, int y2)
{
    const int adx = std::abs(x2 - x1);
    const int ady = std::abs(y2 - y1);
    return (adx >= ady ? adx : ady) + 1;
}

void put_pixel16(BITMAP* bitmap, int x, int y, int colour)
{
    // The screen's size is the drawing area; the bitmap's own size bounds the
    // write as well, so a bitmap smaller than the screen is never overrun.
    if (x >= 0 && x < SCREEN_W && y >= 0 && y < SCREEN_H && x < bitmap->w &&
        y < bitmap->h) {
        reinterpret_cast<std::uint16_t*>(bitmap->line[y])[x] =
            static_cast<std::uint16_t>(colour);
    }
}

void gradient_line(BITMAP* bitmap, int x1, int y1, int x2, int y2, int colour1,
                   int colour2)
{
    const int n = line_pixel_count(x1, y1, x2, y2);
    Channel red(getr(colour1), getr(colour2), n);
    Channel green(getg(colour1), getg(colour2), n);
    Channel blue(getb(colour1), getb(colour2), n);

    const int dx = x2 - x1;
    const int dy = y2 - y1;
    const bool x_major = std::abs(dx) >= std::abs(dy); // ties go to x
    const int a = x_major ? std::abs(dx) : std::abs(dy);
    const int b = x_major ? std::abs(dy) : std::abs(dx);
    const int step_x = dx >= 0 ? 1 : -1;
    const int step_y = dy >= 0 ? 1 : -1;

    // A single point takes the second colour: with n = 1 one step is the
    // whole way from the first colour to the second.
    if (dx == 0 && dy == 0) {
        red.advance();
        green.advance();
        blue.advance();
    }

    int x = x1;
    int y = y1;
    int& major = x_major ? x : y;
    int& minor = x_major ? y : x;
    const int major_step = x_major ? step_x : step_y;
    const int minor_step = x_major ? step_y : step_x;
    int e = 2 * b - a;
    for (int i = 0; i <= a; ++i) {
        put_pixel16(bitmap, x, y,
                    pack16(red.current(), green.current(), blue.current()));
        // Clipped pixels advance the colour too, so what is drawn on screen
        // never depends on how much of the line lies off it.
        red.advance();
        green.advance();
        blue.advance();
        // A decision value of exactly 0 steps the minor axis: the walk
        // favours the diagonal on ties, which makes it direction dependent.
        if (e >= 0) {
            minor += minor_step;
            e += 2 * b - 2 * a;
        } else {
            e += 2 * b;
        }
        major += major_step;
    }
}
