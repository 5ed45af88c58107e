#!/usr/bin/env bash
# scripts/cache.sh: a product is reused, with a line saying so, only while
# its stamp holds the key of what it is built from; a changed input or no
# stamp rebuilds it, and a build folder made with another toolchain starts
# afresh while one made with the same is kept.
set -euo pipefail
repo=$(mktemp -d)
trap 'rm -rf "$repo"' EXIT
source "$(dirname "$0")/../../scripts/cache.sh"
fail() { echo "$*" >&2; exit 1; }

key=$(echo "inputs" | inputs_key)
changed=$(echo "inputs, one changed" | inputs_key)
reuse_if_built_from "$repo/stamp" "$key" thing >/dev/null && fail "reused with no stamp"
record_built_from "$repo/stamp" "$key"
said=$(reuse_if_built_from "$repo/stamp" "$key" thing) || fail "not reused with its own key"
[ "$said" = "Reusing thing: its inputs are unchanged (stamp)" ] || fail "said: $said"
reuse_if_built_from "$repo/stamp" "$changed" thing >/dev/null && fail "reused after an input changed"

keep_build_if_built_from "$repo/build" "$key" build >/dev/null
touch "$repo/build/object.o"
keep_build_if_built_from "$repo/build" "$key" build >/dev/null
[ -f "$repo/build/object.o" ] || fail "same toolchain, yet the build was thrown away"
keep_build_if_built_from "$repo/build" "$changed" build >/dev/null
[ ! -e "$repo/build/object.o" ] || fail "another toolchain, yet the old objects were kept"
echo "cache: all checks passed"
