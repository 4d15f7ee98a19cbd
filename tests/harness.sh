# The harness of the shell test scripts (sourced): named checks counted as
# passed, failed or skipped, a scratch folder $work, and Xvfb with openbox and
# PulseAudio with a null sink as children of the script, stopped and reaped
# when it exits. A check whose server or tool cannot start fails under CI
# (CI set, not "false" or "0"); elsewhere it is skipped and says why.
# shellcheck shell=bash
# shellcheck disable=SC2034  # the scripts read what it sets

passed=0 failed=0 skipped=0
work=$(mktemp -d)
server_pids=()
at_exit=() # commands the scripts add, run at exit before the servers stop

under_ci() { case "${CI:-}" in "" | false | 0) return 1 ;; esac }

# Ends a check for want of a server or tool.
unavailable() {
    echo "$1"
    under_ci && { echo "^ cannot run under CI"; exit 1; }
    exit 77
}

# Runs a named check (a function with arguments) in a subshell, showing its
# output if it fails; status 77 skips it, saying why in its last line. Its
# locals have names no check uses, as a check sees them.
check() {
    local check_name=$1 check_status
    shift
    ("$@") >"$work/log" 2>&1
    check_status=$?
    case $check_status in
        0) echo "PASS  $check_name"; passed=$((passed + 1)) ;;
        77) echo "SKIP  $check_name: $(tail -n 1 "$work/log")"; skipped=$((skipped + 1)) ;;
        *) echo "FAIL  $check_name"; sed 's/^/      /' "$work/log" | tail -n 40; failed=$((failed + 1)) ;;
    esac
}

# The counts under the script's name; succeeds if no check failed.
finish() {
    echo "$1: $passed passed, $failed failed, $skipped skipped"
    [ $failed -eq 0 ]
}

# Runs a command every tenth of a second until it succeeds or the given
# seconds pass.
until_true() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.1
    done
}

exited() { ! kill -0 "$1" 2>/dev/null; }
installed() { local tool; for tool; do command -v "$tool" >/dev/null || return 1; done; }

