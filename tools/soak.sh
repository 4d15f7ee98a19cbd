#!/usr/bin/env bash
# Runs the tests that start real processes and servers over and over under
# the load CI puts on the machine, and counts how often each passed: a check
# that fails one run in twenty shows here, not in CI.
#
# Usage: tools/soak.sh BUILD_DIR
#   SOAK_RUNS    rounds (10)
#   SOAK_TESTS   CTest regular expression of the tests to run each round
#                (every test that starts the demo, the capture tool, an X
#                server, a compositor or a sound server)
#   SOAK_SUITES  which sets each round runs: ctest, wine (windows/test-windows.sh
#                on the built archive, where `make windows` made one), web
#                (the browser tests, where `make web` built the site);
#                "ctest wine web" unless set
#   SOAK_LOAD    build (the SDL families for Linux, Windows and the browser in two
#                chains side by side, as CI builds them, from an
#                empty cache at nice 19, started again whenever it ends: what
#                CI runs beside the suites) or none
#   SOAK_LOGS    where every round's output is kept (BUILD_DIR/soak)
# The table at the end gives each test's passes out of its runs, and the
# status is 1 if any run failed.
set -uo pipefail

build=$(realpath "${1:?usage: tools/soak.sh BUILD_DIR}")
logs=$(realpath -m "${SOAK_LOGS:-$build/soak}")
cd "$(dirname "$0")/.." || exit 2
runs=${SOAK_RUNS:-10}
tests=${SOAK_TESTS:-'^(X11Display|X11Display4K|WaylandDisplay|OffscreenDisplay|FatalBox|SoundServer|DemoProcess|WholeRun|CaptureProcess)\.'}
suites=${SOAK_SUITES:-ctest wine web}
rm -rf "$logs" && mkdir -p "$logs"
results="$logs/results" # one line a run: NAME<TAB>pass|fail|skip

# The load, and each set while it runs, run in process groups of their own,
# stopped with everything in them when the soak ends, however it ends.
set -m
load="" current=""
# shellcheck disable=SC2317  # run by the trap
stop_groups() {
    local group
    for group in $current $load; do
        kill -TERM -- "-$group" 2>/dev/null
        wait "$group" 2>/dev/null
    done
    rm -rf "$logs"/cache-*
}
trap stop_groups EXIT
trap 'exit 130' INT TERM
# Runs one set's command in its own group, its output into $log.
run_set() {
    "$@" >"$log" 2>&1 </dev/null &
    current=$!
    wait "$current"
    current=""
}
case ${SOAK_LOAD:-build} in
    build)
        tools/install-deps.sh linux windows web || exit 2
        # Two chains side by side, as CI builds them: Windows then the
        # browser, and Linux.
        (
            trap 'kill 0' TERM
            for chain in "family-windows family-web" family-linux; do
                (
                    trap 'exit 0' TERM
                    cache="$logs/cache-${chain%% *}"
                    while :; do
                        rm -rf "$cache"
                        # shellcheck disable=SC2086  # the chain's targets
                        VIMBEL_CACHE="$cache" nice -n 19 make $chain >"$logs/load-${chain%% *}.log" 2>&1
                    done
                ) &
            done
            wait
        ) </dev/null &
        load=$!
        ;;
    none) ;;
    *) echo "soak: SOAK_LOAD is build or none" >&2; exit 2 ;;
esac

# Each set's outcomes from its output: a line per check, tab-separated.
ctest_outcomes() {
    sed -nE 's/.*Test +#[0-9]+: ([^ ]+) \.+ *(\*\*\*)?([A-Za-z]+).*/\1\t\3/p' |
        sed -E 's/\tPassed$/\tpass/; s/\tSkipped$/\tskip/; /\t(pass|skip)$/!s/\t.*/\tfail/'
}
harness_outcomes() { # PASS/FAIL/SKIP lines of tests/harness.sh
    sed -nE 's/^(PASS|FAIL|SKIP)  ([^:]*).*/\2\t\1/p' | sed -E 's/PASS$/pass/; s/FAIL$/fail/; s/SKIP$/skip/'
}
tap_outcomes() { # node --test's TAP: each test under its parents' names
    awk '
        match($0, /^ *# Subtest: /) { parent[RLENGTH - 11] = substr($0, RLENGTH + 1); next }
        match($0, /^ *(not )?ok [0-9]+ - /) {
            depth = index($0, "o") - 1; failed = substr($0, depth + 1, 3) == "not"
            name = substr($0, RLENGTH + 1); skip = sub(/ # SKIP.*/, "", name)
            for (d = depth - 4; d >= 0; d -= 4) name = parent[d] " > " name
            print name "\t" (skip ? "skip" : failed ? "fail" : "pass")
        }'
}

for round in $(seq "$runs"); do
    echo "soak: round $round of $runs ($(uptime | sed 's/.*load/load/'))"
    for suite in $suites; do
        log="$logs/$suite-$round.log"
        case $suite in
            ctest)
                run_set ctest --test-dir "$build" -R "$tests" -j "$(nproc)" --output-on-failure
                ctest_outcomes <"$log" >>"$results"
                ;;
            wine)
                if [ -f build-windows/demo/release-archive.txt ]; then
                    run_set env VIMBEL_MUSIC_MATCH="$(realpath -m build-host/vimbel-music-match)" \
                        windows/test-windows.sh run build-windows/demo
                    harness_outcomes <"$log" | sed 's/^/wine: /' >>"$results"
                else
                    printf 'wine: no archive (make windows)\tskip\n' >>"$results"
                fi
                ;;
            web)
                if [ -d build-web/site ] && [ -d build-web/node/node_modules ]; then
                    run_set env NODE_PATH="$(realpath build-web/node/node_modules)" \
                        VIMBEL_SITE="$(realpath build-web/site)" \
                        node --test --test-reporter=tap --test-concurrency=1 web/test/*.test.js
                    tap_outcomes <"$log" | sed 's/^/web: /' >>"$results"
                else
                    printf 'web: no site (make test-web)\tskip\n' >>"$results"
                fi
                ;;
            *) echo "soak: unknown set $suite (known: ctest wine web)" >&2; exit 2 ;;
        esac
        if grep -q $'\tfail$' "$results"; then
            grep $'\tfail$' "$results" | sort -u | sed 's/\t.*//; s/^/soak: failed so far: /'
        fi
    done
done

awk -F'\t' '
    { runs[$1]++; count[$1, $2]++ }
    END {
        for (name in runs) {
            line = sprintf("%3d/%-3d %s", count[name, "pass"], runs[name], name)
            if (count[name, "fail"]) { line = line "  FAILED " count[name, "fail"]; bad = 1 }
            if (count[name, "skip"]) line = line "  skipped " count[name, "skip"]
            print line
        }
        exit bad
    }' "$results" | sort -k2
status=${PIPESTATUS[0]}
echo "soak: logs in $logs"
exit "$status"
