#!/usr/bin/env bash
# Installs the Debian packages the console needs to build, run and test.
# Does nothing when they are all there already.
set -euo pipefail

packages=(cmake g++ ninja-build qt6-base-dev qt6-serialport-dev qt6-multimedia-dev
          qt6-translations-l10n libqt6svg6 fonts-dejavu-core fonts-liberation2 poppler-utils
          xvfb xauth)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
