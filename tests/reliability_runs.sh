#!/usr/bin/env bash
# Runs the recorder through eight operator mistakes and faults on emulated units and prints, per
# case, what was recorded, what reached the disk and what was reported. Not a test: the figures
# are for people comparing two builds.
#
#   tests/reliability_runs.sh [BIN_DIR] [CASE...]     (BIN_DIR defaults to build/programs)
#
# Cases 4 (full disk, unwritable folder) need `unshare -rm` (a private mount namespace, for a
# small tmpfs); they are skipped without it. Case 5 runs in real time (about 40 s).
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bin="$(cd "${1:-$here/build/programs}" && pwd)"
shift || true
cases=("$@")
[ ${#cases[@]} -eq 0 ] && cases=(1 2 3 4 5 6 7 8)
parvolin="$bin/parvolin"
pvtool="$bin/pvtool"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
export HOME="$root/home" XDG_CONFIG_HOME="$root/home/config" XDG_DATA_HOME="$root/home/data"
export DISPLAY= WAYLAND_DISPLAY=
mkdir -p "$HOME"

# Figures of a recording folder: log records, list rows, recordings and their bytes, empty ones.
figures() {
  local dir="$1" log=0 rows=0 files=0 bytes=0 empty=0 f size
  [ -f "$dir/ParvolinLog.ZERU" ] && log=$(($(stat -c %s "$dir/ParvolinLog.ZERU") / 32))
  [ -f "$dir/ZEruTestNew.htm" ] && rows=$(grep -o '<tr><td>' "$dir/ZEruTestNew.htm" | wc -l)
  for f in "$dir"/w*.LV? "$dir"/w*.WAV; do
    [ -e "$f" ] || continue
    size=$(stat -c %s "$f")
    files=$((files + 1)) bytes=$((bytes + size))
    [ "$size" -eq 0 ] && empty=$((empty + 1))
  done
  echo "log records $log, list rows $rows, recordings $files ($empty empty), audio bytes $bytes"
}
indent() { sed 's/^/      /' | head -"${1:-8}"; }
scenario() { printf '%s\n' "$2" >"$1"; }

case1() {
  echo "== 1. --capture pointed at the call log"
  local w="$root/c1"
  mkdir -p "$w" && cd "$w" || return
  scenario calls.scn "unit PV1
1 1/1 ring
2 1/1 answer
2 1/1 talk 3
6 1/1 callend 5551234
8 1/2 ring
10 1/2 callend 5557777"
  "$parvolin" --headless --simulate=calls.scn --virtual --config p.conf --folder rec >/dev/null 2>&1
  echo "   before: $(figures rec)"
  "$parvolin" --headless --simulate=calls.scn --virtual --config p.conf --folder rec \
    --capture rec/ParvolinLog.ZERU >/dev/null 2>err.txt
  echo "   exit status $?; after: $(figures rec)"
  indent 3 <err.txt
  "$pvtool" log rec/ParvolinLog.ZERU >log.txt 2>&1
  echo "   pvtool log: exit $?, $(wc -l <log.txt) lines; first: $(head -1 log.txt)"
}

case2() {
  echo "== 2. two recorders on one folder"
  local w="$root/c2"
  mkdir -p "$w" && cd "$w" || return
  scenario many.scn "unit PV1
unit PV2
random all seed=5 until=1800"
  "$parvolin" --headless --simulate=many.scn --virtual --config a.conf --folder rec >/dev/null 2>a.txt &
  local a=$!
  "$parvolin" --headless --simulate=many.scn --virtual --config b.conf --folder rec >/dev/null 2>b.txt
  local sb=$?
  wait $a
  local sa=$?
  echo "   exit statuses $sa and $sb; $(figures rec)"
  local items dups
  items=$(grep -o '<tr><td><p align=center> *[0-9]*<' rec/ZEruTestNew.htm 2>/dev/null | wc -l)
  dups=$(grep -o '<tr><td><p align=center> *[0-9]*<' rec/ZEruTestNew.htm 2>/dev/null | sort | uniq -d | wc -l)
  echo "   rows with an item number $items, item numbers used twice $dups"
  echo "   reports: $(cat a.txt b.txt | grep -c . ) lines"
  cat a.txt b.txt | grep -v '^parvolin: emulated' | indent 4
}

case3() {
  echo "== 3. --folder naming a regular file"
  local w="$root/c3"
  mkdir -p "$w" && cd "$w" || return
  scenario one.scn "unit PV1
1 1/1 ring
2 1/1 answer
2 1/1 talk 2
5 1/1 callend 5551234"
  echo "not a folder" >notes.txt
  "$parvolin" --headless --simulate=one.scn --virtual --config p.conf --folder notes.txt \
    >/dev/null 2>err.txt
  echo "   exit status $?; files in the working folder: $(ls | tr '\n' ' ')"
  indent 3 <err.txt
}

# Runs `script` as root of a private mount namespace with a tmpfs of `size` at $w/disk.
in_namespace() {
  local w="$1" size="$2" script="$3"
  unshare -rm sh -c "mount -t tmpfs -o size=$size tmpfs '$w/disk' && cd '$w' && $script"
}

case4() {
  echo "== 4. full disk (2 MiB tmpfs) and an unwritable folder"
  if ! unshare -rm true 2>/dev/null; then
    echo "   skipped: no private mount namespace (unshare -rm)"
    return
  fi
  local w="$root/c4"
  mkdir -p "$w/disk" && cd "$w" || return
  scenario long.scn "unit PV1
1 1/1 answer
1 1/1 talk 201
203 1/1 callend 5551111
1 1/2 answer
1 1/2 talk 103
105 1/2 callend 5552222
220 1/3 answer
220 1/3 talk 11
232 1/3 callend 5553333
240 1/4 answer
240 1/4 talk 11
252 1/4 callend 5554444"
  in_namespace "$w" 2m "'$parvolin' --headless --simulate=long.scn --virtual --config p.conf \
    --folder disk/rec >out.txt 2>err.txt; echo \$? >status; cp -r disk/rec rec-full"
  echo "   recorded: 201 s + 103 s + 11 s + 11 s of mode-3 audio = $(((201 + 103 + 22) * 8000)) bytes"
  echo "   exit status $(cat status); $(figures rec-full)"
  for f in rec-full/w*; do echo "      $(basename "$f") $(stat -c %s "$f") bytes"; done
  indent 16 <err.txt

  scenario six.scn "unit PV1
1 1/1 ring
3 1/1 callend 1
5 1/2 ring
7 1/2 callend 2
9 1/3 ring
11 1/3 callend 3
13 1/4 ring
15 1/4 callend 4
17 1/1 ring
19 1/1 callend 5
21 1/2 ring
23 1/2 callend 6"
  in_namespace "$w" 64k "mkdir -p disk/rec2 && head -c 65536 /dev/zero >disk/fill 2>/dev/null; \
    '$parvolin' --headless --simulate=six.scn --virtual --config p.conf --folder disk/rec2 \
    >out2.txt 2>err2.txt; echo \$? >status2; cp -r disk/rec2 rec-full2"
  echo "   disk full from the start, 6 unanswered calls: exit status $(cat status2); $(figures rec-full2)"
  echo "   last capacity line: $(grep -o 'Logged Items: [0-9]*' out2.txt | tail -1)"
  indent 6 <err2.txt

  in_namespace "$w" 1m "mkdir -p disk/rec3 && mount -o remount,ro '$w/disk' && \
    '$parvolin' --headless --simulate=six.scn --virtual --config p.conf --folder disk/rec3 \
    >out3.txt 2>err3.txt; echo \$? >status3"
  echo "   read-only folder, 6 unanswered calls: exit status $(cat status3)"
  echo "   last capacity line: $(grep -o 'Logged Items: [0-9]*' out3.txt | tail -1)"
  indent 6 <err3.txt
}

case5() {
  echo "== 5. kill -9 in a real-time run (3 kills, 4 calls each)"
  local w="$root/c5"
  mkdir -p "$w" && cd "$w" || return
  scenario four.scn "unit PV1
0.5 1/1 answer
0.5 1/1 talk 60
0.5 1/2 answer
0.5 1/2 talk 60
0.5 1/3 answer
0.5 1/3 talk 60
0.5 1/4 answer
0.5 1/4 talk 60"
  local k killed_after
  for k in 1 2 3; do
    killed_after=$((5 + 2 * k))
    "$parvolin" --headless --simulate=four.scn --config p.conf --folder "rec$k" >/dev/null 2>&1 &
    local pid=$!
    sleep "$killed_after"
    kill -9 $pid
    wait $pid 2>/dev/null
    echo "   killed after ${killed_after} s (about $(((killed_after - 1) * 8000)) bytes per call recorded): $(figures "rec$k")"
  done
}

case6() {
  echo "== 6. a unit power-cycled mid-call, and a unit unplugged for good"
  local w="$root/c6"
  mkdir -p "$w" && cd "$w" || return
  scenario cycle.scn "unit PV1
1 1/1 answer
1 1/1 talk 60
5 1 powercycle
70 1/2 answer
70 1/2 talk 5
76 1/2 callend 5552222"
  "$parvolin" --headless --simulate=cycle.scn --virtual --config p.conf --folder rec >out.txt 2>err.txt
  echo "   power cycle at 5 s of a 60 s call, a later 5 s call: exit status $?; $(figures rec)"
  echo "   last line of port 1: $(grep 'Port:  1 ' out.txt | tail -1 | cut -c1-60)"
  indent 4 <err.txt
  scenario gone.scn "unit PV1
1 1/1 answer
1 1/1 talk 60
5 1 unplug
70 1/2 ring"
  "$parvolin" --headless --simulate=gone.scn --virtual --config p.conf --folder rec2 >out2.txt 2>err2.txt
  echo "   unplugged for good at 5 s of a call: exit status $?; $(figures rec2)"
  echo "   last line of port 1: $(grep 'Port:  1 ' out2.txt | tail -1 | cut -c1-60)"
  indent 4 <err2.txt
}

case7() {
  echo "== 7. --config pointing at files that are not settings files"
  local w="$root/c7"
  mkdir -p "$w/adir" && cd "$w" || return
  scenario idle.scn "unit PV1"
  printf 'Dear all,\nthe meeting is at ten.\n' >letter.txt
  cp letter.txt letter.before
  echo "plain" >afile
  "$parvolin" --headless --simulate=idle.scn --virtual --config letter.txt --folder rec >/dev/null 2>err.txt
  echo "   a letter: exit status $?; content kept: $(cmp -s letter.txt letter.before && echo yes || echo no)"
  indent 2 <err.txt
  "$parvolin" --headless --simulate=idle.scn --virtual --config adir --folder rec >/dev/null 2>err.txt
  echo "   a directory: exit status $?"
  indent 2 <err.txt
  "$parvolin" --headless --simulate=idle.scn --virtual --config afile/p.conf --folder rec >/dev/null 2>err.txt
  echo "   a path under a regular file: exit status $?"
  indent 2 <err.txt
}

case8() {
  echo "== 8. out-of-range numbers"
  local w="$root/c8" v
  mkdir -p "$w" && cd "$w" || return
  for v in 1e17 inf -5 0; do
    timeout 20 "$pvtool" units --simulate --seconds "$v" >out.txt 2>err.txt
    echo "   pvtool units --seconds $v: exit status $?; $(grep -h -m1 -e 'Watching' -e 'seconds' out.txt err.txt)"
  done
  "$pvtool" replay x.pvcap --folder r --setting 99999999999 >/dev/null 2>err.txt
  echo "   pvtool replay --setting 99999999999: exit status $?; $(head -1 err.txt)"
  "$pvtool" sim builtin -o s.pvcap --seconds 1e9 >/dev/null 2>err.txt
  echo "   pvtool sim --seconds 1e9: exit status $?; $(head -1 err.txt)"
}

for c in "${cases[@]}"; do "case$c"; done
