#!/usr/bin/env bash
# Fetches the tarballs that sources.lock names into a cache folder (the first
# argument) and checks each against its SHA-256; a mismatch stops with the
# file's name. Missing tarballs come from Debian's source packages through
# `apt-get source` with a private configuration: a deb-src list derived from
# this machine's own sources, private lists and cache. The system's apt setup
# is never changed, and apt checks the signed source indices itself.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
lock="$here/sources.lock"
dest="${1:?usage: fetch-sources.sh CACHE-DIR}"
mkdir -p "$dest"

verify() {  # file sha256
    local actual
    actual="$(sha256sum "$1" | cut -d' ' -f1)"
    if [ "$actual" != "$2" ]; then
        echo "fetch-sources: $(basename "$1"): SHA-256 is $actual, sources.lock pins $2" >&2
        return 1
    fi
}

missing=()
while read -r _ package version file sha; do
    if [ -f "$dest/$file" ]; then
        verify "$dest/$file" "$sha" || { rm -f "$dest/$file"; exit 1; }
    else
        missing+=("$package=$version")
    fi
done < <(grep -v '^\s*\(#\|$\)' "$lock")
[ ${#missing[@]} -eq 0 ] && exit 0

apt_dir="$(mktemp -d)"
trap 'rm -rf "$apt_dir"' EXIT
mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/download"
# Every enabled source of the machine, as a source-package list.
shopt -s nullglob
for sources in /etc/apt/sources.list.d/*.sources; do
    sed 's/^Types:.*/Types: deb-src/' "$sources" > "$apt_dir/parts/$(basename "$sources")"
done
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] && sed -n 's/^\s*deb\s/deb-src /p' "$list" >> "$apt_dir/parts/machine.list"
done
apt_options=(
    -o "Dir::Etc::SourceList=/dev/null"
    -o "Dir::Etc::SourceParts=$apt_dir/parts"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
    -o "APT::Sandbox::User=$(id -un)"
    -o "Debug::NoLocking=true"
)
echo "fetch-sources: fetching ${missing[*]}"
apt-get "${apt_options[@]}" -qq update
# One package at a time: the archive may lack a file that is not needed
# (the newest Debian revision's patches), and the lock decides what is.
(
    cd "$apt_dir/download"
    for package in "${missing[@]}"; do
        apt-get "${apt_options[@]}" -qq source --download-only "$package" ||
            echo "fetch-sources: apt-get source $package reported errors; checking the pinned file" >&2
    done
)
while read -r _ package version file sha; do
    [ -f "$dest/$file" ] && continue
    if [ ! -f "$apt_dir/download/$file" ]; then
        echo "fetch-sources: $file ($package $version) could not be fetched" >&2
        exit 1
    fi
    verify "$apt_dir/download/$file" "$sha"
    mv "$apt_dir/download/$file" "$dest/$file"
done < <(grep -v '^\s*\(#\|$\)' "$lock")
