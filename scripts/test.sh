#!/usr/bin/env bash
# Installs what is missing, builds ribbons with its tests, and runs the whole
# suite. The end-to-end tests start their own virtual X displays, so no
# desktop is needed.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"

install_packages "${build_packages[@]}" libgtest-dev libx11-dev libxtst-dev xvfb

build="$repo/build/test"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure
