#!/usr/bin/env bash
# Fetches the tarballs that sources.lock names into a cache folder (the first
# argument) and checks each against its SHA-256; a mismatch stops with the
# file's name. Missing tarballs come from Debian's source packages through
# `apt-get source` with a private configuration (private-apt.sh).
#
# The archive serves only the newest Debian revision of a package, and a new
# revision keeps the upstream (orig) tarball the lock pins. So when the
# pinned revision is gone, the current one is fetched instead, and its orig
# tarball is taken if its SHA-256 is the pinned one.
#
#   fetch-sources.sh CACHE-DIR
#
# VIMBEL_SOURCES_LOCK names another lock file (default: sources.lock here).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
lock="${VIMBEL_SOURCES_LOCK:-$here/sources.lock}"
dest="${1:?usage: fetch-sources.sh CACHE-DIR}"
mkdir -p "$dest"
# shellcheck source-path=SCRIPTDIR source=private-apt.sh
source "$here/private-apt.sh"

verify() {  # file sha256
    local actual
    actual="$(sha256sum "$1" | cut -d' ' -f1)"
    if [ "$actual" != "$2" ]; then
        echo "fetch-sources: $(basename "$1"): SHA-256 is $actual, $(basename "$lock") pins $2" >&2
        return 1
    fi
}

lock_lines() {
    grep -v '^\s*\(#\|$\)' "$lock"
}

missing=()
while read -r _ package version file sha; do
    if [ -f "$dest/$file" ]; then
        verify "$dest/$file" "$sha" || { rm -f "$dest/$file"; exit 1; }
    else
        missing+=("$package=$version")
    fi
done < <(lock_lines)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "fetch-sources: fetching ${missing[*]}" >&2
private_apt_start fetch-sources
download="$apt_dir/download"
mkdir -p "$download"

# One package at a time, each into its own folder: the archive may lack a
# file that is not needed (the newest Debian revision's patches), and the
# lock decides what is.
fetch() {  # package version folder
    mkdir -p "$3"
    (cd "$3" && apt-get "${apt_options[@]}" -qq source --download-only "$1=$2") </dev/null 2>"$3.log"
}

while read -r _ package version file sha; do
    [ -f "$dest/$file" ] && continue
    folder="$download/$package=$version"
    fetch "$package" "$version" "$folder" || true
    if [ ! -f "$folder/$file" ]; then
        # The revisions the archive offers now, newest first; the first that
        # delivers the pinned file is taken.
        offered=()
        while read -r other other_file _; do
            [ "$other" != "$version" ] && [ "$other_file" = "$file" ] && offered+=("$other")
        done < <(source_versions "$package")
        echo "fetch-sources: $package $version is not served; trying the archive's revisions" \
            "with $file: ${offered[*]:-none}" >&2
        for other in "${offered[@]}"; do
            folder="$download/$package=$other"
            if fetch "$package" "$other" "$folder" && [ -f "$folder/$file" ]; then
                verify "$folder/$file" "$sha"
                echo "fetch-sources: took $file from $package $other instead of $version:" \
                    "its SHA-256 is the one the lock pins" >&2
                break
            fi
        done
    fi
    if [ ! -f "$folder/$file" ]; then
        cat "$folder.log" >&2
        echo "fetch-sources: $file ($package $version) could not be fetched;" \
            "\`make update-sources-lock\` pins what the archive serves now" >&2
        exit 1
    fi
    verify "$folder/$file" "$sha"
    mv "$folder/$file" "$dest/$file"
done < <(lock_lines)
