# shellcheck shell=bash
# Sourced by fetch-sources.sh and update-sources-lock.sh: apt with a private
# configuration, a deb-src list derived from this machine's own sources and
# private lists and cache in a temporary folder, removed on exit. The
# system's apt setup is never changed, and apt checks the signed source
# indices itself.
#
#   private_apt_start NAME   sets apt_dir and apt_options, fetches the source
#                            indices; NAME prefixes the messages
#   source_versions PACKAGE  prints every version the indices offer, newest
#                            first, each with its orig tarball's name and
#                            SHA-256: "VERSION FILE SHA256"
#   current_source PACKAGE   the first of those lines: the newest version

private_apt_start() {
    private_apt_name="$1"
    apt_dir="$(mktemp -d)"
    trap 'rm -rf "$apt_dir"' EXIT
    mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    # Every enabled source of the machine, as a source-package list.
    local sources list
    shopt -s nullglob
    for sources in /etc/apt/sources.list.d/*.sources; do
        sed 's/^Types:.*/Types: deb-src/' "$sources" >"$apt_dir/parts/$(basename "$sources")"
    done
    for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$list" ] && sed -n 's/^\s*deb\s/deb-src /p' "$list" >>"$apt_dir/parts/machine.list"
    done
    shopt -u nullglob
    apt_options=(
        -o "Dir::Etc::SourceList=/dev/null"
        -o "Dir::Etc::SourceParts=$apt_dir/parts"
        -o "Dir::State::Lists=$apt_dir/lists"
        -o "Dir::Cache=$apt_dir/cache"
        -o "APT::Sandbox::User=$(id -un)"
        -o "Debug::NoLocking=true"
    )
    # apt leaves out an index it cannot fetch with no more than a warning;
    # without any, nothing below could be found.
    apt-get "${apt_options[@]}" -qq update || true
    if ! compgen -G "$apt_dir/lists/*Sources*" >/dev/null; then
        echo "$private_apt_name: no source index could be fetched; is the Debian archive reachable?" >&2
        return 1
    fi
}

source_versions() {
    apt-cache "${apt_options[@]}" showsrc --only-source "$1" 2>/dev/null | awk -v package="$1" '
        function newer(a, b) { return system("dpkg --compare-versions \"" a "\" gt \"" b "\"") == 0 }
        /^Package:/ { name = $2 }
        /^Version:/ { version = $2 }
        /^[^ ]/ { in_sha = /^Checksums-Sha256:/ }
        in_sha && /^ / && $3 ~ /\.orig\.tar\./ && name == package && !(version in seen) {
            seen[version] = 1
            # Insertion into the list, newest first.
            for (i = n++; i > 0 && newer(version, versions[i - 1]); i--) {
                versions[i] = versions[i - 1]
            }
            versions[i] = version
            line[version] = version " " $3 " " $1
        }
        END { for (i = 0; i < n; i++) print line[versions[i]] }'
}

current_source() {
    source_versions "$1" | awk 'NR == 1'
}
