// ribbons: four spinning polygon outlines drift and bounce across a 640x480
// window, each drawn as ten stacked colour-graded copies. Esc or the window's
// close button quits, as do Ctrl+C and the other stop signals; F1 shows the
// frame rate, F12 saves "screenshot.bmp".

#include "close_button.h"
#include "main_loop.h"
#include "scene.h"
#include "startup.h"
#include "stop_signals.h"

#include <allegro.h>

#include <cstdlib>
#include <ctime>
#include <new>

int main()
{
    // Seeded first, so every run starts with different shapes.
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    hold_stop_signals();
    if (!start_library() || !open_display())
        return EXIT_FAILURE;
    handle_stop_signals();
    install_keys();
    install_close_button();
    BITMAP* buffer = create_back_buffer();
    if (!buffer)
        return EXIT_FAILURE;
    try {
        Scene scene = build_scene();
        run_main_loop(
            buffer, [&] { update_scene(scene); }, [&] { draw_scene(scene, buffer); });
        // The buffer goes first; the shapes follow as `scene` leaves scope,
        // in reverse order of construction.
        destroy_bitmap(buffer);
    } catch (const std::bad_alloc&) {
        // Only a shape's vertex array can fail to allocate; the shapes built
        // so far are already gone. Say so rather than abort.
        allegro_message("Error building the scene: not enough memory\n");
        destroy_bitmap(buffer);
        return EXIT_FAILURE;
    }
    end_if_stopped();
    // The library shuts itself down at exit.
    return EXIT_SUCCESS;
}
END_OF_MAIN()
