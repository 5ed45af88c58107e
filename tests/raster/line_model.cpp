// The reference the line tests compare against. Positions come from a closed
// form (the nearest pixel to the exact line) rather than from a decision
// value, so a fault in the walk cannot be copied into its own yardstick.

#include "line_model.h"

#include "gradient_line.h"
#include "headless_allegro.h"

#include <allegro.h>

#include <algorithm>
#include <cstdlib>

namespace {

struct Accumulators {
    double r, g, b, step_r, step_g, step_b;

    Accumulators(int from, int to, int n)
        : r(getr(from)), g(getg(from)), b(getb(from)), step_r((getr(to) - getr(from)) / double(n)),
          step_g((getg(to) - getg(from)) / double(n)), step_b((getb(to) - getb(from)) / double(n))
    {
    }
    void add_step()
    {
        r += step_r;
        g += step_g;
        b += step_b;
    }
    int packed() const
    {
        return makecol16(static_cast<int>(r), static_cast<int>(g), static_cast<int>(b));
    }
};

// Minor offset of pixel k: k * B / A rounded to nearest, halves rounded up.
int nearest_minor_offset(long long k, long long a, long long b)
{
    return a == 0 ? 0 : static_cast<int>((2 * k * b + a) / (2 * a));
}

bool on_screen(const Pixel& pixel)
{
    return pixel.x >= 0 && pixel.x < SCREEN_W && pixel.y >= 0 && pixel.y < SCREEN_H;
}

bool in_scan_order(const Pixel& first, const Pixel& second)
{
    return first.y != second.y ? first.y < second.y : first.x < second.x;
}

} // namespace

std::vector<Pixel> expected_pixels(const Line& line)
{
    const int dx = line.x2 - line.x1;
    const int dy = line.y2 - line.y1;
    const bool x_major = std::abs(dx) >= std::abs(dy);
    const int a = x_major ? std::abs(dx) : std::abs(dy);
    const int b = x_major ? std::abs(dy) : std::abs(dx);
    const int sign_x = dx < 0 ? -1 : 1;
    const int sign_y = dy < 0 ? -1 : 1;

    Accumulators colour(line.colour1, line.colour2, a + 1);
    if (a == 0)
        colour.add_step();
    std::vector<Pixel> pixels;
    for (int k = 0; k <= a; ++k) {
        const int minor = nearest_minor_offset(k, a, b);
        const Pixel pixel{line.x1 + sign_x * (x_major ? k : minor),
                          line.y1 + sign_y * (x_major ? minor : k), colour.packed()};
        if (on_screen(pixel))
            pixels.push_back(pixel);
        colour.add_step();
    }
    std::sort(pixels.begin(), pixels.end(), in_scan_order);
    return pixels;
}

std::vector<Pixel> written_pixels(const Line& line, int width, int height)
{
    const int white = 0xFFFF;
    Bitmap on_black(width, height, 0), on_white(width, height, white);
    for (BITMAP* bitmap : {on_black.get(), on_white.get()})
        gradient_line(bitmap, line.x1, line.y1, line.x2, line.y2, line.colour1, line.colour2);
    std::vector<Pixel> written;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (on_black.pixel(x, y) != 0 || on_white.pixel(x, y) != white)
                written.push_back({x, y, on_white.pixel(x, y)});
    return written;
}

Fields fields_of(int pixel)
{
    return {(pixel >> _rgb_r_shift_16) & 31, (pixel >> _rgb_g_shift_16) & 63,
            (pixel >> _rgb_b_shift_16) & 31};
}
