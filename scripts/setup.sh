#!/usr/bin/env bash
# Installs (only what is missing) every Debian package that building, running
# and testing Kelvaran needs.  Safe to run again and again.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  # libraries
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  # Qt's own texts in Japanese (standard buttons, the open-file dialog)
  qt6-translations-l10n
  libvips-dev libgsf-1-dev libemf2svg-dev librsvg2-dev libwmf-dev libxml2-dev libfreetype-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libfmt-dev nlohmann-json3-dev
  # tests and tools: a session bus, a virtual display, Japanese fonts,
  # LibreOffice for cross-checking outputs, PDF rasteriser, GNU parallel
  dbus dbus-x11 xvfb xauth libxcb1-dev fonts-noto-cjk fonts-ipafont-gothic
  # faces that stand in for the ones metafiles name (Times New Roman, Arial,
  # Courier New; MS Mincho and MS Gothic; Symbol), matched through fontconfig
  fonts-liberation fonts-ipafont-mincho fonts-opensymbol fonts-dejavu-core fontconfig libfontconfig-dev
  libreoffice-writer-nogui libreoffice-calc-nogui poppler-utils parallel help2man
  python3 file python3-numpy python3-pil
  # a real browser for the HTML report's test (headless)
  chromium
  # benchmarks: vipsthumbnail as the yardstick of the photo benchmark,
  # valgrind (callgrind) to count instructions repeatably
  libvips-tools valgrind
  # packaging: the .deb and its dependency lines, icon sizes, desktop entry check
  dpkg-dev librsvg2-bin desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: every package is present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
