#!/usr/bin/env bash
# Installs what is needed, builds, and runs the recorder on emulated units, with a folder, a
# settings file and a home of its own under demo/, so that a real installation's settings,
# recordings and file associations are never touched. With a display the recorder opens its
# window (Exit or the close box ends it); without one it runs headless and prints every change of
# a line's state (Ctrl-C stops it).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
# Only the programs the demo runs: the tests are built by scripts/test.sh.
BUILD_TARGETS="parvolin lvplayer pvtool" scripts/build.sh -DPARVOLIN_TESTS=OFF
mkdir -p demo/home
demo="$PWD/demo"
export HOME="$demo/home"
export XDG_DATA_HOME="$demo/home/.local/share"
export XDG_CONFIG_HOME="$demo/home/.config"
mode=(--headless)
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  mode=()
fi
exec build/programs/parvolin "${mode[@]}" --simulate \
  --config "$demo/Parvolin.conf" --folder "$demo/ZEruFolder" "$@"
