#!/usr/bin/env bash
# Checks what `make release` and `make deb` wrote, and that a release can be
# rebuilt byte for byte. Installs nothing: the archive and the package are
# unpacked into a temporary folder and run from there with SDL's dummy drivers.
#
# Usage: packaging/test-release.sh all|reproducible RELEASE_BUILD_DIR DIST_DIR
#   all           the archive, the package and reproducibility (after
#                 `make release deb`)
#   reproducible  only: two fresh clones of HEAD build identical releases
# shellcheck disable=SC2016  # '$ORIGIN' is meant literally throughout
set -uo pipefail

mode=${1:-all}
case "$mode" in all | reproducible) ;; *)
    echo "usage: test-release.sh all|reproducible RELEASE_BUILD_DIR DIST_DIR" >&2
    exit 2
    ;;
esac
release_dir=$(realpath "${2:-build-release}")
dist=$(realpath "${3:-dist}")
version=$(sed -n 's/^VERSION=//p' "$release_dir/release.env" 2>/dev/null)
cd "$(dirname "$0")/.." || exit 2
source_dir=$(pwd)
# shellcheck source=packaging/release-common.sh
source packaging/release-common.sh
# shellcheck source=tests/harness.sh
source tests/harness.sh
mkdir -p "$work/elsewhere"

# Runs a command from an unrelated folder with SDL's dummy video driver and
# its disk audio driver; once it has played three seconds of sound (16-bit
# stereo at 44100 Hz into the file, as fast as it plays: start-up is over
# and the run under way), expects exit status 0 on SIGTERM; error output to
# file $1.
run_headless() {
    local errors=$1 sound="$1.raw" pid
    shift
    (cd "$work/elsewhere" &&
        exec env SDL_VIDEODRIVER=dummy SDL_RENDER_DRIVER=software SDL_AUDIODRIVER=disk \
            SDL_DISKAUDIOFILE="$sound" "$@") \
        2>"$errors" &
    pid=$!
    played() { [ "$(stat -c %s "$sound" 2>/dev/null || echo 0)" -ge $((3 * 44100 * 4)) ]; }
    # shellcheck disable=SC2317  # called by until_true
    played_or_ended() { played || exited "$pid"; }
    until_true 60 played_or_ended
    if exited "$pid"; then
        wait "$pid"
        echo "ended on its own with status $? before the quit request:"
    elif ! played; then
        kill -KILL "$pid"
        wait "$pid"
        echo "played $(stat -c %s "$sound" 2>/dev/null || echo 0) bytes of sound in 60 s:"
    else
        kill -TERM "$pid"
        wait "$pid" && return 0
        echo "exit status $? after the quit request:"
    fi
    grep -v '^ *[0-9]*:' "$errors" | head -n 5 # without the loader's trace
    return 1
}

# The ELF files after $1 have exactly the run paths $1 names, as in
# "RUNPATH [$ORIGIN]"; "" for none.
run_paths() {
    local want=$1 file got status=0
    shift
    for file; do
        got=$(readelf -d "$file" | sed -n 's/.*(\(R\(UN\)\?PATH\)).*\(\[.*\]\)$/\1 \3/p')
        [ "$got" = "$want" ] || { echo "$file: run path '$got'"; status=1; }
    done
    return $status
}

# Fails a check named after the artefact $2 (of kind $1) unless it exists.
present() {
    [ -f "$2" ] && { echo "$1: ${2#"$source_dir"/}"; return; }
    check "the $1 $(basename "${2:-?}") exists" false
    return 1
}

# The SDL family and the codecs the demo loads at start, and the further
# codecs that lib/ holds.
at_start=(libSDL2-2.0.so.0 libSDL2_image-2.0.so.0 libSDL2_ttf-2.0.so.0 libSDL2_mixer-2.0.so.0
    libSDL2_gfx-1.0.so.0 libpng16.so.16 libfreetype.so.6 libharfbuzz.so.0 libvorbisfile.so.3
    libFLAC.so.12 libmpg123.so.0)
bundled=("${at_start[@]}" libsamplerate.so.0 libjpeg.so.62 libtiff.so.6 libwebp.so.7
    libopusfile.so.0 libmodplug.so.1)

# The library patterns the archive leaves to the host.
excluded_patterns() {
    grep -v -e '^#' -e '^[[:space:]]*$' packaging/excluded-libraries.txt | awk '{ print $1 }'
}

# The system's copy of a library, as the loader would find it without lib/.
system_copy() {
    ldconfig -p | awk -v name="$1" '$1 == name && /x86-64/ { print $NF; exit }'
}

# --- the archive -----------------------------------------------------------

