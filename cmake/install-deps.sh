#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing the program need.
# Does nothing when they are all present already.
# Usage: cmake/install-deps.sh [build]
#   build: only what configuring and building the Linux program and its tests needs, so that
#   ./test.sh can build while the rest installs.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config git
    libgl-dev libglu1-mesa-dev libgl1-mesa-dri
    libsdl2-dev libfontconfig-dev libfreetype-dev fonts-comic-neue fonts-urw-base35 fonts-dejavu-core
    libgtest-dev libxtst-dev libxrandr-dev libxfixes-dev
)
if [ "${1:-}" != build ]; then
    packages+=(
        xvfb xdotool x11-utils x11-xserver-utils imagemagick
        xserver-xorg-core xserver-xorg-video-dummy
        g++-mingw-w64-x86-64 wine wine64
        openbox weston xwayland x11-xkb-utils clang-format clang-tidy
        dpkg-dev lintian desktop-file-utils
        devscripts appstream nsis diffoscope-minimal
    )
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "error: packages are missing and this is not root; run as root or install sudo" >&2
        exit 1
    fi
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
