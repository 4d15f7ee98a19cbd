#!/usr/bin/env bash
# Puts a Linux release build together into the archive handed out to parties
# and demo archives: dist/vimbel-demo-<version>-linux-<arch>.tar.gz, one
# folder with the executable (the SDL family linked in),
# the information file, the screenshot and the licences.
#
# Usage: packaging/make-release.sh BUILD_DIR DIST_DIR
# BUILD_DIR is a build configured with cross/linux-<arch>.cmake and the SDL
# family of cross/build-family.sh (VIMBEL_SDL_FAMILY), and built.
#
# The archive is reproducible: it depends on the commit and on the packages
# installed on the building machine, not on the time, the umask or the
# checkout's path.
set -euo pipefail

# shellcheck source=packaging/release-common.sh
source "$(dirname "$0")/../packaging/release-common.sh"
release_setup make-release.sh vimbel-demo "Linux release build" \
    "configure with cross/linux-<arch>.cmake and VIMBEL_SDL_FAMILY, and build first" "$@"

# The Debian packages whose code is linked into the executable: the SDL
# family and FreeType (built from their source packages, whose copyright
# files these binary packages carry), zlib, GCC's C++ library (its templates
# are compiled in) and the C library's start-up code, the last two for the
# target's architecture.
case "${ARCH:-}" in
    x86_64) platform="x86-64 (64-bit PC)" runtimes=(libstdc++-12-dev libc6-dev) ;;
    aarch64) platform="ARM64 (AArch64)" runtimes=(libstdc++-12-dev-arm64-cross libc6-dev-arm64-cross) ;;
    *) fail "$build is built for '${ARCH:-}', not x86_64 or aarch64 Linux" ;;
esac
packages=(libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-ttf-2.0-0 libsdl2-mixer-2.0-0
    libsdl2-gfx-1.0-0 libfreetype6 zlib1g "${runtimes[@]}")

name="vimbel-demo-$VERSION-linux-$ARCH"
stage_root="$build/release-stage"
stage="$stage_root/$name"
rm -rf "$stage_root"
mkdir -p "$stage"

packaging/collect-licences.sh "$stage/LICENSES" "${packages[@]}"
cp "$build/vimbel-demo" "$stage/vimbel-demo"
cp docs/screenshot.png "$stage/screenshot.png"

# The newest symbol versions the executable asks of glibc and of libstdc++:
# what the machine must have at least.
glibc=$(newest "$stage/vimbel-demo" GLIBC)
glibcxx=$(newest "$stage/vimbel-demo" GLIBCXX)
if [ -z "$glibc" ] || [ -z "$glibcxx" ]; then
    fail "no glibc or libstdc++ symbol versions found in $stage/vimbel-demo"
fi

# "SDL2 2.26.5, SDL2_image 2.6.3, ...": the upstream versions of sources.lock.
upstream() { sed 's/^[0-9]*://; s/[+~-].*//; s/\.dfsg$//' <<<"$1"; }
declare -A shown=([sdl2]=SDL2 [sdl2-image]=SDL2_image [sdl2-ttf]=SDL2_ttf
    [sdl2-mixer]=SDL2_mixer [sdl2-gfx]=SDL2_gfx [freetype]=FreeType [zlib]=zlib)
versions=()
while read -r library _ version _; do
    [ -n "${shown[$library]:-}" ] && versions+=("${shown[$library]} $(upstream "$version")")
done < <(grep -v -e '^#' -e '^[[:space:]]*$' cross/sources.lock)
[ ${#versions[@]} -eq ${#shown[@]} ] || fail "cross/sources.lock lacks a library of the SDL family"
printf -v library_versions '%s, ' "${versions[@]}"
fold -s -w 70 <<<"${library_versions%, }." | sed 's/ *$//; s/^/     /' >"$build/library-versions.txt"

release_date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
sed -e "s/@VERSION@/$VERSION/g" \
    -e "s/@DATE@/$release_date/g" \
    -e "s/@ARCH@/$ARCH/g" \
    -e "s/@PLATFORM@/$platform/g" \
    -e "s/@GLIBC@/${glibc#GLIBC_}/g" \
    -e "s/@GLIBCXX@/$glibcxx/g" \
    -e "/@LIBRARY_VERSIONS@/{r $build/library-versions.txt" -e 'd}' \
    packaging/vimbel-demo.nfo.in >"$stage/vimbel-demo.nfo"
if awk 'length > 80 { exit 1 }' "$stage/vimbel-demo.nfo"; then :; else
    fail "vimbel-demo.nfo has lines wider than 80 columns"
fi

# --- the archive -----------------------------------------------------------

# The checkout's umask must not show in the archive.
chmod -R u=rwX,go=rX "$stage"
chmod 0755 "$stage/vimbel-demo"

archive="$dist/$name.tar.gz"
(
    cd "$stage_root"
    LC_ALL=C tar --create --format=gnu --sort=name \
        --owner=0 --group=0 --numeric-owner --mtime="@$SOURCE_DATE_EPOCH" "$name"
) | gzip -9 -n >"$archive.tmp"
mv "$archive.tmp" "$archive"
# Where the archive went, for the release tests.
echo "$archive" >"$build/release-archive.txt"
echo "make-release: wrote ${archive#"$source_dir"/} ($(stat -c %s "$archive") bytes, glibc ${glibc#GLIBC_})"