archive_checks() {
    archive=$(cat "$release_dir/release-archive.txt" 2>/dev/null)
    present "release archive" "$archive" || return
    folder=$(basename "$archive" .tar.gz)
    unpacked="$work/archive/$folder"
    mkdir -p "$work/archive" && tar -xzf "$archive" -C "$work/archive"

    check "the archive holds one folder: executable, lib/, information file, screenshot, LICENSES/" \
        archive_layout
    check "lib/ holds the SDL family and its codecs, nothing the exclusion list names" \
        archive_libraries
    check "LICENSES/ holds the font's licence and every bundled library's copyright file" \
        archive_licences
    check "entries have owner 0/0, the commit's time and modes 0644/0755" archive_entries
    check "vimbel-demo.nfo: ASCII, 80 columns, the glibc the binaries need" archive_nfo
    check "the executable is stripped and looks in \$ORIGIN/lib" archive_executable
    check "ldd finds every library of the executable and of lib/" archive_ldd
    check "run from another folder, it plays and exits 0 on a quit request" \
        run_headless "$work/trace" env LD_DEBUG=libs "$unpacked/vimbel-demo"
    check "the loader's trace shows the SDL family and codecs loaded from lib/" archive_trace
    check "with the system's copies hidden, it still runs from lib/" archive_hidden_system
}

archive_layout() {
    tar -tzf "$archive" |
        one_folder "$folder" "LICENSES/ lib/ screenshot.png vimbel-demo vimbel-demo.nfo" || return 1
    cmp "$unpacked/screenshot.png" docs/screenshot.png
}

archive_libraries() {
    local library pattern status=0
    for library in "${bundled[@]}"; do
        [ -f "$unpacked/lib/$library" ] || { echo "missing: lib/$library"; status=1; }
    done
    while read -r pattern; do
        ! compgen -G "$unpacked/lib/$pattern" || { echo "^ excluded by $pattern"; status=1; }
    done < <(excluded_patterns)
    run_paths 'RUNPATH [$ORIGIN]' "$unpacked"/lib/* && return $status
}

archive_licences() {
    local library copy package status=0
    cmp "$unpacked/LICENSES/font-vimbel-mono.txt" assets/font-LICENSE.txt || status=1
    cmp "$unpacked/LICENSES/vimbel-demo.txt" LICENSE || status=1
    for library in "$unpacked"/lib/*; do
        copy=$(realpath "$(system_copy "$(basename "$library")")")
        # dpkg knows a file under /usr/lib or /lib, as its package installed it.
        package=$( (dpkg-query -S "/usr${copy#/usr}" || dpkg-query -S "${copy#/usr}") 2>/dev/null |
            head -n 1 | sed 's/:.*//')
        cmp "$unpacked/LICENSES/$package.txt" "/usr/share/doc/$package/copyright" ||
            { echo "licence of $package (for $(basename "$library"))"; status=1; }
    done
    return $status
}

archive_entries() {
    local epoch expected
    epoch=$(sed -n 's/^SOURCE_DATE_EPOCH=//p' "$release_dir/release.env")
    expected=$(TZ=UTC date -d "@$epoch" '+%Y-%m-%d %H:%M:%S')
    TZ=UTC tar -tvzf "$archive" --numeric-owner --full-time | awk -v when="$expected" -v exe="$folder/vimbel-demo" '
        $2 != "0/0" { print "owner: " $0; bad = 1 }
        $4 " " $5 != when { print "time: " $0; bad = 1 }
        $1 ~ /^d/ && $1 != "drwxr-xr-x" { print "mode: " $0; bad = 1 }
        $1 ~ /^-/ && $6 == exe && $1 != "-rwxr-xr-x" { print "mode: " $0; bad = 1 }
        $1 ~ /^-/ && $6 != exe && $1 != "-rw-r--r--" { print "mode: " $0; bad = 1 }
        END { exit bad }'
}

