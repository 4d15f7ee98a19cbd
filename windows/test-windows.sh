#!/usr/bin/env bash
# Checks what `make windows` wrote, and runs the executable under Wine in a
# private prefix: with SDL's dummy drivers, on Xvfb with openbox, through a
# failing start-up, and heard through PulseAudio from a null sink.
#
# Usage: windows/test-windows.sh all|run|reproducible BUILD_DIR
#   all           the archive, the executable under Wine, and reproducibility
#   run           the archive and the executable under Wine only
#   reproducible  only: two fresh clones of HEAD build identical archives
# VIMBEL_MUSIC_MATCH names the native vimbel-music-match (make test-windows
# builds it into build-host/).
set -uo pipefail

mode=${1:-all}
build=$(realpath -m "${2:-build-windows/demo}")
cd "$(dirname "$0")/.." || exit 2
source_dir=$(pwd)
# shellcheck source=packaging/release-common.sh
source packaging/release-common.sh
# shellcheck source=tests/harness.sh
source tests/harness.sh

# The title the demo gives its window and its message box, as the build read it.
title=$(cat "$build/window-title.txt" 2>/dev/null)
# DLLs that every 64-bit Windows 10 has; the executable may import no other.
allowed_dlls="ADVAPI32 GDI32 IMM32 KERNEL32 MSVCRT OLE32 OLEAUT32 SETUPAPI SHELL32 USER32 VERSION WINMM"

# shellcheck disable=SC2016  # expanded at exit
at_exit+=('[ ! -d "$work/prefix" ] || WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null')

# --- the archive -----------------------------------------------------------

archive_checks() {
    archive=$(cat "$build/release-archive.txt" 2>/dev/null)
    [ -f "$archive" ] || { check "the archive exists (make windows)" false; return; }
    folder=$(basename "$archive" .zip)
    unpacked="$work/archive/$folder"
    exe="$unpacked/vimbel-demo.exe"
    unzip -q "$archive" -d "$work/archive"
    echo "archive: ${archive#"$source_dir"/}"
    check "the archive holds one folder: the .exe, the nfo, the screenshot and LICENSES/" archive_layout
    check "the .exe is 64-bit, GUI subsystem, and imports only DLLs every Windows 10 has" exe_imports
    check "the .exe carries the logo as icon, its version information and a DPI-aware manifest" \
        exe_resources
    check "vimbel-demo.nfo: ASCII, CRLF line ends, at most 80 columns, Windows 10 64-bit" nfo_format
}

archive_layout() {
    local licence
    unzip -Z1 "$archive" |
        one_folder "$folder" "LICENSES/ screenshot.png vimbel-demo.exe vimbel-demo.nfo" || return 1
    cmp "$unpacked/screenshot.png" docs/screenshot.png &&
        cmp "$unpacked/LICENSES/vimbel-demo.txt" LICENSE &&
        cmp "$unpacked/LICENSES/font-vimbel-mono.txt" assets/font-LICENSE.txt || return 1
    for licence in libsdl2-2.0-0 libsdl2-ttf-2.0-0 libfreetype6 libz-mingw-w64-dev \
        gcc-mingw-w64-base mingw-w64-x86-64-dev; do
        [ -s "$unpacked/LICENSES/$licence.txt" ] || { echo "no LICENSES/$licence.txt"; return 1; }
    done
}

exe_imports() {
    local headers dlls
    headers=$(x86_64-w64-mingw32-objdump -p "$exe") || return 1
    grep -q 'file format pei-x86-64' <<<"$headers" || { echo "not a 64-bit PE file"; return 1; }
    grep -Eq '^Subsystem\s+00000002\s+\(Windows GUI\)' <<<"$headers" ||
        { grep '^Subsystem' <<<"$headers"; return 1; }
    dlls=$(sed -n 's/^\s*DLL Name: \(.*\)\.dll$/\1/Ip' <<<"$headers" | tr '[:lower:]' '[:upper:]' | sort -u)
    echo "imports: $(paste -sd' ' <<<"$dlls")"
    grep -qx KERNEL32 <<<"$dlls" || { echo "no import table found"; return 1; }
    ! grep -vxF -f <(tr ' ' '\n' <<<"$allowed_dlls") <<<"$dlls" || { echo "^ not allowed"; return 1; }
}

