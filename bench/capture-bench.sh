#!/usr/bin/env bash
# Times vimbel-capture on the whole demo at 1920x1080, 60 fps, with the default
# encoder settings, and, on the very same frames and sound, ffmpeg alone
# reading them from raw files with the same arguments. Prints
#   capture time / demo duration   (below 1: faster than real time)
#   capture time / encoder alone   (what drawing and feeding the encoder add)
#
# Usage: bench/capture-bench.sh [WORK_DIR]
# WORK_DIR (default: a new directory under /tmp) needs room for the raw frames,
# about 8.3 MB per frame: some 25 GB for the whole demo. It is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build}
capture=$PWD/$BUILD_DIR/vimbel-capture
[ -x "$capture" ] || { echo "capture-bench: build first (make build): no $capture" >&2; exit 2; }
ffmpeg=$(command -v ffmpeg) || { echo "capture-bench: ffmpeg is missing (Debian package ffmpeg)" >&2; exit 2; }

work=$(mktemp -d "${1:-/tmp}/capture-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
size=1920x1080
fps=60

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }

echo "Machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p'), $(uname -sr)"
echo "ffmpeg: $("$ffmpeg" -version | head -1)"

# 1. The capture as a person runs it.
start=$(now)
"$capture" --size "$size" --fps "$fps" "$work/capture.mp4" 2> "$work/capture.log"
capture_seconds=$(calc "$(now) - $start")
frames=$(sed -n 's/.*: \([0-9]*\) frames at .*/\1/p' "$work/capture.log")
demo_seconds=$(calc "$frames / $fps")

# 2. The same frames and sound again (the seed is fixed), kept in raw files by a
#    stand-in encoder that also records the arguments it was given. Not timed.
bytes_needed=$(( frames * 1920 * 1080 * 4 ))
bytes_free=$(( $(df --output=avail -k "$work" | tail -1) * 1024 ))
if [ "$bytes_free" -lt $(( bytes_needed + 1000000000 )) ]; then
    echo "capture-bench: $work has $((bytes_free / 1000000000)) GB free; the raw frames need $((bytes_needed / 1000000000)) GB" >&2
    exit 2
fi
mkdir "$work/bin"
cat > "$work/bin/ffmpeg" <<STANDIN
#!/usr/bin/env bash
printf '%s\n' "\$@" > "$work/arguments"
cat <&3 > "$work/audio.raw" &
cat > "$work/video.raw"
wait
STANDIN
chmod +x "$work/bin/ffmpeg"
PATH="$work/bin:$PATH" "$capture" --size "$size" --fps "$fps" "$work/record.mp4" 2> /dev/null
rm -f "$work/record.mp4"

# 3. The encoder alone: the recorded arguments with files for pipes and output.
arguments=()
while IFS= read -r argument; do
    case "$argument" in
        pipe:0) argument=$work/video.raw ;;
        pipe:3) argument=$work/audio.raw ;;
        */.record.mp4.partial-*) argument=$work/alone.mp4 ;;
    esac
    arguments+=("$argument")
done < "$work/arguments"
start=$(now)
"$ffmpeg" "${arguments[@]}"
encoder_seconds=$(calc "$(now) - $start")

printf 'demo: %d frames at %d fps, %.3f s\n' "$frames" "$fps" "$demo_seconds"
printf 'capture: %.1f s, encoder alone: %.1f s\n' "$capture_seconds" "$encoder_seconds"
printf 'capture time / demo duration:  %.2f (%.2fx real time)\n' \
    "$(calc "$capture_seconds / $demo_seconds")" "$(calc "$demo_seconds / $capture_seconds")"
printf 'capture time / encoder alone:  %.2f\n' "$(calc "$capture_seconds / $encoder_seconds")"
