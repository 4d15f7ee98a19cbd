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
