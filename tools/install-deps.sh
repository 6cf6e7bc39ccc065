#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need; skips what is present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libxkbcommon-dev libgl-dev qt6-charts-dev qt6-image-formats-plugins qt6-qpa-plugins
  libjpeg62-turbo-dev libexpat1-dev libexif-dev zlib1g-dev
  libsane-dev libsane1
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev lld
  xvfb xauth x11-apps xdotool fonts-dejavu-core imagemagick
  hugin-tools
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
