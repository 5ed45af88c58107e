/* The browser's timer driver, without a thread: where the program yields,
 * the time gone by since the last yield runs the library's timer callbacks,
 * as many times as they fell due. A page hidden in the background gets no
 * frames; shown again, it skips the time it was away, as a laptop waking up
 * does, instead of racing through every callback it missed.
 */
#include "browser.h"

#include <emscripten.h>

/* Longer gaps between two yields are cut to this (a quarter of a second). */
#define LONGEST_GAP_MS 250.0

static double last_yield_ms;
static double owed_ticks;      /* the fraction of a timer tick not yet run */

void browser_run_timers(void)
{
   const double now = emscripten_get_now();
   double gap = now - last_yield_ms;
   long ticks;

   if (!timer_driver || timer_driver->id != TIMER_BROWSER)
      return;
   last_yield_ms = now;
   if (gap > LONGEST_GAP_MS)
      gap = LONGEST_GAP_MS;
   if (gap < 0)
      gap = 0;
   owed_ticks += gap * (TIMERS_PER_SECOND / 1000.0);
   ticks = (long)owed_ticks;
   owed_ticks -= ticks;
   if (ticks > 0)
      _handle_timer_tick(ticks);
}

EM_ASYNC_JS(void, wait_ms, (double ms), {
   await new Promise(function(resolve) { setTimeout(resolve, ms); });
});

/* rest() sleeps in the browser instead of spinning, letting time pass. */
static void timer_browser_rest(unsigned int ms, void (*callback)(void))
{
   const double until = emscripten_get_now() + ms;
   while (emscripten_get_now() < until) {
      if (callback) {
         callback();
         wait_ms(0);
      }
      else {
         wait_ms(until - emscripten_get_now());
      }
      browser_take_key_events();
      browser_run_timers();
   }
}

static int timer_browser_init(void)
{
   last_yield_ms = emscripten_get_now();
   owed_ticks = 0;
   return 0;
}

static void timer_browser_exit(void)
{
}

TIMER_DRIVER timer_browser = {
   TIMER_BROWSER,
   empty_string,
   empty_string,
   "Page clock",
   timer_browser_init,
   timer_browser_exit,
   NULL, NULL, NULL, NULL,      /* callbacks kept in the library's own queue */
   NULL, NULL,                  /* no retrace to simulate */
   timer_browser_rest
};
