#!/usr/bin/env bash
# Checks fetch-sources.sh and update-sources-lock.sh against Debian's archive,
# with lock files and a cache of their own (the real cache is not touched):
# a lock line whose Debian revision the archive does not serve still fetches
# its orig tarball, a wrong SHA-256 stops naming the file, and re-pinning
# takes the archive's version and keeps the tarball. Without the archive the
# checks fail under CI (CI set, not "false" or "0") and are skipped elsewhere.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
# shellcheck source=tests/harness.sh
source "$here/../tests/harness.sh"

# zlib's line of the real lock, with a Debian revision that never existed.
read -r name package version file sha < <(grep '^zlib ' "$here/sources.lock")
made_up="${version%-*}-99"
echo "$name $package $made_up $file $sha" >"$work/made-up.lock"

# Fails, saying $1 and showing the file $2 (the fetch log unless given).
fails_showing() { echo "$1" && cat "${2:-$work/fetch.log}" && return 1; }

archive_answers() {
    # shellcheck source-path=SCRIPTDIR source=private-apt.sh
    source "$here/private-apt.sh" || exit 1
    private_apt_start test-sources || unavailable "Debian's archive cannot be reached"
}

# fetch-sources.sh with the lock $1 into the cache $2, its messages in the log.
fetch() { VIMBEL_SOURCES_LOCK="$1" "$here/fetch-sources.sh" "$2" 2>"$work/fetch.log"; }
# update-sources-lock.sh on the copy of the lock, its change shown in diff.
repin_copy() { "$here/update-sources-lock.sh" "$work/copy.lock" >"$work/diff" 2>"$work/fetch.log"; }

revision_not_served() {
    fetch "$work/made-up.lock" "$work/cache" || fails_showing "fetch-sources failed:"
    [ "$(sha256sum <"$work/cache/$file" | cut -d' ' -f1)" = "$sha" ] ||
        { echo "$file in the cache is not the pinned one"; return 1; }
    grep "took $file from $package .* instead of $made_up" "$work/fetch.log" ||
        fails_showing "the log does not say which revision $file came from:"
}

wrong_sha() {
    echo "$name $package $made_up $file $(printf '0%.0s' {1..64})" >"$work/wrong.lock"
    ! fetch "$work/wrong.lock" "$work/fresh" || { echo "a wrong SHA-256 was accepted"; return 1; }
    grep "^fetch-sources: $file: SHA-256 is $sha" "$work/fetch.log" ||
        fails_showing "the refusal does not name $file:"
    [ ! -e "$work/fresh/$file" ] || { echo "the refused $file was left in the cache"; return 1; }
}

repin() {
    { echo "# comment"; cat "$work/made-up.lock"; } >"$work/copy.lock"
    repin_copy || fails_showing "update-sources-lock failed:"
    read -r _ _ pinned pinned_file pinned_sha < <(grep '^zlib ' "$work/copy.lock")
    [ "$pinned" != "$made_up" ] || { echo "the made-up revision is still pinned"; return 1; }
    [ "$pinned_file $pinned_sha" = "$file $sha" ] ||
        { echo "re-pinning changed the tarball to $pinned_file $pinned_sha"; return 1; }
    { grep -q "^-$name .* $made_up " "$work/diff" && grep -q "^+$name .* $pinned " "$work/diff"; } ||
        fails_showing "the change is not shown:" "$work/diff"
    head -n 1 "$work/copy.lock" | grep -qx "# comment" || { echo "the comment was lost"; return 1; }
    repin_copy || fails_showing "update-sources-lock failed again:"
    [ ! -s "$work/diff" ] || fails_showing "a second re-pin changed the lock again:" "$work/diff"
}

# While one build of a target holds the target's lock, a second
# build-family.sh of it waits instead of building into the same folders.
second_build_waits() {
    local cache="$work/family-cache" pid
    mkdir -p "$cache/locks"
    exec 8>"$cache/locks/lock-test.lock"
    flock 8 || return 1
    # In a process group of its own, so that all it started can be stopped.
    VIMBEL_CACHE="$cache" setsid "$here/build-family.sh" lock-test "$here/emscripten.cmake" \
        >/dev/null 2>"$work/family.log" 8>&- &
    pid=$!
    # shellcheck disable=SC2317  # called by until_true
    says_waiting() { grep -q 'waiting for another build of lock-test' "$work/family.log"; }
    until_true 30 says_waiting
    local status=$?
    exited "$pid" && { echo "it did not wait:"; status=1; }
    kill -- "-$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    exec 8>&-
    [ $status -eq 0 ] || { cat "$work/family.log"; return 1; }
}

check "a second build of one family waits while another holds its lock" second_build_waits
check "Debian's archive answers" archive_answers
if [ "$passed" -eq 2 ]; then
    check "a revision the archive does not serve ($package $made_up) still fetches $file" \
        revision_not_served
    check "a tarball whose SHA-256 is not the pinned one is refused and not kept" wrong_sha
    check "update-sources-lock re-pins a copy of the lock and keeps the tarball" repin
fi
finish test-sources
