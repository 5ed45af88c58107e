/* The library's browser platform: a system, graphics, keyboard and timer
 * driver for a program compiled to WebAssembly and run in a web page. There
 * are no threads: the page's events and the passing of time reach the
 * library only where the program hands a frame to the page and yields to
 * the browser (see browser_present), which the build makes possible by
 * letting the program's stack unwind and resume there (emscripten's
 * ASYNCIFY).
 */
#ifndef BROWSER_PLATFORM_H
#define BROWSER_PLATFORM_H

#include "allegro.h"
#include "allegro/internal/aintern.h"

#define SYSTEM_BROWSER     AL_ID('B','R','W','S')
#define GFX_BROWSER        AL_ID('B','C','N','V')
#define KEYBOARD_BROWSER   AL_ID('B','K','E','Y')
#define TIMER_BROWSER      AL_ID('B','T','I','M')

extern SYSTEM_DRIVER system_browser;
extern GFX_DRIVER gfx_browser;
extern KEYBOARD_DRIVER keyboard_browser;
extern TIMER_DRIVER timer_browser;

/* Waits for the browser's next frame, then lets everything that happened
 * meanwhile in: key events, the timer's callbacks for the time gone by, and
 * the files the program finished, offered to the user as downloads. */
void browser_yield_for_frame(void);

/* Each of these catches up with the page and the clock; called after every
 * yield. */
void browser_take_key_events(void);
void browser_run_timers(void);
void browser_offer_finished_files(void);

#endif
