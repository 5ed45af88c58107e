/* Preloaded into the real program to make the library refuse every display
 * mode, as a machine without a 640x480 16-bit mode would. No display this
 * test can start refuses that mode by itself, so the refusal is staged here,
 * with the library's own error text filled in the way the library does. */

#include <string.h>

/* Weak, so that a program the library starts inherits this preload harmlessly. */
extern char allegro_error[] __attribute__((weak));

int set_gfx_mode(int card, int w, int h, int v_w, int v_h)
{
    (void)card;
    (void)w;
    (void)h;
    (void)v_w;
    (void)v_h;
    strcpy(allegro_error, "640x480x16 refused by the test");
    return -1;
}
