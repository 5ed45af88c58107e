// The whole program checked pixel for pixel: the real binary, started at a
// start time the test knows, saves two screenshots a measured interval apart;
// the test rebuilds the scene from that time in memory and finds the logic
// step each screenshot shows. Seeding, construction order, the colours, the
// drawing and the screenshot path must all be right for a single step to match.

// The harness first: its parameter named `screen` would otherwise shadow the
// library's global of that name.
#include "x_harness.h"

#include "headless_allegro.h"
#include "scene.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The value `time` gives the program, through the fixed_time preload.
constexpr unsigned start_time = 1234567890;
constexpr int steps_per_second = 50;
// The first screenshot is taken within seconds of the start; 30 s is plenty.
constexpr int first_search_steps = steps_per_second * 30;
constexpr auto screenshot_interval = 2s;
// How far key delivery may move a screenshot, in logic steps either way.
constexpr int step_tolerance = 10;

// The colour save_bmp writes for a pixel of a 16-bit bitmap.
std::uint32_t saved_rgb(int pixel)
{
    return static_cast<std::uint32_t>(getr16(pixel) << 16 | getg16(pixel) << 8 | getb16(pixel));
}

Scene scene_seeded_with(unsigned seed)
{
    std::srand(seed);
    return build_scene();
}

// The program's scene replayed in memory on a 640x480 stand-in screen (the
// size the shapes bounce in), one logic step at a time.
class Replay {
public:
    explicit Replay(unsigned seed) : scene_(scene_seeded_with(seed)) {}

    int steps() const { return steps_; }

    // Steps on until the frame drawn after the pending steps of a pass
    // matches `picture` exactly; that step count, or nullopt past `last_step`.
    std::optional<int> find(const Picture& picture, int last_step)
    {
        best_differing_ = 640 * 480;
        for (; steps_ <= last_step; step()) {
            draw();
            const int differing = differences(picture, best_differing_);
            if (differing == 0)
                return steps_;
            if (differing < best_differing_) {
                best_differing_ = differing;
                best_step_ = steps_;
            }
        }
        return std::nullopt;
    }

    // Where the replay came closest when nothing matched.
    std::string closest() const
    {
        return std::to_string(best_differing_) + " pixels differ at best, at step " +
               std::to_string(best_step_);
    }

private:
    void step()
    {
        update_scene(scene_);
        ++steps_;
    }

    // The pass's frame: the buffer was cleared to black by the pass before.
    void draw()
    {
        clear_to_color(frame_, 0);
        draw_scene(scene_, frame_);
    }

    // Differing pixels, counted up to `limit`.
    int differences(const Picture& picture, int limit) const
    {
        if (picture.width != 640 || picture.height != 480)
            return limit;
        int count = 0;
        for (int y = 0; y < 480 && count < limit; ++y)
            for (int x = 0; x < 640; ++x)
                count += picture.at(x, y) != saved_rgb(frame_.pixel(x, y));
        return count;
    }

    FakeScreen screen_; // first: it starts the library, and makecol needs it
    Bitmap frame_{640, 480};
    Scene scene_;
    int steps_ = 0;
    int best_differing_ = 640 * 480;
    int best_step_ = -1;
};

// Presses F12 and returns the screenshot it saved, removing the file so the
// next press is seen to write a new one.
std::optional<Picture> take_screenshot(Display* display, const TempDir& dir)
{
    const std::string path = dir.file("screenshot.bmp");
    press_key(display, XK_F12);
    std::optional<Picture> picture;
    eventually(5s, [&] {
        picture = read_bmp24(path);
        return picture && picture->width == 640 && picture->height == 480;
    });
    std::filesystem::remove(path);
    return picture;
}

TEST(WholeProgram, ScreenshotsAreTheSceneReplayedFromTheStartTimeAtFiftyStepsASecond)
{
    TempDir dir;
    VirtualDisplay display;
    RibbonsProcess program(dir.path(), display.name(),
                           {std::string("LD_PRELOAD=") + FIXED_TIME_LIBRARY,
                            "RIBBONS_TEST_TIME=" + std::to_string(start_time)});
    const Window window = wait_for_window(display.connection(), 10s);
    ASSERT_NE(window, 0u) << program.output();
    ASSERT_TRUE(wait_until_drawing(display.connection(), window, 10s));
    sleep_for(1s);

    const auto first_press = Clock::now();
    const auto first = take_screenshot(display.connection(), dir);
    ASSERT_TRUE(first) << "no screenshot after F12";
    std::this_thread::sleep_until(first_press + screenshot_interval);
    const auto second_press = Clock::now();
    const auto second = take_screenshot(display.connection(), dir);
    ASSERT_TRUE(second) << "no screenshot after the second F12";
    press_key(display.connection(), XK_Escape);
    const auto ended = program.wait_for_exit(10s);

    Replay replay(start_time);
    const auto first_step = replay.find(*first, first_search_steps);
    ASSERT_TRUE(first_step) << "no step of the replayed scene matches the first screenshot: "
                            << replay.closest();

    const double seconds = std::chrono::duration<double>(second_press - first_press).count();
    const int expected_steps = static_cast<int>(std::lround(steps_per_second * seconds));
    const auto second_step = replay.find(*second, *first_step + expected_steps + step_tolerance);
    ASSERT_TRUE(second_step) << "no step of the replayed scene matches the second screenshot: "
                             << replay.closest();
    std::printf("screenshots show steps %d and %d, %.3f s apart (%d steps expected)\n",
                *first_step, *second_step, seconds, expected_steps);
    EXPECT_NEAR(*second_step - *first_step, expected_steps, step_tolerance);

    ASSERT_TRUE(ended) << "Esc did not end the program";
    EXPECT_EQ(ended->status, 0);
}

} // namespace
