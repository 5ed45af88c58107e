// Tests for Shape and Vertex: the circle tables, the random numbers one
// construction takes, the vertex wrap, the bounce off the screen edges and
// the outline as it lands in a bitmap.

#include "shape.h"

#include "gradient_line.h"
#include "headless_allegro.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <type_traits>
#include <vector>

static_assert(!std::is_copy_constructible_v<Shape> && !std::is_copy_assignable_v<Shape>,
              "a copied shape would release its vertex array twice");

namespace {

// The first `count` values rand() gives after srand(seed).
std::vector<int> rand_values(unsigned seed, int count)
{
    std::srand(seed);
    std::vector<int> values;
    for (int i = 0; i < count; ++i)
        values.push_back(std::rand());
    return values;
}

// A seed whose third rand() value, the one that picks the spin direction,
// leaves `remainder` when divided by 10.
unsigned seed_with_direction_remainder(int remainder)
{
    for (unsigned seed = 1;; ++seed)
        if (rand_values(seed, 3)[2] % 10 == remainder)
            return seed;
}

std::vector<int> vertex_colours(const Shape& shape)
{
    std::vector<int> colours;
    for (int i = 0; i < shape.vertex_count; ++i)
        colours.push_back(shape.vertices[i].colour);
    return colours;
}

// Where vertex i of the shape is drawn with offset (ox, oy).
struct Point {
    int x;
    int y;
};

Point vertex_point(const Shape& shape, int i, int ox, int oy)
{
    const int angle = shape.vertices[i].angle;
    return {ox + shape.x + shape.x_table[angle], oy + shape.y + shape.y_table[angle]};
}

} // namespace

class ShapeTest : public ::testing::Test {
protected:
    FakeScreen screen_; // 640x480: the size the bounce and the clipping go by
    const int colour_a = makecol(60, 110, 240);
    const int colour_b = makecol(250, 10, 40);
    const int colour_c = makecol(10, 250, 40);
};

// ---- Construction -----------------------------------------------------------

TEST_F(ShapeTest, CircleTablesUseTheShortPiLiteralAndTruncateTowardZero)
{
    const Shape shape(320, 240, 100, 0, colour_a, colour_b);
    // Full-precision pi would give x[300] 50, y[150] 49, y[210] -50;
    // flooring would give x[120] -50 and y[359] -2.
    EXPECT_EQ(shape.x_table[0], 100);
    EXPECT_EQ(shape.x_table[90], 0);
    EXPECT_EQ(shape.x_table[120], -49);
    EXPECT_EQ(shape.x_table[180], -100);
    EXPECT_EQ(shape.x_table[300], 49);
    EXPECT_EQ(shape.y_table[0], 0);
    EXPECT_EQ(shape.y_table[150], 50);
    EXPECT_EQ(shape.y_table[210], -49);
    EXPECT_EQ(shape.y_table[270], -100);
    EXPECT_EQ(shape.y_table[359], -1);
}

TEST_F(ShapeTest, RadiusZeroPutsEveryCirclePointOnTheCentre)
{
    const Shape shape(320, 240, 0, 3, colour_a, colour_b);
    for (int d = 0; d < 360; ++d) {
        EXPECT_EQ(shape.x_table[d], 0) << "degree " << d;
        EXPECT_EQ(shape.y_table[d], 0) << "degree " << d;
    }
}

TEST_F(ShapeTest, RandomValuesGoToDxDyDirectionThenAngleAndSpeedOfEachVertex)
{
    constexpr unsigned seed = 20240607;
    constexpr int vertex_count = 5;
    const std::vector<int> r = rand_values(seed, 3 + 2 * vertex_count);
    std::srand(seed);
    const Shape shape(320, 240, 100, vertex_count, colour_a, colour_b);

    EXPECT_EQ(shape.dx, r[0] % 10 - 5);
    EXPECT_EQ(shape.dy, r[1] % 10 - 5);
    const int direction = r[2] % 10 >= 5 ? 1 : -1;
    for (std::size_t i = 0; i < std::size_t{vertex_count}; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(shape.vertices[i].angle, r[3 + 2 * i] % 354 + 3);
        EXPECT_EQ(shape.vertices[i].direction, direction);
        EXPECT_EQ(shape.vertices[i].speed, r[4 + 2 * i] % 5 + 2);
    }
}

TEST_F(ShapeTest, ConstructionTakesThreeRandomValuesPlusTwoPerVertex)
{
    constexpr unsigned seed = 777;
    for (const int vertex_count : {0, 1, 7}) {
        SCOPED_TRACE(vertex_count);
        const int taken = 3 + 2 * vertex_count;
        const int expected_next = rand_values(seed, taken + 1)[static_cast<std::size_t>(taken)];
        std::srand(seed);
        const Shape shape(320, 240, 100, vertex_count, colour_a, colour_b);
        EXPECT_EQ(std::rand(), expected_next);
    }
}

