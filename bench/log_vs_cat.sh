#!/usr/bin/env bash
# Times `pvtool log` in each format against `cat` of the same call log (both to /dev/null), and
# gives pvtool's peak memory. The log holds calls a few minutes apart over months, with numbers
# of every length; its size in MiB is the second argument (1024 by default).
# Goal: text and CSV within 15 times cat, JSON within 25 times.
#   bench/log_vs_cat.sh [BUILD_DIR] [MIB]
# PVTOOL names another pvtool to measure (an older build, say).
set -euo pipefail
build=${1:-build}
mib=${2:-1024}
pvtool="${PVTOOL:-$build/programs/pvtool}"
[ -x "$pvtool" ] || { echo "missing $pvtool" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One MiB of records (32768 calls), then as many copies as asked.
python3 - "$work/one.ZERU" <<'PY'
import random, struct, sys
random.seed(1)
start = 1_700_000_000
out = bytearray()
for i in range(32768):
    start += random.randrange(30, 600)
    number = str(random.randrange(10**random.randrange(1, 12)))
    out += struct.pack("<BB22sIHH", random.randrange(16), random.choice([2, 3, 6, 7, 9, 11]),
                       number.ljust(22).encode(), start, random.randrange(3600),
                       random.randrange(10))
open(sys.argv[1], "wb").write(out)
PY
for _ in $(seq "$mib"); do cat "$work/one.ZERU"; done > "$work/log.ZERU"
cat "$work/log.ZERU" > /dev/null  # into the page cache

# CPU seconds (user + system) and peak kB of the best of three runs: on a busy machine the wall
# time says more about the other processes than about these.
measure() {
  local best="" peak=""
  for _ in 1 2 3; do
    local out
    /usr/bin/time -o "$work/time" -f "%U %S %M" "$@" > /dev/null 2> /dev/null || true
    out=$(tail -1 "$work/time")
    read -r user sys kb <<< "$out"
    local t
    t=$(echo "$user + $sys" | bc)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
    peak=$kb
  done
  echo "$best $peak"
}

read -r base _ <<< "$(measure cat "$work/log.ZERU")"
echo "cat of a ${mib} MiB log: ${base} s of CPU"
for format in text --csv --json --jsonl; do
  args=(log "$work/log.ZERU")
  [ "$format" = text ] || args+=("$format")
  read -r t peak <<< "$(measure env TZ=Europe/Berlin "$pvtool" "${args[@]}")"
  echo "pvtool log $format: ${t} s of CPU, $(echo "scale=1; $t / $base" | bc)x cat, peak ${peak} kB"
done
