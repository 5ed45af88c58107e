#!/usr/bin/env bash
# Builds build/web/ribbons.html, ribbons as one self-contained web page: the
# same sources as the Linux build, compiled to WebAssembly with Debian's
# emscripten against Allegro 4.4 built from the checksum-verified Debian
# source tarball (as for Windows) with the browser platform of web/platform
# and the patches in web/patches.
#
#   scripts/web.sh         build build/web/ribbons.html
#   scripts/web.sh test    build it, run the display-free tests and the colour
#                          ramp proof under node, then the page itself in
#                          Chromium, Firefox and WebKit
#
# Everything it makes, emscripten's cache, npm's and the browsers' files
# included, stays under build/web; nothing goes to the home folder.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo/scripts/packages.sh"
source "$repo/scripts/cache.sh"

out="$repo/build/web"
source "$repo/scripts/allegro-source.sh"
allegro_prefix="$out/allegro"
# Warnings are errors in the test builds only.
werror=OFF

# Nothing of emscripten, node, npm or the browsers writes to the user's home.
export HOME="$out/home" XDG_CONFIG_HOME="$out/home/.config" XDG_CACHE_HOME="$out/home/.cache"
export npm_config_cache="$out/npm-cache" npm_config_update_notifier=false PUPPETEER_SKIP_DOWNLOAD=1
# Debian's emscripten (3.1.6 in Debian 12, 3.1.69 in Debian 13: both lay it
# out alike) ships its system libraries prebuilt in a cache that must stay
# as it is (FROZEN_CACHE): a cache of our own holds a link to them and the
# stamp that says they are complete. A frozen cache also makes the linker
# work out the JavaScript library's symbols afresh rather than keep them
# there, so nothing else is needed in it.
export EM_CACHE="$out/emscripten-cache"
# The compiler's JavaScript parts need Debian's node modules, which a node
# from elsewhere does not look for by itself.
export NODE_PATH=/usr/share/nodejs
# Output of emscripten run under node: node 18 and later would try their own
# fetch on the embedded program, which emscripten's loader does not expect.
node_run=(node --no-experimental-fetch)

prepare_emscripten_cache() {
    local shipped=/usr/share/emscripten/cache
    mkdir -p "$EM_CACHE" "$HOME"
    ln -sfn "$shipped/sysroot" "$EM_CACHE/sysroot"
    cp "$shipped/sysroot_install.stamp" "$EM_CACHE/"
}

# emcmake with the cross-compiling emulator node takes for the test
# programs CMake runs while it configures (emcmake's own passes a flag that
# node 20 refuses); the command line emcmake echoes is not shown.
configure() {
    emcmake cmake "$@" -DCMAKE_CROSSCOMPILING_EMULATOR="$(IFS=';'; echo "${node_run[*]}")" \
        --no-warn-unused-cli -Wno-dev -Wno-deprecated 2> >(grep -v '^configure: ' >&2) >/dev/null
}

# What the libraries built here are made with: Debian's emscripten.
emscripten_inputs() {
    compiler_key emcc
    package_versions emscripten
}

