// The two timer callbacks and their installation.

#include "pacing.h"

#include <allegro.h>

std::atomic<int> logic_ticks{0};
std::atomic<int> frame_count{0};
std::atomic<int> fps{0};
bool show_fps = false;

void logic_tick_callback()
{
    logic_ticks.fetch_add(1);
}

void fps_sample_callback()
{
    // One exchange: a frame counted between the read and the reset would
    // otherwise be lost.
    fps.store(frame_count.exchange(0));
}

bool install_pacing_timers()
{
    return install_int_ex(logic_tick_callback, BPS_TO_TIMER(logic_steps_per_second)) == 0 &&
           install_int_ex(fps_sample_callback, SECS_TO_TIMER(1)) == 0;
}
