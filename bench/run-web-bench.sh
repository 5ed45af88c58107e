#!/usr/bin/env bash
# The web page's speed beside the native program's, in one run on this
# machine: builds the page twice, with the line's colours packed through
# SSE2 on WebAssembly's vector instructions and with the plain adding ramp,
# runs each in headless Chromium (bench/web_page_bench.js), then the native
# frame benchmarks on a private 16-bit Xvfb. A benchmark, not a test.
#
#   bench/run-web-bench.sh [SECONDS [ROUNDS]]
#
# Needs scripts/web.sh test to have run once (the library, npm's modules).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"
source "$repo/bench/bench-runs.sh"
install_packages "${build_packages[@]}" "${bench_packages[@]}"

seconds=${1:-5}
rounds=${2:-3}
out="$repo/build/web"
export HOME="$out/home" EM_CACHE="$out/emscripten-cache" NODE_PATH="/usr/share/nodejs:$out/npm/node_modules"

for sse2 in ON OFF; do
    emcmake cmake -S "$repo" -B "$out/bench-sse2-$sse2" -DCMAKE_BUILD_TYPE=Release \
        -DRIBBONS_BUILD_TESTS=OFF -DRIBBONS_ALLEGRO_PREFIX="$out/allegro" \
        -DRIBBONS_WEB_SSE2="$sse2" >/dev/null 2>&1
    cmake --build "$out/bench-sse2-$sse2" -j2 --target ribbons >/dev/null
done
# Taken in turns, so that a machine busy with something else for a while
# slows both alike.
for round in $(seq "$rounds"); do
    for sse2 in ON OFF; do
        rm -rf "$out/bench-profile"
        echo -n "round $round, SSE2 packing $sse2: "
        node "$repo/bench/web_page_bench.js" "$out/bench-sse2-$sse2/ribbons.html" \
            "$out/bench-profile" "$seconds"
    done
done

build_bench "$repo/build/bench"
run_frame_bench_on_xvfb "$repo/build/bench/bench/ribbons_bench" 16 --benchmark_repetitions=5 \
    --benchmark_filter='^(frame_in_memory|pass_with_scene)/'
