#!/usr/bin/env bash
# Installs what the build, the show and the tests need (Debian packages, only those
# missing), then configures and builds into build/. Sourced by play.sh and test.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

packages=(cmake make g++ pkg-config libsdl2-dev libstb-dev libgl-dev libgl1-mesa-dri
          libegl1 libgtest-dev libgmock-dev libbenchmark-dev libvorbis-dev libx11-dev
          libturbojpeg0-dev libspng-dev
          python3 xvfb xauth xdotool x11-utils ffmpeg)
tools/install-packages.sh "${packages[@]}"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
