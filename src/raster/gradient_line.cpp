// The colour-graded line, drawn with one Bresenham walker over a major and a
// minor axis with signed steps, so all eight octants share the same loop. The
// loops it runs come from one template: a moving pixel pointer for lines
// wholly inside the drawing area or a tested write for lines crossing its
// edge, each taking the packed colours eight pixels at a time from a colour
// ramp (colour_ramp.h), the vector one where the processor has AVX-512.

#include "gradient_line.h"

#include "colour_ramp.h"

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

// The colour graded along the line: each component starts at its first value
// and moves by one equal step per pixel. Its values are those of repeated
// addition, not of the step multiplied by the pixel index: the two round
// differently, and every pixel's colour must stay exactly reproducible (the
// ramps work them out faster, to the same bits).
RampStart grade_between(int colour1, int colour2, int pixel_count)
{
    const bool depth16 = get_color_depth() == 16;
    const Rgb from = components(colour1, depth16);
    const Rgb to = components(colour2, depth16);
    const double n = pixel_count;
    return {static_cast<double>(from.r), static_cast<double>(from.g),
            static_cast<double>(from.b), (to.r - from.r) / n,
            (to.g - from.g) / n, (to.b - from.b) / n};
}

// A single point takes the second colour: with one pixel, one step is the
// whole way from the first colour to the second.
void advance_once(RampStart& grade)
{
    grade.r += grade.step_r;
    grade.g += grade.step_g;
    grade.b += grade.step_b;
}

FieldShifts display_fields()
{
    return {_rgb_r_shift_16, _rgb_g_shift_16, _rgb_b_shift_16};
}

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

// Picks `if_not_negative` when `value` is not negative, else `otherwise`, by
// a conditional move. Random slopes leave a branch on the decision value
// guessing, and every wrong guess also throws away the colour work queued
// behind it; GCC turns the plain conditional into such a branch here, so on
// x86-64 the move is written out.
template <typename T>
T pick_by_sign(int value, T if_not_negative, T otherwise)
{
#if defined(__x86_64__)
    asm("test %[value], %[value]\n\tcmovns %[chosen], %[result]"
        : [result] "+r"(otherwise)
        : [value] "r"(value), [chosen] "r"(if_not_negative)
        : "cc");
    return otherwise;
#else
    return value >= 0 ? if_not_negative : otherwise;
#endif
}

// One step of the walk: the minor axis steps along with the major one when
// the decision value it was read from is not negative.
struct Turn {
    int decision;
    bool minor_too() const { return decision >= 0; }
};

// The Bresenham decision value. A value of exactly 0 steps the minor axis:
// the walk favours the diagonal on ties, which makes it direction dependent.
class Decision {
public:
    explicit Decision(const Axes& axes)
        : e_(2 * axes.b - axes.a), straight_(2 * axes.b), diagonal_(2 * axes.b - 2 * axes.a)
    {
    }
    Turn next()
    {
        const Turn turn{e_};
        e_ = pick_by_sign(e_, e_ + diagonal_, e_ + straight_);
        return turn;
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
    void step(Turn turn) { pixel_ = pick_by_sign(turn.decision, pixel_ + diagonal_, pixel_ + major_); }

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
    void step(Turn turn)
    {
        x_ += axes_.major_x + (turn.minor_too() ? axes_.minor_x : 0);
        y_ += axes_.major_y + (turn.minor_too() ? axes_.minor_y : 0);
    }

private:
    BITMAP* bitmap_;
    int x_, y_;
    Axes axes_;
    DrawArea area_;
};

// The walk itself: A + 1 pixels from the first point, their colours taken a
// block at a time from the ramp. Every pixel walked takes the next colour
// whether or not it is written, so what is drawn never depends on how much
// of the line lies off the screen. The cursor steps only between pixels,
// never past the last one, so a pointer never leaves the bitmap.
template <typename Cursor, typename Ramp>
[[gnu::always_inline]] inline void walk(Cursor cursor, Decision decision, Ramp& ramp,
                                        int major_length)
{
    const int pixels = major_length + 1;
    alignas(16) std::uint16_t colours[ramp_block];
    ramp.next_block(colours);
    cursor.put(colours[0]);
    int pixel = 1;
    for (; pixel < std::min(pixels, ramp_block); ++pixel) {
        cursor.step(decision.next());
        cursor.put(colours[pixel]);
    }
    // Whole blocks, with no test for the end inside them.
    for (; pixel + ramp_block <= pixels; pixel += ramp_block) {
        ramp.next_block(colours);
        for (int i = 0; i < ramp_block; ++i) {
            cursor.step(decision.next());
            cursor.put(colours[i]);
        }
    }
    if (pixel < pixels) {
        ramp.next_block(colours);
        for (int i = 0; pixel + i < pixels; ++i) {
            cursor.step(decision.next());
            cursor.put(colours[i]);
        }
    }
}

template <typename Cursor>
void walk_adding(Cursor cursor, Decision decision, const RampStart& start, FieldShifts shifts,
                 int major_length)
{
    AddingRamp ramp(start, shifts);
    walk(cursor, decision, ramp, major_length);
}

#ifdef RIBBONS_VECTOR_RAMP
template <typename Cursor>
RIBBONS_AVX512 void walk_vector(Cursor cursor, Decision decision, const RampStart& start,
                                FieldShifts shifts, int major_length)
{
    VectorRamp ramp(start, shifts);
    walk(cursor, decision, ramp, major_length);
}
#endif

template <typename Cursor>
void walk_with_chosen_ramp(Cursor cursor, Decision decision, const RampStart& start,
                           int major_length)
{
    const FieldShifts shifts = display_fields();
#ifdef RIBBONS_VECTOR_RAMP
    if (chosen_colour_ramp() == RampKind::vector)
        return walk_vector(cursor, decision, start, shifts, major_length);
#endif
    walk_adding(cursor, decision, start, shifts, major_length);
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

    RampStart grade = grade_between(colour1, colour2, line_pixel_count(x1, y1, x2, y2));
    if (x1 == x2 && y1 == y2)
        advance_once(grade);

    const Axes axes = axes_between(x1, y1, x2, y2);
    if (holds(area, box))
        walk_with_chosen_ramp(PointerCursor(bitmap, x1, y1, axes), Decision(axes), grade, axes.a);
    else
        walk_with_chosen_ramp(ClippedCursor(bitmap, x1, y1, axes, area), Decision(axes), grade,
                              axes.a);
}
