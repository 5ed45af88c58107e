// The four shapes' starting parameters, and the order in which they are
// stepped and drawn.

#include "scene.h"

#include <allegro.h>

Scene build_scene()
{
    // Braced initialisation constructs the members strictly in order, and
    // destroys those already built if a later one fails.
    return Scene{
        Shape(200, 200, 130, 7, makecol(60, 110, 240), makecol(250, 10, 40)),
        Shape(300, 300, 100, 6, makecol(220, 250, 30), makecol(220, 100, 40)),
        Shape(400, 300, 150, 4, makecol(10, 80, 10), makecol(160, 250, 50)),
        Shape(140, 140, 120, 5, makecol(250, 250, 10), makecol(0, 250, 250)),
    };
}

void update_scene(Scene& scene)
{
    scene.shape1.spin();
    scene.shape2.spin();
    scene.shape3.spin();
    scene.shape4.spin();
    scene.shape1.move();
    scene.shape2.move();
    scene.shape3.move();
    scene.shape4.move();
}

void draw_scene(const Scene& scene, BITMAP* buffer)
{
    for (int layer = 0; layer < scene_layers; ++layer) {
        const int oy = scene_layer_spacing * layer;
        scene.shape1.draw(0, oy, buffer);
        scene.shape2.draw(0, oy, buffer);
        scene.shape3.draw(0, oy, buffer);
        scene.shape4.draw(0, oy, buffer);
    }
}
