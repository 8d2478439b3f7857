#!/usr/bin/env bash
# Times `pvtool convert` of a one-hour mode-2 (24 kbit/s) recording against ffmpeg turning the
# same hour of G.726 24 kbit/s codes into an 8-bit WAV file. Needs a build with
# -DPARVOLIN_BENCH=ON and ffmpeg on the PATH; optional in CI.
#   bench/convert_vs_ffmpeg.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
pvtool="$build/programs/pvtool"
writer="$build/bench/g726_crosscheck_bench"
for tool in "$pvtool" "$writer"; do
  [ -x "$tool" ] || { echo "missing $tool: build with -DPARVOLIN_BENCH=ON" >&2; exit 2; }
done
command -v ffmpeg > /dev/null || { echo "ffmpeg not installed: skipped" >&2; exit 0; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$writer" --write-hour "$work/hour"

best() {  # best wall time in seconds of three runs of the command
  local best=""
  for _ in 1 2 3; do
    local start end t
    start=$(date +%s.%N)
    "$@" > /dev/null
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

ours=$(best "$pvtool" convert --force -o "$work/ours.wav" "$work/hour.LV2")
theirs=$(best ffmpeg -hide_banner -loglevel error -y -f g726 -code_size 3 -sample_rate 8000 \
  -i "$work/hour.g726" -c:a pcm_u8 "$work/ffmpeg.wav")
echo "pvtool convert, one hour of mode 2 to 8-bit WAV: ${ours} s ($(stat -c %s "$work/ours.wav") bytes)"
echo "ffmpeg, one hour of G.726 24 kbit/s to 8-bit WAV: ${theirs} s ($(stat -c %s "$work/ffmpeg.wav") bytes)"
echo "ratio ffmpeg / pvtool: $(echo "scale=2; $theirs / $ours" | bc)"
