#!/usr/bin/env bash
# Installs every system package that building, testing and running Quorvel
# needs on Debian 12. Safe to run again: it only calls apt when something is
# missing, so a prepared machine passes through in well under a second.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  libqt6opengl6-dev libgl-dev
  libcurl4-openssl-dev libsqlite3-dev sqlite3 libxml2-dev
  libgtest-dev googletest
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  xvfb xauth fonts-noto-cjk nginx-light
  python3
)
# Node.js (for the idiom data extractor) may come from elsewhere already.
{ command -v node && command -v npm; } >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
