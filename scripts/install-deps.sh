#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages this project needs to build, test and benchmark.
# Idempotent: installs only what is missing; run as root or with sudo available.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev clang-format clang-tidy
  libserialport-dev
  # serial libraries the benchmarks measure beside Comm: Qt's serial port and pyserial
  qt6-serialport-dev python3-serial
  # the reference of the installed headers (the docs target and the docs_reference test)
  doxygen
  # the Qt 6 front end, its fonts, and the GUI tests and screenshots under a virtual display
  qt6-base-dev qt6-translations-l10n libgl-dev fonts-liberation2
  xvfb xauth trayer xdotool scrot x11-utils
  libxcb1-dev
  # serial device discovery through udev, and emulated devices for its tests
  libudev-dev umockdev libumockdev-dev
  # the Debian packages (cpack's DEB generator needs file) and their checks
  file lintian desktop-file-utils
  # the Windows build (mingw-w64, posix threads) and its tests under Wine; python3 makes the
  # program's icon file, nsis its installer; fonts-wine holds Wine's own faces (Tahoma, MS Sans
  # Serif), which Debian's Wine 8 does not find (README, "Wine differs from Windows")
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 fonts-wine python3 nsis
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
