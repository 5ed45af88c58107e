#!/usr/bin/env bash
# Measures whole frames: builds ribbons_bench in Release, then runs the frame
# benchmarks on their own under a private Xvfb, once with a 16-bit screen and
# once with a 24-bit one, where every copy to the screen also converts the
# pixels. Arguments go to the benchmark, e.g. --benchmark_repetitions=15.
#
#   [RIBBONS_BENCH_BUILD=folder] bench/run-frame-bench.sh [benchmark options]
#
# The build folder defaults to build/bench.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"
install_packages "${build_packages[@]}" libbenchmark-dev xvfb

build=${RIBBONS_BENCH_BUILD:-$repo/build/bench}
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DRIBBONS_BUILD_TESTS=OFF \
    -DRIBBONS_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target ribbons_bench >/dev/null

run_on_screen() {
    local depth=$1
    shift
    exec 3< <(exec Xvfb -displayfd 1 -screen 0 "1024x768x$depth" -nolisten tcp 2>/dev/null)
    local xvfb=$!
    local number
    read -r number <&3
    echo "== Xvfb screen 1024x768x$depth"
    DISPLAY=":$number" "$build/bench/ribbons_bench" \
        --benchmark_filter='^(frame_in_memory|clear_in_memory|pass_)' \
        --benchmark_repetitions=9 "$@" || true
    kill "$xvfb"
    wait "$xvfb" 2>/dev/null || true
    exec 3<&-
}

run_on_screen 16 "$@"
run_on_screen 24 "$@"
