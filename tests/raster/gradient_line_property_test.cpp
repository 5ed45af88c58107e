// Thousands of seeded random lines held to the line model pixel for pixel, on
// a small screen inside a larger bitmap: most lines cross an edge or miss the
// screen, and any write past the screen's right or bottom edge shows.

#include "colour_ramp.h"
#include "headless_allegro.h"
#include "line_model.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// End points over the screen and a margin around it. One line in eight is a
// single point and two in eight have a slope of exactly one half or two, where every
// other pixel is a tie of the decision value.
class RandomLines {
public:
    RandomLines(int width, int height, int margin)
        : x_(-margin, width + margin), y_(-margin, height + margin)
    {
    }

    Line next()
    {
        Line line{x_(random_), y_(random_), x_(random_), y_(random_), colour(), colour()};
        const int kind = kind_(random_);
        const int half = y_(random_) / 2;
        if (kind == 0)
            line = {line.x1, line.y1, line.x1, line.y1, line.colour1, line.colour2};
        else if (kind == 1)
            line = {line.x1, line.y1, line.x1 + 2 * half, line.y1 - half, line.colour1,
                    line.colour2};
        else if (kind == 2)
            line = {line.x1, line.y1, line.x1 + half, line.y1 + 2 * half, line.colour1,
                    line.colour2};
        return line;
    }

private:
    int colour()
    {
        return makecol16(component_(random_), component_(random_), component_(random_));
    }

    std::mt19937 random_{20240611};
    std::uniform_int_distribution<int> x_, y_;
    std::uniform_int_distribution<int> kind_{0, 7};
    std::uniform_int_distribution<int> component_{0, 255};
};

// With each colour ramp this processor runs, the same seeded lines.
TEST(RandomGradientLines, write_exactly_their_on_screen_pixels_in_their_colours)
{
    FakeScreen screen(64, 48);
    const RampKind chosen = chosen_colour_ramp();
    for (const RampKind kind : runnable_colour_ramps()) {
        use_colour_ramp(kind);
        RandomLines lines(64, 48, 40);
        for (int i = 0; i < 4000; ++i) {
            const Line line = lines.next();
            ASSERT_EQ(written_pixels(line, 80, 60), expected_pixels(line))
                << colour_ramp_name(kind) << " ramp, line " << i << ": (" << line.x1
                << ", " << line.y1 << ") to (" << line.x2 << ", " << line.y2 << "), colours "
                << line.colour1 << " to " << line.colour2;
        }
    }
    use_colour_ramp(chosen);
}

} // namespace
