// The colour-graded line at its edges: the shape of the walk and its tie rule,
// how the colour is graded and truncated, and where pixels are clipped, on a
// 640x480 screen size as the demo's display mode gives it.

#include "colour_ramp.h"
#include "gradient_line.h"
#include "headless_allegro.h"
#include "line_model.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace {

struct Point {
    int x, y;
    bool operator==(const Point& other) const { return x == other.x && y == other.y; }
};
using Points = std::vector<Point>;

void PrintTo(const Point& point, std::ostream* out)
{
    *out << "(" << point.x << ", " << point.y << ")";
}

class GradientLine : public ::testing::Test {
protected:
    // Drawn into a bitmap larger than the screen, so writes past it show.
    std::vector<Pixel> draw(int x1, int y1, int x2, int y2, int colour1, int colour2)
    {
        return written_pixels({x1, y1, x2, y2, colour1, colour2}, 700, 500);
    }
    Points points(int x1, int y1, int x2, int y2)
    {
        Points result;
        for (const Pixel& pixel : draw(x1, y1, x2, y2, red, red))
            result.push_back({pixel.x, pixel.y});
        return result;
    }
    // Fields of a horizontal line's pixels, left to right.
    std::vector<Fields> fields_along(int x1, int x2, int colour1, int colour2)
    {
        std::vector<Fields> result;
        for (const Pixel& pixel : draw(x1, 5, x2, 5, colour1, colour2))
            result.push_back(fields_of(pixel.value));
        return result;
    }

    FakeScreen screen{640, 480};
    const int black = makecol16(0, 0, 0);
    const int white = makecol16(255, 255, 255);
    const int red = makecol16(255, 0, 0);
};

