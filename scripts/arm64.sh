#!/usr/bin/env bash
# Builds ribbons for 64-bit ARM Debian (arm64) on an x86-64 Debian machine:
# installs the aarch64 cross compilers and QEMU's user-mode emulator, makes
# an arm64 system root from Debian's own arm64 packages, and builds the
# program from the same sources as the native build.
#
#   scripts/arm64.sh         build build/arm64/ribbons
#   scripts/arm64.sh test    build it, then run the display-free tests and
#                            the end-to-end test under QEMU
#
# Everything it makes, the system root and its apt lists included, stays
# under build/arm64. The machine's apt set-up and dpkg architectures are
# only read, never changed, and QEMU is installed without its recommended
# binfmt package, so no emulator is registered with the kernel: every arm64
# program here is started through qemu-aarch64 by name.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"
source "$repo/scripts/cache.sh"

out="$repo/build/arm64"
sysroot="$out/sysroot"
toolchain="$repo/arm64/aarch64-linux-gnu.cmake"

# The C++ library headers must be those of the cross compiler's GCC:
# libstdc++-12-dev on Debian 12, a later one on later releases.
sysroot_packages() {
    local gcc_major
    gcc_major=$(aarch64-linux-gnu-gcc -dumpversion | cut -d. -f1)
    echo liballegro4-dev libgtest-dev libx11-dev libc6-dev "libstdc++-$gcc_major-dev"
}

# apt-get with a set-up of its own under build/arm64/apt: an arm64 machine
# with nothing installed, whose one source is the Debian mirror this
# machine uses. Nothing of the machine's own lists, status or settings is
# written.
arm64_apt() {
    local apt_dir="$out/apt"
    apt-get -o APT::Architecture=arm64 -o APT::Architectures=arm64 \
        -o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=- \
        -o Dir::Etc::Preferences=/dev/null -o Dir::Etc::PreferencesParts="$apt_dir/preferences.d" \
        -o Dir::State::Lists="$apt_dir/lists" -o Dir::State::status="$apt_dir/status" \
        -o Dir::Cache="$apt_dir/cache" -o Dir::Cache::Archives="$apt_dir/archives" \
        -o APT::Install-Recommends=false -o APT::Sandbox::User=root "$@"
}

# Downloads the arm64 packages the build needs, with all they depend on.
download_sysroot_packages() {
    local mirror suite apt_dir="$out/apt"
    # The mirror of this machine's own release, as for Allegro's source.
    read -r mirror suite < <(allegro_source_mirror "$out/apt-mirror") || true
    if [ -z "${mirror:-}" ]; then
        echo "No Debian mirror for this release found in /etc/apt/sources.list{,.d}" >&2
        exit 1
    fi
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache" "$apt_dir/archives/partial" \
        "$apt_dir/preferences.d"
    echo "deb [arch=arm64] $mirror $suite main" >"$apt_dir/sources.list"
    : >"$apt_dir/status"
    # Only this download's packages are unpacked: no older version of one.
    rm -f "$apt_dir"/archives/*.deb
    arm64_apt update -qq
    # shellcheck disable=SC2046 # the package names are words
    arm64_apt install -qq -y --download-only $(sysroot_packages) >/dev/null
}

# dpkg-deb writes the links the packages ship as they are; absolute ones
# would lead out of the system root into the build machine's own /lib and
# /usr, so each is made relative.
make_links_relative() {
    local link target
    find "$sysroot" -type l -lname '/*' -print0 |
        while IFS= read -r -d '' link; do
            target=$(readlink "$link")
            ln -sfn "$(realpath -ms --relative-to="$(dirname "$link")" "$sysroot$target")" "$link"
        done
}

# The arm64 system root: the packages unpacked, not installed (no scripts
# run), in build/arm64/sysroot. Made again only when the package list
# changes or this machine's own copies of those packages do (they come from
# the same mirror, so a point release or security update shows here too):
# a warm run fetches nothing.
make_sysroot() {
    local stamp="$out/sysroot.stamp" wanted
    # shellcheck disable=SC2046 # the package names are words
    wanted=$({ sysroot_packages; package_versions $(sysroot_packages); } | inputs_key)
    [ -d "$sysroot" ] && reuse_if_built_from "$stamp" "$wanted" "the arm64 system root" && return 0
    echo "Making the arm64 system root in $sysroot"
    download_sysroot_packages
    rm -rf "$sysroot"
    mkdir -p "$sysroot"
    local deb
    for deb in "$out"/apt/archives/*.deb; do
        dpkg-deb -x "$deb" "$sysroot"
    done
    merge_usr
    make_links_relative
    record_built_from "$stamp" "$wanted"
}

# /bin, /lib and /sbin made links into /usr, as on every Debian system since
# 12: packages of later releases ship everything under /usr, the program's
# loader included, and rely on /lib -> usr/lib to find it. Links between the
# two are absolute, as Debian's policy wants, so none breaks in the move.
merge_usr() {
    local dir
    for dir in bin lib sbin; do
        if [ -d "$sysroot/$dir" ] && [ ! -L "$sysroot/$dir" ]; then
            mkdir -p "$sysroot/usr/$dir"
            cp -a "$sysroot/$dir/." "$sysroot/usr/$dir/"
            rm -rf "${sysroot:?}/$dir"
        fi
        mkdir -p "$sysroot/usr/$dir"
        ln -sfn "usr/$dir" "$sysroot/$dir"
    done
}

build() {
    install_packages cmake make pkg-config
    install_packages_without_recommends g++-aarch64-linux-gnu qemu-user
    make_sysroot
    cmake -S "$repo" -B "$out/program" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DRIBBONS_BUILD_TESTS=OFF >/dev/null
    cmake --build "$out/program" -j"$(nproc)" >/dev/null
    install -m 755 "$out/program/ribbons" "$out/ribbons"
    echo "Built $out/ribbons"
}

# The tests that need no display (the colour ramp proof among them, on the
# ramp this build uses), built for arm64 and run under QEMU through CTest.
run_display_free_tests() {
    cmake -S "$repo" -B "$out/tests" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DRIBBONS_BUILD_TESTS=ON -DRIBBONS_WERROR=ON \
        --no-warn-unused-cli >/dev/null
    cmake --build "$out/tests" -j"$(nproc)" >/dev/null
    ctest --test-dir "$out/tests" --output-on-failure -j"$(nproc)" -L 'unit|proof'
}

# The arm64 program end to end, under QEMU on a private 16-bit X display,
# driven by the end-to-end harness built for this machine.
run_end_to_end_test() {
    cmake -S "$repo" -B "$out/host-e2e" -DCMAKE_BUILD_TYPE=Release -DRIBBONS_BUILD_TESTS=ON \
        -DRIBBONS_WERROR=ON -DRIBBONS_ARM64_PROGRAM="$out/ribbons" \
        -DRIBBONS_ARM64_SYSROOT="$sysroot" --no-warn-unused-cli >/dev/null
    cmake --build "$out/host-e2e" -j"$(nproc)" --target arm64_e2e_tests >/dev/null
    ctest --test-dir "$out/host-e2e" --output-on-failure -L qemu
}

run_tests() {
    install_packages "${build_packages[@]}" libgtest-dev libxtst-dev xvfb
    run_display_free_tests
    run_end_to_end_test
}

case "${1:-build}" in
    build) build ;;
    test)
        build
        run_tests
        ;;
    *)
        echo "usage: $0 [build|test]" >&2
        exit 2
        ;;
esac
