# The harness of the shell test scripts (sourced, not run): named checks
# counted as passed, failed or skipped; a scratch folder in $work; and the
# servers the checks need, Xvfb with openbox and PulseAudio with a null sink,
# each a child of the script, stopped and reaped when it exits.
#
# A check whose server or tool cannot start fails under CI (CI set, and not
# "false" or "0"), where a broken install step must show; elsewhere it is
# skipped and says why.
# shellcheck shell=bash
# shellcheck disable=SC2034  # the scripts read what it sets

passed=0
failed=0
skipped=0
work=$(mktemp -d)
server_pids=()
# Commands run at exit before the servers stop (the scripts add theirs).
at_exit=()

under_ci() {
    case "${CI:-}" in
        "" | false | 0) return 1 ;;
    esac
}

# Ends a check for want of a server or tool.
unavailable() {
    echo "$1"
    under_ci && { echo "^ cannot run under CI"; exit 1; }
    exit 77
}

# Runs one named check (a function with arguments) in a subshell, counting it
# in passed, failed or skipped; its output is shown only when it fails. A
# check that exits with 77 is skipped and says why in its last line.
# Its locals are named so that the check, which sees them, uses no such name.
check() {
    local check_name=$1 check_status
    shift
    ("$@") >"$work/log" 2>&1
    check_status=$?
    if [ $check_status -eq 0 ]; then
        echo "PASS  $check_name"
        passed=$((passed + 1))
    elif [ $check_status -eq 77 ]; then
        echo "SKIP  $check_name: $(tail -n 1 "$work/log")"
        skipped=$((skipped + 1))
    else
        echo "FAIL  $check_name"
        sed 's/^/      /' "$work/log" | tail -n 40
        failed=$((failed + 1))
    fi
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

# A child that has exited but is not yet reaped shows as a zombie.
exited() { ! ps -o stat= -p "$1" 2>/dev/null | grep -qv Z; }

# Asks each server to stop, waits for it, and kills one that does not stop
# in five seconds: never reaped before, its pid cannot belong to another.
harness_exit() {
    local step pid
    for step in "${at_exit[@]}"; do
        eval "$step"
    done
    for pid in "${server_pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${server_pids[@]}"; do
        until_true 5 exited "$pid" || kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap harness_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Put before a server's command line (started with &, so that $! is the
# server): it ends with the script even if the script is killed.
as_child=()
command -v setpriv >/dev/null && as_child=(setpriv --pdeathsig TERM)

# Starts Xvfb with openbox and exports DISPLAY; on failure x_failure says why.
x_failure=""
start_x() {
    if ! command -v Xvfb >/dev/null || ! command -v openbox >/dev/null ||
        ! command -v xdotool >/dev/null || ! command -v xprop >/dev/null; then
        x_failure="Xvfb, openbox, xdotool or xprop is missing (packages xvfb, openbox, xdotool, x11-utils)"
        return
    fi
    # -displayfd: Xvfb picks a free display and writes its number once it
    # accepts connections.
    "${as_child[@]}" Xvfb -displayfd 3 -screen 0 1024x768x24 -br -nolisten tcp -noreset 3>"$work/display" \
        2>"$work/x.log" &
    server_pids+=($!)
    if ! until_true 15 grep -q . "$work/display"; then
        x_failure="Xvfb did not start: $(tail -n 3 "$work/x.log")"
        return
    fi
    DISPLAY=":$(head -n 1 "$work/display")"
    export DISPLAY
    "${as_child[@]}" openbox --sm-disable >>"$work/x.log" 2>&1 &
    server_pids+=($!)
    # openbox announces itself on the root window before its event loop runs,
    # and a window mapped in between is never managed. It runs once it
    # answers a request, here to have one desktop.
    # shellcheck disable=SC2317  # called by until_true
    wm_answers() {
        xdotool set_num_desktops 1 2>/dev/null &&
            xprop -root _NET_NUMBER_OF_DESKTOPS 2>/dev/null | grep -q '= 1$'
    }
    until_true 15 wm_answers || x_failure="openbox does not answer: $(tail -n 3 "$work/x.log")"
}

# Put before a command line to make it a client of the sound server started
# by start_sound (the command itself: with &, $! is its pid).
pulse=(env HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime")

# Starts PulseAudio with a sink named null, in a private HOME and runtime
# folder, in the foreground as a child of the script; ready once the sink is
# listed. On failure sound_failure says why.
sound_failure=""
start_sound() {
    if ! command -v pulseaudio >/dev/null || ! command -v parec >/dev/null ||
        ! command -v pactl >/dev/null; then
        sound_failure="pulseaudio, pactl or parec is missing (packages pulseaudio, pulseaudio-utils)"
        return
    fi
    mkdir -p "$work/home" "$work/runtime"
    chmod 700 "$work/runtime"
    "${pulse[@]}" "${as_child[@]}" pulseaudio -n --daemonize=no \
        --exit-idle-time=-1 --load="module-null-sink sink_name=null" \
        --load=module-native-protocol-unix >"$work/pulse.log" 2>&1 &
    server_pids+=($!)
    # shellcheck disable=SC2317  # called by until_true
    sink_listed() { "${pulse[@]}" pactl list short sinks 2>/dev/null | grep -qw null; }
    until_true 15 sink_listed || sound_failure="pulseaudio did not start: $(tail -n 3 "$work/pulse.log")"
}
