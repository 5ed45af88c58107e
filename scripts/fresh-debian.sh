#!/usr/bin/env bash
# Proves the README's commands on every Debian it names: builds a minimal
# Debian 12 and 13 (debootstrap --variant=minbase), clones this repository
# into each, runs ./scripts/run.sh, the README's Install commands and
# ./scripts/test.sh there exactly as a new user would, builds the program and
# the package from what they declare and tests the package with Debian's own
# tools, and prints a summary. Exits non-zero when anything failed.
# A developer check, slow (each release installs everything and runs the
# whole suite), so CI does not run it. Needs root. Its steps, each release:
#   plain      the plain CMake build with only the program's own packages
#   package    apt-get build-dep and dpkg-buildpackage, then the package
#              through autopkgtest (debian/tests) and piuparts (install,
#              purge, nothing left), each in a pristine system of its own
#   root       run.sh, the README's Install commands and test.sh as root in
#              a chroot
#   user       run.sh as a normal user with sudo in a chroot
#   container  run.sh and test.sh in a default Docker container (no extra
#              capabilities, Docker's seccomp profile), from a daemon of its
#              own with its files under build/fresh-debian/docker
#
#   sudo scripts/fresh-debian.sh [--ref REF] [--refresh] [--only STEP]... [RELEASE...]
#
# REF defaults to HEAD (committed work only); RELEASE to bookworm trixie;
# every step runs unless --only names some.
# The mirror is the one this machine's apt sources use; FRESH_DEBIAN_MIRROR=URI
# names another.
# Everything lives in build/fresh-debian/: the minbase systems are cached
# there as tarballs (--refresh makes them anew) and the downloaded packages
# are kept, but every step unpacks a pristine system. A failed step's
# system and the logs stay there to look at until the next run.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
script="$repo/scripts/$(basename "$0")"
work="$repo/build/fresh-debian"

die() {
    echo "fresh-debian: $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot and mounts)"
case "$repo" in *[[:space:]]*) die "the repository path must not contain spaces: $repo" ;; esac

# Every mount made for a chroot lives in a mount namespace of this script's
# own, so none of them can be left behind on the machine, even when the
# script is killed: they go when its last process ends.
if [ -z "${FRESH_DEBIAN_PRIVATE_MOUNTS:-}" ]; then
    export FRESH_DEBIAN_PRIVATE_MOUNTS=1
    exec unshare --mount --propagation private "$BASH" "$script" "$@"
fi

ref=HEAD
refresh=false
releases=()
steps=()
while [ $# -gt 0 ]; do
    case "$1" in
    --ref) ref=${2:?--ref needs a value}; shift 2 ;;
    --refresh) refresh=true; shift ;;
    --only)
        case "${2:-}" in plain | package | root | user | container) steps+=("$2") ;;
        *) die "no step '${2:-}'" ;;
        esac
        shift 2
        ;;
    -h | --help) sed -n '2,/^set -euo/p' "$script" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) releases+=("$1"); shift ;;
    esac
done
[ ${#releases[@]} -gt 0 ] || releases=(bookworm trixie)

debian_version() {
    case "$1" in bookworm) echo 12 ;; trixie) echo 13 ;; *) echo "?" ;; esac
}

