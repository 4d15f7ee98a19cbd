#!/usr/bin/env bash
# Puts a release build together into the archive handed out to parties and
# demo archives: dist/vimbel-demo-<version>-linux-x86_64.tar.gz, one folder with
# the executable, the libraries it needs that a desktop may lack (lib/), the
# information file, the screenshot and the licences.
#
# Usage: packaging/make-release.sh BUILD_DIR DIST_DIR
# BUILD_DIR is a build configured with -DVIMBEL_BUNDLED_LIBS=ON and built.
#
# The archive is reproducible: it depends on the commit and on the libraries
# installed on the building machine, not on the time, the umask or the
# checkout's path.
set -euo pipefail

# shellcheck source=packaging/release-common.sh
source "$(dirname "$0")/../packaging/release-common.sh"
release_setup make-release.sh vimbel-demo "release build" \
    "configure with -DVIMBEL_BUNDLED_LIBS=ON and build first" "$@"

name="vimbel-demo-$VERSION-linux-x86_64"
stage_root="$build/release-stage"
stage="$stage_root/$name"
rm -rf "$stage_root"
mkdir -p "$stage/lib" "$stage/LICENSES"

# --- libraries -------------------------------------------------------------

excluded=()
while read -r pattern _; do
    excluded+=("$pattern")
done < <(grep -v -e '^#' -e '^[[:space:]]*$' packaging/excluded-libraries.txt)

is_excluded() {
    local pattern
    for pattern in "${excluded[@]}"; do
        # shellcheck disable=SC2254
        case "$1" in $pattern) return 0 ;; esac
    done
    return 1
}

needed() {
    readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'
}

# Where the building machine's loader finds each library the executable needs,
# directly or through others.
declare -A location
while read -r soname arrow path _; do
    [ "$arrow" = "=>" ] && [ -f "$path" ] && location[$soname]=$path
done < <(ldd "$build/vimbel-demo")

# Follows the needs of every bundled library; an excluded library's needs are
# left to the host along with it.
declare -A bundled
mapfile -t queue < <(needed "$build/vimbel-demo")
while [ ${#queue[@]} -gt 0 ]; do
    soname=${queue[0]}
    queue=("${queue[@]:1}")
    [ -n "${bundled[$soname]:-}" ] && continue
    is_excluded "$soname" && continue
    path=${location[$soname]:-}
    [ -n "$path" ] || fail "cannot find $soname, which the demo needs"
    bundled[$soname]=$(realpath "$path")
    mapfile -t -O ${#queue[@]} queue < <(needed "$path")
done

# The Debian package that installed a library file.
package_of() {
    local file=$1 candidate
    for candidate in "$file" "/usr${file#/usr}" "${file#/usr}"; do
        if dpkg-query -S "$candidate" >/dev/null 2>&1; then
            dpkg-query -S "$candidate" | head -n 1 | sed 's/:.*//'
            return
        fi
    done
    fail "no Debian package owns $file; its licence cannot be found"
}

declare -A packages
for soname in "${!bundled[@]}"; do
    cp "${bundled[$soname]}" "$stage/lib/$soname"
    # Each library finds its own needs beside itself, as the executable does.
    # shellcheck disable=SC2016
    patchelf --set-rpath '$ORIGIN' "$stage/lib/$soname"
    packages[$(package_of "${bundled[$soname]}")]=1
done

# --- licences --------------------------------------------------------------

packaging/collect-licences.sh "$stage/LICENSES" "${!packages[@]}"

# --- the executable, screenshot and information file ------------------------

cp "$build/vimbel-demo" "$stage/vimbel-demo"
cp docs/screenshot.png "$stage/screenshot.png"

# The newest symbol versions anything in the folder asks of the host's C and
# C++ runtimes: what the machine must have at least.
newest_version() {
    find "$stage/vimbel-demo" "$stage/lib" -type f -exec objdump -T {} + |
        grep -o "\b$1_[0-9][0-9.]*" | sort -u -V | tail -n 1
}
glibc=$(newest_version GLIBC)
glibcxx=$(newest_version GLIBCXX)
[ -n "$glibc" ] || fail "no glibc symbol versions found in $stage"

# The SDL family's versions, as their packages give them: "SDL2 2.26.5, ...".
sdl_versions=$(for soname in $(printf '%s\n' "${!bundled[@]}" | grep '^libSDL2' | sort); do
    version=$(dpkg-query -W -f='${Version}' "$(package_of "${bundled[$soname]}")")
    library=${soname%%-*}
    echo "${library#lib} $(sed 's/^[0-9]*://; s/[+~-].*//' <<<"$version")"
done | paste -sd, | sed 's/,/, /g')
library_count=${#bundled[@]}

release_date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
sed -e "s/@VERSION@/$VERSION/g" \
    -e "s/@DATE@/$release_date/g" \
    -e "s/@GLIBC@/${glibc#GLIBC_}/g" \
    -e "s/@GLIBCXX@/$glibcxx/g" \
    -e "s/@LIBRARY_COUNT@/$library_count/g" \
    packaging/vimbel-demo.nfo.in >"$stage/vimbel-demo.nfo"
# The SDL versions line is folded to fit the information file's 80 columns.
fold -s -w 70 <<<"$sdl_versions." | sed 's/ *$//; s/^/     /' >"$build/sdl-versions.txt"
sed -i -e "/@SDL_VERSIONS@/{r $build/sdl-versions.txt" -e 'd}' "$stage/vimbel-demo.nfo"

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
echo "make-release: wrote ${archive#"$source_dir"/} ($library_count libraries bundled, glibc ${glibc#GLIBC_})"
