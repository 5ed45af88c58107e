#!/usr/bin/env bash
# Installs what is missing, builds ribbons with its tests, and runs the whole
# suite: unit and end-to-end tests (which start their own virtual X displays,
# so no desktop is needed), the library timer test, the program under
# valgrind, a brief run of every benchmark and the unit tests again under
# the sanitizers, with a minute of fuzzing the line alongside; then the
# Windows, package, arm64 and browser checks. The minute-long soak is
# scripts/soak.sh.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"
source "$repo/scripts/cache.sh"
source "$repo/bench/bench-runs.sh"

install_packages "${build_packages[@]}" libgtest-dev libxtst-dev xvfb valgrind \
    clang libclang-rt-dev "${bench_packages[@]}"

# The minute of fuzzing runs beside the native suite, whose end-to-end tests,
# one at a time, mostly wait for the program: the fuzzer keeps the other
# core busy meanwhile. Its output goes to a log, shown when it fails; if
# this script stops first, the fuzzer still ends within its minute.
fuzz_log="$repo/build/fuzz.log"
mkdir -p "$repo/build"
fuzz_start=$SECONDS
"$repo/scripts/fuzz.sh" >"$fuzz_log" 2>&1 &
fuzz=$!

build="$repo/build/test"
keep_build_if_built_from "$build" "$(native_toolchain_key c++ cc)" build/test
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DRIBBONS_BUILD_TESTS=ON -DRIBBONS_BUILD_BENCH=ON \
    -DRIBBONS_WERROR=ON
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -LE soak

# Every benchmark once, for a moment, so none of them rots unnoticed: each
# must run without an error and its summary must come out. The figures of so
# short a run mean nothing; scripts/bench.sh measures.
bench_smoke() {
    local log="$build/bench-smoke.log" smoke=(--benchmark_min_time=0.01 --benchmark_repetitions=1)
    echo "== Benchmarks, once each (output in $log)"
    if {
        run_line_bench "$build/bench/ribbons_bench" "${smoke[@]}" &&
            run_frame_bench_on_xvfb "$build/bench/ribbons_bench" 16 "${smoke[@]}"
    } >"$log" 2>&1 && ! grep -qE "ERROR OCCURRED|Failed to match" "$log" &&
        [ "$(grep -c "as fast as" "$log")" -ge 3 ] && grep -q "a pass takes" "$log"; then
        return 0
    fi
    cat "$log"
    echo "The benchmark smoke run failed." >&2
    return 1
}
bench_smoke

# timed SCRIPT [ARGUMENT]: runs one part of the suite and says how long it
# took, so the log shows where a run spends its time.
timed() {
    local start=$SECONDS
    "$repo/scripts/$1" "${@:2}"
    echo "== $* took $((SECONDS - start)) s"
}

timed sanitize.sh
if ! wait "$fuzz"; then
    cat "$fuzz_log"
    echo "The fuzzing failed." >&2
    exit 1
fi
echo "== fuzz.sh, beside the above, took $((SECONDS - fuzz_start)) s (output in $fuzz_log)"
timed windows.sh test
timed package.sh test
timed arm64.sh test
timed web.sh test
