// The display going away under the demo: the X server ending at logout, or
// Xwayland crashing. The demo then ends with status 1 and one line saying
// so, instead of a crash a desktop's crash reporter would show. Only under X
// can that happen; on Windows and in the browser this does nothing. Each has
// its own source file, chosen by the build.
#pragma once

// Before the library starts, so that a display lost while it starts up is
// met the same way.
void end_cleanly_if_display_goes_away();
