// F12's screenshot, written whole or not at all.
//
// The frame goes to a new file beside the screenshot and is renamed over it
// only once every byte is on the disk, so a save that fails half way (a full
// disk, no memory left) or cannot start (a read-only folder) leaves the
// previous screenshot as it was and no partial file behind. Either way the demo goes on; a failure
// is told in one line on standard error, with the system's reason.
#pragma once

struct BITMAP;

// Saves `picture` as the BMP file `file_name`; false, once it has said why,
// when it could not.
bool save_screenshot(BITMAP* picture, const char* file_name);

// Waits for a save in progress, if any, to finish, and holds every later one
// back for good: for a program about to end at once, from another thread.
void let_the_last_save_finish();
