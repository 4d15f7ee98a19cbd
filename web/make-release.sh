#!/usr/bin/env bash
# Puts the browser build's site into an archive for any static web host:
# dist/vimbel-demo-<version>-web.zip, one folder with index.html and the
# files it names. Unpacked into a host's folder, it is the whole site.
#
# Usage: web/make-release.sh BUILD_DIR DIST_DIR
# BUILD_DIR is a browser build (cross/emscripten.cmake), built.
#
# The archive depends on the commit and the build, not on the time, time
# zone or umask: the entries are sorted and carry the commit's time.
set -euo pipefail
command -v zip >/dev/null || { echo "make-release: zip is missing (tools/install-deps.sh web installs it)" >&2; exit 1; }

# shellcheck source=packaging/release-common.sh
source "$(dirname "$0")/../packaging/release-common.sh"
release_setup web/make-release.sh site/index.html "browser build" \
    "configure with cross/emscripten.cmake and build first" "$@"

name="vimbel-demo-$VERSION-web"
stage_root="$build/release-stage"
stage="$stage_root/$name"
rm -rf "$stage_root"
mkdir -p "$stage_root"
cp -R "$build/site" "$stage"
find "$stage" -type d -exec chmod 0755 {} + -o -type f -exec chmod 0644 {} +
archive="$dist/$name.zip"
pack_zip "$stage_root" "$name" "$archive"
echo "make-release: wrote ${archive#"$source_dir"/} ($(du -sb "$stage" | cut -f1) bytes of site)"
