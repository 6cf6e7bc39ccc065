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
  locales
)

# The tests check the exports and files under a German locale (decimal comma) too.
TEST_LOCALE=de_DE.UTF-8

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# One query for all of them (one call per package takes seconds on a busy machine).
installed=" $({ dpkg-query -W -f='${db:Status-Status}:${Package} ' "${PACKAGES[@]}" 2>/dev/null || true; } | tr ' ' '\n' | sed -n 's/^installed://p' | tr '\n' ' ') "
missing=()
for p in "${PACKAGES[@]}"; do
  [[ "$installed" == *" $p "* ]] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Listed in locale.gen as well, so a later locale-gen (a glibc upgrade runs one) keeps it.
if ! locale -a 2>/dev/null | grep -qix "${TEST_LOCALE/UTF-8/utf8}"; then
  echo "Generating locale: $TEST_LOCALE"
  if grep -q "^# *$TEST_LOCALE UTF-8" /etc/locale.gen; then
    $SUDO sed -i "s/^# *$TEST_LOCALE UTF-8/$TEST_LOCALE UTF-8/" /etc/locale.gen
  elif ! grep -q "^$TEST_LOCALE UTF-8" /etc/locale.gen; then
    echo "$TEST_LOCALE UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
fi
