// The program's scene replayed in memory from a seed, one logic step at a
// time, to find the step a screenshot shows. The Linux end-to-end test uses
// it directly; the Windows build runs it under Wine, so that the shapes draw
// their random numbers from Windows' own `rand`, as ribbons.exe does.
#pragma once

// The harness first: its parameter named `screen` would otherwise shadow the
// library's global of that name.
#include "x_harness.h"

#include "headless_allegro.h"
#include "scene.h"

#include <optional>
#include <string>

// The scene built after seeding the random generator with `seed`, on a
// 640x480 stand-in screen (the size the shapes bounce in).
class Replay {
public:
    explicit Replay(unsigned seed);

    int steps() const { return steps_; }

    // Steps on until the frame drawn after the pending steps of a pass
    // matches `picture` exactly; that step count, or nullopt past `last_step`.
    // The next search starts at the step after a match, so what it finds is
    // a later frame.
    std::optional<int> find(const Picture& picture, int last_step);

    // Where the replay came closest when nothing matched.
    std::string closest() const;

private:
    void step();
    // The pass's frame: the buffer was cleared to black by the pass before.
    void draw();
    // Differing pixels, counted up to `limit`.
    int differences(const Picture& picture, int limit) const;

    FakeScreen screen_; // first: it starts the library, and makecol needs it
    Bitmap frame_{640, 480};
    Scene scene_;
    int steps_ = 0;
    int best_differing_ = 640 * 480;
    int best_step_ = -1;
};
