#!/usr/bin/env bash
# tests/sanitize.sh: the unit and GL tests, and a short capture of the show, built with
# AddressSanitizer + UndefinedBehaviorSanitizer (and LeakSanitizer) in build-sanitize/ (or
# $QUORL_SANITIZE_BUILD). Any finding fails: UBSan halts on its first report, leaks fail at
# exit. Only the GL driver's own leaks are suppressed, in tests/lsan.supp. Needs the
# packages of setup.sh; runs without a display (SDL's offscreen driver).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${QUORL_SANITIZE_BUILD:-$root/build-sanitize}
started=$(date +%s)

mapfile -t launcher < <(./setup.sh --launcher)  # ccache, shared with the other build folders
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORL_SANITIZE=address,undefined \
  -DQUORL_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target quorl_unit_tests quorl_clock_tests quorl_gl_tests \
  quorl-capture

export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# The allocation-counting test replaces malloc itself, which ASan owns: it runs in test.sh.
echo "sanitize: unit tests"
ctest --test-dir "$build" -L unit -E '^FrameAllocations[.]' --output-on-failure -j "$(nproc)"

# Mesa unloads its driver at exit, and LeakSanitizer then reports what the driver still
# held as leaks of an unknown module, which no suppression can name. Preloading the driver
# keeps it loaded (its memory stays reachable); the ASan runtime must come first.
gl_preload=$(gcc -print-file-name=libasan.so)
for lib in /usr/lib/x86_64-linux-gnu/dri/swrast_dri.so /usr/lib/x86_64-linux-gnu/libEGL_mesa.so.0 \
           /usr/lib/x86_64-linux-gnu/libGLX_mesa.so.0; do
  [ -e "$lib" ] && gl_preload+=" $lib"
done
echo "sanitize: GL tests (SDL offscreen), one process each, as many at once as processors"
"$build/tests/quorl_gl_tests" --gtest_list_tests |
  awk '/^[^ ]/ {suite = $1} /^  / {print suite $1}' |
  xargs -P "$(nproc)" -I{} env SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
    LD_PRELOAD="$gl_preload" "$build/tests/quorl_gl_tests" --gtest_filter={} --gtest_brief=1

echo "sanitize: quorl-capture --at 10 --size 320x240"
out=$(mktemp -d /tmp/quorl-sanitize-XXXXXX)
trap 'rm -rf "$out"' EXIT
(cd data && SDL_AUDIODRIVER=dummy LD_PRELOAD=$gl_preload \
  "$build/quorl-capture" --at 10 --size 320x240 --out "$out")
[ -s "$out"/*.png ] || { echo "sanitize: the capture wrote no picture"; exit 1; }

echo "sanitize: clean in $(($(date +%s) - started)) s"
