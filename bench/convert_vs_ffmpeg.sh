#!/usr/bin/env bash
# Times `pvtool convert` of a one-hour mode-2 (24 kbit/s) recording against ffmpeg turning the
# same hour of G.726 24 kbit/s codes into an 8-bit WAV file, and gives pvtool's peak memory for
# one hour and for two (goal: at most 16 MB whatever the length). Needs a build with
# -DPARVOLIN_BENCH=ON; without ffmpeg on the PATH only pvtool is measured.
#   bench/convert_vs_ffmpeg.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
pvtool="$build/programs/pvtool"
writer="$build/bench/g726_crosscheck_bench"
for tool in "$pvtool" "$writer"; do
  [ -x "$tool" ] || { echo "missing $tool: build with -DPARVOLIN_BENCH=ON" >&2; exit 2; }
done

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

# Peak resident memory in kB of one run.
peak() {
  /usr/bin/time -o "$work/time" -f %M "$@" > /dev/null
  tail -1 "$work/time"
}
cat "$work/hour.LV2" "$work/hour.LV2" > "$work/two.LV2"
echo "pvtool convert, peak memory: one hour $(peak "$pvtool" convert --force -o "$work/ours.wav" \
  "$work/hour.LV2") kB, two hours $(peak "$pvtool" convert --force -o "$work/two.wav" \
  "$work/two.LV2") kB, two hours with --dava 2 $(peak "$pvtool" convert --force --dava 2 \
  -o "$work/two.wav" "$work/two.LV2") kB"
command -v ffmpeg > /dev/null || { echo "ffmpeg not installed: the comparison is skipped" >&2; exit 0; }

ours=$(best "$pvtool" convert --force -o "$work/ours.wav" "$work/hour.LV2")
theirs=$(best ffmpeg -hide_banner -loglevel error -y -f g726 -code_size 3 -sample_rate 8000 \
  -i "$work/hour.g726" -c:a pcm_u8 "$work/ffmpeg.wav")
echo "pvtool convert, one hour of mode 2 to 8-bit WAV: ${ours} s ($(stat -c %s "$work/ours.wav") bytes)"
echo "ffmpeg, one hour of G.726 24 kbit/s to 8-bit WAV: ${theirs} s ($(stat -c %s "$work/ffmpeg.wav") bytes)"
echo "ratio ffmpeg / pvtool: $(echo "scale=2; $theirs / $ours" | bc)"
