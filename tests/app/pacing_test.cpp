// Tests for the pacing counters: what each timer callback does to them, and
// that a callback firing on another thread while the main loop updates the
// same counter loses nothing and counts nothing twice.

#include "main_loop.h"
#include "pacing.h"

#include "headless_allegro.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

// Ends a run from inside a step, before the step counts or works off its tick.
struct RunOver {};

TEST_F(PacingTest, TicksArrivingWhileStepsAreWorkedOffAreNeverLost)
{
    SKIP_WHERE_THERE_ARE_NO_THREADS();
    // A tick is lost only when the timer thread adds one between a step's
    // read and write of the counter. On two cores the threads meet all the
    // time; on one they meet only where the scheduler switches from one to
    // the other. The run starts with a backlog the main loop cannot work off
    // in the time it is given, so that the main loop is in the middle of a
    // step whenever it is switched out. (An x86 core is never switched out
    // just before a locked write, which is how a sequentially consistent
    // store is made: a split decrement with such a write shows on two cores
    // only.)
    constexpr int backlog = 1 << 30;
    logic_ticks = backlog;
    std::atomic<bool> stop{false};
    std::atomic<long long> ticks{0};
    std::thread timer([&] {
        while (!stop) {
            if (logic_ticks.load() < backlog) {
                logic_tick_callback();
                ticks.fetch_add(1);
            }
        }
    });

    // The steps that saw a tick arrive since the step before are counted:
    // the run ends when it has seen plenty of them, or after a few seconds on
    // a machine too busy to run the two threads together.
    using Clock = std::chrono::steady_clock;
    const auto give_up = Clock::now() + std::chrono::seconds(5);
    long long steps = 0;
    long long meetings = 0;
    long long ticks_seen = 0;
    const auto seen_enough = [&] {
        return under_thread_sanitizer ? steps >= 100000 : meetings >= 200000;
    };
    const auto count_step = [&] {
        if (steps % 4096 == 0 && (seen_enough() || Clock::now() >= give_up))
            throw RunOver{};
        ++steps;
        const long long now = ticks.load();
        meetings += now != ticks_seen;
        ticks_seen = now;
    };
    try {
        while (Clock::now() < give_up)
            work_off_logic_ticks(count_step);
    } catch (const RunOver&) {
    }
    stop = true;
    timer.join();

    EXPECT_EQ(steps + logic_ticks.load(), backlog + ticks.load())
        << "after " << meetings << " meetings of the two threads";
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
