#!/usr/bin/env bash
# tools/make-package.sh: builds the Debian package (quorl_<version>_amd64.deb) in a build
# folder of its own, build-package/ (or $QUORL_PACKAGE_BUILD): no tests or benchmarks, and
# the capture tool told where the package puts the data. Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
./setup.sh --packages
tools/install-packages.sh dpkg-dev  # dpkg-shlibdeps: library dependencies as package names

build=${QUORL_PACKAGE_BUILD:-build-package}
jobs=${QUORL_JOBS:-$(nproc)}
mapfile -t launcher < <(./setup.sh --launcher)  # ccache, shared with the other build folders
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORL_TESTS=OFF -DQUORL_BENCH=OFF \
  -DQUORL_DATA_DIR=/usr/share/quorl "${launcher[@]}" >/dev/null
rm -f "$build"/quorl_*.deb
log=$build/package.log
if ! cmake --build "$build" -j "$jobs" --target package >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "make-package: building the package failed; the whole log is $log" >&2
  exit 1
fi
ls "$(cd "$build" && pwd)"/quorl_*_amd64.deb
