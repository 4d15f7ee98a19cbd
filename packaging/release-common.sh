# Shared by the release scripts and their tests (sourced, not run; the
# tests also source tests/harness.sh).
# shellcheck shell=bash

fail() {
    echo "make-release: $*" >&2
    exit 1
}

# The newest symbol version of a library an ELF file asks for: newest FILE
# GLIBC gives GLIBC_2.34, for one.
newest() { readelf -V -W "$1" | grep -o "\b$2_[0-9][0-9.]*" | sort -u -V | tail -n 1; }

# The start of every release script: BUILD_DIR and DIST_DIR from the command
# line, the tree's root as the working folder, and the version and time that
# the build recorded. Sets build, dist, source_dir, VERSION (marked -dirty
# when tracked files have uncommitted changes) and SOURCE_DATE_EPOCH.
#   release_setup USAGE EXECUTABLE KIND HINT BUILD_DIR DIST_DIR
# shellcheck disable=SC2034  # the callers use what it sets
release_setup() {
    local usage=$1 executable=$2 kind=$3 hint=$4
    shift 4
    [ $# -eq 2 ] || fail "usage: $usage BUILD_DIR DIST_DIR"
    build=$(realpath "$1")
    mkdir -p "$2"
    dist=$(realpath "$2")
    cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
    source_dir=$(pwd)
    if [ ! -f "$build/release.env" ] || [ ! -f "$build/$executable" ]; then
        fail "$build holds no $kind ($hint)"
    fi
    [ -f docs/screenshot.png ] ||
        fail "docs/screenshot.png is missing: the release needs the screenshot made by vimbel-capture"
    # shellcheck source=/dev/null
    source "$build/release.env"
    [ -n "$SOURCE_DATE_EPOCH" ] ||
        fail "no SOURCE_DATE_EPOCH: build from a git checkout or set it to the release's time"
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git update-index -q --refresh || true
        git diff-index --quiet HEAD -- || VERSION="$VERSION-dirty"
    fi
}

# Packs the folder NAME under STAGE_ROOT into ARCHIVE (a .zip) so that two
# builds of one commit give the same bytes: every entry carries
# SOURCE_DATE_EPOCH in UTC (zip records local time), in a fixed order, with no
# extra attributes. The archive appears only once it is whole.
#   pack_zip STAGE_ROOT NAME ARCHIVE
pack_zip() {
    local stage_root=$1 name=$2 archive=$3
    find "$stage_root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
    rm -f "$archive.tmp"
    (
        cd "$stage_root" || exit 1
        find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -9 "$archive.tmp" -@
    ) || fail "cannot pack $archive"
    mv "$archive.tmp" "$archive"
}

# Clones HEAD of the tree in source_dir into a fresh folder; a commit without
# the screenshot (made by the capture tool) gets the working tree's copy,
# left untracked.
fresh_clone() {
    git clone -q --no-hardlinks "$source_dir" "$1" &&
        git -C "$1" checkout -q --detach "$(git rev-parse HEAD)" || return 1
    if [ ! -f "$1/docs/screenshot.png" ] && [ -f docs/screenshot.png ]; then
        mkdir -p "$1/docs" && cp docs/screenshot.png "$1/docs/screenshot.png"
    fi
}

# Builds a make target in a clone under the given umask and time zone.
#   make_in_clone CLONE TARGET UMASK TIME-ZONE
make_in_clone() {
    local clone=$1 target=$2 mask=$3 zone=$4
    (cd "$clone" && umask "$mask" && env -u SOURCE_DATE_EPOCH TZ="$zone" \
        make "$target" JOBS=2 >"$clone.log" 2>&1) || { tail -n 20 "$clone.log"; return 1; }
}

# The executable and the archive of build folder $2 and dist folder $3 are
# those of build folder $4 and dist folder $5, byte for byte; prints their
# hashes.
#   same_release EXECUTABLE BUILD DIST OTHER_BUILD OTHER_DIST
same_release() {
    local executable=$1 build=$2 dist=$3 other_build=$4 other_dist=$5 name
    cmp "$build/$executable" "$other_build/$executable" || return 1
    name=$(basename "$(cat "$build/release-archive.txt")")
    [ "$name" = "$(basename "$(cat "$other_build/release-archive.txt")")" ] || return 1
    cmp "$dist/$name" "$other_dist/$name" || return 1
    sha256sum "$build/$executable" "$dist/$name"
}

# Two fresh clones built with different umasks and time zones must give the
# same executable and archive in each build folder; prints their hashes.
#   same_from_two_clones WORK TARGET EXECUTABLE BUILD_DIR...
same_from_two_clones() {
    local work=$1 target=$2 executable=$3 build_dir
    local first="$work/clone-one" second="$work/clone-two"
    shift 3
    fresh_clone "$first" && fresh_clone "$second" || return 1
    make_in_clone "$first" "$target" 022 UTC || return 1
    make_in_clone "$second" "$target" 077 Pacific/Auckland || return 1
    for build_dir; do
        same_release "$executable" "$first/$build_dir" "$first/dist" "$second/$build_dir" \
            "$second/dist" | sed "s|$work/||" || return 1
    done
}

# The commit time a build recorded (its release.env).
build_epoch() { sed -n 's/^SOURCE_DATE_EPOCH=//p' "$1/release.env" 2>/dev/null; }

# One fresh clone, built under another umask and time zone than this tree,
# must give the executables and archives that this tree's builds made (the
# build folders given, whose archives are in DIST). Where the tree's build
# may differ from HEAD's (uncommitted changes, a SOURCE_DATE_EPOCH of its
# own, a build of an earlier commit), two fresh clones are compared instead.
# Saves one clone's build.
#   same_as_a_fresh_clone WORK TARGET EXECUTABLE DIST BUILD...
same_as_a_fresh_clone() {
    local work=$1 target=$2 executable=$3 dist=$4 build head_time stale=""
    local clone="$work/clone-one"
    local mask=077 zone=Pacific/Auckland
    shift 4
    head_time=$(git log -1 --format=%ct HEAD)
    for build; do [ "$(build_epoch "$build")" = "$head_time" ] || stale=yes; done
    git update-index -q --refresh
    if [ -n "$stale" ] || ! git diff-index --quiet HEAD -- || [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
        echo "this tree's builds may not be HEAD's: comparing two fresh clones"
        local build_dirs=()
        for build; do build_dirs+=("$(basename "$build")"); done
        same_from_two_clones "$work" "$target" "$executable" "${build_dirs[@]}"
        return
    fi
    [ "$(umask)" = 0077 ] && mask=022
    [ "${TZ:-}" = "$zone" ] && zone=UTC
    fresh_clone "$clone" && make_in_clone "$clone" "$target" "$mask" "$zone" || return 1
    for build; do
        same_release "$executable" "$clone/$(basename "$build")" "$clone/dist" "$build" "$dist" |
            sed "s|$work/||" || return 1
    done
}
