// The colour-graded line, drawn with one Bresenham walker over a major and a
// minor axis with signed steps, so all eight octants share the same loop. The
// loops it runs come from one template: a moving pixel pointer for lines
// wholly inside the drawing area or a tested write for lines crossing its edge,
// each with the display's pixel layout fixed where it is a common one.

#include "gradient_line.h"

#include <allegro.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Where pixels may be written: the screen, cut down to the bitmap when the
// bitmap is the smaller of the two (a bitmap smaller than the screen would
// otherwise be overrun). With no graphics driver the area is empty.
struct DrawArea {
    int width;
    int height;

    bool contains(int x, int y) const { return x >= 0 && x < width && y >= 0 && y < height; }
};

DrawArea draw_area(const BITMAP* bitmap)
{
    return {std::min(SCREEN_W, bitmap->w), std::min(SCREEN_H, bitmap->h)};
}

// The smallest rectangle holding both end points, and so every pixel walked.
struct Box {
    int left, top, right, bottom;
};

Box box_around(int x1, int y1, int x2, int y2)
{
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

bool holds(DrawArea area, Box box)
{
    return area.contains(box.left, box.top) && area.contains(box.right, box.bottom);
}

bool misses(DrawArea area, Box box)
{
    return box.right < 0 || box.bottom < 0 || box.left >= area.width || box.top >= area.height;
}

struct Rgb {
    int r, g, b;
};

// getr and its kin look up the colour depth on every call; at 16 bits they
// give exactly what the inline 16-bit readers give, for a table look-up each.
Rgb components(int colour, bool depth16)
{
    if (depth16)
        return {getr16(colour), getg16(colour), getb16(colour)};
    return {getr(colour), getg(colour), getb(colour)};
}

// The colour graded along the line, one accumulator per component. The
// accumulators advance by repeated addition, never by multiplying the step by
// the pixel index: the two round differently, and every pixel's colour must
// stay exactly reproducible.
struct Grade {
    double r, g, b;
    double step_r, step_g, step_b;

    void advance()
    {
        r += step_r;
        g += step_g;
        b += step_b;
    }
};

Grade grade_between(int colour1, int colour2, int pixel_count)
{
    const bool depth16 = get_color_depth() == 16;
    const Rgb from = components(colour1, depth16);
    const Rgb to = components(colour2, depth16);
    const double n = pixel_count;
    return {static_cast<double>(from.r), static_cast<double>(from.g),
            static_cast<double>(from.b), (to.r - from.r) / n,
            (to.g - from.g) / n, (to.b - from.b) / n};
}

// The library's 16-bit packing: each component truncated toward zero, cut to
// its top 5 or 6 bits and placed at its field.
std::uint16_t pack16(const Grade& grade, int r_shift, int g_shift, int b_shift)
{
    return static_cast<std::uint16_t>(((static_cast<int>(grade.r) >> 3) << r_shift) |
                                      ((static_cast<int>(grade.g) >> 2) << g_shift) |
                                      ((static_cast<int>(grade.b) >> 3) << b_shift));
}

// The packing with the fields fixed at compile time. The two layouts 16-bit
// displays use in practice get shifts by constants, which cost the loop far
// less than shifts by counts held in registers.
template <int r_shift, int g_shift, int b_shift>
struct FixedPacking {
    static bool matches_display()
    {
        return _rgb_r_shift_16 == r_shift && _rgb_g_shift_16 == g_shift &&
               _rgb_b_shift_16 == b_shift;
    }
    std::uint16_t operator()(const Grade& grade) const
    {
        return pack16(grade, r_shift, g_shift, b_shift);
    }
};
using RgbPacking = FixedPacking<11, 5, 0>;
using BgrPacking = FixedPacking<0, 5, 11>;

// The packing for any other layout, with the fields read once per line.
struct DisplayPacking {
    int r_shift = _rgb_r_shift_16;
    int g_shift = _rgb_g_shift_16;
    int b_shift = _rgb_b_shift_16;

    std::uint16_t operator()(const Grade& grade) const
    {
        return pack16(grade, r_shift, g_shift, b_shift);
    }
};

// The walk's shape: A and B are the lengths of the major and minor axis, and
// each axis moves by one pixel toward the end point, as an (x, y) step.
struct Axes {
    int a, b;
    int major_x, major_y;
    int minor_x, minor_y;
};

Axes axes_between(int x1, int y1, int x2, int y2)
{
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    const int step_x = dx >= 0 ? 1 : -1;
    const int step_y = dy >= 0 ? 1 : -1;
    if (std::abs(dx) >= std::abs(dy)) // ties go to x
        return {std::abs(dx), std::abs(dy), step_x, 0, 0, step_y};
    return {std::abs(dy), std::abs(dx), 0, step_y, step_x, 0};
}

// The Bresenham decision value. A value of exactly 0 steps the minor axis:
// the walk favours the diagonal on ties, which makes it direction dependent.
class Decision {
public:
    explicit Decision(const Axes& axes)
        : e_(2 * axes.b - axes.a), straight_(2 * axes.b), diagonal_(2 * axes.b - 2 * axes.a)
    {
    }
    // Whether the minor axis steps along with the major one.
    bool next()
    {
        const bool minor_too = e_ >= 0;
        e_ += minor_too ? diagonal_ : straight_;
        return minor_too;
    }

private:
    int e_, straight_, diagonal_;
};

std::uint16_t* pixel_at(BITMAP* bitmap, int x, int y)
{
    return reinterpret_cast<std::uint16_t*>(bitmap->line[y]) + x;
}

// Moves a pixel pointer, for lines wholly inside the drawing area. Rows of a
// memory bitmap (sub-bitmaps too) are evenly spaced, so one row down is a
// fixed pointer step.
class PointerCursor {
public:
    PointerCursor(BITMAP* bitmap, int x, int y, const Axes& axes)
        : pixel_(pixel_at(bitmap, x, y))
    {
        const std::ptrdiff_t row = bitmap->h > 1 ? pixel_at(bitmap, 0, 1) - pixel_at(bitmap, 0, 0) : 0;
        major_ = axes.major_x + axes.major_y * row;
        diagonal_ = major_ + axes.minor_x + axes.minor_y * row;
    }
    void put(std::uint16_t colour) { *pixel_ = colour; }
    void step(bool minor_too) { pixel_ += minor_too ? diagonal_ : major_; }

private:
    std::uint16_t* pixel_;
    std::ptrdiff_t major_ = 0;
    std::ptrdiff_t diagonal_ = 0;
};

// Tests every pixel against the drawing area, for lines that cross its edge.
class ClippedCursor {
public:
    ClippedCursor(BITMAP* bitmap, int x, int y, const Axes& axes, DrawArea area)
        : bitmap_(bitmap), x_(x), y_(y), axes_(axes), area_(area)
    {
    }
    void put(std::uint16_t colour)
    {
        if (area_.contains(x_, y_))
            *pixel_at(bitmap_, x_, y_) = colour;
    }
    void step(bool minor_too)
    {
        x_ += axes_.major_x + (minor_too ? axes_.minor_x : 0);
        y_ += axes_.major_y + (minor_too ? axes_.minor_y : 0);
    }

private:
    BITMAP* bitmap_;
    int x_, y_;
    Axes axes_;
    DrawArea area_;
};

// The walk itself: A + 1 pixels from the first point. Each pixel takes the
// accumulators as they stand, then the colour advances whether or not the
// pixel was written, so what is drawn never depends on how much of the line
// lies off the screen. The cursor steps only between pixels, never past the
// last one, so a pointer never leaves the bitmap.
template <typename Packing, typename Cursor>
void walk(Cursor cursor, Decision decision, Grade grade, int major_length)
{
    const Packing pack;
    cursor.put(pack(grade));
    for (int i = 0; i < major_length; ++i) {
        grade.advance();
        cursor.step(decision.next());
        cursor.put(pack(grade));
    }
}

template <typename Cursor>
void walk_in_display_layout(Cursor cursor, Decision decision, Grade grade, int major_length)
{
    if (RgbPacking::matches_display())
        walk<RgbPacking>(cursor, decision, grade, major_length);
    else if (BgrPacking::matches_display())
        walk<BgrPacking>(cursor, decision, grade, major_length);
    else
        walk<DisplayPacking>(cursor, decision, grade, major_length);
}

} // namespace

