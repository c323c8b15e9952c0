#!/usr/bin/env bash
# Installs the Debian packages the build, the game and the tests need, when missing.
# Sourced by nivora.sh, test.sh, scripts/deb.sh and scripts/fuzz.sh; usage: install_deps [--tests | --deb | --fuzz]
# (without an argument: the game's alone)
set -euo pipefail

# The game's build (nivora.sh) needs these alone.
GAME_PACKAGES=(build-essential cmake pkg-config libsdl2-dev libsdl2-mixer-dev libvorbis-dev libgl-dev libglu1-mesa-dev
  libx11-dev libgl1-mesa-dri libfreetype-dev libfontconfig-dev fonts-dejavu-core fonts-comic-neue libjpeg62-turbo-dev libgif-dev
  libcurl4-openssl-dev zlib1g-dev)
# The score server's: built for the tests, the packages and the fuzz targets.
SERVER_PACKAGES=(libmicrohttpd-dev libsqlite3-dev libpq-dev)
# libstb-dev: the fuzz seed writer's JPEG writer; libxdamage-dev: bench/first_frame's
# wait for a window's drawing.
TEST_PACKAGES=(googletest libgtest-dev libstb-dev libgmock-dev libbenchmark-dev xvfb xauth xdotool xfonts-base
  chromium postgresql desktop-file-utils appstream libxdamage-dev
  openbox xfwm4 mutter weston xwayland x11-utils x11-apps wmctrl dbus-daemon)
# Building and checking the Debian packages (scripts/deb.sh).
DEB_PACKAGES=(debhelper dpkg-dev fakeroot lintian)
# scripts/fuzz.sh builds the fuzz targets with clang's libFuzzer.
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

install_deps() {
  local wanted=("${GAME_PACKAGES[@]}")
  [[ -n "${1:-}" ]] && wanted+=("${SERVER_PACKAGES[@]}")
  [[ "${1:-}" == "--tests" ]] && wanted+=("${TEST_PACKAGES[@]}")
  [[ "${1:-}" == "--deb" ]] && wanted+=("${DEB_PACKAGES[@]}")
  [[ "${1:-}" == "--fuzz" ]] && wanted+=("${FUZZ_PACKAGES[@]}")
  local missing=()
  for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  [[ ${#missing[@]} -eq 0 ]] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [[ $(id -u) -ne 0 ]] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