exe_resources() {
    local icon="$build/generated/windows/vimbel-demo.ico" manifest="$work/manifest.xml"
    # The icon made at build time from the logo (the resource is padded).
    wrestool -x --type=14 "$exe" >"$work/icon.ico" 2>/dev/null
    cmp -n "$(stat -c %s "$icon")" "$work/icon.ico" "$icon" || return 1
    x86_64-w64-mingw32-windres -i "$exe" -O rc |
        holds_all 'VALUE "CompanyName", "Tolvard"' 'VALUE "Author", "Tolvard"' \
            'VALUE "ProductName", "Vimbel 2023 demo"' 'VALUE "OriginalFilename", "vimbel-demo.exe"' \
            "VALUE \"ProductVersion\", \"$(sed -n 's/^VERSION=//p' "$build/release.env")\"" || return 1
    # Windows refuses to start a program whose manifest is not well formed.
    wrestool -x -R --type=24 "$exe" >"$manifest" 2>/dev/null || { echo "no manifest"; return 1; }
    xmllint --noout "$manifest" || return 1
    grep -q '<dpiAwareness[^>]*>PerMonitorV2' "$manifest" || { echo "not per-monitor DPI-aware"; return 1; }
    grep -q '<dpiAware[^>]*>true/pm<' "$manifest" || { echo "not per-monitor DPI-aware"; return 1; }
}

