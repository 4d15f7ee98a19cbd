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

# Ends a check for want of each server whose failure text is not empty.
need() { local failure; for failure; do [ -z "$failure" ] || unavailable "$failure"; done; }
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
no_video=(SDL_VIDEODRIVER=dummy SDL_RENDER_DRIVER=software)

demo_ended() { exited "$demo_pid"; }

# Fails the check (it runs in a subshell), saying why: stops the demo if it
# still runs, as the next check must find only its own window, and shows the
# start of its error output.
give_up() {
    echo "$1"
    if demo_ended; then echo "(the demo had ended)"; else echo "(the demo was still running)"; kill "$demo_pid"; fi
    wait "$demo_pid" 2>/dev/null
    head -n 20 "$work/errors"
    exit 1
}

# Waits up to the given seconds for the demo to end and expects the status.
expect_exit() {
    until_true "$1" demo_ended || give_up "still running after $1 s"
    wait "$demo_pid"
    local status=$?
    [ "$status" -eq "$2" ] || give_up "exit status $status, expected $2; error output:"
}

# The demo's window (or its message box), once mapped under its title.
demo_window() { xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1; }
fills_screen() { xdotool getwindowgeometry "$1" 2>/dev/null | grep -q 'Geometry: 1024x768'; }

# Waits up to a minute for the demo's window, or with an argument for its
# message box (a window under its title that does not fill the screen).
window_shown() {
    local window
    demo_ended && return 0
    window=$(demo_window)
    [ -n "$window" ] && { [ $# -eq 0 ] || ! fills_screen "$window"; }
}
window_up() { { until_true 60 window_shown "$@" && ! demo_ended; } || give_up "no ${1:-window} appeared"; }

# Whether the window takes keys from the keyboard: openbox has made it the
# active window and the X input focus is on it. The two change apart (openbox
# may mark a window active a moment before the focus follows, longer on a
# busy machine), and keys typed in between go elsewhere. Wine puts the focus
# on the X window of the toplevel itself, the one found under the title, not
# on a child: both ids are that window's once it takes keys. While Wine sets
# up the full-screen window the focus may be there before openbox marks it
# active, and the window may briefly be unmapped (not found at all).
takes_keys() {
    [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ] &&
        [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]
}

# Whether the demo's window takes keys; asks openbox to activate it while
# it does not.
ready_for_keys() {
    local window
    window=$(demo_window)
    [ -n "$window" ] || return 1
    takes_keys "$window" && return 0
    xdotool windowactivate "$window" 2>/dev/null
    return 1
}

# Presses keys in the demo's window as a person at the keyboard would: once
# the window takes keys, typed through XTEST, so that openbox sees them too
# and its Alt+F4 closes the window. (xdotool's key with a window, or chained
# after windowactivate, sends synthetic events straight to the window
# whenever the focus is not there yet: the application may take them,
# openbox never sees them.) While the demo still runs five seconds after a
# press, presses again, for up to 30 s in all.
press() {
    local end=$((SECONDS + 30)) presses=0
    until demo_ended; do
        [ $SECONDS -lt $end ] || give_up "pressed $1 $presses times in 30 s: the demo did not end\
 (its window: $(demo_window), the active one: $(xdotool getactivewindow 2>/dev/null),\
 the focused one: $(xdotool getwindowfocus 2>/dev/null))"
        if ready_for_keys; then
            xdotool key "$1" 2>/dev/null && presses=$((presses + 1)) && echo "pressed $1"
            until_true 5 demo_ended
        else
            sleep 0.1
        fi
    done
}

# The share of lit (not black) pixels in a part of the screenshot, 0 to 1.
lit_share() {
    convert "$shot" -crop "$1" +repage -colorspace gray -threshold 8% -format '%[fx:mean]' info:
}

# Takes a screenshot: both logos in the top corners, dark sky between them?
logos_shown() {
    import -silent -window root "$shot" 2>/dev/null
    shares="top left $(lit_share 150x150+10+10), top right $(lit_share 150x150+864+10), "
    shares+="between them $(lit_share 400x150+312+10)"
    awk -v s="$shares" 'BEGIN { split(s, f, /[ ,]+/); exit !(f[3] > 0.2 && f[6] > 0.2 && f[9] < 0.02) }'
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

# Records the null sink's monitor into the given file, in the background.
record() {
    "${pulse[@]}" parec -d null.monitor --raw --format=s16le --rate=44100 \
        --channels=2 >"$1" 2>>"$work/parec.log" &
    recorder=$!
}

# Where the first sound is in the recording: a byte offset, the start of its
# frame (16-bit stereo); nothing while it holds only silence.
first_sound() {
    LC_ALL=C cmp -- "$work/recording.raw" /dev/zero 2>/dev/null |
        sed -n 's/.* differ: [a-z]* \([0-9]*\),.*/\1/p' | awk '{ print int(($1 - 1) / 4) * 4 }'
}
sound_recorded() { [ -n "$(first_sound)" ]; }
recorded_past() { [ "$(stat -c %s "$work/recording.raw")" -ge "$1" ]; }

# The null sink's monitor, recorded from the first sound on, holds the looped
# music at its speed with few glitches: judged five seconds at a time, up to
# four times, until a stretch holds. The stream may stall while Wine starts
# up, and Wine never makes up time a late thread lost: it comes out of the
# server's buffer, 30 ms unless PULSE_LATENCY_MSEC makes it a second, and a
# stall longer than that is silence the server fills in (dropouts). A
# stretch that fails without dropouts is wrong music, which no later one
# excuses. The last stretch judged and the results are kept beside the build.
heard_through_pulseaudio() {
    need "$wine_failure" "$sound_failure"
    local match=${VIMBEL_MUSIC_MATCH:-$source_dir/build-host/vimbel-music-match}
    local results="$build/wine-recording.txt" size=$((5 * 44100 * 4)) from stretch status=1
    [ -x "$match" ] || { echo "no $match (make test-windows builds it)"; return 1; }
    record "$work/recording.raw"
    start_demo direct "${no_video[@]}" XDG_RUNTIME_DIR="$work/runtime" PULSE_LATENCY_MSEC=1000
    until_true 60 sound_recorded ||
        { kill "$recorder"; head -n 20 "$work/parec.log"; give_up "nothing reached the sound server"; }
    from=$(first_sound)
    : >"$results"
    for ((stretch = 1; ; stretch++)); do
        until_true 30 recorded_past $((from + size)) ||
            { kill "$recorder"; head -n 20 "$work/parec.log"; give_up "the recording stopped"; }
        tail -c +$((from + 1)) "$work/recording.raw" | head -c $size >"$work/stretch.raw"
        "$match" res/music.wav "$work/stretch.raw" 4 >"$work/match.txt"
        status=$?
        { echo "stretch $stretch, from $(((stretch - 1) * 5)) s after the first sound:"
            cat "$work/match.txt"; } >>"$results"
        # Held, failed without dropouts, or the last try.
        [ $status -eq 0 ] || head -n 1 "$work/match.txt" | grep -q ' 0 dropout(s)$' || [ $stretch -eq 4 ] &&
            break
        from=$((from + size))
    done
    kill "$recorder"
    wait "$recorder" 2>/dev/null
    cp "$work/stretch.raw" "$build/wine-recording.raw"
    cat "$results"
    demo_ended && give_up "the demo ended"
    kill "$demo_pid"
    wait "$demo_pid" 2>/dev/null
    return $status
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
    check "through PulseAudio (Wine's driver) the music plays at its speed" heard_through_pulseaudio
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
        same_from_two_clones "$work" windows build-windows/demo vimbel-demo.exe

finish windows
