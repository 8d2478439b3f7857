#!/usr/bin/env bash
# Installs the Debian 12 packages that Parvolin needs:
#   scripts/install-deps.sh build   what building the programs needs (the demo)
#   scripts/install-deps.sh         that, and what the tests and the package need
set -euo pipefail
build_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev
  libftdi1-dev libusb-1.0-0-dev libsystemd-dev
  # Units plugged in while the recorder runs: udev's device notifications.
  libudev-dev
  # The control socket's JSON messages: header-only, well kept, strict parsing without
  # exceptions, and a writer that replaces bytes that are not UTF-8 instead of failing.
  nlohmann-json3-dev
  # The web server: HTTP with connection limits, timeouts and TLS; argon2id password hashes.
  libmicrohttpd-dev libsodium-dev
  scdoc gzip
)
test_packages=(
  libgtest-dev libgmock-dev
  desktop-file-utils shared-mime-info
  pulseaudio pulseaudio-utils xvfb xdotool imagemagick
  openbox trayer x11-utils
  # The service unit's check (systemd-analyze, which looks up its manual page with man), and the
  # package's build (dpkg-shlibdeps, file), check and installation test.
  systemd man-db dpkg-dev file lintian adduser
  # The USB test bed: units behind libftdi and libusb on umockdev's emulated devices.
  umockdev libumockdev-dev
  # The fuzz targets' build.
  clang libclang-rt-14-dev
  # The web server's browser tests: headless chromium driven through its WebDriver.
  chromium chromium-driver python3-selenium
  # The layout check of the C++ files (scripts/check-format.sh).
  clang-format
)
packages=("${build_packages[@]}")
[ "${1:-all}" = "build" ] || packages+=("${test_packages[@]}")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