TEST_F(GradientLine, walks_one_pixel_per_step_of_the_longer_axis)
{
    EXPECT_EQ(points(0, 0, 3, 3), (Points{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(points(0, 0, 4, 2), (Points{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}));
    // (0, 0) to (2, -4), moved onto the screen; listed top to bottom.
    EXPECT_EQ(points(10, 10, 12, 6), (Points{{12, 6}, {12, 7}, {11, 8}, {11, 9}, {10, 10}}));
}

TEST_F(GradientLine, a_decision_value_of_zero_steps_the_minor_axis_so_direction_matters)
{
    EXPECT_EQ(points(0, 0, 2, 1), (Points{{0, 0}, {1, 1}, {2, 1}}));
    EXPECT_EQ(points(2, 1, 0, 0), (Points{{0, 0}, {1, 0}, {2, 1}}));
}

TEST_F(GradientLine, colour_stops_one_step_short_of_the_second_colour_and_truncates)
{
    EXPECT_EQ(fields_along(0, 1, black, white), (std::vector<Fields>{{0, 0, 0}, {15, 31, 15}}));
    std::vector<int> red_fields;
    for (const Fields& fields : fields_along(0, 3, black, red))
        red_fields.push_back(fields.r);
    EXPECT_EQ(red_fields, (std::vector<int>{0, 7, 15, 23}));
}

TEST_F(GradientLine, equal_end_colours_give_one_colour_throughout)
{
    const int teal = makecol16(0, 128, 128);
    const std::vector<Pixel> written = draw(3, 3, 40, 17, teal, teal);
    EXPECT_EQ(written.size(), 38u);
    for (const Pixel& pixel : written)
        EXPECT_EQ(pixel.value, teal);
}

TEST_F(GradientLine, a_single_point_takes_the_second_colour)
{
    const int blue = makecol16(0, 0, 255);
    EXPECT_EQ(draw(5, 5, 5, 5, red, blue), (std::vector<Pixel>{{5, 5, blue}}));
}

TEST_F(GradientLine, clipped_pixels_still_advance_the_colour)
{
    const std::vector<Pixel> written = draw(-10, 0, 9, 0, black, white);
    ASSERT_EQ(written.size(), 10u);
    EXPECT_EQ(written[0].x, 0);
    EXPECT_EQ(fields_of(written[0].value), (Fields{15, 31, 15})); // 10 steps of 12.75
}

TEST_F(GradientLine, the_last_column_and_row_of_the_screen_are_drawn_and_nothing_beyond)
{
    EXPECT_EQ(draw(630, 10, 660, 10, red, red).back().x, SCREEN_W - 1);
    EXPECT_EQ(draw(10, 470, 10, 490, red, red).back().y, SCREEN_H - 1);

    Bitmap canvas(700, 500);
    for (const Point& point : Points{{639, 479}, {640, 0}, {0, 480}, {-1, 0}, {0, -1}})
        put_pixel16(canvas, point.x, point.y, red);
    EXPECT_EQ(canvas.pixel(639, 479), red);
    EXPECT_EQ(canvas.count_not(0), 1);
}

TEST_F(GradientLine, a_line_wholly_off_the_screen_writes_nothing)
{
    EXPECT_TRUE(draw(-50, -50, -10, -20, red, red).empty());
    EXPECT_TRUE(draw(650, 10, 690, 499, red, red).empty()); // on the bitmap only
    EXPECT_TRUE(draw(-300, 600, 900, 480, red, red).empty());
}

TEST_F(GradientLine, a_bitmap_smaller_than_the_screen_is_never_written_past_its_edges)
{
    // A sub-bitmap's rows are windows into its parent, so a write beyond the
    // small bitmap's width would show in the parent beside the window.
    Bitmap parent(40, 40);
    BITMAP* small = create_sub_bitmap(parent, 5, 5, 10, 10);
    gradient_line(small, 0, 2, 30, 2, red, red);
    gradient_line(small, 2, 0, 2, 30, red, red);
    destroy_bitmap(small);
    EXPECT_EQ(parent.count_not(0), 19);
    EXPECT_EQ(parent.pixel(5 + 9, 5 + 2), red);
    EXPECT_EQ(parent.pixel(5 + 2, 5 + 9), red);
}

TEST_F(GradientLine, end_colours_are_read_at_the_current_colour_depth)
{
    set_color_depth(32);
    const std::vector<Fields> ramp =
        fields_along(0, 1, makecol32(255, 0, 0), makecol32(0, 0, 255));
    set_color_depth(16);
    EXPECT_EQ(ramp, (std::vector<Fields>{{31, 0, 0}, {15, 0, 15}}));
}

// Every colour ramp packs its fields as the library's makecol16 does, in the
// two common layouts and any other.
TEST_F(GradientLine, pixels_are_packed_in_the_display_layout)
{
    struct Layout {
        int r_shift, g_shift, b_shift;
    };
    const Layout saved{_rgb_r_shift_16, _rgb_g_shift_16, _rgb_b_shift_16};
    const RampKind chosen = chosen_colour_ramp();
    for (const RampKind kind : runnable_colour_ramps()) {
        use_colour_ramp(kind);
        for (const Layout& layout : {Layout{11, 5, 0}, Layout{0, 5, 11}, Layout{0, 10, 5}}) {
            _rgb_r_shift_16 = layout.r_shift;
            _rgb_g_shift_16 = layout.g_shift;
            _rgb_b_shift_16 = layout.b_shift;
            const Line line{2, 3, 60, 40, makecol16(250, 40, 10), makecol16(8, 200, 160)};
            EXPECT_EQ(written_pixels(line, 700, 500), expected_pixels(line))
                << colour_ramp_name(kind) << " ramp, red at bit " << layout.r_shift;
        }
    }
    use_colour_ramp(chosen);
    _rgb_r_shift_16 = saved.r_shift;
    _rgb_g_shift_16 = saved.g_shift;
    _rgb_b_shift_16 = saved.b_shift;
}

TEST(GradientLineWithoutDriver, writes_nothing)
{
    Bitmap canvas(100, 100);
    gradient_line(canvas, 0, 0, 99, 60, 0x1234, 0xFFFF);
    gradient_line(canvas, 5, 5, 5, 5, 0x1234, 0xFFFF);
    put_pixel16(canvas, 1, 1, 0xFFFF);
    EXPECT_EQ(canvas.count_not(0), 0);
}

TEST(LinePixelCount, is_the_longer_axis_plus_one)
{
    EXPECT_EQ(line_pixel_count(0, 0, 0, 0), 1);
    EXPECT_EQ(line_pixel_count(0, 0, 3, -7), 8);
    EXPECT_EQ(line_pixel_count(5, 5, -5, 5), 11);
}

} // namespace
