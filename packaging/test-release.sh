#!/usr/bin/env bash
# Checks what `make release` and `make deb` wrote, and that a release can be
# rebuilt byte for byte. Installs nothing: the archives and the package are
# unpacked into a temporary folder and run from there. The x86-64 executable
# plays with SDL's dummy drivers, on Xvfb with openbox, into a PulseAudio null
# sink and in a sandbox that hides libpulse; the ARM64 one plays under
# qemu-user with the dummy drivers and on Xvfb.
#
# Usage: packaging/test-release.sh all|archives|reproducible DIST_DIR LINUX_BUILD_DIR...
#   all           the archives of the Linux builds, the package and
#                 reproducibility (after `make release deb`)
#   archives      only the archives of the Linux builds (after `make release`)
#   reproducible  only: two fresh clones of HEAD build identical releases
# VIMBEL_MUSIC_MATCH names the native vimbel-music-match (make test-release
# builds it into build-host/).
set -uo pipefail

mode=${1:-all}
case "$mode" in all | archives | reproducible) ;; *)
    echo "usage: test-release.sh all|archives|reproducible DIST_DIR LINUX_BUILD_DIR..." >&2
    exit 2
    ;;
esac
dist=$(realpath -m "${2:-dist}")
shift $(($# < 2 ? $# : 2))
[ $# -gt 0 ] || set -- build-linux-x86_64 build-linux-aarch64
builds=()
for build; do builds+=("$(realpath -m "$build")"); done
version=$(sed -n 's/^VERSION=//p' "${builds[0]}/release.env" 2>/dev/null)
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
    head -n 5 "$errors"
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

# --- the archives ----------------------------------------------------------

# What each architecture's executable is: readelf's name of the machine, the
# dynamic loader, how the nfo names the platform, and the packages whose code
# is linked in besides the SDL family, FreeType and zlib (the C++ runtime and
# the C library's start-up code).
declare -A machine=([x86_64]="Advanced Micro Devices X86-64" [aarch64]=AArch64)
declare -A loader=([x86_64]=/lib64/ld-linux-x86-64.so.2 [aarch64]=/lib/ld-linux-aarch64.so.1)
declare -A platform=([x86_64]=x86-64 [aarch64]=ARM64)
declare -A runtimes=([x86_64]="libstdc++-12-dev libc6-dev"
    [aarch64]="libstdc++-12-dev-arm64-cross libc6-dev-arm64-cross")
family_packages="libsdl2-2.0-0 libsdl2-image-2.0-0 libsdl2-ttf-2.0-0 libsdl2-mixer-2.0-0
    libsdl2-gfx-1.0-0 libfreetype6 zlib1g"
# All the executable may ask of the host: the C library and GCC's runtimes,
# at these versions at most (libstdc++'s as GCC 11 has it, the oldest on a
# glibc 2.34 system); and the archive's size limit (the earlier archive with
# its libraries in lib/ had 7.7 MB).
host_libraries="libc.so.6 libm.so.6 libstdc++.so.6 libgcc_s.so.1"
newest_glibc_allowed=2.34
newest_glibcxx_allowed=3.4.29
size_limit=7700000

needed() { readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'; }
# Whether version $1 is at most $2.
at_most() { [ "$(printf '%s\n' "$1" "$2" | sort -V | tail -n 1)" = "$2" ]; }

archive_checks() {
    local build=$1
    archive=$(cat "$build/release-archive.txt" 2>/dev/null)
    present "release archive" "$archive" || return
    arch=$(sed -n 's/^ARCH=//p' "$build/release.env")
    title=$(cat "$build/window-title.txt" 2>/dev/null)
    folder=$(basename "$archive" .tar.gz)
    unpacked="$work/archive/$folder"
    exe="$unpacked/vimbel-demo"
    mkdir -p "$work/archive" && tar -xzf "$archive" -C "$work/archive"
    echo "$arch: $(stat -c %s "$archive") bytes; NEEDED $(needed "$exe" | paste -sd' ');" \
        "newest $(newest "$exe" GLIBC), $(newest "$exe" GLIBCXX)"

    check "$arch: one folder: the executable, information file, screenshot, LICENSES/; under 7.7 MB" \
        archive_layout
    check "$arch: the SDL family it was built with loads every backend from the host" \
        family_backends
    check "$arch: one ELF file, a stripped $arch executable that needs only glibc and GCC's runtimes" \
        archive_elf
    check "$arch: it asks for GLIBC_$newest_glibc_allowed and GLIBCXX_$newest_glibcxx_allowed at most" \
        archive_versions
    check "$arch: LICENSES/ holds the font's licence and the copyright file of all that is linked in" \
        archive_licences
    check "$arch: entries have owner 0/0, the commit's time and modes 0644/0755" archive_entries
    check "$arch: vimbel-demo.nfo: ASCII, 80 columns, the platform and what the machine needs" \
        archive_nfo
    case "$arch" in
        x86_64) native_checks ;;
        aarch64) qemu_checks ;;
    esac
}

archive_layout() {
    tar -tzf "$archive" |
        one_folder "$folder" "LICENSES/ screenshot.png vimbel-demo vimbel-demo.nfo" || return 1
    cmp "$unpacked/screenshot.png" docs/screenshot.png || return 1
    [ "$(stat -c %s "$archive")" -lt $size_limit ] || { echo "$(stat -c %s "$archive") bytes"; return 1; }
}

# The family's SDL_config.h passes cross/check-backends.cmake, and the same
# file without PulseAudio's library name (SDL would link it) is refused.
family_backends() {
    local config
    config="$(sed -n 's/^VIMBEL_SDL_FAMILY:PATH=//p' "$build/CMakeCache.txt")/include/SDL2/SDL_config.h"
    cmake -DSDL_CONFIG="$config" -P cross/check-backends.cmake || return 1
    sed '/SDL_AUDIO_DRIVER_PULSEAUDIO_DYNAMIC/d' "$config" >"$work/SDL_config.h"
    ! cmake -DSDL_CONFIG="$work/SDL_config.h" -P cross/check-backends.cmake >"$work/refused" 2>&1 ||
        { echo "a linked PulseAudio was accepted"; return 1; }
    grep 'SDL_AUDIO_DRIVER_PULSEAUDIO_DYNAMIC' "$work/refused" || { cat "$work/refused"; return 1; }
}

archive_elf() {
    local file elves headers library status=0
    elves=$(find "$unpacked" -type f -exec sh -c 'head -c 4 "$1" | grep -q "^.ELF"' sh {} \; -print)
    [ "$elves" = "$exe" ] || { echo "ELF files: $elves"; return 1; }
    headers=$(readelf -h -l -W "$exe") || return 1
    grep -Eq "^ *Machine: +${machine[$arch]}$" <<<"$headers" || { grep Machine <<<"$headers"; return 1; }
    grep -Fq "[Requesting program interpreter: ${loader[$arch]}]" <<<"$headers" ||
        { grep interpreter <<<"$headers"; return 1; }
    grep -q ', stripped' <<<"$(file "$exe")" || { file "$exe"; return 1; }
    run_paths "" "$exe" || return 1
    needed "$exe" | grep -qx libc.so.6 || { echo "no libc.so.6 needed"; return 1; }
    for library in $(needed "$exe"); do
        [[ " $host_libraries " == *" $library "* ]] || { echo "needs $library"; status=1; }
    done
    return $status
}

archive_versions() {
    local glibc glibcxx
    glibc=$(newest "$exe" GLIBC)
    glibcxx=$(newest "$exe" GLIBCXX)
    echo "newest: $glibc $glibcxx"
    at_most "${glibc#GLIBC_}" $newest_glibc_allowed && [ -n "$glibcxx" ] &&
        at_most "${glibcxx#GLIBCXX_}" $newest_glibcxx_allowed
}

archive_licences() {
    local package status=0 licences
    cmp "$unpacked/LICENSES/font-vimbel-mono.txt" assets/font-LICENSE.txt || status=1
    cmp "$unpacked/LICENSES/vimbel-demo.txt" LICENSE || status=1
    for package in $family_packages ${runtimes[$arch]}; do
        cmp "$unpacked/LICENSES/$package.txt" "/usr/share/doc/$package/copyright" ||
            { echo "licence of $package"; status=1; }
    done
    licences=$(find "$unpacked/LICENSES" -type f | wc -l)
    [ "$licences" -eq $(($(wc -w <<<"$family_packages ${runtimes[$arch]}") + 2)) ] ||
        { echo "LICENSES/ holds $licences files"; ls "$unpacked/LICENSES"; status=1; }
    return $status
}

archive_entries() {
    local epoch expected
    epoch=$(sed -n 's/^SOURCE_DATE_EPOCH=//p' "$build/release.env")
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
    local nfo="$unpacked/vimbel-demo.nfo" sdl
    plain_text "$nfo" || return 1
    sdl=$(awk '$1 == "sdl2" { sub(/^[0-9]*:/, "", $3); sub(/[+~-].*/, "", $3); print $3 }' cross/sources.lock)
    holds_all "Title" "Author" "Party" "Released" "ESCAPE" "Music" "Graphics" "Font" "zlib licence" \
        "Version ...... $(sed -n 's/^VERSION=//p' "$build/release.env")" "Linux, ${platform[$arch]}" \
        "${platform[$arch]} (" "glibc $(newest "$exe" GLIBC | sed 's/GLIBC_//') or later" \
        "libstdc++ providing $(newest "$exe" GLIBCXX)" \
        "X11 or Wayland" "sound server" "PulseAudio, PipeWire or" "SDL2 $sdl" \
        "linux-$arch.tar.gz" <"$nfo"
}

# --- running the executables --------------------------------------------------

# Starts the unpacked executable (through the launcher in $launch) from an
# unrelated folder in the background, with the given variables; its errors
# go to $work/errors.
start_demo() {
    (cd "$work/elsewhere" && exec env "$@" "${launch[@]}") 2>"$work/errors" &
    demo_pid=$!
}

# The whole story with the dummy drivers: it ends by itself with status 0,
# after about 48 s (an early end would be a fault). How long it took goes to
# $work/story-time.
whole_story() {
    local start=$SECONDS
    start_demo "${no_video[@]}" SDL_AUDIODRIVER=dummy
    expect_exit 300 0
    echo "$((SECONDS - start))" >"$work/story-time"
    echo "ended by itself after $((SECONDS - start)) s"
    [ $((SECONDS - start)) -ge 40 ] && ! grep 'vimbel-demo' "$work/errors"
}

# On the X display, with the given variables: once the logos show in the
# top corners, the window fills the screen and the key $1 ends the demo with
# status 0; the screenshot goes to $2.
quit_under_x() {
    local key=$1
    shot=$2
    shift 2
    need "$x_failure"
    installed import convert || unavailable "import or convert is missing (package imagemagick)"
    [ -n "$title" ] || { echo "no window title: $build/window-title.txt is missing"; return 1; }
    start_demo "$@"
    # shellcheck disable=SC2119  # without an argument: the demo's own window
    window_up
    until_true 60 logos_shown || give_up "no logos in the top corners: $shares ($shot)"
    echo "lit share: $shares"
    fills_screen "$(demo_window)" || give_up "the window does not fill the screen"
    press "$key"
    expect_exit 15 0
}

# A stream of SDL's own small buffer starves on a busy machine; as in the
# suite's sound tests, the server keeps 300 ms of it.
heard_natively() {
    need "$sound_failure"
    heard_through_pulseaudio "$build/release-recording.txt" "$build/release-recording.raw" \
        "${no_video[@]}" HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" PULSE_LATENCY_MSEC=300
}

# A desktop without PulseAudio's client library: a bubblewrap sandbox in which
# every libpulse file of the machine is an empty file, and so are ALSA's
# PulseAudio plug-ins and their configuration (which need libpulse), while
# the sound server runs (as it would for the rest of the desktop) and ALSA's
# default device is its null device. With libpulse SDL would play through the
# server; without it SDL passes over PulseAudio, opens ALSA, and the demo
# plays to its end.
without_libpulse() {
    need "$sound_failure"
    installed bwrap || unavailable "bwrap is missing (package bubblewrap)"
    local hide=() library pid=""
    : >"$work/empty"
    for library in $({ ldconfig -p | awk '$1 ~ /^libpulse/ && /x86-64/ { print $NF }'
        ls /usr/lib/x86_64-linux-gnu/alsa-lib/*pulse* /usr/share/alsa/alsa.conf.d/*pulse*; } 2>/dev/null |
        xargs -r realpath | sort -u); do
        hide+=(--ro-bind "$work/empty" "$library")
    done
    echo "hidden: ${hide[*]}"
    bwrap --dev-bind / / true || unavailable "bwrap cannot make a sandbox here"
    mkdir -p "$work/bare-home"
    echo 'pcm.!default { type null }' >"$work/bare-home/.asoundrc"
    # shellcheck disable=SC2016  # expanded in the sandbox
    launch=(bwrap --dev-bind / / "${hide[@]}" sh -c 'echo $$ >"$0" && exec "$@"' "$work/sandboxed"
        "$exe")
    start_demo "${no_video[@]}" HOME="$work/bare-home" XDG_RUNTIME_DIR="$work/runtime"
    # shellcheck disable=SC2317  # called by until_true
    alsa_open() {
        pid=$(cat "$work/sandboxed" 2>/dev/null)
        demo_ended || { [ -n "$pid" ] && grep -q '/libasound\.so\.2' "/proc/$pid/maps" 2>/dev/null; }
    }
    { until_true 60 alsa_open && ! demo_ended; } || give_up "ALSA was never loaded"
    grep '/libpulse' "/proc/$pid/maps" && give_up "^ loaded in the sandbox"
    expect_exit 300 0
}

# How long the last whole story took, when it ran.
story_time() {
    [ ! -f "$work/story-time" ] || echo "$arch: the whole story took $(cat "$work/story-time") s"
    rm -f "$work/story-time"
}

native_checks() {
    launch=("$exe")
    check "$arch: with the dummy drivers it plays the whole story and exits 0 by itself" whole_story
    story_time
    check "$arch: on Xvfb with openbox (the default renderer) it draws the logos; Escape exits 0" \
        quit_under_x Escape "$build/release-screenshot.png" SDL_AUDIODRIVER=dummy
    check "$arch: through PulseAudio it plays the music at its speed" heard_natively
    check "$arch: where libpulse is missing it plays to its end through ALSA" without_libpulse
}

# The ARM64 executable under qemu-user, with Debian's arm64 C library (and
# X11's libraries for the display) from the arm64 architecture.
qemu_failure=""
qemu_checks() {
    if ! installed qemu-aarch64-static; then
        qemu_failure="qemu-aarch64-static is missing (package qemu-user-static)"
    elif [ ! -e "${loader[aarch64]}" ] || [ ! -e /usr/lib/aarch64-linux-gnu/libX11.so.6 ]; then
        qemu_failure="no arm64 C library or libX11 (tools/install-deps.sh linux installs them)"
    fi
    launch=(qemu-aarch64-static "$exe")
    check "$arch, under qemu-user: with the dummy drivers it plays the whole story and exits 0" \
        qemu_run whole_story
    story_time
    check "$arch, under qemu-user: on Xvfb the software renderer draws the logos; Escape exits 0" \
        qemu_run quit_under_x Escape "$build/qemu-screenshot.png" SDL_RENDER_DRIVER=software \
        SDL_AUDIODRIVER=dummy
}
qemu_run() { need "$qemu_failure"; "$@"; }

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
    local clone="$work/clone-one" version folder build_dir
    version=$(sed -n 's/^VERSION=//p' "$clone/${build_dirs[0]}/release.env")-dirty
    echo "# a local change" >>"$clone/README.md"
    make_in_clone "$clone" release 022 UTC || return 1
    git -C "$clone" checkout -q README.md
    for build_dir in "${build_dirs[@]}"; do
        folder="vimbel-demo-$version-linux-$(sed -n 's/^ARCH=//p' "$clone/$build_dir/release.env")"
        # grep reads all of tar's output: a grep -q leaving early would fail the pipe.
        tar -tzf "$clone/dist/$folder.tar.gz" | grep -x "$folder/vimbel-demo" ||
            { ls "$clone/dist"; return 1; }
        tar -xOzf "$clone/dist/$folder.tar.gz" "$folder/vimbel-demo.nfo" |
            grep -F "Version ...... $version" || return 1
    done
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

# The clones build into the Makefile's folders, named as the ones given.
build_dirs=()
for build in "${builds[@]}"; do build_dirs+=("$(basename "$build")"); done

if [ "$mode" != reproducible ]; then
    start_x
    start_sound
    [ -n "$x_failure" ] && unset DISPLAY
    for build in "${builds[@]}"; do archive_checks "$build"; done
fi
[ "$mode" = all ] && package_checks
# The whole check compares this tree's archives with one fresh clone's; the
# reproducibility check alone builds two clones.
case "$mode" in
    all) check "a fresh clone of HEAD (another umask, time zone and path) gives identical releases" \
        same_as_a_fresh_clone "$work" release vimbel-demo "$dist" "${builds[@]}" ;;
    reproducible) check "two fresh clones of HEAD (umask 022 and 077, other times) give identical releases" \
        same_from_two_clones "$work" release vimbel-demo "${build_dirs[@]}" ;;
esac
if [ "$mode" = all ]; then
    check "make release on a tree with uncommitted changes marks the version -dirty" dirty_release
    check "make release without docs/screenshot.png fails and says so" missing_screenshot
fi

finish release
