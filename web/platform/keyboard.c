/* The browser's keyboard driver: the page's key events, named by the
 * physical key (KeyboardEvent.code, the same whatever the layout), become
 * the library's scancodes. The page queues them; the program takes them
 * where it yields.
 */
#include "browser.h"

#include <emscripten.h>

struct key_name {
   const char *code;
   int scancode;
};

static const struct key_name key_names[] = {
   { "KeyA", KEY_A }, { "KeyB", KEY_B }, { "KeyC", KEY_C }, { "KeyD", KEY_D },
   { "KeyE", KEY_E }, { "KeyF", KEY_F }, { "KeyG", KEY_G }, { "KeyH", KEY_H },
   { "KeyI", KEY_I }, { "KeyJ", KEY_J }, { "KeyK", KEY_K }, { "KeyL", KEY_L },
   { "KeyM", KEY_M }, { "KeyN", KEY_N }, { "KeyO", KEY_O }, { "KeyP", KEY_P },
   { "KeyQ", KEY_Q }, { "KeyR", KEY_R }, { "KeyS", KEY_S }, { "KeyT", KEY_T },
   { "KeyU", KEY_U }, { "KeyV", KEY_V }, { "KeyW", KEY_W }, { "KeyX", KEY_X },
   { "KeyY", KEY_Y }, { "KeyZ", KEY_Z },
   { "Digit0", KEY_0 }, { "Digit1", KEY_1 }, { "Digit2", KEY_2 }, { "Digit3", KEY_3 },
   { "Digit4", KEY_4 }, { "Digit5", KEY_5 }, { "Digit6", KEY_6 }, { "Digit7", KEY_7 },
   { "Digit8", KEY_8 }, { "Digit9", KEY_9 },
   { "F1", KEY_F1 }, { "F2", KEY_F2 }, { "F3", KEY_F3 }, { "F4", KEY_F4 },
   { "F5", KEY_F5 }, { "F6", KEY_F6 }, { "F7", KEY_F7 }, { "F8", KEY_F8 },
   { "F9", KEY_F9 }, { "F10", KEY_F10 }, { "F11", KEY_F11 }, { "F12", KEY_F12 },
   { "Escape", KEY_ESC }, { "Backquote", KEY_TILDE }, { "Minus", KEY_MINUS },
   { "Equal", KEY_EQUALS }, { "Backspace", KEY_BACKSPACE }, { "Tab", KEY_TAB },
   { "BracketLeft", KEY_OPENBRACE }, { "BracketRight", KEY_CLOSEBRACE },
   { "Enter", KEY_ENTER }, { "Semicolon", KEY_COLON }, { "Quote", KEY_QUOTE },
   { "Backslash", KEY_BACKSLASH }, { "IntlBackslash", KEY_BACKSLASH2 },
   { "Comma", KEY_COMMA }, { "Period", KEY_STOP }, { "Slash", KEY_SLASH },
   { "Space", KEY_SPACE }, { "Insert", KEY_INSERT }, { "Delete", KEY_DEL },
   { "Home", KEY_HOME }, { "End", KEY_END }, { "PageUp", KEY_PGUP },
   { "PageDown", KEY_PGDN }, { "ArrowLeft", KEY_LEFT }, { "ArrowRight", KEY_RIGHT },
   { "ArrowUp", KEY_UP }, { "ArrowDown", KEY_DOWN },
   { "NumpadDivide", KEY_SLASH_PAD }, { "NumpadMultiply", KEY_ASTERISK },
   { "NumpadSubtract", KEY_MINUS_PAD }, { "NumpadAdd", KEY_PLUS_PAD },
   { "NumpadDecimal", KEY_DEL_PAD }, { "NumpadEnter", KEY_ENTER_PAD },
   { "Numpad0", KEY_0_PAD }, { "Numpad1", KEY_1_PAD }, { "Numpad2", KEY_2_PAD },
   { "Numpad3", KEY_3_PAD }, { "Numpad4", KEY_4_PAD }, { "Numpad5", KEY_5_PAD },
   { "Numpad6", KEY_6_PAD }, { "Numpad7", KEY_7_PAD }, { "Numpad8", KEY_8_PAD },
   { "Numpad9", KEY_9_PAD }, { "PrintScreen", KEY_PRTSCR }, { "Pause", KEY_PAUSE },
   { "ShiftLeft", KEY_LSHIFT }, { "ShiftRight", KEY_RSHIFT },
   { "ControlLeft", KEY_LCONTROL }, { "ControlRight", KEY_RCONTROL },
   { "AltLeft", KEY_ALT }, { "AltRight", KEY_ALTGR }, { "MetaLeft", KEY_LWIN },
   { "MetaRight", KEY_RWIN }, { "ContextMenu", KEY_MENU },
   { "ScrollLock", KEY_SCRLOCK }, { "NumLock", KEY_NUMLOCK },
   { "CapsLock", KEY_CAPSLOCK },
};

