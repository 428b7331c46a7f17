#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: installs only what is missing.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev qt6-translations-l10n
  libjpeg62-turbo-dev libgif-dev libx11-dev libfontconfig-dev libjpeg-turbo-progs
  libcli11-dev nlohmann-json3-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format xvfb xauth x11-apps imagemagick xdotool
  fonts-wqy-microhei fonts-liberation
  iproute2 util-linux xdg-utils
  file python3-pytest tshark tcpdump poppler-utils
  python3-venv python3-wheel-whl mypy
  dpkg-dev lintian help2man desktop-file-utils binutils
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  # tshark asks whether ordinary users may capture; the tests capture as root only.
  echo "wireshark-common wireshark-common/install-setuid boolean false" | $SUDO debconf-set-selections
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
