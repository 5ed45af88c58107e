#!/usr/bin/env bash
# Measures whole frames: builds ribbons_bench in Release, then runs the frame
# benchmarks on their own under a private Xvfb, once with a 16-bit screen and
# once with a 24-bit one, where every copy to the screen also converts the
# pixels. Arguments go to the benchmark, e.g. --benchmark_repetitions=15.
# scripts/bench.sh runs these together with the line benchmarks.
#
#   [RIBBONS_BENCH_BUILD=folder] bench/run-frame-bench.sh [benchmark options]
#
# The build folder defaults to build/bench.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"
source "$repo/bench/bench-runs.sh"
install_packages "${build_packages[@]}" "${bench_packages[@]}"

build=${RIBBONS_BENCH_BUILD:-$repo/build/bench}
build_bench "$build"
for depth in 16 24; do
    run_frame_bench_on_xvfb "$build/bench/ribbons_bench" "$depth" "${frame_measurement[@]}" "$@"
done
