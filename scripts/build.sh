#!/usr/bin/env bash
# Configures and builds Parvolin into build/ (or the folder given as $BUILD_DIR): everything, or
# only the targets named in $BUILD_TARGETS. Arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
launcher=()
# A compiler cache, when the machine has one, makes rebuilds after a checkout cheap.
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
targets=()
for t in ${BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