nfo_format() {
    local nfo="$unpacked/vimbel-demo.nfo" version=${folder#vimbel-demo-}
    plain_text "$nfo" crlf || return 1
    tr -d '\r' <"$nfo" | holds_all "Windows 10" "64-bit" "ESCAPE" "sound device" "Direct3D" \
        "SDL2 2.26.5" "zlib licence" "Version ...... ${version%-windows-x86_64}"
}

# --- Wine ------------------------------------------------------------------

# A private prefix, and a private HOME whose ALSA setup gives Wine a working
# sound device that plays nothing (a machine without a sound card has none).
wine_failure=""
start_wine() {
    installed wine wineserver || { wine_failure="wine is not installed (packages wine, wine64)"; return; }
    mkdir -p "$work/home"
    echo 'pcm.!default { type null }' >"$work/home/.asoundrc"
    export HOME="$work/home" WINEPREFIX="$work/prefix" WINEDEBUG=-all
    # No prompts to install Wine's .NET and HTML engines.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    { wineboot -i >"$work/wineboot.log" 2>&1 && wineserver -w; } ||
        { wine_failure="Wine could not make a prefix: $(tail -n 3 "$work/wineboot.log")"; return; }
    # Kept running between the checks, stopped at the end.
    wineserver -p
}

need_x() {
    need "$wine_failure" "$x_failure"
    installed import || unavailable "import is missing (package imagemagick)"
}

# Starts the executable under Wine in the background, directly or through
# the shell (Wine's `start`), with the given variables; errors to $work/errors.
start_demo() {
    local launch=(wine "$exe")
    [ "$1" = shell ] && launch=(wine start /wait /unix "$exe")
    shift
    (cd "$work" && exec env "$@" "${launch[@]}") 2>"$work/errors" &
    demo_pid=$!
}


whole_story() {
    need "$wine_failure"
    local start=$SECONDS
    start_demo direct "${no_video[@]}" SDL_AUDIODRIVER=dummy
    expect_exit 240 0
    echo "ended by itself after $((SECONDS - start)) s"
    # The story lasts about 48 s; an early end would be a fault.
    [ $((SECONDS - start)) -ge 40 ] && ! grep 'vimbel-demo' "$work/errors"
}

# On the X display with the default renderer: once the logos show, the
# window fills the screen and the given key ends the demo with status 0.
# Alt+F4 is openbox's close, as its close button would be: the window is
# asked to close, which SDL reports as a quit request.
quit_under_x() {
    need_x
    shot=$2
    start_demo direct
    window_up
    until_true 30 logos_shown || give_up "no logos in the top corners: $shares ($shot)"
    echo "lit share: $shares"
    fills_screen "$(demo_window)" || give_up "the window does not fill the screen"
    press "$1"
    expect_exit 15 0
}

failure_text="vimbel-demo: cannot open the audio device: .*nosuchdriver.*"

# With an error output (and X, when there is one) no message box may wait
# for a click: the demo ends at once. Without X, Wine has no display to make
# a window on, and SDL's dummy video driver takes its place.
startup_failure() {
    need "$wine_failure"
    local video=()
    [ -n "${DISPLAY:-}" ] || video=("${no_video[@]}")
    start_demo direct "${video[@]}" SDL_AUDIODRIVER=nosuchdriver
    expect_exit 30 2
    grep -x "$failure_text" "$work/errors" || { cat "$work/errors"; return 1; }
}

# Started as Explorer starts it, through the shell, the demo has no error
# output: the text shows in a message box, which waits for OK. Wine's trace
# of window texts shows what the box says.
fatal_box() {
    need_x
    local text
    start_demo shell WINEDEBUG=-all,trace+win SDL_AUDIODRIVER=nosuchdriver
    # The demo's own window, under the same title, comes and goes first.
    window_up "message box"
    # Shown, drawn and ready for its OK once it takes keys.
    until_true 30 ready_for_keys || give_up "the message box never took keys"
    import -silent -window root "$build/wine-message-box.png" 2>/dev/null
    press Return
    expect_exit 15 2
    text=$(sed -n 's/.*:set_window_text L"\(vimbel-demo: .*\)"$/\1/p' "$work/errors")
    echo "the box said: $text"
    grep -x "$failure_text" <<<"$text"
}

# Through Wine's PulseAudio driver. The stream may stall while Wine starts
# up, and Wine never makes up time a late thread lost: it comes out of the
# server's buffer, 30 ms unless PULSE_LATENCY_MSEC makes it a second, and a
# stall longer than that is silence the server fills in (dropouts). The last
# stretch judged and the results are kept beside the build.
heard_under_wine() {
    need "$wine_failure" "$sound_failure"
    heard_through_pulseaudio "$build/wine-recording.txt" "$build/wine-recording.raw" \
        direct "${no_video[@]}" XDG_RUNTIME_DIR="$work/runtime" PULSE_LATENCY_MSEC=1000
}

wine_checks() {
    start_x
    start_wine
    start_sound
    [ -n "$x_failure" ] && unset DISPLAY
    check "with the dummy drivers it plays the whole story and exits 0 by itself" whole_story
    check "under X the logos show in the top corners, and Escape exits 0" \
        quit_under_x Escape "$build/wine-screenshot.png"
    check "under X closing the window (Alt+F4) exits 0" quit_under_x alt+F4 "$work/shot.png"
    check "a start-up failure exits 2 at once with its text on the error output" startup_failure
    check "without an error output the same text shows in a message box; OK exits 2" fatal_box
    check "through PulseAudio (Wine's driver) the music plays at its speed" heard_under_wine
}

# --- main ------------------------------------------------------------------

case "$mode" in
    all | run)
        archive_checks
        check "the build names the window's title (window-title.txt)" test -n "$title"
        [ -n "${exe:-}" ] && [ -n "$title" ] && wine_checks
        ;;
    reproducible) ;;
    *) echo "usage: test-windows.sh all|run|reproducible BUILD_DIR" >&2; exit 2 ;;
esac
[ "$mode" = run ] ||
    check "two fresh clones of HEAD (umask 022 and 077, other time zones) give identical archives" \
        same_from_two_clones "$work" windows vimbel-demo.exe build-windows/demo

finish windows
