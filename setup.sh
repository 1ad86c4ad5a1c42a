#!/usr/bin/env bash
# Installs what the build, the show and the tests need (Debian packages, only those
# missing), then configures and builds into build/. Sourced by play.sh and test.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

packages=(cmake make g++ pkg-config libsdl2-dev libstb-dev libgl-dev libgl1-mesa-dri
          libegl1 libgtest-dev libgmock-dev libbenchmark-dev libvorbis-dev libx11-dev
          python3 xvfb xauth xdotool x11-utils ffmpeg)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
