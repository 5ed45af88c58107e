# Installs the Debian packages named as arguments that are not installed yet.
# Sourced by the run and test scripts, so each does all of its own set-up.

install_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    # Installing must never take away a package the machine has.
    apt_get_as_root "ribbons needs these Debian packages: ${missing[*]}. Install them as root\
 (apt-get install ${missing[*]}) or install sudo." \
        install -y --no-remove ${RIBBONS_NO_RECOMMENDS:+--no-install-recommends} "${missing[@]}"
}

# as_root HINT COMMAND...: runs COMMAND as root, directly or through sudo;
# with neither, prints HINT and stops.
as_root() {
    local hint=$1
    shift
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "$hint" >&2
        exit 1
    fi
}

# apt_get_as_root HINT ARGUMENTS...: apt-get update, then apt-get with the
# arguments, as root. sudo clears the environment, so the non-interactive
# setting goes through env; apt waits a while for another apt (an unattended
# upgrade, say) to finish rather than failing at once.
apt_get_as_root() {
    local hint=$1 apt=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300)
    shift
    as_root "$hint" "${apt[@]}" update
    as_root "$hint" "${apt[@]}" "$@"
}

# The same, without the packages they recommend: qemu-user recommends
# qemu-user-binfmt, which would register its emulators with the kernel for
# the whole machine.
install_packages_without_recommends() {
    RIBBONS_NO_RECOMMENDS=1 install_packages "$@"
}

# What building the program needs: Xlib is linked directly for its error
# handler on a lost display (Allegro's development package brings it too).
build_packages=(g++ cmake make pkg-config liballegro4-dev libx11-dev)

# The mirrors this machine's apt fetches packages from, one "URI SUITE" line
# each, in the order apt reads them: apt's own reading of its sources, deb822
# and one-line alike, disabled entries left out. RIBBONS_APT_DIR names
# another folder than /etc/apt to read.
apt_mirrors() {
    local dir=${RIBBONS_APT_DIR:-/etc/apt}
    apt-get -o Dir::Etc::SourceList="$dir/sources.list" -o Dir::Etc::SourceParts="$dir/sources.list.d" \
        indextargets --no-release-info --format '$(SITE) $(RELEASE)' 'Target-Of: deb' | awk '!seen[$0]++'
}

# apt-get with a source list and package lists of its own in FOLDER, so the
# machine's apt set-up is only read, never changed.
private_apt() {
    local dir
    dir=$(realpath -m "$1")
    shift
    mkdir -p "$dir/sources.list.d" "$dir/lists/partial"
    apt-get -o Dir::Etc::SourceList="$dir/sources.list" -o Dir::Etc::SourceParts="$dir/sources.list.d" \
        -o Dir::State::Lists="$dir/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= \
        -o APT::Sandbox::User=root "$@"
}

# Whether URI's SUITE lists Debian's allegro4.4 source package, by its own
# index, fetched into FOLDER; that index stays there for private_apt.
serves_allegro_source() {
    local dir=$1 uri=$2 suite=$3
    mkdir -p "$dir/lists"
    rm -f "$dir"/lists/*_Sources*
    echo "deb-src $uri $suite main" >"$dir/sources.list"
    private_apt "$dir" update -qq </dev/null >/dev/null 2>&1 &&
        [ -n "$(private_apt "$dir" source --print-uris -qq allegro4.4 </dev/null 2>/dev/null)" ]
}

# The Debian mirror that serves Allegro's source for the release this
# machine runs (or RELEASE), as "URI SUITE", its index left in FOLDER. Other
# sources may come first (a third-party repository, security, updates,
# backports): only the release's own suite counts, at a mirror whose index
# lists the package.
allegro_source_mirror() {
    local dir=$1 release=${2:-} uri suite
    [ -n "$release" ] || release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    while read -r uri suite; do
        [ "$suite" = "$release" ] || continue
        serves_allegro_source "$dir" "$uri" "$suite" && { echo "$uri $suite"; return 0; }
    done < <(apt_mirrors)
    return 1
}
