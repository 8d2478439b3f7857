#!/usr/bin/env bash
# Builds the core and its tests under AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (or $BUILD_DIR), without the Qt parts, and runs the `unit` tests there: every rule
# of the core, for a fraction of the whole build's time. The whole suite, windows and programs
# included, runs under the sanitizers with
#   BUILD_DIR=build-asan scripts/test.sh -DPARVOLIN_SANITIZE=ON
# Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
export BUILD_DIR="${BUILD_DIR:-build-asan}"
scripts/install-deps.sh
BUILD_TARGETS=parvolin_tests scripts/build.sh -DPARVOLIN_TESTS=ON -DPARVOLIN_SANITIZE=ON \
  -DPARVOLIN_QT=OFF "$@"
ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" -L unit