TEST_F(ShapeTest, DirectionRemainderFourTurnsCounterClockwiseAndFiveClockwise)
{
    for (const auto& [remainder, direction] : {std::pair{4, -1}, std::pair{5, 1}}) {
        SCOPED_TRACE(remainder);
        std::srand(seed_with_direction_remainder(remainder));
        const Shape shape(320, 240, 100, 4, colour_a, colour_b);
        for (int i = 0; i < shape.vertex_count; ++i)
            EXPECT_EQ(shape.vertices[i].direction, direction) << "vertex " << i;
    }
}

TEST_F(ShapeTest, VertexColoursAlternateStartingWithColour1)
{
    const int a = colour_a;
    const int b = colour_b;
    const Shape odd(320, 240, 100, 7, a, b);
    EXPECT_EQ(vertex_colours(odd), (std::vector<int>{a, b, a, b, a, b, a}));
    const Shape even(320, 240, 100, 4, a, b);
    EXPECT_EQ(vertex_colours(even), (std::vector<int>{a, b, a, b}));
}

TEST_F(ShapeTest, EqualColoursGiveEveryVertexThatColour)
{
    const Shape shape(320, 240, 100, 5, colour_c, colour_c);
    EXPECT_EQ(vertex_colours(shape), std::vector<int>(5, colour_c));
}

TEST_F(ShapeTest, DefaultVertexStandsStillAtAngleZeroInWhite)
{
    const Vertex vertex;
    EXPECT_EQ(vertex.angle, 0);
    EXPECT_EQ(vertex.direction, 1);
    EXPECT_EQ(vertex.speed, 0);
    EXPECT_EQ(vertex.colour, makecol(255, 255, 255));
}

// ---- Vertex step ------------------------------------------------------------

struct StepCase {
    int angle;
    int speed;
    int direction;
    int expected;
};

int stepped(const StepCase& c)
{
    Vertex vertex;
    vertex.angle = c.angle;
    vertex.speed = c.speed;
    vertex.direction = c.direction;
    vertex.step();
    return vertex.angle;
}

TEST_F(ShapeTest, ClockwiseStepPastThreeSixtyDropsTheOvershootAndLandsOnOne)
{
    for (const StepCase& c : {StepCase{358, 5, 1, 1}, StepCase{355, 5, 1, 1},
                              StepCase{354, 5, 1, 359}, StepCase{100, 6, 1, 106}})
        EXPECT_EQ(stepped(c), c.expected) << "from " << c.angle;
}

TEST_F(ShapeTest, CounterClockwiseStepToZeroOrBelowLandsOn359)
{
    for (const StepCase& c : {StepCase{2, 6, -1, 359}, StepCase{6, 6, -1, 359},
                              StepCase{7, 6, -1, 1}, StepCase{100, 3, -1, 97}})
        EXPECT_EQ(stepped(c), c.expected) << "from " << c.angle;
}

// ---- Moving and bouncing ----------------------------------------------------

class ShapeMoveTest : public ShapeTest {
protected:
    // Puts `shape` at (x, y) moving by (dx, dy), then moves it once.
    static void move_from(Shape& shape, int x, int y, int dx, int dy)
    {
        shape.x = x;
        shape.y = y;
        shape.dx = dx;
        shape.dy = dy;
        shape.move();
    }
};

TEST_F(ShapeMoveTest, CircleReachingTheLeftOrTopEdgeExactlyBounces)
{
    Shape shape(0, 0, 50, 0, colour_a, colour_b);
    move_from(shape, 54, 240, -4, 0); // left side lands on 0
    EXPECT_EQ(shape.dx, 4);
    move_from(shape, 320, 53, 0, -3); // top lands on 0
    EXPECT_EQ(shape.dy, 3);
}

TEST_F(ShapeMoveTest, CircleReachingTheRightOrBottomEdgeExactlyBounces)
{
    Shape shape(0, 0, 50, 0, colour_a, colour_b);
    move_from(shape, 586, 240, 4, 0); // right side lands on 640
    EXPECT_EQ(shape.dx, -4);
    move_from(shape, 320, 427, 0, 3); // bottom lands on 480
    EXPECT_EQ(shape.dy, -3);
}

TEST_F(ShapeMoveTest, CircleOnePixelShortOfAnEdgeKeepsItsCourse)
{
    Shape shape(0, 0, 50, 0, colour_a, colour_b);
    move_from(shape, 585, 240, 4, 0); // right side at 639
    EXPECT_EQ(shape.dx, 4);
    move_from(shape, 55, 240, -4, 0); // left side at 1
    EXPECT_EQ(shape.dx, -4);
    move_from(shape, 320, 426, 0, 3); // bottom at 479
    EXPECT_EQ(shape.dy, 3);
}

