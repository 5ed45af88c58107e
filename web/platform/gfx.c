/* The browser's graphics driver: the screen is a 16-bit linear bitmap in
 * the program's memory, shown on the page's <canvas>. Every copy from a
 * memory bitmap onto the screen (the program's back buffer, once a frame)
 * hands the screen to the canvas and yields to the browser until its next
 * frame; that is where the page's events and time reach the program.
 */
#include "browser.h"

#include <emscripten.h>
#include <stdint.h>
#include <stdlib.h>

static uint16_t *screen_pixels;
static uint32_t *canvas_pixels;  /* RGBA bytes, as the canvas takes them */
static uint32_t canvas_colour[1 << 16];
static void (*library_blit_from_memory)(BITMAP *, BITMAP *, int, int, int, int, int, int);

EM_JS(int, prepare_canvas, (int width, int height), {
   var canvas = Module['canvas'];
   if (!canvas || !canvas.getContext)
      return 0;
   canvas.width = width;
   canvas.height = height;
   Module['canvasContext'] = canvas.getContext('2d', { alpha: false });
   return Module['canvasContext'] ? 1 : 0;
});

EM_JS(void, put_on_canvas, (const uint32_t *pixels, int width, int height), {
   var bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4);
   Module['canvasContext'].putImageData(new ImageData(bytes, width, height), 0, 0);
});

/* A hidden page gets no frames: the program waits until it is shown again. */
EM_ASYNC_JS(void, wait_for_browser_frame, (void), {
   await new Promise(function(resolve) { requestAnimationFrame(resolve); });
});

/* The colour the library itself gives each 16-bit pixel when it converts
 * one (getr16 and its kin, as save_bmp writes them), so the canvas shows the
 * very colours of a screenshot. */
static void make_canvas_colours(void)
{
   int pixel;
   for (pixel = 0; pixel < (1 << 16); pixel++)
      canvas_colour[pixel] = (uint32_t)getr16(pixel) | (uint32_t)getg16(pixel) << 8 |
                             (uint32_t)getb16(pixel) << 16 | 0xff000000u;
}

static void show_screen(void)
{
   int i, count = SCREEN_W * SCREEN_H;
   for (i = 0; i < count; i++)
      canvas_pixels[i] = canvas_colour[screen_pixels[i]];
   put_on_canvas(canvas_pixels, SCREEN_W, SCREEN_H);
}

void browser_yield_for_frame(void)
{
   wait_for_browser_frame();
   browser_take_key_events();
   browser_run_timers();
   browser_offer_finished_files();
}

static void blit_and_present(BITMAP *source, BITMAP *dest, int source_x, int source_y,
                             int dest_x, int dest_y, int width, int height)
{
   library_blit_from_memory(source, dest, source_x, source_y, dest_x, dest_y, width, height);
   show_screen();
   browser_yield_for_frame();
}

static void release_screen(void)
{
   free(screen_pixels);
   free(canvas_pixels);
   screen_pixels = NULL;
   canvas_pixels = NULL;
}

static BITMAP *gfx_browser_init(int w, int h, int v_w, int v_h, int color_depth)
{
   BITMAP *bitmap;

   if (color_depth != 16 || (v_w != 0 && v_w != w) || (v_h != 0 && v_h != h)) {
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE,
               get_config_text("The page shows 16-bit colour only, without a virtual screen"));
      return NULL;
   }
   screen_pixels = calloc((size_t)w * h, sizeof *screen_pixels);
   canvas_pixels = calloc((size_t)w * h, sizeof *canvas_pixels);
   if (!screen_pixels || !canvas_pixels || !prepare_canvas(w, h)) {
      release_screen();
      ustrzcpy(allegro_error, ALLEGRO_ERROR_SIZE, get_config_text("No canvas to draw on"));
      return NULL;
   }
   gfx_browser.w = w;
   gfx_browser.h = h;
   bitmap = _make_bitmap(w, h, (uintptr_t)screen_pixels, &gfx_browser, 16, w * 2);
   if (!bitmap) {
      release_screen();
      return NULL;
   }
   /* The screen's own copy of the 16-bit table: only its copies present. */
   library_blit_from_memory = _screen_vtable.blit_from_memory;
   _screen_vtable.blit_from_memory = blit_and_present;
   make_canvas_colours();
   return bitmap;
}

static void gfx_browser_exit(BITMAP *bitmap)
{
   (void)bitmap;
   release_screen();
}

GFX_DRIVER gfx_browser = {
   GFX_BROWSER,
   empty_string,
   empty_string,
   "Canvas",
   gfx_browser_init,
   gfx_browser_exit,
   NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
   NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
   0, 0,                        /* w, h: set by init */
   TRUE,                        /* linear */
   0, 0, 0, 0,
   TRUE                         /* windowed: a page, not the whole display */
};
