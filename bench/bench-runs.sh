# How ribbons_bench is built and run; sourced by scripts/bench.sh,
# bench/run-frame-bench.sh and the test command's smoke run, so all three
# measure the same way. The line benchmarks run without a display. The frame
# benchmarks run in a process of their own on a private Xvfb: the library
# starts only once per process, and the passes need a real screen.

bench_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench_packages=(libbenchmark-dev xvfb)

# gradient_line takes the colour ramp the line chooses; gradient_line_*_ramp
# force each ramp the processor runs.
line_benchmarks='^(gradient_line(_[a-z0-9]+_ramp)?|solid_fastline|do_line_gradient_callback)/'
frame_benchmarks='^(frame_in_memory|clear_in_memory|pass_with_scene|pass_clear_and_copy)/'
# Options for a measurement; options given after them win.
line_measurement=(--benchmark_repetitions=20 --benchmark_enable_random_interleaving=true)
frame_measurement=(--benchmark_repetitions=9)

# build_bench FOLDER: ribbons_bench alone, in Release.
build_bench() {
    cmake -S "$bench_repo" -B "$1" -DCMAKE_BUILD_TYPE=Release -DRIBBONS_BUILD_TESTS=OFF \
        -DRIBBONS_BUILD_BENCH=ON -DRIBBONS_WERROR=ON >/dev/null
    cmake --build "$1" -j2 --target ribbons_bench >/dev/null
}

# run_line_bench BINARY [benchmark options]
run_line_bench() {
    local binary=$1
    shift
    env -u DISPLAY "$binary" --benchmark_filter="$line_benchmarks" "$@"
}

# run_frame_bench_on_xvfb BINARY DEPTH [benchmark options]: on a 1024x768
# screen of DEPTH bits; at 24 every copy to the screen converts the pixels.
run_frame_bench_on_xvfb() {
    local binary=$1 depth=$2
    shift 2
    local xvfb number status=0
    exec 3< <(exec Xvfb -displayfd 1 -screen 0 "1024x768x$depth" -nolisten tcp 2>/dev/null)
    xvfb=$!
    read -r number <&3 || { echo "Xvfb did not start" >&2; return 1; }
    echo "== Xvfb screen 1024x768x$depth"
    DISPLAY=":$number" "$binary" --benchmark_filter="$frame_benchmarks" "$@" || status=$?
    kill "$xvfb"
    wait "$xvfb" 2>/dev/null || true
    exec 3<&-
    return "$status"
}
