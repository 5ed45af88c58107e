// The colour-graded line: the one drawing primitive of the demo.
//
// A line is walked pixel by pixel from its first point to its second, and its
// colour runs from the first colour toward the second. Each pixel is packed to
// 16 bits and written straight into the bitmap's rows, clipped on its own.
#pragma once

struct BITMAP;

// Number of pixels gradient_line plots from (x1, y1) to (x2, y2): the length
// of the longer axis plus one, so a single point has 1.
int line_pixel_count(int x1, int y1, int x2, int y2);

// Stores the low 16 bits of `colour` at (x, y) when the point lies on the
// screen and inside the bitmap; does nothing otherwise (also when no
// graphics driver is active, since the screen then has no size).
void put_pixel16(BITMAP* bitmap, int x, int y, int colour);

// Draws the line from (x1, y1) to (x2, y2), both ends included, into a 16-bit
// memory bitmap. The first pixel takes colour1; each later pixel moves one
// equal step toward colour2, which only a single-point line reaches.
// Twice each delta must fit in an int.
void gradient_line(BITMAP* bitmap, int x1, int y1, int x2, int y2, int colour1,
                   int colour2);
