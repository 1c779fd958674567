#!/usr/bin/env bash
# Installs the Debian packages the console, the uplink and the station need to build, run
# and test (mosquitto, its clients and openssl for the uplink's tests).
# Does nothing when they are all there already.
set -euo pipefail

packages=(cmake g++ ninja-build qt6-base-dev qt6-serialport-dev qt6-multimedia-dev libqt6opengl6-dev libqt6sql6-sqlite
          qt6-translations-l10n libqt6svg6 fonts-dejavu-core fonts-liberation2 poppler-utils
          xvfb xauth openbox xdotool x11-utils
          libmosquitto-dev pkg-config mosquitto mosquitto-clients openssl libsqlite3-dev)

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
