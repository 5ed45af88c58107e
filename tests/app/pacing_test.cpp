// Tests for the pacing counters: what each timer callback does to them, and
// that a callback firing on another thread while the main loop updates the
// same counter loses nothing and counts nothing twice.

#include "main_loop.h"
#include "pacing.h"

#include "headless_allegro.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

class PacingTest : public ::testing::Test {
protected:
    PacingTest()
    {
        logic_ticks = 0;
        frame_count = 0;
        fps = 0;
    }
};

TEST_F(PacingTest, TickCallbackAddsOnePendingLogicStep)
{
    logic_tick_callback();
    logic_tick_callback();
    EXPECT_EQ(logic_ticks.load(), 2);
}

TEST_F(PacingTest, SampleTakesTheFramesOfThePeriodJustEndedAndRestartsTheCount)
{
    frame_count = 120;
    fps_sample_callback();
    EXPECT_EQ(fps.load(), 120);
    EXPECT_EQ(frame_count.load(), 0);

    frame_count = 3;
    fps_sample_callback();
    EXPECT_EQ(fps.load(), 3) << "a sample is the last period only, not an average";
}

// The timer thread's side of each counter runs on a thread of its own here,
// as the library's timer does, against the main loop's side on this one.
#ifdef __SANITIZE_THREAD__
// ThreadSanitizer seldom lets the two threads meet, and reports a counter
// shared without atomics by itself: a run of fixed length does there.
constexpr bool under_thread_sanitizer = true;
#else
constexpr bool under_thread_sanitizer = false;
#endif

// A web page has no threads: its timer callbacks run where the loop yields,
// between two of its statements, so there is no race to look for.
#ifdef __EMSCRIPTEN__
#define SKIP_WHERE_THERE_ARE_NO_THREADS() GTEST_SKIP() << "a web page has one thread"
#else
#define SKIP_WHERE_THERE_ARE_NO_THREADS()
#endif

TEST_F(PacingTest, TicksArrivingWhileStepsAreWorkedOffAreNeverLost)
{
    SKIP_WHERE_THERE_ARE_NO_THREADS();
    std::atomic<bool> stop{false};
    std::atomic<long long> ticks{0};
    std::thread timer([&] {
        while (!stop) {
            if (logic_ticks.load() < 1000) { // a backlog like a late main loop's
                logic_tick_callback();
                ticks.fetch_add(1);
            }
        }
    });

    // A tick lost between a step's read and write of the counter needs the
    // two threads running at the same moment, which a busy machine may not
    // allow for long stretches. So the steps that saw a tick arrive since the
    // step before are counted, and the test runs until it has seen plenty.
    long long steps = 0;
    long long meetings = 0;
    long long ticks_seen = 0;
    const auto count_step = [&] {
        ++steps;
        const long long now = ticks.load();
        meetings += now != ticks_seen;
        ticks_seen = now;
    };
    while (under_thread_sanitizer ? steps < 100000 : meetings < 200000)
        work_off_logic_ticks(count_step);
    stop = true;
    timer.join();
    work_off_logic_ticks(count_step);

    EXPECT_EQ(steps, ticks.load());
    EXPECT_EQ(logic_ticks.load(), 0);
}

TEST_F(PacingTest, FramesCountedWhileSamplingAreNeverLost)
{
    SKIP_WHERE_THERE_ARE_NO_THREADS();
    constexpr int frames = 2000000;
    Bitmap buffer(1, 1);
    std::atomic<bool> started{false};
    std::atomic<bool> frames_done{false};
    long long sampled = 0;
    std::thread timer([&] {
        started = true;
        while (!frames_done) {
            fps_sample_callback();
            sampled += fps.load();
        }
    });

    while (!started) {
    }
    for (int i = 0; i < frames; ++i)
        end_frame(buffer);
    frames_done = true;
    timer.join();

    EXPECT_EQ(sampled + frame_count.load(), frames);
}
