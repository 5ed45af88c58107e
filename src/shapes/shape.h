// Spinning polygon outlines: a centre that drifts and bounces off the screen
// edges, and vertices that travel round a circle about it, each at its own
// speed. The outline joins the vertices in index order, so it folds and
// crosses itself as they overtake one another.
#pragma once

struct BITMAP;

class Vertex {
public:
    // Angle 0, turning clockwise, standing still, white. Needs the colour
    // depth to be set, since white is made for the current depth.
    Vertex();

    // Advances the angle by one logic step, wrapping into 1..359.
    void step();

    int angle;     // whole degrees, the index into the shape's circle tables
    int direction; // +1 clockwise on screen, -1 counter-clockwise
    int speed;     // degrees per logic step
    int colour;    // outline colour at this vertex
};

class Shape {
public:
    // Builds a shape centred at (x, y) with `vertex_count` (0 or more)
    // vertices on a circle of `radius`, coloured alternately colour1, colour2.
    // Takes 3 + 2 * vertex_count values from rand(): dx, dy, the spin
    // direction, then angle and speed of each vertex.
    Shape(int x, int y, int radius, int vertex_count, int colour1, int colour2);
    ~Shape();

    // A copy would share the vertex array and release it twice.
    Shape(const Shape&) = delete;
    Shape& operator=(const Shape&) = delete;

    // Steps every vertex once.
    void spin();
    // Moves the centre by (dx, dy), then reverses each velocity component
    // whose circle touches or crosses a screen edge.
    void move();
    // Draws the outline shifted by (ox, oy): one graded edge from each vertex
    // to the next, the last joining back to the first.
    void draw(int ox, int oy, BITMAP* bitmap) const;

    int radius;
    int x;
    int y;
    int x_table[360]; // horizontal offset of the circle point at each degree
    int y_table[360]; // vertical offset of the circle point at each degree
    int vertex_count;
    Vertex* vertices; // owned: allocated by the constructor, freed by the destructor
    int colour1;
    int colour2;
    int dx; // pixels per logic step
    int dy;
};
