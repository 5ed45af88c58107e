# What a warm run reuses: each product the scripts build once and keep under
# build/ (a library built for Windows or the browser, GoogleTest, the arm64
# system root, a sanitizer build, the Debian package) comes with a stamp
# holding a hash of what it was built from. The next run reuses the product
# when the hash it computes is the one in the stamp, and says so in one line;
# any change to an input rebuilds it. package.sh keeps the passes of lintian
# and of the package's own test the same way, keyed by the package's files
# and the checkers' versions. Sourced by the scripts, after packages.sh.

# The key of what a product is built from: the SHA-256 of the description
# on standard input, which names every input or holds it whole.
inputs_key() {
    sha256sum | cut -d' ' -f1
}

# reuse_if_built_from STAMP KEY WHAT: succeeds, saying what is reused, when
# STAMP records KEY; fails, so the caller builds, otherwise.
reuse_if_built_from() {
    local stamp=$1 key=$2 what=$3
    [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ] || return 1
    echo "Reusing $what: its inputs are unchanged (${stamp#"$repo"/})"
}

# record_built_from STAMP KEY: written last, once the product is complete,
# so an interrupted build is never taken for a finished one.
record_built_from() {
    mkdir -p "$(dirname "$1")"
    echo "$2" >"$1"
}

# package_versions PACKAGE...: "name version" of each, for a key; a package
# that is not installed has no line, so installing it changes the key.
package_versions() {
    dpkg-query -W -f='${Package} ${Version}\n' "$@" 2>/dev/null || true
}

# keep_build_if_built_from DIR KEY WHAT: a CMake build folder that make
# keeps up to date with the sources, kept only while the toolchain and
# libraries it was configured with (KEY) are the same; make does not notice
# a new compiler, so a changed one starts the folder afresh. Its stamp is
# written at once: make finishes an interrupted build by itself.
keep_build_if_built_from() {
    local dir=$1 key=$2 what=$3
    reuse_if_built_from "$dir/.built-from" "$key" "$what (make rebuilds what changed in the sources)" &&
        return 0
    rm -rf "$dir"
    record_built_from "$dir/.built-from" "$key"
}

# compiler_key COMPILER...: each compiler's version and the hash of its own
# file, so a new build of the same version counts as a change too.
compiler_key() {
    local compiler
    for compiler in "$@"; do
        "$compiler" --version | sed -n 1p
        sha256sum "$(readlink -f "$(command -v "$compiler")")" | cut -d' ' -f1
    done
}

# native_toolchain_key COMPILER...: what a native build of ribbons and its
# tests is made with, besides the sources: the compilers and the libraries.
native_toolchain_key() {
    {
        compiler_key "$@"
        package_versions liballegro4-dev libgtest-dev libx11-dev libxtst-dev
    } | inputs_key
}
