#!/usr/bin/env bash
# Makes the pictures in the README from the real program: runs ribbons on a
# private virtual X display, captures its window 20 times a second for a few
# seconds into docs/ribbons.gif, and saves one frame with F12 as
# docs/ribbons.png. Installs what is missing first.
#
#   scripts/make-demo-gif.sh [seconds, default 3]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"
install_packages "${build_packages[@]}" xvfb x11-apps x11-utils xdotool imagemagick

seconds=${1:-3}
frames_per_second=20

cmake -S "$repo" -B "$repo/build/demo" -DRIBBONS_BUILD_TESTS=OFF >/dev/null
cmake --build "$repo/build/demo" -j2 >/dev/null
work=$(mktemp -d)

exec 3< <(exec Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
xvfb=$!
read -r number <&3
export DISPLAY=":$number"
trap 'kill "$program" "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT

(cd "$work" && exec "$repo/build/demo/ribbons") &
program=$!
# The library draws into an unnamed 640x480 window inside a frame of its own.
find_window() { xwininfo -root -tree | awk '/ 640x480\+/ { print $1; exit }'; }
window=
for _ in $(seq 100); do
    window=$(find_window)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "ribbons showed no 640x480 window" >&2; exit 1; }
# No window manager runs, so give the window the keyboard ourselves.
xdotool windowfocus "$window"
sleep 1 # let the shapes get going

# Hold each key a moment: a press and release sent together can fall between
# two polls of the keyboard and never be seen.
press() { xdotool keydown "$1"; sleep 0.3; xdotool keyup "$1"; }

# One capture every 1/20 s, on a fixed schedule so the GIF runs at the
# program's own speed even when a capture is slow.
interval_ns=$((1000000000 / frames_per_second))
start=$(date +%s%N)
for ((i = 0; i < seconds * frames_per_second; i++)); do
    xwd -silent -id "$window" >"$work/$(printf 'frame-%03d' "$i").xwd"
    next=$((start + (i + 1) * interval_ns))
    wait_ns=$((next - $(date +%s%N)))
    ((wait_ns <= 0)) || sleep "$(printf '0.%09d' "$wait_ns")"
done

press F12
for _ in $(seq 50); do [ -s "$work/screenshot.bmp" ] && break; sleep 0.1; done
sleep 0.5 # let the file be written to its end
press Escape
wait "$program" || true

mkdir -p "$repo/docs"
convert "$work/screenshot.bmp" "$repo/docs/ribbons.png"
# Only what changes between frames is stored, in one shared palette.
convert -delay $((100 / frames_per_second)) -loop 0 "$work"/frame-*.xwd \
    +dither -colors 128 -layers Optimize "$repo/docs/ribbons.gif"
ls -l "$repo/docs/ribbons.gif" "$repo/docs/ribbons.png"