archive_nfo() {
    local nfo="$unpacked/vimbel-demo.nfo" glibc version=${folder#vimbel-demo-}
    plain_text "$nfo" || return 1
    glibc=$(find "$unpacked/vimbel-demo" "$unpacked/lib" -type f -exec objdump -T {} + |
        grep -o 'GLIBC_[0-9][0-9.]*' | sort -u -V | tail -n 1)
    holds_all "Title" "Author" "Party" "Released" "display" "sound device" "ESCAPE" "Music" \
        "Graphics" "Font" "zlib licence" "Version ...... ${version%-linux-x86_64}" \
        "glibc ${glibc#GLIBC_} or later" <"$nfo"
}

archive_executable() {
    grep -q ', stripped' <<<"$(file "$unpacked/vimbel-demo")" &&
        run_paths 'RUNPATH [$ORIGIN/lib]' "$unpacked/vimbel-demo"
}

archive_ldd() {
    local object line status=0 library
    for object in "$unpacked/vimbel-demo" "$unpacked"/lib/*; do
        ! ldd "$object" | grep 'not found' || { echo "^ in ldd $object"; status=1; }
    done
    # What lib/ offers is taken from there.
    while read -r library _ line _; do
        [ ! -f "$unpacked/lib/$library" ] || [ "$line" = "$unpacked/lib/$library" ] ||
            { echo "$library resolves to $line"; status=1; }
    done < <(ldd "$unpacked/vimbel-demo")
    return $status
}

archive_trace() {
    local loaded library status=0
    loaded=$(sed -n 's/.*calling init: //p' "$work/trace" | sort -u)
    [ -n "$loaded" ] || { echo "no trace"; return 1; }
    for library in "$unpacked"/lib/*; do
        ! grep -v "^$unpacked/lib/" <<<"$loaded" | grep "/$(basename "$library")$" ||
            { echo "^ loaded from the system although lib/ has it"; status=1; }
    done
    for library in "${at_start[@]}"; do
        grep -qx "$unpacked/lib/$library" <<<"$loaded" ||
            { echo "not loaded from lib/: $library"; status=1; }
    done
    return $status
}

# Hides the system's copy of every bundled library behind an empty file in a
# private mount namespace, as on a machine where they are not installed.
archive_hidden_system() {
    local library copy hide=""
    for library in "$unpacked"/lib/*; do
        copy=$(system_copy "$(basename "$library")")
        [ -n "$copy" ] && hide+=" $(realpath "$copy")"
    done
    unshare --mount --propagation private true 2>/dev/null ||
        unavailable "cannot make a private mount namespace here (needs root)"
    run_headless "$work/hidden" unshare --mount --propagation private bash -c '
        for file in $0; do
            mount --bind /dev/null "$file" && [ ! -s "$file" ] || exit 97
        done
        exec "$1"' "$hide" "$unpacked/vimbel-demo"
}

# --- the Debian package ----------------------------------------------------

package_checks() {
    deb="$dist/vimbel-demo_${version}_amd64.deb"
    present package "$deb" || return
    root="$work/deb-root"
    dpkg -x "$deb" "$root"

    check "dpkg-deb lists the executables, desktop entry, icon, manual pages and copyright" \
        package_files
    check "dpkg-deb shows the control fields, the SDL libraries in Depends, ffmpeg in Recommends" \
        package_fields
    check "lintian reports no errors and no warnings" package_lintian
    check "the copyright file is machine-readable: LICENSE's zlib terms, the font, CLI11" \
        package_copyright
    check "desktop-file-validate accepts the desktop entry" package_desktop_entry
    check "man -l renders vimbel-demo(6) without warnings" manual_page man6/vimbel-demo.6.gz \
        "0 2" "VIMBEL-DEMO(6)" "takes no options" "Escape" "EXIT STATUS" "SIGTERM"
    check "man -l renders vimbel-capture(1) without warnings, with exit statuses and examples" \
        manual_page man1/vimbel-capture.1.gz "0 2 130 143" "VIMBEL-CAPTURE(1)" "--size WxH" \
        "--screenshot T=FILE" "--version" "OUTPUTS" "soundtrack.wav" "EXIT STATUS" "SIGTERM" \
        "EXAMPLES"
    check "the packaged executables have no run path" \
        run_paths "" "$root/usr/games/vimbel-demo" "$root/usr/bin/vimbel-capture"
    check "extracted with dpkg -x, it plays and exits 0 on a quit request" \
        run_headless "$work/deb-errors" "$root/usr/games/vimbel-demo"
    check "extracted, vimbel-capture answers --help and --version and captures frames" \
        package_capture
}

package_files() {
    local files expected=(bin/vimbel-capture games/vimbel-demo share/applications/vimbel-demo.desktop
        share/doc/vimbel-demo/changelog.gz share/doc/vimbel-demo/copyright
        share/lintian/overrides/vimbel-demo share/man/man1/vimbel-capture.1.gz
        share/man/man6/vimbel-demo.6.gz share/pixmaps/vimbel-demo.png)
    files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort | paste -sd' ')
    [ "$files" = "${expected[*]/#/./usr/}" ] || { echo "files: $files"; return 1; }
    cmp "$root/usr/share/pixmaps/vimbel-demo.png" res/vimbel.png
}

package_fields() {
    local depends=(libc6 libstdc++6 libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-ttf-2.0-0
        libsdl2-mixer-2.0-0 libsdl2-gfx-1.0-0)
    dpkg-deb -f "$deb" | holds_all -x "Package: vimbel-demo" "Architecture: amd64" \
        "Section: games" "Priority: optional" "Recommends: ffmpeg" \
        "Version: $version" || return 1
    [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || { echo "no Maintainer"; return 1; }
    depends=("${depends[@]/#/, }")
    holds_all "${depends[@]/%/ (>= }" <<<", $(dpkg-deb -f "$deb" Depends)"
}

package_lintian() {
    lintian "$deb" 2>&1 | awk '{ print } /^[EW]:/ { bad = 1 } END { exit bad }'
}

package_copyright() {
    local copyright="$root/usr/share/doc/vimbel-demo/copyright" terms
    head -n 1 "$copyright" |
        grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        { echo "not machine-readable"; return 1; }
    holds_all -x "Files: *" "Files: res/font.ttf" "Files: CLI/*" "License: Zlib" \
        "License: bitstream-vera" "License: BSD-3-clause" <"$copyright" || return 1
    # The stand-alone Zlib paragraph, unindented, is LICENSE's text between
    # its copyright line and the note on what it covers.
    terms=$(awk 'previous == "" && $0 == "License: Zlib" { on = 1; next }
        on && $0 == "" { exit }
        on { sub(/^ /, ""); sub(/^\.$/, ""); print }
        { previous = $0 }' "$copyright")
    diff <(echo "$terms") <(sed -n '3,/^----/p' LICENSE | head -n -2)
}

package_desktop_entry() {
    local entry="$root/usr/share/applications/vimbel-demo.desktop"
    desktop-file-validate "$entry" &&
        holds_all -x 'Exec=/usr/games/vimbel-demo' 'Icon=vimbel-demo' <"$entry"
}

# man -l renders the page $1 (under man/) without warnings, with each exit
# status of the list $2 starting a line and with the texts that follow.
manual_page() {
    local page status
    page=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/$1" 2>"$work/man-warnings")
    [ ! -s "$work/man-warnings" ] || { cat "$work/man-warnings"; return 1; }
    for status in $2; do
        grep -Eq "^ +$status( |$)" <<<"$page" || { echo "no exit status $status"; return 1; }
    done
    shift 2
    holds_all "$@" <<<"$page"
}

package_capture() {
    local capture="$root/usr/bin/vimbel-capture" help version frames
    help=$("$capture" --help) || return 1
    grep -q '^Usage: vimbel-capture' <<<"$help" || { echo "--help: $help"; return 1; }
    version=$("$capture" --version) || return 1
    [ "$version" = "vimbel-capture $(dpkg-deb -f "$deb" Version)" ] ||
        { echo "--version: $version"; return 1; }
    (cd "$work/elsewhere" && "$capture" --size 64x64 --fps 10 --until 1 frames) || return 1
    frames=$(find "$work/elsewhere/frames" -name 'frame-*.png' | wc -l)
    [ "$frames" -eq 10 ] || { echo "$frames frames"; return 1; }
    [ -s "$work/elsewhere/frames/soundtrack.wav" ]
}

# --- reproducibility and bad input ------------------------------------------

dirty_release() {
    local clone="$work/clone-one" version folder
    version=$(sed -n 's/^VERSION=//p' "$clone/build-release/release.env")-dirty
    folder="vimbel-demo-$version-linux-x86_64"
    echo "# a local change" >>"$clone/README.md"
    make_in_clone "$clone" release 022 UTC || return 1
    git -C "$clone" checkout -q README.md
    # grep reads all of tar's output: a grep -q leaving early would fail the pipe.
    tar -tzf "$clone/dist/$folder.tar.gz" | grep -x "$folder/vimbel-demo" || { ls "$clone/dist"; return 1; }
    tar -xOzf "$clone/dist/$folder.tar.gz" "$folder/vimbel-demo.nfo" | grep -F "Version ...... $version"
}

missing_screenshot() {
    local clone="$work/clone-one" status
    rm -rf "$clone/dist"
    mv "$clone/docs/screenshot.png" "$work/screenshot.png"
    (cd "$clone" && make release JOBS=2 >"$clone.log" 2>&1)
    status=$?
    mv "$work/screenshot.png" "$clone/docs/screenshot.png"
    [ $status -ne 0 ] || { echo "make release succeeded"; return 1; }
    grep 'docs/screenshot.png is missing' "$clone.log" || { tail -n 5 "$clone.log"; return 1; }
    ! ls "$clone"/dist/*.tar.gz 2>/dev/null
}

# --- main ------------------------------------------------------------------

if [ "$mode" = all ]; then
    archive_checks
    package_checks
fi
check "two fresh clones of HEAD (umask 022 and 077, other times) give identical releases" \
    same_from_two_clones "$work" release build-release vimbel-demo
if [ "$mode" = all ]; then
    check "make release on a tree with uncommitted changes marks the version -dirty" dirty_release
    check "make release without docs/screenshot.png fails and says so" missing_screenshot
fi

finish release
