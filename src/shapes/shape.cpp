// Construction, motion and drawing of the spinning outlines. All trigonometry
// happens once, in the constructor's circle tables; after that a shape only
// adds integers and looks them up.

#include "shape.h"

#include "gradient_line.h"

#include <allegro.h>

#include <cmath>
#include <cstdlib>

namespace {

// Degrees to radians with this literal rather than full-precision pi: the
// tables must hold exactly the offsets it gives.
constexpr double pi_approximation = 3.14159265;

double degrees_to_radians(int degrees)
{
    return (degrees * pi_approximation) / 180.0;
}

} // namespace

Vertex::Vertex() : angle(0), direction(1), speed(0), colour(makecol(255, 255, 255)) {}

void Vertex::step()
{
    angle += speed * direction;
    // Overshoot is dropped on purpose: the wrap lands on 1 or 359, never 0.
    if (angle >= 360)
        angle = 1;
    if (angle <= 0)
        angle = 359;
}

Shape::Shape(int x_, int y_, int radius_, int vertex_count_, int colour1_, int colour2_)
    : radius(radius_), x(x_), y(y_), x_table(), y_table(), vertex_count(0),
      vertices(nullptr), colour1(colour1_), colour2(colour2_), dx(0), dy(0)
{
    // The order of the rand() calls below is fixed: a seed must always give
    // the same shapes.
    dx = std::rand() % 10 - 5;
    dy = std::rand() % 10 - 5;

    vertex_count = vertex_count_;
    vertices = new Vertex[static_cast<std::size_t>(vertex_count)];

    for (int d = 0; d < 360; ++d) {
        const double angle = degrees_to_radians(d);
        x_table[d] = static_cast<int>(std::cos(angle) * radius);
        y_table[d] = static_cast<int>(std::sin(angle) * radius);
    }

    const int direction = std::rand() % 10 >= 5 ? 1 : -1;
    int colour = colour1;
    for (int i = 0; i < vertex_count; ++i) {
        Vertex& vertex = vertices[i];
        vertex.angle = std::rand() % 354 + 3;
        vertex.direction = direction;
        vertex.speed = std::rand() % 5 + 2;
        vertex.colour = colour;
        colour = colour == colour1 ? colour2 : colour1;
    }
}

Shape::~Shape()
{
    delete[] vertices;
}

void Shape::spin()
{
    for (int i = 0; i < vertex_count; ++i)
        vertices[i].step();
}

void Shape::move()
{
    x += dx;
    y += dy;
    // Tested after the move and never clamped: the circle may poke past an
    // edge by one step, and the reversed velocity brings it back. Each test
    // negates on its own, so a shape wider than the screen keeps its course.
    if (x + radius >= SCREEN_W)
        dx = -dx;
    if (x - radius <= 0)
        dx = -dx;
    if (y + radius >= SCREEN_H)
        dy = -dy;
    if (y - radius <= 0)
        dy = -dy;
}

void Shape::draw(int ox, int oy, BITMAP* bitmap) const
{
    for (int i = 0; i < vertex_count; ++i) {
        const Vertex& from = vertices[i];
        const Vertex& to = vertices[i + 1 < vertex_count ? i + 1 : 0];
        gradient_line(bitmap, ox + x + x_table[from.angle], oy + y + y_table[from.angle],
                      ox + x + x_table[to.angle], oy + y + y_table[to.angle], from.colour,
                      to.colour);
    }
}
