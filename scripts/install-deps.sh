#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the sanitizer run, the fuzzer and
# the benchmarks need. Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  nettle-dev libcurl4-openssl-dev zlib1g-dev
  clang libclang-rt-14-dev
  libxml2-dev
  libarchive-dev  # the rate-source libraries read the ECB history through it
  locales-all
  libarchive-dev  # plug-in packages and downloaded archives (RAR, zip, 7z, tar)
  libcanberra-dev  # event sounds of the converter (message and notification sounds)
  qt6-base-dev qt6-base-dev-tools libx11-dev libxtst-dev  # windows (Qt 6 Widgets, uic, moc), X11 key state and XTest
  xvfb xauth x11-utils xclip xdotool trayer fonts-dejavu-core  # x11 tests: private X server, tray host, other programs, a font
  imagemagick  # screenshots of windows under Xvfb (import)
  libxcb1-dev  # the global hot key: a key grab on the root window of the X connection
  libxfixes-dev  # the whole-program benchmark sees the clipboard's owner change (XFixes)
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  exec sudo "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