int line_pixel_count(int x1, int y1, int x2, int y2)
{
    const int adx = std::abs(x2 - x1);
    const int ady = std::abs(y2 - y1);
    return (adx >= ady ? adx : ady) + 1;
}

void put_pixel16(BITMAP* bitmap, int x, int y, int colour)
{
    if (draw_area(bitmap).contains(x, y))
        *pixel_at(bitmap, x, y) = static_cast<std::uint16_t>(colour);
}

void gradient_line(BITMAP* bitmap, int x1, int y1, int x2, int y2, int colour1,
                   int colour2)
{
    const DrawArea area = draw_area(bitmap);
    const Box box = box_around(x1, y1, x2, y2);
    if (misses(area, box)) // every pixel would be clipped; nothing to see
        return;

    Grade grade = grade_between(colour1, colour2, line_pixel_count(x1, y1, x2, y2));
    // A single point takes the second colour: with one pixel, one step is
    // the whole way from the first colour to the second.
    if (x1 == x2 && y1 == y2)
        grade.advance();

    const Axes axes = axes_between(x1, y1, x2, y2);
    if (holds(area, box))
        walk_in_display_layout(PointerCursor(bitmap, x1, y1, axes), Decision(axes), grade, axes.a);
    else
        walk_in_display_layout(ClippedCursor(bitmap, x1, y1, axes, area), Decision(axes), grade,
                               axes.a);
}