# The static library with the browser platform; rebuilt only when what it is
# built from changes: Allegro's version or hash, the platform, a patch, the
# compiler.
build_allegro() {
    local stamp="$allegro_prefix/.built-from" source="$out/allegro-src"
    local inputs
    inputs=$({
        echo "allegro $allegro_version $allegro_sha256"
        cat "$repo"/web/platform/* "$repo"/web/patches/*.patch
        emscripten_inputs
    } | inputs_key)
    reuse_if_built_from "$stamp" "$inputs" "Allegro for the browser" && return 0
    rm -rf "$source" "$out/allegro-build" "$allegro_prefix"
    unpack_allegro "$source" "$repo"/web/patches/*.patch
    mkdir -p "$source/src/browser"
    cp "$repo"/web/platform/*.c "$repo"/web/platform/*.h "$source/src/browser/"
    # The library's old C is not ours to fix: its warnings are not shown.
    # Its CMake files predate CMake 3.5, which CMake 4 refuses to read
    # without being told the policies to use. There is no librt to find:
    # its clock calls are in emscripten's C library.
    configure -S "$source" -B "$out/allegro-build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$allegro_prefix" -DCMAKE_C_FLAGS="-w" \
        -DCMAKE_POLICY_VERSION_MINIMUM=3.5 -DRT_LIBRARY=rt \
        -DSHARED=OFF -DWANT_EXAMPLES=OFF -DWANT_TESTS=OFF -DWANT_TOOLS=OFF -DWANT_DOCS=OFF \
        -DWANT_ALLEGROGL=OFF -DWANT_LOADPNG=OFF -DWANT_LOGG=OFF -DWANT_JPGALLEG=OFF
    cmake --build "$out/allegro-build" -j"$(nproc)" >/dev/null
    cmake --install "$out/allegro-build" >/dev/null
    record_built_from "$stamp" "$inputs"
}

# The page, from the same sources as the Linux build; copied to
# build/web/ribbons.html, the one file to hand out.
build_page() {
    configure -S "$repo" -B "$out/page" -DCMAKE_BUILD_TYPE=Release -DRIBBONS_BUILD_TESTS=OFF \
        -DRIBBONS_ALLEGRO_PREFIX="$allegro_prefix" -DRIBBONS_WERROR="$werror"
    cmake --build "$out/page" -j"$(nproc)" >/dev/null
    cp "$out/page/ribbons.html" "$out/ribbons.html"
}

build() {
    install_packages cmake make patch emscripten
    prepare_emscripten_cache
    build_allegro
    build_page
    echo "Built $out/ribbons.html ($(du -k "$out/ribbons.html" | cut -f1) KiB)"
}

# GoogleTest from Debian's sources, built with emscripten: one thread, and
# exceptions on, as the tests have them. Rebuilt when Debian's sources or
# the compiler change.
build_googletest() {
    local stamp="$out/googletest/.built-from" key
    key=$({ package_versions googletest; emscripten_inputs; } | inputs_key)
    reuse_if_built_from "$stamp" "$key" "GoogleTest for the browser" && return 0
    rm -rf "$out/googletest-build" "$out/googletest"
    configure -S /usr/src/googletest -B "$out/googletest-build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$out/googletest" -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=ON \
        -DCMAKE_CXX_FLAGS=-fexceptions
    cmake --build "$out/googletest-build" -j"$(nproc)" >/dev/null
    cmake --install "$out/googletest-build" >/dev/null
    record_built_from "$stamp" "$key"
}

# puppeteer-core at the version the committed lock file pins, under
# build/web; it never downloads a browser (PUPPETEER_SKIP_DOWNLOAD): the
# test runs Debian's Chromium and Firefox ESR.
install_puppeteer() {
    local modules="$out/npm"
    mkdir -p "$modules"
    if ! cmp -s "$repo/web/package-lock.json" "$modules/package-lock.json" ||
        [ ! -d "$modules/node_modules/puppeteer-core" ]; then
        cp "$repo/web/package.json" "$repo/web/package-lock.json" "$modules/"
        (cd "$modules" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    fi
}

# The display-free unit tests and the colour ramp proof under node, and the
# page in headless Chromium and Firefox and in WebKitGTK's MiniBrowser on a
# virtual display of its own, all through CTest.
run_tests() {
    install_packages libgtest-dev chromium
    # Without their codecs, portals and fonts, which the page does not use.
    # Debian 13 keeps webkit2gtk-driver as the name that brings its
    # webkitgtk-webdriver; Debian 12 has only the old name.
    install_packages_without_recommends firefox-esr webkit2gtk-driver xvfb
    # A node from elsewhere (NodeSource's, say) brings its own npm, which
    # Debian's npm package would conflict with.
    command -v npm >/dev/null || install_packages npm
    build_googletest
    install_puppeteer
    configure -S "$repo" -B "$out/tests" -DCMAKE_BUILD_TYPE=Release -DRIBBONS_BUILD_TESTS=ON \
        -DRIBBONS_ALLEGRO_PREFIX="$allegro_prefix" -DRIBBONS_WERROR=ON \
        -DGTest_DIR="$out/googletest/lib/cmake/GTest" -DRIBBONS_PAGE="$out/ribbons.html" \
        -DRIBBONS_NODE_MODULES="$out/npm/node_modules"
    cmake --build "$out/tests" -j"$(nproc)" >/dev/null
    ctest --test-dir "$out/tests" --output-on-failure -j"$(nproc)"
}

case "${1:-build}" in
    build) build ;;
    test)
        werror=ON
        build
        run_tests
        ;;
    *)
        echo "usage: $0 [build|test]" >&2
        exit 2
        ;;
esac
