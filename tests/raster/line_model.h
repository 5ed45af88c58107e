// What a colour-graded line is, stated independently of how gradient_line
// walks it, and a probe that finds what a drawn line actually wrote: the two
// sides the line tests hold against each other.
#pragma once

#include <ostream>
#include <vector>

struct Line {
    int x1, y1, x2, y2;
    int colour1, colour2;
};

struct Pixel {
    int x, y;
    int value; // packed 16-bit colour

    bool operator==(const Pixel& other) const
    {
        return x == other.x && y == other.y && value == other.value;
    }
};

// The pixels of the line that lie on the screen, in scan order (by row, then
// column). Pixel k of the walk lies k steps along the major axis from the
// first point, at the minor position nearest the exact line, halves going
// toward the end point. Its colour is the first colour advanced by k
// additions of the step (k + 1 for a single point), truncated toward zero.
std::vector<Pixel> expected_pixels(const Line& line);

// The pixels gradient_line writes into a width x height bitmap, in scan
// order. The line is drawn on a black and on a white bitmap, so a pixel
// written in the background's colour is still found.
std::vector<Pixel> written_pixels(const Line& line, int width, int height);

// The 5-, 6- and 5-bit fields of a packed pixel, in the display's layout.
struct Fields {
    int r, g, b;
    bool operator==(const Fields& other) const
    {
        return r == other.r && g == other.g && b == other.b;
    }
};
Fields fields_of(int pixel);

inline void PrintTo(const Pixel& pixel, std::ostream* out)
{
    *out << "(" << pixel.x << ", " << pixel.y << ": 0x" << std::hex << pixel.value << std::dec
         << ")";
}

inline void PrintTo(const Fields& fields, std::ostream* out)
{
    *out << "{" << fields.r << ", " << fields.g << ", " << fields.b << "}";
}
