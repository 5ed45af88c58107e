// Start-up of the library, the timers, the display, the keyboard and the
// scene. Each step that can fail says why through the library's message box
// (the terminal when there is no window system) and returns false or null,
// so the program can end with status 1 instead of carrying on into a crash
// or a demo that cannot move or be ended.
#pragma once

#include "scene.h"

#include <memory>

struct BITMAP;

constexpr int screen_width = 640;
constexpr int screen_height = 480;
constexpr int colour_depth = 16;

// Starts the library, its timer module and the two pacing callbacks.
bool start_library();

// Sets the 640x480 16-bit mode.
bool open_display();

// Installs the keyboard, without the library's Ctrl+Alt+End abort.
bool install_keys();

// A black back buffer the size of the screen, or null when there is no memory.
BITMAP* create_back_buffer();

// The scene, or null when there is no memory for its shapes. Only building is
// guarded here: a screenshot that runs out of memory is a failed save, which
// the save itself reports while the demo goes on.
std::unique_ptr<Scene> build_scene_or_say_why();
