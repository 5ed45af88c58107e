// Pacing: a 50 Hz tick that the main loop works off one logic step at a time,
// and a 1 Hz sample that turns the frames drawn in the last second into the
// frames-per-second figure.
//
// The callbacks run on the library's timer thread while the main loop runs,
// so the counters they share with it are lock-free atomics: an increment, a
// decrement or a sample-and-reset that meet can never lose or double-count.
#pragma once

#include <atomic>

static_assert(std::atomic<int>::is_always_lock_free,
              "the timer callbacks must never block");

// Ticks not yet worked off by the logic loop.
extern std::atomic<int> logic_ticks;
// Frames completed since the last one-second sample.
extern std::atomic<int> frame_count;
// Frames completed in the last whole second; 0 until the first sample.
extern std::atomic<int> fps;
// Whether the FPS text is shown; touched by the main loop alone.
extern bool show_fps;

constexpr int logic_steps_per_second = 50;

// Adds one pending logic step.
void logic_tick_callback();
// Moves the frame count into fps and starts counting again from 0.
void fps_sample_callback();

// Starts both callbacks with the library's timer, the tick first; false if
// the library refused either.
bool install_pacing_timers();
