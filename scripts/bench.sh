#!/usr/bin/env bash
# Installs what is missing, builds ribbons_bench in Release (build/bench) and
# measures: the graded line against the library's fastline and do_line, then
# whole frames on a private virtual X display with a 16-bit screen and with a
# 24-bit one, each in a process of its own. Every run's full table is kept in
# build/bench/results/; the summaries with their ratios are printed at the end.
# Arguments go to every run of the benchmark, e.g. --benchmark_repetitions=5.
#
#   scripts/bench.sh [benchmark options]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"
source "$repo/bench/bench-runs.sh"
install_packages "${build_packages[@]}" "${bench_packages[@]}"

build="$repo/build/bench"
binary="$build/bench/ribbons_bench"
results="$build/results"
echo "== Building ribbons_bench in Release ($build)"
build_bench "$build"
mkdir -p "$results"

echo "== The line: graded line, fastline and do_line, without a display"
run_line_bench "$binary" "${line_measurement[@]}" "$@" | tee "$results/line.txt"
for depth in 16 24; do
    run_frame_bench_on_xvfb "$binary" "$depth" "${frame_measurement[@]}" "$@" |
        tee "$results/frames-$depth-bit.txt"
done

# Each run ends with its own summary, after the library's table.
echo
echo "== Summary (full tables in $results/)"
for run in line frames-16-bit frames-24-bit; do
    awk '/^(nanoseconds per unit of work|whole frames,)/ { on = 1 } on' "$results/$run.txt"
done
