#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian (no error may remain), installs it on this
# machine, tries the installed programs, files and service, and removes the package again.
#
# It installs into /usr and runs dpkg, so it is a step of its own (CI runs it after the test
# suite), never a test that runs beside others: two runs of the suite at once would fight over
# the package. It needs root for dpkg and skips the installation otherwise; it leaves alone a
# machine where the package is already installed.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
scripts/install-deps.sh
scripts/build.sh
rm -f "$build"/parvolin_*.deb
cmake --build "$build" --target package
deb=$(ls "$build"/parvolin_*.deb)

passed=0
failed=0
check() {
  local what=$1
  shift
  if "$@" >"$build/package-check.log" 2>&1; then
    echo "ok: $what"
    passed=$((passed + 1))
  else
    echo "FAILED: $what"
    sed 's/^/    /' "$build/package-check.log"
    failed=$((failed + 1))
  fi
}

check "lintian shows no error" lintian --fail-on error "$deb"
lintian "$deb" || true

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: installing the package needs root (dpkg -i); run this script as root"
elif dpkg-query -W -f='${Status}' parvolin 2>/dev/null | grep -q "install ok installed"; then
  echo "SKIPPED: parvolin is installed on this machine already; the test would replace it"
else
  trap 'dpkg --purge parvolin >/dev/null || true' EXIT
  check "the package installs" dpkg -i "$deb"
  check "parvolin --version" sh -c '/usr/bin/parvolin --version | grep -qx "parvolin [0-9.]*"'
  check "pvtool units --simulate --seconds 5 on the installed demo scenario" sh -c \
    'cd / && /usr/bin/pvtool units --simulate --seconds 5 | tee /dev/stderr | grep -q "Units closed."'
  check "the service's user and group" sh -c 'getent passwd parvolin && getent group parvolin'
  check "the manual pages" sh -c 'for p in parvolin pvtool lvplayer lvsvr; do man -w "$p"; done'
  check "the bash completion" sh -c \
    'test -f /usr/share/bash-completion/completions/pvtool &&
     test -f /usr/share/bash-completion/completions/lvsvr'
  check "the installed services pass systemd-analyze verify" sh -c \
    '! systemd-analyze verify /usr/lib/systemd/system/parvolin.service \
       /usr/lib/systemd/system/parvolin-web.service 2>&1 | grep .'
  check "lvsvr refuses to start without a user and says how to add one" sh -c \
    'd=$(mktemp -d); out=$(/usr/bin/lvsvr --folder "$d" --state "$d/state" --config "$d/p.conf" 2>&1);
     rc=$?; rm -rf "$d"; echo "$out"; [ $rc -eq 1 ] &&
     echo "$out" | grep -q "pvtool web-user add NAME --role admin"'
  check "the package removes" dpkg --purge parvolin
  check "nothing of the programs is left" sh -c '! test -e /usr/bin/parvolin'
  trap - EXIT
fi
echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
