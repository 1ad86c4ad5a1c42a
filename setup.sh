#!/usr/bin/env bash
# Installs what the build, the show and the tests need (Debian packages, only those
# missing), then configures build/ and builds the targets named, or everything when none
# is: ./setup.sh quorl builds only the program. QUORL_JOBS sets how many compile jobs run
# at once (default: the number of processors). ./setup.sh --packages only installs;
# ./setup.sh --launcher prints the compiler launcher options of every build folder.
# Run by play.sh and test.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

# Every build folder compiles through ccache, so the package's, the sanitizer's and the fuzz
# builds, and the next run on this machine, reuse objects: paths are hashed relative to the
# tree (CCACHE_BASEDIR) and the folder a compile runs in is left out of the hash
# (CCACHE_NOHASHDIR), so other build folders and clones elsewhere hit as well. The other
# build scripts take these settings from ./setup.sh --launcher (CMake options, one a line).
compiler_launcher() {
  command -v ccache >/dev/null || return 0
  local launcher="env;CCACHE_BASEDIR=$PWD;CCACHE_NOHASHDIR=true;ccache"
  printf '%s\n' "-DCMAKE_C_COMPILER_LAUNCHER=$launcher" "-DCMAKE_CXX_COMPILER_LAUNCHER=$launcher"
}
if [ "${1:-}" = --launcher ]; then
  compiler_launcher
  exit 0
fi

packages=(cmake make g++ pkg-config libsdl2-dev libstb-dev libgl-dev libgl1-mesa-dri
          libegl1 libgtest-dev libgmock-dev libbenchmark-dev libvorbis-dev libx11-dev
          libturbojpeg0-dev libspng-dev
          python3 xvfb xauth xdotool x11-utils ffmpeg stress-ng pulseaudio pulseaudio-utils
          zlib1g-dev clang-format ccache xfonts-base)
tools/install-packages.sh "${packages[@]}"
[ "${1:-}" = --packages ] && exit 0

jobs="${QUORL_JOBS:-$(nproc)}"
if ! [[ "$jobs" =~ ^[1-9][0-9]*$ ]]; then
  echo "setup: QUORL_JOBS must be a whole number of jobs, 1 or more (it is '$jobs')" >&2
  exit 2
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done

mapfile -t launcher < <(compiler_launcher)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
# The compiler's lines go to a log; only a failed build shows them.
log=build/setup-build.log
echo "setup: building ${*:-everything} with $jobs jobs (log: $log)"
started=$SECONDS
if ! cmake --build build -j "$jobs" "${targets[@]}" >"$log" 2>&1; then
  grep -E -A3 "error|Error" "$log" | tail -n 60 >&2 || tail -n 60 "$log" >&2
  echo "setup: the build failed; the whole log is $log" >&2
  exit 1
fi
echo "setup: built in $((SECONDS - started)) s"
