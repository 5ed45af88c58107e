// The whole program checked pixel for pixel: the real binary, started at a
// start time the test knows, saves two screenshots a measured interval apart;
// the test rebuilds the scene from that time in memory and finds the logic
// step each screenshot shows. Seeding, construction order, the colours, the
// drawing and the screenshot path must all be right for a single step to match.

#include "scene_replay.h"
#include "screenshot_pair.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

// The build's own binary, unless another (the packaged one) is under test.
#ifndef PROGRAM_UNDER_TEST
#define PROGRAM_UNDER_TEST ""
#endif

namespace {

using namespace std::chrono_literals;

// The value `time` gives the program, through the fixed_time preload.
constexpr unsigned start_time = 1234567890;
constexpr int steps_per_second = 50;
// The first screenshot is taken within seconds of the start; 30 s is plenty.
constexpr int first_search_steps = steps_per_second * 30;
constexpr auto screenshot_interval = 2s;
// How far key delivery may move a screenshot, in logic steps either way.
constexpr int step_tolerance = 10;

TEST(WholeProgram, ScreenshotsAreTheSceneReplayedFromTheStartTimeAtFiftyStepsASecond)
{
    TempDir dir;
    VirtualDisplay display;
    RibbonsProcess program(dir.path(), display.name(),
                           {std::string("LD_PRELOAD=") + FIXED_TIME_LIBRARY,
                            "RIBBONS_TEST_TIME=" + std::to_string(start_time)},
                           {}, PROGRAM_UNDER_TEST);
    const Window window = wait_for_window(display.connection(), 10s);
    ASSERT_NE(window, 0u) << program.output();
    ASSERT_TRUE(wait_until_drawing(display.connection(), window, 10s));
    sleep_for(1s);

    const ScreenshotPair shots =
        take_screenshot_pair(display.connection(), dir, screenshot_interval);
    ASSERT_TRUE(shots.first) << "no screenshot after F12";
    ASSERT_TRUE(shots.second) << "no screenshot after the second F12";
    press_key(display.connection(), XK_Escape);
    const auto ended = program.wait_for_exit(10s);

    Replay replay(start_time);
    const auto first_step = replay.find(*shots.first, first_search_steps);
    ASSERT_TRUE(first_step) << "no step of the replayed scene matches the first screenshot: "
                            << replay.closest();

    const int expected_steps = static_cast<int>(std::lround(steps_per_second * shots.seconds));
    const auto second_step = replay.find(*shots.second, *first_step + expected_steps + step_tolerance);
    ASSERT_TRUE(second_step) << "no step of the replayed scene matches the second screenshot: "
                             << replay.closest();
    std::printf("screenshots show steps %d and %d, %.3f s apart (%d steps expected)\n",
                *first_step, *second_step, shots.seconds, expected_steps);
    EXPECT_NEAR(*second_step - *first_step, expected_steps, step_tolerance);

    ASSERT_TRUE(ended) << "Esc did not end the program";
    EXPECT_EQ(ended->status, 0);
}

} // namespace
