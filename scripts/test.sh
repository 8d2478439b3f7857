#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test. Extra arguments go to CMake, e.g.
#   BUILD_DIR=build-asan scripts/test.sh -DPARVOLIN_SANITIZE=ON
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DPARVOLIN_TESTS=ON "$@"
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j "$(nproc)"