wants_step() {
    [ ${#steps[@]} -eq 0 ] || [[ " ${steps[*]} " == *" $1 "* ]]
}

source "$repo/scripts/packages.sh"
mirror=${FRESH_DEBIAN_MIRROR:-}
[ -n "$mirror" ] || read -r mirror _ < <(allegro_source_mirror "$work/apt") || true
[ -n "$mirror" ] || die "found no Debian mirror for this release in /etc/apt/sources.list{,.d}"

# Mount points at or under a folder, deepest first (from this namespace's view).
mounts_under() {
    awk -v dir="$1" '$5 == dir || index($5, dir "/") == 1 { print $5 }' /proc/self/mountinfo |
        sort -r
}

# Deletes a folder, but never one with anything still mounted inside it:
# that would delete the host's own files through the mount.
remove_folder() {
    local dir=$1 mounted
    [ -e "$dir" ] || return 0
    mounted=$(mounts_under "$dir")
    if [ -n "$mounted" ]; then
        echo "fresh-debian: refusing to delete $dir: still mounted inside it:" >&2
        echo "$mounted" >&2
        return 1
    fi
    rm -rf --one-file-system "$dir"
}

# Ends what is still running inside a system (an X server, a stray test
# program), by process id: all of it was started by this script.
end_processes_in() {
    local root=$1 signal pid left
    for signal in TERM KILL; do
        left=()
        for pid in /proc/[0-9]*; do
            [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && left+=("${pid#/proc/}")
        done
        [ ${#left[@]} -eq 0 ] && return 0
        kill -"$signal" "${left[@]}" 2>/dev/null || true
        sleep 2
    done
}

unmount_all_under() {
    local root=$1 point
    for point in $(mounts_under "$root"); do
        umount "$point" 2>/dev/null || umount --lazy "$point" ||
            echo "fresh-debian: could not unmount $point" >&2
    done
}

# policy-rc.d as it was before install_docker (below) put its own in place.
policy_rc=/usr/sbin/policy-rc.d
restore_policy_rc() {
    grep -qs '^# fresh-debian.sh:' "$policy_rc" && rm -f "$policy_rc"
    [ -e "$policy_rc.fresh-debian" ] && mv "$policy_rc.fresh-debian" "$policy_rc"
    return 0
}

current_root=
cleanup() {
    restore_policy_rc
    stop_docker
    [ -n "$current_root" ] || return 0
    end_processes_in "$current_root"
    unmount_all_under "$current_root"
}
trap cleanup EXIT
trap 'echo "fresh-debian: interrupted" >&2; exit 130' INT TERM

# build/fresh-debian/cache/RELEASE-minbase.tar.gz: a minbase system straight
# from debootstrap, made once (or again with --refresh) and unpacked afresh
# for every run; piuparts and autopkgtest start from it too, so it is
# compressed as they expect. Sets $tarball.
make_minbase_tarball() {
    local staging="$work/cache/$release-staging"
    tarball="$work/cache/$release-minbase.tar.gz"
    [ -f "$tarball" ] && ! $refresh && return 0
    remove_folder "$staging"
    echo "== $release: debootstrap --variant=minbase from this machine's Debian mirror"
    current_root=$staging
    if ! debootstrap --variant=minbase "$release" "$staging" "$mirror" \
        >"$work/logs/$release-debootstrap.log" 2>&1; then
        tail -n 20 "$work/logs/$release-debootstrap.log"
        cleanup
        die "debootstrap of $release failed (log: $work/logs/$release-debootstrap.log)"
    fi
    cleanup
    current_root=
    tar --numeric-owner --one-file-system -C "$staging" -czf "$tarball.part" .
    mv "$tarball.part" "$tarball"
    remove_folder "$staging"
}

# The certificate authorities this machine adds to Debian's (a company's
# TLS proxy, say), so the test system reaches the package registries, npm's
# included, as the machine does; ca-certificates takes them in when apt
# first installs it there.
copy_local_certificates() {
    local local_cas=/usr/local/share/ca-certificates
    [ -d "$local_cas" ] || return 0
    mkdir -p "$1$local_cas"
    cp -r "$local_cas/." "$1$local_cas/"
}

# Unpacks a pristine system, with what the README's commands need from the
# machine around them: processes, devices, a terminal, shared memory (the X
# server, valgrind, the sanitizers, Wine), name resolution, no services.
prepare_system() {
    local release=$1 root=$2 tarball=$3
    mkdir -p "$root"
    tar --numeric-owner -C "$root" -xpf "$tarball"
    printf '#!/bin/sh\n# No services start inside this test system.\nexit 101\n' \
        >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
    rm -f "$root/etc/resolv.conf"
    cp -L /etc/resolv.conf "$root/etc/resolv.conf"
    copy_local_certificates "$root"

    current_root=$root
    # On a real machine the root folder is a mount point, and tests that make
    # mount namespaces of their own (the screenshot failure tests) rely on it.
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount --bind /dev "$root/dev"
    mount --bind /dev/pts "$root/dev/pts"
    mount -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"
    # Packages downloaded by earlier runs are kept; the system is still new.
    mkdir -p "$work/cache/$release-debs"
    mount --bind "$work/cache/$release-debs" "$root/var/cache/apt/archives"
}

clone_repository() {
    local root=$1 commit=$2
    git clone --quiet --no-hardlinks --no-checkout "$repo" "$root/root/ribbons"
    git -C "$root/root/ribbons" -c advice.detachedHead=false checkout --quiet "$commit"
}

# Runs one command in the system's copy of the repository, in a clean
# environment, as a new user at a root shell would (or as USER, in that
# user's home, as at a user's shell). The command runs in the background so
# that a signal to this script is acted on at once: the exit trap then ends
# it and unmounts. A background command starts with Ctrl-C ignored, which
# the tests must not inherit.
run_in_system() {
    local root=$1 command=$2 user=${3:-root} status=0
    local home=/root as_user=() frontend=(DEBIAN_FRONTEND=noninteractive)
    if [ "$user" != root ]; then
        local uid gid
        uid=$(chroot "$root" id -u "$user")
        gid=$(chroot "$root" id -g "$user")
        home=/home/$user as_user=(--userspec="$uid:$gid" --groups="$gid") frontend=()
    fi
    chroot "${as_user[@]}" "$root" /usr/bin/env --default-signal -i HOME="$home" USER="$user" \
        LOGNAME="$user" SHELL=/bin/bash TERM=dumb LANG=C.UTF-8 "${frontend[@]}" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        /bin/bash -c "cd $home/ribbons && $command" </dev/null &
    wait $! || status=$?
    return "$status"
}

results=()
failed=0
release_failed=0
# Runs COMMAND... with its output in LOG, records it in the summary as STEP
# of the release being tested ($name), with its time, and shows the end of
# the log when it failed (then $release_failed is 1).
check() {
    local step=$1 log=$2 start status=pass line
    shift 2
    echo "   $step (log: $log)"
    start=$(date +%s)
    "$@" </dev/null >"$log" 2>&1 || status=FAIL
    line=$(printf '%-20s %-28s %-4s %6s s' "$name" "$step" "$status" "$(($(date +%s) - start))")
    results+=("$line")
    echo "   $line"
    grep -hE "tests passed|tests failed" "$log" | sed 's/^/   ctest: /' || true
    [ "$status" = pass ] && return 0
    failed=1 release_failed=1
    tail -n 30 "$log"
}

# A pristine system of $release for the step STEP, with a clone of $commit
# in /root/ribbons; sets $root and $dir (build/fresh-debian/RELEASE-STEP).
open_system() {
    dir="$work/$release-$1"
    release_failed=0
    make_minbase_tarball
    remove_folder "$dir"
    echo "== $name, $1: pristine minbase system in $dir, clone of ${commit:0:12}"
    root=$dir/root
    prepare_system "$release" "$root" "$tarball"
    clone_repository "$root" "$commit"
}

# Ends what still runs in the system and unmounts it. A system that passed
# is of no further use; one that failed stays to look at.
close_system() {
    cleanup
    current_root=
    [ "$release_failed" -eq 1 ] || remove_folder "$dir"
}

# Without a display run.sh saves a screenshot where it was started; a run
# that leaves none has not worked, whatever its status.
run_saves_a_screenshot() {
    local root=$1 user=${2:-root} home=${3:-/root}
    run_in_system "$root" ./scripts/run.sh "$user" &&
        [ "$(head -c 2 "$root$home/ribbons/screenshot.bmp" 2>/dev/null)" = BM ]
}

# The README's Install commands exactly as written, as a user with sudo rights
# types them (sudo simply runs the command; apt's question is answered yes):
# they must leave the package installed. What the package does installed and
# what purging it leaves are the package step's to check.
readme_install() {
    local root=$1
    printf '#!/bin/sh\nexec "$@"\n' >"$root/usr/local/bin/sudo"
    chmod 755 "$root/usr/local/bin/sudo"
    echo 'APT::Get::Assume-Yes "true";' >"$root/etc/apt/apt.conf.d/90answer-yes"
    awk '/^## Install/ { section = 1; next }
         section && /^```/ { if (block) exit; block = 1; next }
         block' "$root/root/ribbons/README.md" >"$root/root/install-commands.sh"
    local status=0
    run_in_system "$root" "bash -ex /root/install-commands.sh &&
        dpkg -s ribbons | grep -x 'Status: install ok installed'" || status=$?
    rm -f "$root/usr/local/bin/sudo" "$root/etc/apt/apt.conf.d/90answer-yes"
    return "$status"
}

test_release() {
    local log="$work/logs/$release"
    open_system root
    check ./scripts/run.sh "$log-run.log" run_saves_a_screenshot "$root"
    check "README Install" "$log-install.log" readme_install "$root"
    check ./scripts/test.sh "$log-test.log" run_in_system "$root" ./scripts/test.sh
    close_system
}

# The program built as anyone builds it from source: CMake, with nothing
# installed but a compiler, CMake, pkg-config and Allegro's development
# package (as apt installs them, with what they recommend).
test_plain_build() {
    open_system plain
    check "plain cmake build" "$work/logs/$release-plain.log" run_in_system "$root" \
        "apt-get update && apt-get install -y g++ cmake pkg-config liballegro4-dev &&
         cmake -S . -B build && cmake --build build && test -x build/ribbons"
    close_system
}

# The package built and checked as Debian builds and checks its own: what it
# builds with comes from debian/control alone (apt-get build-dep), then the
# package goes through autopkgtest (its debian/tests, in another pristine
# system) and piuparts (installed with what it depends on into one more,
# purged, nothing of it left). debconf keeps a folder of its own after any
# apt run in Debian 13, whichever package is installed: piuparts is told.
test_package() {
    local log="$work/logs/$release" debs="$work/$release-debs"
    open_system package
    check "build-dep, dpkg-buildpackage" "$log-package.log" run_in_system "$root" \
        "apt-get update && apt-get build-dep -y ./ && dpkg-buildpackage -us -uc -b"
    rm -rf "$debs"
    [ "$release_failed" -eq 1 ] || { mkdir "$debs" && cp "$root"/root/ribbons_*.deb "$debs/"; }
    close_system
    [ -d "$debs" ] || return 0
    open_system autopkgtest
    check autopkgtest "$log-autopkgtest.log" \
        autopkgtest "$debs"/*.deb "$root/root/ribbons/" -- chroot "$root"
    close_system
    mkdir -p "$work/piuparts"
    check piuparts "$log-piuparts.log" piuparts --basetgz "$tarball" --tmpdir "$work/piuparts" \
        --distribution "$release" --mirror "$mirror" --ignore /var/cache/debconf/tmp.ci/ "$debs"/*.deb
}

# run.sh as a normal user with passwordless sudo (installed by root first,
# as an administrator would), in a clone that user owns: the packages come
# through sudo, everything else is the user's own.
test_normal_user() {
    local user=ribbons-user
    open_system user
    check "user $user, sudo" "$work/logs/$release-user-setup.log" run_in_system "$root" \
        "apt-get update && apt-get install -y sudo &&
         useradd --create-home --shell /bin/bash $user &&
         echo '$user ALL=(ALL) NOPASSWD: ALL' >/etc/sudoers.d/$user"
    if [ "$release_failed" -eq 0 ]; then
        mv "$root/root/ribbons" "$root/home/$user/ribbons"
        chroot "$root" chown -R "$user:" "/home/$user/ribbons"
        check "run.sh as user" "$work/logs/$release-user-run.log" \
            run_saves_a_screenshot "$root" "$user" "/home/$user"
    fi
    close_system
}

# A Docker daemon of this run's own: its images, containers and state under
# build/fresh-debian/docker, no network set-up of its own (containers use
# the machine's), stopped when the run ends. Named by path: the client and
# daemon of Debian's docker.io, whatever else the PATH may find first.
docker_dir="$work/docker"
docker_cli=(/usr/bin/docker --host "unix://$docker_dir/docker.sock")
docker_daemon=
container=

start_docker() {
    mkdir -p "$docker_dir"
    /usr/sbin/dockerd --storage-driver=vfs --iptables=false --bridge=none \
        --data-root "$docker_dir/data" --exec-root "$docker_dir/run" --host "unix://$docker_dir/docker.sock" \
        --pidfile "$docker_dir/dockerd.pid" >"$work/logs/dockerd.log" 2>&1 &
    docker_daemon=$!
    local tries
    for ((tries = 0; tries < 60; tries++)); do
        "${docker_cli[@]}" version >/dev/null 2>&1 && return 0
        kill -0 "$docker_daemon" 2>/dev/null || break
        sleep 1
    done
    tail -n 20 "$work/logs/dockerd.log"
    die "the Docker daemon did not start (log: $work/logs/dockerd.log)"
}

# Removes the container and its image, stops the daemon and deletes its
# files: nothing of it outlives the run.
stop_docker() {
    [ -n "$docker_daemon" ] || return 0
    if [ -n "$container" ]; then
        "${docker_cli[@]}" rm --force "$container" >/dev/null 2>&1 || true
        "${docker_cli[@]}" image rm --force "$container" >/dev/null 2>&1 || true
        container=
    fi
    kill "$docker_daemon" 2>/dev/null || true
    wait "$docker_daemon" 2>/dev/null || true
    docker_daemon=
    # The daemon leaves its network namespace mounted under its state.
    unmount_all_under "$docker_dir"
    remove_folder "$docker_dir"
}

# Like run_in_system, in the container, as root at the container's shell.
run_in_container() {
    local status=0
    "${docker_cli[@]}" exec --workdir /root/ribbons "$container" /bin/bash -c "$1" </dev/null &
    wait $! || status=$?
    return "$status"
}

# run.sh and test.sh in a default container, as people first try a project
# and as CI runs it: no mount or user namespaces, no extra capabilities. The
# image is the minbase system; the packages downloaded are kept as for the
# chroots. Services are kept from starting as in Debian's own images.
test_container() {
    local log="$work/logs/$release-container"
    make_minbase_tarball
    echo "== $name: default Docker container from the minbase system, clone of ${commit:0:12}"
    start_docker
    container=ribbons-fresh-debian-$release
    "${docker_cli[@]}" import "$tarball" "$container" >/dev/null
    mkdir -p "$work/cache/$release-debs"
    "${docker_cli[@]}" run --detach --name "$container" --network host \
        --volume "$work/cache/$release-debs:/var/cache/apt/archives" "$container" sleep infinity \
        >/dev/null
    local clone="$work/container-clone"
    remove_folder "$clone"
    git clone --quiet --no-hardlinks --no-checkout "$repo" "$clone"
    git -C "$clone" -c advice.detachedHead=false checkout --quiet "$commit"
    "${docker_cli[@]}" cp "$clone" "$container:/root/ribbons"
    [ -d /usr/local/share/ca-certificates ] &&
        "${docker_cli[@]}" cp /usr/local/share/ca-certificates/. \
            "$container:/usr/local/share/ca-certificates/"
    remove_folder "$clone"
    run_in_container "printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d &&
        chmod 755 /usr/sbin/policy-rc.d"

    check "run.sh, container" "$log-run.log" \
        run_in_container './scripts/run.sh && [ "$(head -c 2 screenshot.bmp)" = BM ]'
    check "test.sh, container" "$log-test.log" run_in_container ./scripts/test.sh
    stop_docker
}

# Debian's docker.io for the container step, when the machine has none, as
# its administrator would not mind: without what it recommends (needrestart,
# which would then run after every apt command, among others), removing
# nothing, and with no service of the packages it brings enabled or started
# (the system-wide Docker daemon would set the firewall's forward policy to
# drop): the step runs a daemon of its own. Services are kept from starting
# during the install as in Debian's images; the machine's own policy-rc.d,
# if it has one, is put back afterwards, even when the script is stopped.
install_docker() {
    [ -x /usr/sbin/dockerd ] && [ -x /usr/bin/docker ] && return 0
    local before new
    restore_policy_rc
    before=$(installed_packages)
    [ -e "$policy_rc" ] && mv "$policy_rc" "$policy_rc.fresh-debian"
    printf '#!/bin/sh\n# fresh-debian.sh: no service starts while it installs Docker.\nexit 101\n' \
        >"$policy_rc"
    chmod 755 "$policy_rc"
    install_packages_without_recommends docker.io
    new=$(comm -13 <(echo "$before") <(installed_packages))
    restore_policy_rc
    [ -n "$new" ] || return 0
    # update-rc.d also disables the systemd unit of the same name.
    # shellcheck disable=SC2086 # package names are words
    dpkg-query -L $new | sed -n 's#^/etc/init\.d/##p' | xargs -r -I{} update-rc.d {} disable
    command -v systemctl >/dev/null || return 0
    # shellcheck disable=SC2086
    dpkg-query -L $new | sed -n 's#^\(/usr\)\{0,1\}/lib/systemd/system/\([^/@]*\.\(service\|socket\|timer\)\)$#\2#p' |
        xargs -r systemctl disable --quiet
}

installed_packages() {
    dpkg-query -W -f='${db:Status-Status} ${binary:Package}\n' | awk '$1 == "installed" { print $2 }' | sort
}

install_packages debootstrap debian-archive-keyring git
wants_step package && install_packages autopkgtest piuparts
wants_step container && install_docker

commit=$(git -C "$repo" rev-parse --verify "$ref^{commit}") || die "no commit $ref"
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] ||
    echo "fresh-debian: note: uncommitted changes are not tested, only commit ${commit:0:12}"
mkdir -p "$work/cache" "$work/logs"
# Two runs at once would unpack into the same folders.
exec 9>"$work/lock"
flock --nonblock 9 || die "another run is using $work"
total_start=$(date +%s)
for release in "${releases[@]}"; do
    name="$release (Debian $(debian_version "$release"))"
    wants_step plain && test_plain_build
    wants_step package && test_package
    wants_step root && test_release
    wants_step user && test_normal_user
    wants_step container && test_container
done

echo
echo "== Summary: commit ${commit:0:12}, mirror from this machine's apt sources"
printf '%s\n' "${results[@]}"
echo "total time: $(($(date +%s) - total_start)) s"
if [ "$failed" -ne 0 ]; then
    echo "FAILED (logs in $work/logs/)"
    exit 1
fi
echo "all passed"
