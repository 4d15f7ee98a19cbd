#!/usr/bin/env bash
# Builds the SDL family for one target once and prints the prefix that holds
# it. The result is cached outside the build tree, keyed by the target and by
# the hash of the lock file, the recipes and the toolchain, so a rebuild of
# the demo finds it at once and a changed lock file or recipe builds anew.
#
#   build-family.sh TARGET TOOLCHAIN-FILE [extra arguments for cross/CMakeLists.txt]
#
# The cache lies under ${XDG_CACHE_HOME:-~/.cache}/vimbel (VIMBEL_CACHE
# overrides it): sources/ holds the verified tarballs, sdl-family/ the
# prefixes. Progress goes to standard error; standard output is the prefix.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
target="${1:?usage: build-family.sh TARGET TOOLCHAIN-FILE [cmake arguments...]}"
toolchain="$(realpath "${2:?usage: build-family.sh TARGET TOOLCHAIN-FILE [cmake arguments...]}")"
shift 2
cache="${VIMBEL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vimbel}"

key="$(
    {
        cat "$here/sources.lock" "$here/CMakeLists.txt" "$here/zlib.cmake" "$here/sdl2-gfx.cmake" \
            "$here/check-backends.cmake" "$toolchain"
        printf '%s\n' "$@"
    } | sha256sum | cut -c1-16
)"
prefix="$cache/sdl-family/$target-$key"
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

# One build of a target at a time: a second one (another make, a clone's
# build beside this one) waits here and then finds the first one's result,
# instead of building into the same folders at once.
mkdir -p "$cache/locks"
exec 9>"$cache/locks/$target.lock"
if ! flock -n 9; then
    echo "build-family: waiting for another build of $target to finish" >&2
    flock 9
fi
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

"$here/fetch-sources.sh" "$cache/sources" >&2
work="$cache/work/$target-$key"
rm -rf "$work" "$prefix"
echo "build-family: building the SDL family for $target into $prefix" >&2
start=$SECONDS
cmake -S "$here" -B "$work" -DVIMBEL_TARGET_TOOLCHAIN="$toolchain" \
    -DVIMBEL_SOURCES="$cache/sources" -DVIMBEL_PREFIX="$prefix" "$@" >&2
cmake --build "$work" -j "$(nproc)" >&2
touch "$prefix/.complete"
rm -rf "$work"
# Earlier builds of this target (another lock file or recipe) are stale.
for stale in "$cache/sdl-family/$target"-????????????????; do
    [ "$stale" = "$prefix" ] || rm -rf "$stale"
done
echo "build-family: $target done in $((SECONDS - start)) s" >&2
echo "$prefix"