# Asks each server to stop and kills one still running five seconds later.
harness_exit() {
    local step pid
    for step in "${at_exit[@]}"; do eval "$step"; done
    for pid in "${server_pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${server_pids[@]}"; do
        until_true 5 exited "$pid" || kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap harness_exit EXIT

# Before a server's command line (run with &, $! is the server): it ends with
# the script even if the script is killed.
as_child=()
command -v setpriv >/dev/null && as_child=(setpriv --pdeathsig TERM)
# Before a command line, a client of the server start_sound starts.
pulse=(env HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime")

# Starts Xvfb with openbox and exports DISPLAY; on failure x_failure says why.
x_failure=""
start_x() {
    installed Xvfb openbox xdotool xprop || {
        x_failure="Xvfb, openbox, xdotool or xprop is missing (packages xvfb, openbox, xdotool, x11-utils)"
        return
    }
    # Xvfb picks a free display and writes its number once it takes clients.
    "${as_child[@]}" Xvfb -displayfd 3 -screen 0 1024x768x24 -br -nolisten tcp -noreset \
        3>"$work/display" 2>"$work/x.log" &
    server_pids+=($!)
    until_true 15 grep -qs . "$work/display" ||
        { x_failure="Xvfb did not start: $(tail -n 3 "$work/x.log")"; return; }
    DISPLAY=":$(head -n 1 "$work/display")"
    export DISPLAY
    "${as_child[@]}" openbox --sm-disable >>"$work/x.log" 2>&1 &
    server_pids+=($!)
    # openbox announces itself before its event loop runs, and a window
    # mapped in between is never managed: it runs once it answers a request.
    # shellcheck disable=SC2317  # called by until_true
    wm_answers() {
        xdotool set_num_desktops 1 2>/dev/null &&
            xprop -root _NET_NUMBER_OF_DESKTOPS 2>/dev/null | grep -q '= 1$'
    }
    until_true 15 wm_answers || x_failure="openbox does not answer: $(tail -n 3 "$work/x.log")"
}

# Starts PulseAudio in the foreground with a sink named null, in a private
# HOME and runtime folder; on failure sound_failure says why.
sound_failure=""
start_sound() {
    installed pulseaudio pactl parec || {
        sound_failure="pulseaudio, pactl or parec is missing (packages pulseaudio, pulseaudio-utils)"
        return
    }
    mkdir -p "$work/home" "$work/runtime" && chmod 700 "$work/runtime"
    "${pulse[@]}" "${as_child[@]}" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
        --load="module-null-sink sink_name=null" --load=module-native-protocol-unix \
        >"$work/pulse.log" 2>&1 &
    server_pids+=($!)
    # shellcheck disable=SC2317  # called by until_true
    sink_listed() { "${pulse[@]}" pactl list short sinks 2>/dev/null | grep -qw null; }
    until_true 15 sink_listed || sound_failure="pulseaudio did not start: $(tail -n 3 "$work/pulse.log")"
}

# Fails, naming each one missing, unless the standard input holds every
# given text (with -x: as a whole line).
holds_all() {
    local how=-qF text input status=0
    [ "$1" = -x ] && { how=-qxF; shift; }
    input=$(cat)
    for text; do
        grep "$how" -- "$text" <<<"$input" || { echo "missing: $text"; status=1; }
    done
    return $status
}

# The archive listing on the standard input holds one folder, $1, whose top
# level is $2: its entries sorted, a folder with its slash, space-separated.
one_folder() {
    local listing top
    listing=$(cat)
    ! grep -v "^$1/" <<<"$listing" || { echo "^ entries outside $1/"; return 1; }
    top=$(sed -n "s|^$1/\([^/][^/]*/\?\).*|\1|p" <<<"$listing" | sort -u | paste -sd' ')
    [ "$top" = "$2" ] || { echo "top level: $top"; return 1; }
}

# A text file of plain ASCII lines of at most 80 columns; with crlf, every
# line ends in CR LF.
plain_text() {
    local cr=""
    [ "${2:-}" = crlf ] && cr=$'\r'
    ! LC_ALL=C grep -n "[^[:print:]$cr]" "$1" || { echo "^ not plain ASCII"; return 1; }
    [ -z "$cr" ] || ! grep -vn $'\r$' "$1" || { echo "^ lines without CRLF"; return 1; }
    awk '{ sub(/\r$/, "") } length > 80 { print "line " NR " has " length " columns"; bad = 1 }
        END { exit bad }' "$1"
}

# --- a demo under test -------------------------------------------------------
# The script defines start_demo, which starts the demo in the background with
# its error output in $work/errors and sets demo_pid; the checks below watch
# it, find its window on the X display start_x made, press its keys, read the
# screen and record its sound.

# The title the demo gives its window: the script reads it from the build
# (window-title.txt, which CMake writes from the core).
title=""
# The variables that run the demo without a display.
no_video=(SDL_VIDEODRIVER=dummy SDL_RENDER_DRIVER=software)
demo_pid=""
shot="$work/shot.png" # where logos_shown puts its screenshot

# Ends a check for want of each server whose failure text is not empty.
need() { local failure; for failure; do [ -z "$failure" ] || unavailable "$failure"; done; }

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
# busy machine), and keys typed in between go elsewhere. Wine and SDL's X11
# driver put the focus on the X window of the toplevel itself, the one found
# under the title, not on a child: both ids are that window's once it takes
# keys. While the full-screen window is set up the focus may be there before
# openbox marks it active, and the window may briefly be unmapped (not found
# at all).
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
# four times, until a stretch holds. A stream that stalls (a busy machine, a
# slow start) leaves silence that the server fills in (dropouts); a stretch
# that fails without dropouts is wrong music, which no later one excuses.
# The results go to the file $1 and the last stretch judged to $2; the demo
# is started by the script's start_demo with the arguments after them, and
# stopped at the end. VIMBEL_MUSIC_MATCH names the native vimbel-music-match.
heard_through_pulseaudio() {
    local results=$1 kept=$2
    shift 2
    local match=${VIMBEL_MUSIC_MATCH:-$source_dir/build-host/vimbel-music-match}
    local size=$((5 * 44100 * 4)) from stretch status=1
    [ -x "$match" ] || { echo "no $match (make test-windows and make test-release build it)"; return 1; }
    record "$work/recording.raw"
    start_demo "$@"
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
    cp "$work/stretch.raw" "$kept"
    cat "$results"
    demo_ended && give_up "the demo ended"
    kill "$demo_pid"
    wait "$demo_pid" 2>/dev/null
    return $status
}
