#!/usr/bin/env bash
# Fuzzes the colour-graded line with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer for a bounded time (FUZZ_SECONDS, default 60),
# starting from the committed seeds. A finding fails the run and leaves the
# input that caused it in build/fuzz/ to replay with
#   build/fuzz/tests/reliability/line_fuzzer <that file>
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"
source "$repo/scripts/cache.sh"

install_packages "${build_packages[@]}" clang libclang-rt-dev libgtest-dev libxtst-dev

build="$repo/build/fuzz"
keep_build_if_built_from "$build" "$(native_toolchain_key clang++ clang)" build/fuzz
CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DRIBBONS_BUILD_FUZZ=ON -DRIBBONS_SANITIZE=fuzzer-no-link,address,undefined \
    -DRIBBONS_BUILD_TESTS=ON -DRIBBONS_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target line_fuzzer

# New inputs go to a scratch corpus, so the committed seeds stay as they are.
mkdir -p "$build/corpus"
ASAN_OPTIONS=halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/tests/reliability/line_fuzzer" -max_total_time="${FUZZ_SECONDS:-60}" \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$build/" \
    "$build/corpus" "$repo/tests/reliability/line_corpus"