EM_JS(void, name_key, (const char *code, int scancode), {
   Module['browserScancodes'] = Module['browserScancodes'] || {};
   Module['browserScancodes'][UTF8ToString(code)] = scancode;
});

/* Every key the library knows is queued, so a program may still see it, but
 * the page keeps the browser's ways with all keys but the demo's own three
 * (Esc, F1 and F12 without a modifier): Tab leaves the scene, Space and the
 * arrows scroll, Ctrl+R reloads. Those three the page takes for itself while
 * the program runs, as F1's help and F12's developer tools would cover the
 * scene. A key typed with no ASCII character gives the program no character
 * (0) rather than a wrong one. The page's on-screen controls tap a key
 * through browserTapKey. A page that loses the focus releases every held
 * key, since it will not see them go up.
 *
 * In full screen, Esc is for leaving it. Firefox and WebKit leave on it and
 * keep the press from the page; headless Chromium hands the page the press
 * while still in full screen and leaves only if the page asks. Either way an
 * Esc pressed in full screen leaves it and never reaches the program: one
 * Esc never both leaves full screen and ends the demo. */
EM_JS(void, listen_to_keys, (void), {
   var queue = Module['browserKeyQueue'] = [];
   var held = {};
   var scancodes = Module['browserScancodes'];
   var own_keys = { Escape: true, F1: true, F12: true };
   var in_full_screen = function() {
      return !!(document.fullscreenElement || document.webkitFullscreenElement);
   };
   var leave_full_screen = function() {
      var leave = document.exitFullscreen || document.webkitExitFullscreen;
      if (leave) Promise.resolve(leave.call(document)).catch(function() {});
   };
   var character = function(event) {
      var code = event.key.length == 1 ? event.key.charCodeAt(0) : 0;
      return code < 128 ? code : 0;
   };
   var handle = function(event, down) {
      var scancode = scancodes[event.code];
      if (!scancode || ABORT)
         return;
      if (event.code == 'Escape' && in_full_screen()) {
         if (down) leave_full_screen();
         return;
      }
      if (own_keys[event.code] && !event.ctrlKey && !event.altKey && !event.metaKey && !event.shiftKey)
         event.preventDefault();
      if (down && event.repeat)
         return;
      queue.push(down ? (character(event) << 8 | scancode) : -scancode);
      if (down) held[scancode] = true; else delete held[scancode];
   };
   Module['browserTapKey'] = function(code) {
      if (ABORT) return;
      queue.push(scancodes[code], -scancodes[code]);
   };
   Module['browserKeyListeners'] = {
      keydown: function(event) { handle(event, true); },
      keyup: function(event) { handle(event, false); },
      blur: function() {
         for (var scancode in held) queue.push(-scancode);
         held = {};
      }
   };
   for (var type in Module['browserKeyListeners'])
      window.addEventListener(type, Module['browserKeyListeners'][type]);
});

EM_JS(void, stop_listening_to_keys, (void), {
   for (var type in Module['browserKeyListeners'])
      window.removeEventListener(type, Module['browserKeyListeners'][type]);
   Module['browserKeyQueue'] = [];
   Module['browserTapKey'] = null;
});

/* The next queued event: ascii << 8 | scancode for a press, minus the
 * scancode for a release, 0 when there is none. It stays queued until
 * dropped. */
EM_JS(int, next_key_event, (void), {
   var queue = Module['browserKeyQueue'];
   return queue && queue.length ? queue[0] : 0;
});

EM_JS(void, drop_key_event, (void), {
   Module['browserKeyQueue'].shift();
});

EM_JS(int, page_has_keys, (void), {
   return typeof window !== 'undefined' && typeof window.addEventListener === 'function';
});

/* The program looks at the keys once a frame, so a key pressed and released
 * since its last look would come and go unseen: its release, and every
 * event after it, waits for the next yield. */
void browser_take_key_events(void)
{
   char pressed_now[KEY_MAX] = { 0 };
   int event;
   while ((event = next_key_event()) != 0) {
      if (event < 0 && pressed_now[-event])
         return;
      drop_key_event();
      if (event > 0) {
         _handle_key_press(event >> 8, event & 0xff);
         pressed_now[event & 0xff] = 1;
      }
      else {
         _handle_key_release(-event);
      }
   }
}

static int key_browser_init(void)
{
   size_t i;
   if (!page_has_keys())
      return -1;
   for (i = 0; i < sizeof key_names / sizeof key_names[0]; i++)
      name_key(key_names[i].code, key_names[i].scancode);
   listen_to_keys();
   return 0;
}

static void key_browser_exit(void)
{
   stop_listening_to_keys();
}

KEYBOARD_DRIVER keyboard_browser = {
   KEYBOARD_BROWSER,
   empty_string,
   empty_string,
   "Page keys",
   FALSE,                       /* autorepeat: held keys are reported once */
   key_browser_init,
   key_browser_exit,
   NULL, NULL, NULL, NULL, NULL, NULL, NULL
};
