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
    apt_get_as_root "ribbons needs these Debian packages: ${missing[*]}. Install them as root\
 (apt-get install ${missing[*]}) or install sudo." \
        install -y ${RIBBONS_NO_RECOMMENDS:+--no-install-recommends} "${missing[@]}"
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

# What building the program needs.
build_packages=(g++ cmake make pkg-config liballegro4-dev)

# The Debian mirrors this machine's apt uses, one "URI SUITE" line each, from
# deb822 .sources files and one-line lists alike, in the order apt reads
# them. Security and updates suites are left out: they serve no release of
# their own. RIBBONS_APT_DIR names another folder than /etc/apt to read.
apt_mirrors() {
    local dir=${RIBBONS_APT_DIR:-/etc/apt} file
    for file in "$dir"/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk '
            function flush(  i, n, suite) {
                if (uri != "" && types ~ /(^| )deb( |$)/ && enabled != "no") {
                    n = split(suites, suite, " ")
                    for (i = 1; i <= n; i++)
                        if (suite[i] !~ /[-\/](security|updates)$/) print uri, suite[i]
                }
                uri = ""; types = ""; enabled = ""; suites = ""
            }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { flush(); next }
            tolower($1) == "types:" { types = substr($0, index($0, ":") + 1) }
            tolower($1) == "enabled:" { enabled = tolower($2) }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "suites:" { suites = substr($0, index($0, ":") + 1) }
            END { flush() }
        ' "$file"
    done
    for file in "$dir"/sources.list "$dir"/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$file" |
            awk '$1 == "deb" && $3 !~ /[-\/](security|updates)$/ { print $2, $3 }'
    done
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
# sources may come first (backports, a third-party repository, a .sources
# file read before sources.list): only the release's own suite counts, at a
# mirror whose index lists the package.
allegro_source_mirror() {
    local dir=$1 release=${2:-} uri suite
    [ -n "$release" ] || release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    while read -r uri suite; do
        [ "$suite" = "$release" ] || continue
        serves_allegro_source "$dir" "$uri" "$suite" && { echo "$uri $suite"; return 0; }
    done < <(apt_mirrors)
    return 1
}
