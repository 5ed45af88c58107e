#!/usr/bin/env bash
# Installs what is missing, builds ribbons and starts it.
#
# With no display (a server, a container, CI) the demo runs on a virtual X
# display instead: once its window shows a frame, F12 saves a screenshot,
# then Esc ends it.
# The screenshot lands in the directory this script is started from.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"

packages=("${build_packages[@]}")
[ -n "${DISPLAY:-}" ] || packages+=(xvfb xdotool x11-apps)
install_packages "${packages[@]}"

cmake -S "$repo" -B "$repo/build/run" -DRIBBONS_BUILD_TESTS=OFF >/dev/null
cmake --build "$repo/build/run" -j"$(nproc)" >/dev/null
ribbons="$repo/build/run/ribbons"

if [ -n "${DISPLAY:-}" ]; then
    exec "$ribbons"
fi

# Hold each key a moment: a press and release sent together can fall between
# two polls of the keyboard and never be seen.
press() { xdotool keydown "$1"; sleep 0.3; xdotool keyup "$1"; }

# Whether a 640x480 window on the display shows anything but black: the
# last 640 * 480 * 4 bytes of its capture are its pixels.
window_drawn() {
    local id
    for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        [[ "$(xdotool getwindowgeometry "$id" 2>/dev/null)" == *"Geometry: 640x480"* ]] || continue
        [ "$(xwd -silent -id "$id" 2>/dev/null | tail -c 1228800 | tr -d '\000' | wc -c)" -gt 0 ] 2>/dev/null &&
            return 0
    done
    return 1
}

# Waits up to a minute for the first frame: a slow first start (a cold disk,
# a busy machine) must not miss the key.
wait_for_first_frame() {
    local tries
    for ((tries = 0; tries < 300; tries++)); do
        window_drawn && return 0
        kill -0 "$program" 2>/dev/null || return 1
        sleep 0.2
    done
    return 1
}

echo "No display found: running ribbons on a virtual X display for a few seconds."
# In a session of its own, so that Ctrl+C here cannot end the display under
# the demo.
exec 3< <(exec setsid Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r number <&3
export DISPLAY=":$number"
trap 'kill "$xvfb_pid" 2>/dev/null' EXIT

# A saved screenshot is always a new file, put in place of any earlier one.
file_id() { stat -c %i screenshot.bmp 2>/dev/null || echo none; }
earlier=$(file_id)

"$ribbons" &
program=$!
# Started in the background, the demo ignores Ctrl+C, which comes to this
# script: pass it on as SIGTERM, which ends the demo as Esc does, then end as
# Ctrl+C ends a program.
trap 'kill -TERM "$program" 2>/dev/null; wait "$program" || true; trap - INT; kill -INT $$' INT
if ! wait_for_first_frame; then
    echo "ribbons showed no frame within a minute." >&2
    kill "$program" 2>/dev/null
    exit 1
fi
press F12
sleep 1
press Escape
wait "$program"
if [ "$(file_id)" = "$earlier" ]; then
    echo "No screenshot was saved." >&2
    exit 1
fi
echo "Screenshot saved to $PWD/screenshot.bmp"
