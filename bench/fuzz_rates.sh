#!/usr/bin/env bash
# Inputs per second of each fuzz target in a run of SECONDS (20 unless given) that starts from its
# saved corpus: the targets must be built first (scripts/fuzz.sh, or
# cmake --build build-fuzz --target fuzz_targets). New inputs go to a throwaway folder, so the
# saved corpora are left as they are.
#   bench/fuzz_rates.sh [SECONDS] [TARGET ...]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build-fuzz}"
seconds="${1:-20}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for corpus in fuzz/corpus/*/; do targets+=("$(basename "$corpus")"); done
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf '%-20s %10s %8s %10s\n' target inputs seconds inputs/s
for target in "${targets[@]}"; do
  flags=""
  [ -f "fuzz/$target.flags" ] && flags="$(cat "fuzz/$target.flags")"
  mkdir -p "$work/$target"
  # shellcheck disable=SC2086
  out="$("$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 $flags \
    "$work/$target" "fuzz/corpus/$target" 2>&1)" || { echo "$target failed" >&2; exit 1; }
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' <<<"$out")"
  took="$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' <<<"$out")"
  printf '%-20s %10d %8d %10d\n' "$target" "$runs" "$took" "$((runs / (took > 0 ? took : 1)))"
done
