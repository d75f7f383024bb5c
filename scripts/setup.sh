#!/usr/bin/env bash
# Installs every Debian package Pictoria needs to build, package, run and
# test (Wayland: Qt's platform, a headless Weston, and the accessibility bus
# the Wayland test reads the window through).
# Idempotent: packages already present are not touched; apt-get update runs
# only when something is missing. Run as root (or through sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libgif-dev liblcms2-dev
  libwebp-dev libavif-dev libheif-dev libtiff-dev libdeflate-dev
  googletest libgtest-dev python3-pil
  fonts-liberation2
  xvfb xauth xdotool xdg-utils
  dpkg-dev librsvg2-bin lintian desktop-file-utils appstream
  qt6-wayland weston dbus at-spi2-core python3-gi gir1.2-atspi-2.0
  strace
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
