#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (or $BUILD_DIR): the core and the
# targets only, instrumented and under AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   scripts/fuzz.sh                  builds every target and runs each over its saved corpus
#   scripts/fuzz.sh TARGET SECONDS   fuzzes TARGET for SECONDS (niced) from its saved corpus,
#                                    then merges what is new back into fuzz/corpus/TARGET
#
# A target's own libFuzzer options (an input length that keeps it fast) are in
# fuzz/TARGET.flags; extra ones go in $FUZZ_OPTIONS. A failing input is left in build-fuzz/ as
# crash-*; it belongs in fuzz/corpus/TARGET/ once the fault is mended. The targets keep no stacks
# of allocations (see fuzz/fuzz_options.cpp); ASAN_OPTIONS=malloc_context_size=30 brings them back
# when the failing input is run again.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
build="${BUILD_DIR:-build-fuzz}"
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DPARVOLIN_FUZZ=ON -DPARVOLIN_TESTS=OFF -DPARVOLIN_QT=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzz_targets

if [ $# -eq 0 ]; then
  for corpus in fuzz/corpus/*/; do
    target="$(basename "$corpus")"
    # libFuzzer reports an input that fails its check through its exit status.
    if ! out="$("$build/fuzz/$target" -runs=0 "$corpus" 2>&1)"; then
      echo "$out" >&2
      echo "$target: an input of fuzz/corpus/$target fails" >&2
      exit 1
    fi
    echo "$target: $(echo "$out" | grep -E "INITED" | sed 's/^#[0-9]*[[:space:]]*//')"
  done
  exit 0
fi

target="$1"
seconds="$2"
flags=""
[ -f "fuzz/$target.flags" ] && flags="$(cat "fuzz/$target.flags")"
mkdir -p "$build/work/$target"
cd "$build"
# shellcheck disable=SC2086
nice -n 19 "fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 $flags \
  ${FUZZ_OPTIONS:-} "work/$target" "$root/fuzz/corpus/$target"
# shellcheck disable=SC2086
nice -n 19 "fuzz/$target" -merge=1 $flags "$root/fuzz/corpus/$target" "work/$target"
