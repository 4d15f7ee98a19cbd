#!/usr/bin/env bash
# Re-pins sources.lock to what Debian's archive serves now: for each library
# the newest version of its source package, that version's orig tarball and
# the tarball's SHA-256 from the signed source index. Lines that already
# match stay as they are; the change is shown as a diff.
#
#   update-sources-lock.sh [LOCK-FILE]
#
# The lock file defaults to VIMBEL_SOURCES_LOCK, then sources.lock here. A
# changed lock rebuilds the SDL family of every target.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
lock="${1:-${VIMBEL_SOURCES_LOCK:-$here/sources.lock}}"
[ -f "$lock" ] || { echo "update-sources-lock: $lock does not exist" >&2; exit 2; }
# shellcheck source-path=SCRIPTDIR source=private-apt.sh
source "$here/private-apt.sh"
private_apt_start update-sources-lock

updated="$apt_dir/sources.lock"
while IFS= read -r line; do
    read -r name package version file sha <<<"$line"
    if [[ "$line" =~ ^[[:space:]]*(#|$) ]]; then
        printf '%s\n' "$line"
        continue
    fi
    read -r current current_file current_sha < <(current_source "$package") || current=""
    if [ -z "$current" ]; then
        echo "update-sources-lock: the archive offers no source package $package" >&2
        exit 1
    fi
    if [ "$current $current_file $current_sha" = "$version $file $sha" ]; then
        printf '%s\n' "$line"
    else
        printf '%-9s %-14s %-22s %-38s %s\n' "$name" "$package" "$current" "$current_file" "$current_sha"
    fi
done <"$lock" >"$updated"

if cmp -s "$lock" "$updated"; then
    echo "update-sources-lock: $lock already pins what the archive serves" >&2
    exit 0
fi
diff -u --label "$lock" --label "$lock (re-pinned)" "$lock" "$updated" || true
cat "$updated" >"$lock"
echo "update-sources-lock: re-pinned $lock; a changed lock rebuilds the SDL family of every target" >&2
