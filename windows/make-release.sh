#!/usr/bin/env bash
# Puts a Windows build together into the archive handed out to parties and
# demo archives: dist/vimbel-demo-<version>-windows-x86_64.zip, one folder
# with the executable, the information file (CRLF line ends), the screenshot
# and the licences.
#
# Usage: windows/make-release.sh BUILD_DIR DIST_DIR
# BUILD_DIR is a build for Windows (cross/mingw-w64-x86_64.cmake), built.
#
# The archive is reproducible: it depends on the commit and on the packages
# installed on the building machine, not on the time, time zone, umask or the
# checkout's path.
set -euo pipefail

# shellcheck source=packaging/release-common.sh
source "$(dirname "$0")/../packaging/release-common.sh"
release_setup windows/make-release.sh vimbel-demo.exe "Windows build" \
    "configure with cross/mingw-w64-x86_64.cmake and build first" "$@"

name="vimbel-demo-$VERSION-windows-x86_64"
stage_root="$build/release-stage"
stage="$stage_root/$name"
rm -rf "$stage_root"
mkdir -p "$stage"

# The Debian packages whose code is linked into the executable: the SDL
# family and FreeType (built from their source packages, whose copyright
# files these binary packages carry), zlib, and GCC's and MinGW-w64's
# runtimes (libstdc++, libgcc, winpthreads, the C runtime's start-up code).
packages=(libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-ttf-2.0-0 libsdl2-mixer-2.0-0
    libsdl2-gfx-1.0-0 libfreetype6 libz-mingw-w64-dev gcc-mingw-w64-base mingw-w64-x86-64-dev)
packaging/collect-licences.sh "$stage/LICENSES" "${packages[@]}"

cp "$build/vimbel-demo.exe" "$stage/vimbel-demo.exe"
cp docs/screenshot.png "$stage/screenshot.png"

# "SDL2 2.26.5, SDL2_image 2.6.3, ...": the versions of sources.lock, then
# those of the Debian packages that supply zlib and the runtimes.
upstream() {
    sed 's/^[0-9]*://; s/[+~-].*//' <<<"$1"
}
installed() {
    upstream "$(dpkg-query -W -f='${Version}' "$1")"
}
declare -A shown=([sdl2]=SDL2 [sdl2-image]=SDL2_image [sdl2-ttf]=SDL2_ttf
    [sdl2-mixer]=SDL2_mixer [sdl2-gfx]=SDL2_gfx [freetype]=FreeType)
versions=()
while read -r library _ version _; do
    [ -n "${shown[$library]:-}" ] && versions+=("${shown[$library]} $(upstream "$version")")
done < <(grep -v -e '^#' -e '^[[:space:]]*$' cross/sources.lock)
[ ${#versions[@]} -eq ${#shown[@]} ] || fail "cross/sources.lock lacks a library of the SDL family"
versions+=("zlib $(installed libz-mingw-w64-dev)"
    "GCC $(installed g++-mingw-w64-x86-64-posix) runtimes"
    "MinGW-w64 $(installed mingw-w64-x86-64-dev) runtime")
printf -v library_versions '%s, ' "${versions[@]}"
fold -s -w 70 <<<"${library_versions%, }." | sed 's/ *$//; s/^/     /' >"$build/library-versions.txt"

release_date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
# Windows' own line ends.
sed -e "s/@VERSION@/$VERSION/g" -e "s/@DATE@/$release_date/g" \
    -e "/@LIBRARY_VERSIONS@/{r $build/library-versions.txt" -e 'd}' \
    windows/vimbel-demo.nfo.in | sed 's/$/\r/' >"$stage/vimbel-demo.nfo"
if awk '{ sub(/\r$/, "") } length > 80 { exit 1 }' "$stage/vimbel-demo.nfo"; then :; else
    fail "vimbel-demo.nfo has lines wider than 80 columns"
fi

# --- the archive -----------------------------------------------------------

# The checkout's umask does not show in the archive (nor, through pack_zip,
# the build's time).
chmod -R u=rwX,go=rX "$stage"
chmod 0755 "$stage/vimbel-demo.exe"
archive="$dist/$name.zip"
pack_zip "$stage_root" "$name" "$archive"
# Where the archive went, for the tests.
echo "$archive" >"$build/release-archive.txt"
echo "make-release: wrote ${archive#"$source_dir"/} ($(stat -c %s "$stage/vimbel-demo.exe") bytes of executable)"
