#!/usr/bin/env bash
# Checks fetch-sources.sh and update-sources-lock.sh against Debian's archive,
# with lock files and a cache of their own (the real cache is not touched):
# a lock line whose Debian revision the archive does not serve still fetches
# its orig tarball, a wrong SHA-256 stops naming the file, and re-pinning
# takes the archive's version and keeps the tarball. Without the archive the
# checks fail under CI and are skipped elsewhere.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "test-sources: FAILED: $*" >&2
    failures=$((failures + 1))
}

# shellcheck source-path=SCRIPTDIR source=private-apt.sh
if ! (source "$here/private-apt.sh" && private_apt_start test-sources) 2>"$work/probe"; then
    cat "$work/probe" >&2
    if [ "${CI:-}" = true ]; then
        echo "test-sources: FAILED: Debian's archive cannot be reached" >&2
        exit 1
    fi
    echo "test-sources: SKIPPED: Debian's archive cannot be reached (under CI=true this fails)" >&2
    exit 0
fi

# zlib's line of the real lock, with a Debian revision that never existed.
read -r name package version file sha < <(grep '^zlib ' "$here/sources.lock")
made_up="${version%-*}-99"
echo "$name $package $made_up $file $sha" >"$work/made-up.lock"

echo "test-sources: a revision the archive does not serve ($package $made_up)"
if VIMBEL_SOURCES_LOCK="$work/made-up.lock" "$here/fetch-sources.sh" "$work/cache" 2>"$work/log"; then
    [ "$(sha256sum <"$work/cache/$file" | cut -d' ' -f1)" = "$sha" ] || fail "$file in the cache is not the pinned one"
    grep -q "took $file from $package .* instead of $made_up" "$work/log" ||
        fail "the log does not say which revision $file came from: $(cat "$work/log")"
else
    fail "fetching $package $made_up: $(cat "$work/log")"
fi

echo "test-sources: a tarball whose SHA-256 is not the pinned one, from another revision"
echo "$name $package $made_up $file $(printf '0%.0s' {1..64})" >"$work/wrong.lock"
if VIMBEL_SOURCES_LOCK="$work/wrong.lock" "$here/fetch-sources.sh" "$work/fresh" 2>"$work/log"; then
    fail "a wrong SHA-256 was accepted"
else
    grep -q "^fetch-sources: $file: SHA-256 is $sha" "$work/log" ||
        fail "the refusal does not name $file: $(cat "$work/log")"
    [ ! -e "$work/fresh/$file" ] || fail "the refused $file was left in the cache"
fi

echo "test-sources: update-sources-lock re-pins a copy of the lock"
{ echo "# comment"; cat "$work/made-up.lock"; } >"$work/copy.lock"
if "$here/update-sources-lock.sh" "$work/copy.lock" >"$work/diff" 2>"$work/log"; then
    read -r _ _ pinned pinned_file pinned_sha < <(grep '^zlib ' "$work/copy.lock")
    [ "$pinned" != "$made_up" ] || fail "the made-up revision is still pinned"
    [ "$pinned_file $pinned_sha" = "$file $sha" ] ||
        fail "re-pinning changed the tarball to $pinned_file $pinned_sha"
    grep -q "^-$name .* $made_up " "$work/diff" && grep -q "^+$name .* $pinned " "$work/diff" ||
        fail "the change is not shown: $(cat "$work/diff")"
    head -n 1 "$work/copy.lock" | grep -qx "# comment" || fail "the comment was lost"
    "$here/update-sources-lock.sh" "$work/copy.lock" >"$work/diff" 2>"$work/log" &&
        [ ! -s "$work/diff" ] || fail "a second re-pin changed the lock again: $(cat "$work/diff" "$work/log")"
else
    fail "update-sources-lock: $(cat "$work/log")"
fi

[ "$failures" -eq 0 ] || exit 1
echo "test-sources: all passed"
