// ribbons: four spinning polygon outlines drift and bounce across a 640x480
// window, each drawn as ten stacked colour-graded copies. Esc or the window's
// close button quits, as do Ctrl+C and the other stop signals; F1 shows the
// frame rate, F12 saves "screenshot.bmp".

#include "close_button.h"
#include "display_loss.h"
#include "main_loop.h"
#include "scene.h"
#include "startup.h"
#include "stop_signals.h"

#include <allegro.h>

#include <cstdlib>
#include <ctime>
#include <memory>

int main()
{
    // Seeded first, so every run starts with different shapes.
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    hold_stop_signals();
    end_cleanly_if_display_goes_away();
    if (!start_library() || !open_display())
        return EXIT_FAILURE;
    if (!install_keys())
        return EXIT_FAILURE;
    install_close_button();
    BITMAP* buffer = create_back_buffer();
    if (!buffer)
        return EXIT_FAILURE;
    std::unique_ptr<Scene> scene = build_scene_or_say_why();
    if (!scene) {
        destroy_bitmap(buffer);
        return EXIT_FAILURE;
    }
    handle_stop_signals();
    run_main_loop(
        buffer, [&] { update_scene(*scene); }, [&] { draw_scene(*scene, buffer); });
    // The buffer goes first, then the shapes, in reverse order of
    // construction; the library follows at exit, and then a stop signal ends
    // the process.
    destroy_bitmap(buffer);
    scene.reset();
    end_if_stopped();
    // The library shuts itself down at exit.
    return EXIT_SUCCESS;
}
END_OF_MAIN()
