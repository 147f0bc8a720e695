#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing. As root it installs
# them with apt-get; otherwise it names exactly what to install and stops.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qtbase5-dev libqt5serialport5-dev libbenchmark-dev
          python3 python3-jsonschema
          qtdeclarative5-dev qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-layouts
          qml-module-qtquick-controls qml-module-qtquick-controls2 qml-module-qtquick-extras
          qml-module-qtquick-shapes qml-module-qttest xvfb xauth libgl1-mesa-dri dpkg-dev file
          dbus-daemon dbus-bin libglib2.0-bin python3-dbus strace
          libmosquitto-dev mosquitto mosquitto-clients openssl)
# Further packages a caller needs (the fuzz build asks for clang).
read -r -a extra <<< "${CANSERVICE_EXTRA_PACKAGES:-}"
packages+=("${extra[@]}")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Install them as root:  apt-get install -y ${missing[*]}" >&2
    exit 1
fi

echo "Installing ${missing[*]} ..."
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
