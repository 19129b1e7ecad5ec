#!/usr/bin/env bash
# Installs the Debian 12 or 13 packages that building, running and testing the program need.
# Does nothing when they are all present already.
# Usage: cmake/install-deps.sh [SET...]
#   run:        building and running the program (compiler, CMake, Ninja, SDL2, fontconfig,
#               FreeType, GL and GLU, the help line's font)
#   wayland:    the prompt on a Wayland compositor without Xwayland (zenity)
#   screenshot: showing the program without a display, as ./run.sh does (Xvfb with the fonts the
#               prompt is drawn in, xdotool, ImageMagick)
#   build:      run, and what building the tests and the benchmarks needs too
#   no SET:     everything ./test.sh needs: the servers, Wine, the cross compiler, the checkers,
#               and debootstrap for its run on Debian 13
set -euo pipefail

run=(
    cmake ninja-build g++ pkg-config
    libgl-dev libglu1-mesa-dev libgl1-mesa-dri
    libsdl2-dev libxrandr-dev libfontconfig-dev libfreetype-dev fonts-comic-neue x11-utils
    libegl-dev libwayland-dev libxkbcommon-dev
)
wayland=(zenity)
screenshot=(xvfb xauth xfonts-base xdotool imagemagick)
build=(
    "${run[@]}" git fonts-urw-base35 fonts-dejavu-core
    libgtest-dev libxtst-dev libxfixes-dev libpng-dev
)
everything=(
    "${build[@]}" "${screenshot[@]}" "${wayland[@]}"
    x11-xserver-utils xserver-xorg-core xserver-xorg-video-dummy
    g++-mingw-w64-x86-64 wine wine64
    openbox weston xwayland sway wtype grim jq x11-xkb-utils clang-format clang-tidy
    dpkg-dev lintian desktop-file-utils
    devscripts appstream nsis diffoscope-minimal debootstrap
)
# The Markdown check runs on Node.js; the machine's own npm serves where there is one.
command -v npm >/dev/null || everything+=(npm)

packages=()
[ $# -eq 0 ] && packages=("${everything[@]}")
for set in "$@"; do
    case $set in
    run) packages+=("${run[@]}") ;;
    wayland) packages+=("${wayland[@]}") ;;
    screenshot) packages+=("${screenshot[@]}") ;;
    build) packages+=("${build[@]}") ;;
    *)
        echo "usage: cmake/install-deps.sh [run|wayland|screenshot|build]..." >&2
        exit 2
        ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)

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
