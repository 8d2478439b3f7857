#!/usr/bin/env bash
# Installs what is needed, builds, and runs the recorder on emulated units, with a demo folder
# of its own (demo/), so that a real installation's settings are never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
mkdir -p demo
exec build/programs/pvtool units --simulate --seconds 60
