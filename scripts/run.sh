#!/usr/bin/env bash
# Installs what is missing, builds ribbons and starts it.
#
# With no display (a server, a container, CI) the demo runs on a virtual X
# display instead: a few seconds in, F12 saves a screenshot, then Esc ends it.
# The screenshot lands in the directory this script is started from.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"

packages=("${build_packages[@]}")
[ -n "${DISPLAY:-}" ] || packages+=(xvfb xdotool)
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

echo "No display found: running ribbons on a virtual X display for a few seconds."
exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r number <&3
export DISPLAY=":$number"
trap 'kill "$xvfb_pid" 2>/dev/null' EXIT

# A saved screenshot is always a new file, put in place of any earlier one.
file_id() { stat -c %i screenshot.bmp 2>/dev/null || echo none; }
earlier=$(file_id)

"$ribbons" &
program=$!
sleep 3
press F12
sleep 1
press Escape
wait "$program"
if [ "$(file_id)" = "$earlier" ]; then
    echo "No screenshot was saved." >&2
    exit 1
fi
echo "Screenshot saved to $PWD/screenshot.bmp"