TEST_F(ShapeMoveTest, BounceIsTestedAfterTheMoveAndNeverClamps)
{
    Shape shape(0, 0, 100, 0, colour_a, colour_b);
    move_from(shape, 538, 240, 4, 0);
    EXPECT_EQ(shape.x, 542);
    EXPECT_EQ(shape.dx, -4);
    shape.move();
    EXPECT_EQ(shape.x, 538);
    EXPECT_EQ(shape.dx, -4);
}

TEST_F(ShapeMoveTest, CircleLargerThanTheScreenBouncesTwiceAndKeepsItsCourse)
{
    Shape shape(0, 0, 400, 0, colour_a, colour_b);
    move_from(shape, 300, 240, 2, -3);
    EXPECT_EQ(shape.x, 302);
    EXPECT_EQ(shape.dx, 2);
    EXPECT_EQ(shape.y, 237);
    EXPECT_EQ(shape.dy, -3);
}

// ---- Drawing ----------------------------------------------------------------

class ShapeDrawTest : public ShapeTest {
protected:
    Bitmap drawn_{640, 480};
    Bitmap expected_{640, 480};

    static void set_vertex(Shape& shape, int i, int angle, int colour)
    {
        shape.vertices[i].angle = angle;
        shape.vertices[i].colour = colour;
    }

    // Draws edge i -> j of `shape` into expected_ the way the outline should.
    void expect_edge(const Shape& shape, int i, int j, int ox, int oy)
    {
        const Point from = vertex_point(shape, i, ox, oy);
        const Point to = vertex_point(shape, j, ox, oy);
        gradient_line(expected_, from.x, from.y, to.x, to.y, shape.vertices[i].colour,
                      shape.vertices[j].colour);
    }
};

TEST_F(ShapeDrawTest, ShapeWithoutVerticesDrawsNothing)
{
    Shape shape(320, 240, 100, 0, colour_a, colour_b);
    shape.spin();
    shape.draw(0, 0, drawn_);
    EXPECT_EQ(drawn_.count_not(0), 0);
}

TEST_F(ShapeDrawTest, SingleVertexIsOnePointAtItsOffsetPositionInItsColour)
{
    Shape shape(200, 200, 130, 1, colour_a, colour_b);
    set_vertex(shape, 0, 0, colour_c);
    shape.draw(0, 12, drawn_);
    EXPECT_EQ(drawn_.pixel(330, 212), colour_c);
    EXPECT_EQ(drawn_.count_not(0), 1);
}

TEST_F(ShapeDrawTest, TwoVerticesDrawOneSegmentTwiceGradedInOppositeSenses)
{
    Shape shape(320, 240, 100, 2, colour_a, colour_b);
    set_vertex(shape, 0, 10, colour_a);
    set_vertex(shape, 1, 200, colour_b);
    shape.draw(0, 0, drawn_);
    expect_edge(shape, 0, 1, 0, 0);
    expect_edge(shape, 1, 0, 0, 0);
    EXPECT_EQ(differing_pixels(drawn_, expected_), 0);
}

TEST_F(ShapeDrawTest, EdgesJoinEachVertexToTheNextInIndexOrderAndCloseTheOutline)
{
    Shape shape(300, 220, 130, 3, colour_a, colour_b);
    set_vertex(shape, 0, 40, colour_a);
    set_vertex(shape, 1, 300, colour_b); // out of angle order on purpose
    set_vertex(shape, 2, 170, colour_c);
    shape.draw(7, 12, drawn_);
    for (int i = 0; i < 3; ++i)
        expect_edge(shape, i, (i + 1) % 3, 7, 12);
    EXPECT_EQ(differing_pixels(drawn_, expected_), 0);
}

TEST_F(ShapeDrawTest, EdgeStartsInItsVertexColourOverTheEndOfThePreviousEdge)
{
    // Short edges between pure colours: the end of an edge then differs
    // visibly from the colour it grades toward.
    const int red = makecol(255, 0, 0);
    const int green = makecol(0, 255, 0);
    const int blue = makecol(0, 0, 255);
    Shape shape(300, 220, 8, 3, red, green);
    set_vertex(shape, 0, 40, red);
    set_vertex(shape, 1, 160, green);
    set_vertex(shape, 2, 280, blue);
    shape.draw(0, 0, drawn_);
    const Point second = vertex_point(shape, 1, 0, 0);
    const Point third = vertex_point(shape, 2, 0, 0);
    EXPECT_EQ(drawn_.pixel(second.x, second.y), green);
    EXPECT_EQ(drawn_.pixel(third.x, third.y), blue);
}
