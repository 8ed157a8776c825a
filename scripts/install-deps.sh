#!/usr/bin/env bash
# Installs the Debian packages the build and its tests need; asks dpkg first so a ready machine needs no network.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-svg-dev libgl-dev libgtest-dev libgmock-dev
          libbenchmark-dev nlohmann-json3-dev fonts-dejavu-core fonts-liberation2 fontconfig-config
          desktop-file-utils appstream man-db groff-base shared-mime-info ser2net dbus python3-dbusmock
          mosquitto mosquitto-clients libmosquitto-dev qtkeychain-qt6-dev tshark "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
