#!/usr/bin/env bash
# Fills a release's LICENSES/ folder: the licence of the demo's own work, the
# font's licence, and the Debian copyright file of every package whose code
# the release carries, each named after its package. The Linux and the
# Windows releases share it.
#
# Usage: packaging/collect-licences.sh LICENSES-DIR [PACKAGE...]
set -euo pipefail

fail() {
    echo "collect-licences: $*" >&2
    exit 1
}

[ $# -ge 1 ] || fail "usage: collect-licences.sh LICENSES-DIR [PACKAGE...]"
licences=$1
shift
cd "$(dirname "$0")/.."
mkdir -p "$licences"

for package in "$@"; do
    copyright="/usr/share/doc/$package/copyright"
    [ -f "$copyright" ] || fail "$copyright is missing: the licence of $package"
    cp -L "$copyright" "$licences/$package.txt"
done
cp assets/font-LICENSE.txt "$licences/font-vimbel-mono.txt"
cp LICENSE "$licences/vimbel-demo.txt"
