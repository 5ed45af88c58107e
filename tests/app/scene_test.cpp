// Tests for the scene: which shapes it builds and in what order they take
// their random numbers, one logic step, and how the ten stacked copies of the
// four shapes cover one another in a frame.

#include "scene.h"

#include "gradient_line.h"
#include "headless_allegro.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

namespace {

constexpr unsigned seed = 4242;

Scene seeded_scene()
{
    std::srand(seed);
    return build_scene();
}

std::array<Shape*, 4> shapes_of(Scene& scene)
{
    return {&scene.shape1, &scene.shape2, &scene.shape3, &scene.shape4};
}

void expect_same_shape(const Shape& actual, const Shape& expected)
{
    EXPECT_EQ(actual.x, expected.x);
    EXPECT_EQ(actual.y, expected.y);
    EXPECT_EQ(actual.radius, expected.radius);
    EXPECT_EQ(actual.colour1, expected.colour1);
    EXPECT_EQ(actual.colour2, expected.colour2);
    EXPECT_EQ(actual.dx, expected.dx);
    EXPECT_EQ(actual.dy, expected.dy);
    ASSERT_EQ(actual.vertex_count, expected.vertex_count);
    for (int i = 0; i < actual.vertex_count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(actual.vertices[i].angle, expected.vertices[i].angle);
        EXPECT_EQ(actual.vertices[i].direction, expected.vertices[i].direction);
        EXPECT_EQ(actual.vertices[i].speed, expected.vertices[i].speed);
        EXPECT_EQ(actual.vertices[i].colour, expected.vertices[i].colour);
    }
}

// Turns `shape` into a single point at (x, y) in `colour`.
void make_point(Shape& shape, int x, int y, int colour)
{
    shape.vertex_count = 1; // the array stays allocated at its full size
    shape.vertices[0].angle = 0;
    shape.vertices[0].colour = colour;
    shape.x = x - shape.x_table[0];
    shape.y = y - shape.y_table[0];
}

void hide(Shape& shape)
{
    shape.vertex_count = 0;
}

} // namespace

class SceneTest : public ::testing::Test {
protected:
    FakeScreen screen_;
    Bitmap frame_{640, 480};
    Scene scene_ = seeded_scene();
    const int colour_a = makecol(250, 10, 40);
    const int colour_b = makecol(10, 250, 40);
};

TEST_F(SceneTest, ShapesAreBuiltOneAfterAnotherFromOneRandomSequence)
{
    std::srand(seed);
    const Shape shape1(200, 200, 130, 7, makecol(60, 110, 240), makecol(250, 10, 40));
    const Shape shape2(300, 300, 100, 6, makecol(220, 250, 30), makecol(220, 100, 40));
    const Shape shape3(400, 300, 150, 4, makecol(10, 80, 10), makecol(160, 250, 50));
    const Shape shape4(140, 140, 120, 5, makecol(250, 250, 10), makecol(0, 250, 250));
    const std::array<const Shape*, 4> expected = {&shape1, &shape2, &shape3, &shape4};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i + 1);
        expect_same_shape(*shapes_of(scene_)[i], *expected[i]);
    }
}

TEST_F(SceneTest, LogicStepSpinsAndMovesEveryShapeOnce)
{
    Scene by_hand = seeded_scene();
    // Enough steps for every shape to meet an edge at least once.
    for (int step = 0; step < 300; ++step) {
        update_scene(scene_);
        for (Shape* shape : shapes_of(by_hand)) {
            shape->spin();
            shape->move();
        }
    }
    const std::array<Shape*, 4> stepped = shapes_of(scene_);
    const std::array<Shape*, 4> expected = shapes_of(by_hand);
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i + 1);
        expect_same_shape(*stepped[i], *expected[i]);
    }
}

TEST_F(SceneTest, FrameIsEveryEdgeOfTenCopiesDrawnLayerByLayer)
{
    draw_scene(scene_, frame_);

    Bitmap expected(640, 480);
    int lines = 0;
    for (int layer = 0; layer < 10; ++layer) {
        for (Shape* shape : shapes_of(scene_)) {
            const int n = shape->vertex_count;
            for (int i = 0; i < n; ++i) {
                const Vertex& from = shape->vertices[i];
                const Vertex& to = shape->vertices[(i + 1) % n];
                gradient_line(expected, shape->x + shape->x_table[from.angle],
                              4 * layer + shape->y + shape->y_table[from.angle],
                              shape->x + shape->x_table[to.angle],
                              4 * layer + shape->y + shape->y_table[to.angle], from.colour,
                              to.colour);
                ++lines;
            }
        }
    }
    EXPECT_EQ(lines, 220);
    EXPECT_EQ(differing_pixels(frame_, expected), 0);
}

TEST_F(SceneTest, EveryShapeIsDrawnAsTenCopiesFourPixelsApart)
{
    make_point(scene_.shape1, 300, 100, colour_a);
    hide(scene_.shape2);
    hide(scene_.shape3);
    hide(scene_.shape4);
    draw_scene(scene_, frame_);
    for (int layer = 0; layer < 10; ++layer)
        EXPECT_EQ(frame_.pixel(300, 100 + 4 * layer), colour_a) << "layer " << layer;
    EXPECT_EQ(frame_.count_not(0), 10);
}

TEST_F(SceneTest, LowerCopyOfAnEarlierShapeCoversTheCopyAboveIt)
{
    // Shape 1's second copy lands where shape 2's first copy is.
    make_point(scene_.shape1, 300, 100, colour_a);
    make_point(scene_.shape2, 300, 104, colour_b);
    hide(scene_.shape3);
    hide(scene_.shape4);
    draw_scene(scene_, frame_);
    EXPECT_EQ(frame_.pixel(300, 104), colour_a);
}

TEST_F(SceneTest, WithinALayerTheLaterShapeCoversTheEarlierOne)
{
    const std::array<Shape*, 4> shapes = shapes_of(scene_);
    for (std::size_t later = 1; later < 4; ++later) {
        SCOPED_TRACE(later + 1);
        for (Shape* shape : shapes)
            hide(*shape);
        make_point(*shapes[later - 1], 300, 100, colour_a);
        make_point(*shapes[later], 300, 100, colour_b);
        clear_to_color(frame_, 0);
        draw_scene(scene_, frame_);
        EXPECT_EQ(frame_.pixel(300, 100), colour_b);
    }
}
