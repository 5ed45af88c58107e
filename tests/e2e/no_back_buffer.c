/* Preloaded into the real program to make every bitmap allocation fail, as
 * it would with no memory left for the back buffer. */

#include <stddef.h>

struct BITMAP;

struct BITMAP* create_bitmap(int width, int height)
{
    (void)width;
    (void)height;
    return NULL;
}
