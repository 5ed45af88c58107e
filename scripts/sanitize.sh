#!/usr/bin/env bash
# Builds and runs the unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the pacing tests under ThreadSanitizer
# with the library's real timer thread firing while the main loop runs.
# Every sanitizer stops the run at its first report.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"
source "$repo/scripts/cache.sh"

install_packages "${build_packages[@]}" libgtest-dev libxtst-dev xvfb

# sanitized_build NAME SANITIZERS [TARGET...]: configures and builds
# build/NAME with -fsanitize=SANITIZERS; all targets when none are named.
# A warm run builds only what changed, unless the compiler or a library did.
sanitized_build() {
    local build="$repo/build/$1" sanitizers=$2
    keep_build_if_built_from "$build" "$(native_toolchain_key c++ cc)" "build/$1"
    shift 2
    cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DRIBBONS_SANITIZE="$sanitizers" -DRIBBONS_BUILD_TESTS=ON -DRIBBONS_WERROR=ON >/dev/null
    local targets=()
    for target in "$@"; do targets+=(--target "$target"); done
    cmake --build "$build" -j"$(nproc)" "${targets[@]}"
}

echo "== Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
sanitized_build asan address,undefined
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir "$repo/build/asan" -L unit --output-on-failure -j"$(nproc)"

echo "== Pacing tests under ThreadSanitizer"
sanitized_build tsan thread app_tests live_timer_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir "$repo/build/tsan" -R '^(PacingTest|LiveTimer)\.' --output-on-failure
