/* The browser's system driver: lists the other drivers, shows the library's
 * messages on the page, and hands the files a program finishes in its
 * working folder (screenshots) to the browser as downloads, since a page
 * cannot write to the user's disk itself.
 */
#include "browser.h"

#include <dirent.h>
#include <emscripten.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

/* The page shows the text where the scene would be; without the page's
 * helper (under node, say) it goes to the error stream. */
EM_JS(void, show_message_on_page, (const char *text), {
   var message = UTF8ToString(text);
   if (Module['showMessage'])
      Module['showMessage'](message);
   else
      err(message);
});

/* A download of the file's bytes under its own name, through a link to a
 * blob that exists only inside the page: nothing leaves the machine. Says
 * whether the browser took them (a page short of memory may fail to make
 * the blob). */
EM_JS(int, download_bytes, (const char *name, const unsigned char *bytes, int size), {
   try {
      var blob = new Blob([HEAPU8.slice(bytes, bytes + size)],
                          { type: 'application/octet-stream' });
      var link = document.createElement('a');
      link.href = URL.createObjectURL(blob);
      link.download = UTF8ToString(name);
      document.body.appendChild(link);
      link.click();
      link.remove();
      setTimeout(function() { URL.revokeObjectURL(link.href); }, 60000);
      return 1;
   } catch (error) {
      return 0;
   }
});

EM_JS(int, page_can_download, (void), {
   return typeof document !== 'undefined';
});

/* The files that could not be handed over, as they were then: they stay in
 * the folder and are tried again only once the program writes them anew (a
 * screenshot is written to a new file and renamed over the old one), so
 * each failure is said once rather than at every frame. */
#define KEPT_FILES 8
static struct kept_file {
   ino_t inode;
   off_t size;
   time_t changed;
} kept[KEPT_FILES];
static int next_kept;

static int is_kept(const struct stat *info)
{
   int i;
   for (i = 0; i < KEPT_FILES; i++)
      if (kept[i].inode == info->st_ino && kept[i].size == info->st_size &&
          kept[i].changed == info->st_mtime)
         return 1;
   return 0;
}

static void keep(const char *name, const struct stat *info)
{
   char line[300];
   struct kept_file file = { info->st_ino, info->st_size, info->st_mtime };
   kept[next_kept] = file;
   next_kept = (next_kept + 1) % KEPT_FILES;
   snprintf(line, sizeof line, "%s could not be handed to the browser; save again to retry.", name);
   show_message_on_page(line);
}

/* The whole file, of the length INFO gives, or NULL when it cannot all be
 * read (or is longer by now). */
static unsigned char *read_whole(const char *name, const struct stat *info)
{
   unsigned char *bytes = malloc(info->st_size > 0 ? info->st_size : 1);
   FILE *file = fopen(name, "rb");
   int whole = bytes && file && fread(bytes, 1, info->st_size, file) == (size_t)info->st_size &&
               fgetc(file) == EOF;
   if (file)
      fclose(file);
   if (!whole) {
      free(bytes);
      return NULL;
   }
   return bytes;
}

/* Hands the regular file NAME to the browser and removes it; a file that
 * could not be read whole or handed over stays. A program writes and
 * renames a file within one frame, so at a yield every file in the folder
 * is complete. */
static void offer_file(const char *name)
{
   struct stat info;
   unsigned char *bytes;
   int handed_over;

   if (stat(name, &info) != 0 || !S_ISREG(info.st_mode) || is_kept(&info))
      return;
   bytes = read_whole(name, &info);
   handed_over = bytes && download_bytes(name, bytes, info.st_size);
   free(bytes);
   if (handed_over)
      unlink(name);
   else
      keep(name, &info);
}

void browser_offer_finished_files(void)
{
   DIR *folder;
   struct dirent *entry;

   if (!page_can_download())
      return;
   folder = opendir(".");
   if (!folder)
      return;
   while ((entry = readdir(folder)) != NULL)
      offer_file(entry->d_name);
   closedir(folder);
}

/* The program's working folder, empty and its own: the files that appear in
 * it are the ones it wrote. */
static int sys_browser_init(void)
{
   mkdir("/downloads", 0777);
   if (chdir("/downloads") != 0)
      return -1;
   os_type = OSTYPE_UNIX;
   return 0;
}

static void sys_browser_exit(void)
{
}

static void sys_browser_get_executable_name(char *output, int size)
{
   ustrzcpy(output, size, uconvert_ascii("/ribbons", NULL));
}

static void sys_browser_message(AL_CONST char *text)
{
   char *ascii = malloc(ustrsizez(text));
   if (!ascii)
      return;
   do_uconvert(text, U_CURRENT, ascii, U_ASCII, ustrsizez(text));
   show_message_on_page(ascii);
   free(ascii);
}

static int sys_browser_desktop_color_depth(void)
{
   return 16;
}

/* One thread: the library's locks have nothing to keep apart. */
static int one_mutex;
static void *sys_browser_create_mutex(void) { return &one_mutex; }
static void sys_browser_no_mutex(void *mutex) { (void)mutex; }

static _DRIVER_INFO gfx_drivers[] = {
   { GFX_BROWSER, &gfx_browser, TRUE },
   { 0, NULL, 0 }
};
static _DRIVER_INFO keyboard_drivers[] = {
   { KEYBOARD_BROWSER, &keyboard_browser, TRUE },
   { 0, NULL, 0 }
};
static _DRIVER_INFO timer_drivers[] = {
   { TIMER_BROWSER, &timer_browser, TRUE },
   { 0, NULL, 0 }
};
static _DRIVER_INFO no_drivers[] = { { 0, NULL, 0 } };

static _DRIVER_INFO *list_gfx_drivers(void) { return gfx_drivers; }
static _DRIVER_INFO *list_keyboard_drivers(void) { return keyboard_drivers; }
static _DRIVER_INFO *list_timer_drivers(void) { return timer_drivers; }
static _DRIVER_INFO *list_no_drivers(void) { return no_drivers; }

SYSTEM_DRIVER system_browser = {
   SYSTEM_BROWSER,
   empty_string,
   empty_string,
   "Browser",
   sys_browser_init,
   sys_browser_exit,
   sys_browser_get_executable_name,
   NULL,                        /* find_resource */
   NULL,                        /* set_window_title */
   NULL,                        /* set_close_button_callback: a page has none */
   sys_browser_message,
   NULL,                        /* assert */
   NULL,                        /* save_console_state */
   NULL,                        /* restore_console_state */
   NULL,                        /* create_bitmap */
   NULL,                        /* created_bitmap */
   NULL,                        /* create_sub_bitmap */
   NULL,                        /* created_sub_bitmap */
   NULL,                        /* destroy_bitmap */
   NULL,                        /* read_hardware_palette */
   NULL,                        /* set_palette_range */
   NULL,                        /* get_vtable */
   NULL,                        /* set_display_switch_mode */
   NULL,                        /* display_switch_lock */
   sys_browser_desktop_color_depth,
   NULL,                        /* get_desktop_resolution */
   NULL,                        /* get_gfx_safe_mode */
   NULL,                        /* yield_timeslice */
   sys_browser_create_mutex,
   sys_browser_no_mutex,
   sys_browser_no_mutex,
   sys_browser_no_mutex,
   list_gfx_drivers,
   list_no_drivers,             /* digital sound */
   list_no_drivers,             /* MIDI */
   list_keyboard_drivers,
   list_no_drivers,             /* mouse */
   list_no_drivers,             /* joystick */
   list_timer_drivers
};
