// The scene: four spinning outlines, each drawn as ten stacked copies.
#pragma once

#include "shape.h"

struct BITMAP;

// The shapes are named one by one, in construction order; they are built,
// stepped and drawn in this order and destroyed in the reverse one.
struct Scene {
    Shape shape1;
    Shape shape2;
    Shape shape3;
    Shape shape4;
};

constexpr int scene_layers = 10;
constexpr int scene_layer_spacing = 4; // pixels between stacked copies

// Builds shapes 1 to 4 in order, so they take the random numbers in that
// order. The display mode must be set: the colours are made for it.
Scene build_scene();

// One logic step: spin all four shapes, then move all four.
void update_scene(Scene& scene);

// Draws one frame into `buffer`, layer by layer from the top copy down, so a
// lower copy covers the ones above it and, within a layer, a later shape
// covers an earlier one.
void draw_scene(const Scene& scene, BITMAP* buffer);
