// The pacing counters driven by the library's own timer thread while the main
// loop runs, as in the program. Built with ThreadSanitizer this is where a
// race on the shared counters would show.
//
// The library's timer module needs a system driver with threads and mutexes,
// which it has only with a display (with no system driver install_timer
// crashes), so the test starts Allegro inside its own virtual X display.

#include "main_loop.h"
#include "pacing.h"

#include "x_harness.h"

#include <allegro.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class LiveTimer : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("DISPLAY", display_.name().c_str(), 1);
        ASSERT_EQ(allegro_init(), 0) << allegro_error;
        set_color_depth(16);
        // A stand-in driver gives the screen a size without opening a window,
        // which keeps the test about the timers.
        stand_in_driver_.w = 640;
        stand_in_driver_.h = 480;
        gfx_driver = &stand_in_driver_;
        screen = create_bitmap(640, 480);
        buffer_ = create_bitmap(640, 480);
    }

    // The library is shut down here, while the X server it talks to is still
    // alive; left to the exit handler, it would find the server gone.
    void TearDown() override
    {
        destroy_bitmap(buffer_);
        destroy_bitmap(screen);
        screen = nullptr;
        gfx_driver = nullptr;
        allegro_exit();
    }

    VirtualDisplay display_;
    GFX_DRIVER stand_in_driver_{};
    BITMAP* buffer_ = nullptr;
};

TEST_F(LiveTimer, LogicStepsComeFiftyTimesASecondAndTheFrameRateIsSampled)
{
    ASSERT_EQ(install_timer(), 0);
    const auto start = Clock::now();
    ASSERT_TRUE(install_pacing_timers());

    // Ticks delivered (worked off or still pending) against ticks due. A busy
    // machine can only make the timer late, and the library's timer makes up
    // for a late wake-up when it next runs; so no tick ever comes early, and
    // the rate shows at the moment the timer was most nearly on time.
    int steps = 0;
    int frames = 0;
    int highest_fps = 0;
    double most_early = 0;
    double best_share = 0;
    for (auto now = start; now - start < 2500ms; now = Clock::now()) {
        run_pass(buffer_, [&] { ++steps; }, [&] { ++frames; });
        highest_fps = std::max(highest_fps, fps.load());
        const int delivered = steps + logic_ticks.load();
        const double due = logic_steps_per_second *
                           std::chrono::duration<double>(Clock::now() - start).count();
        most_early = std::max(most_early, delivered - due);
        if (due >= logic_steps_per_second)
            best_share = std::max(best_share, delivered / due);
    }

    // The margin covers a first tick that the timer's thread, already
    // running, hands out a little before a whole period has passed.
    EXPECT_LE(most_early, 2) << "ticks came faster than " << logic_steps_per_second << " a second";
    EXPECT_GE(best_share, 0.9) << "ticks never kept up with " << logic_steps_per_second
                               << " a second";
    EXPECT_GT(highest_fps, 0) << "the one-second sample never ran";
    EXPECT_LE(highest_fps, frames) << "a sample counted frames that were never drawn";
}

} // namespace
