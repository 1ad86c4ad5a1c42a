#!/usr/bin/env bash
# The show's performance figures on this machine, each beside a baseline measured in the
# same run, under a virtual 1920 x 1080 display (Xvfb, Mesa llvmpipe):
#   bench/run.sh
# Needs the build: cmake --build build --target quorl quorl-capture frame_bench baseline_gl
# Settings (environment): ROUNDS (default 5) runs of each program, FRAMES (default 300)
# display frames per run; QUORL_REPO=DIR measures another checkout's build/quorl and data/
# (say, an older version) against this checkout's baselines and benchmark programs.
# Each figure is one function below; add a figure by adding a function and its call.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
repo="$(cd "${QUORL_REPO:-$here}" && pwd)"
rounds="${ROUNDS:-5}"
frames="${FRAMES:-300}"
bench="$here/build/bench"

# Everything runs on one virtual display of its own, in a network namespace of its own (the
# program's single-instance lock is per namespace).
if [ -z "${QUORL_BENCH_DISPLAY:-}" ]; then
  exec "$here/tests/e2e/own_netns.sh" xvfb-run -a -s "-screen 0 1920x1080x24" \
    env QUORL_BENCH_DISPLAY=1 "$0" "$@"
fi
export SDL_AUDIODRIVER=dummy
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

median() { sort -g | awk '{v[NR] = $1} END {if (NR) print v[int((NR + 1) / 2)]; else print "nan"}'; }
# The value after `key` in a "key value key value" line.
field() { awk -v k="$1" '{for (i = 1; i < NF; ++i) if ($i == k) print $(i + 1)}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "nan"}'; }

# ---- display frame at 1920 x 1080: the show against a bare three-texture quad and a
# constant-colour composite; also the heap allocations of the whole process per display
# frame (the median frame's) and, apart, those made once in a run (the driver compiling
# shader variants as scenes first draw) ----
figure_display_frame() {
  local r
  : >"$tmp/frames"
  for ((r = 0; r < rounds; ++r)); do
    "$bench/baseline_gl" constant "$frames" >>"$tmp/frames"
    "$bench/baseline_gl" quad3 "$frames" >>"$tmp/frames"
    (cd "$repo/data" && "$bench/frame_bench" "$frames") >>"$tmp/frames"
  done
  echo "display frame at 1920x1080, median of $rounds runs of $frames frames (processor time includes llvmpipe's threads)"
  printf '  %-28s %9s %7s %9s %9s %9s %7s\n' "" "wall ms" "fps" "cpu ms" "show/this" "allocs" "once"
  local name wall cpu allocs once show_wall show_cpu
  show_wall="$(grep '^show ' "$tmp/frames" | field frame_ms | median)"
  show_cpu="$(grep '^show ' "$tmp/frames" | field cpu_ms | median)"
  for name in show quad3 constant; do
    wall="$(grep "^$name " "$tmp/frames" | field frame_ms | median)"
    cpu="$(grep "^$name " "$tmp/frames" | field cpu_ms | median)"
    allocs="$(grep "^$name " "$tmp/frames" | field allocs | median)"
    once="$(grep "^$name " "$tmp/frames" | field allocs_once | median)"
    printf '  %-28s %9.2f %7.1f %9.2f %9s %9s %7s\n' \
      "$(case $name in show) echo "the show";; quad3) echo "bare three-texture quad";;
         constant) echo "constant-colour composite";; esac)" \
      "$wall" "$(awk -v w="$wall" 'BEGIN {print 1000 / w}')" "$cpu" \
      "$(ratio "$show_wall" "$wall") wall" "$allocs" "$once"
  done
  echo "  show/quad processor time $(ratio "$show_cpu" "$(grep '^quad3 ' "$tmp/frames" | field cpu_ms | median)")x"
}

# ---- start-up: process start to the first presented frame, against an empty SDL + GL
# program made the usual way (SDL's fullscreen window) and one with a borderless window of
# the screen's size (SDL's fullscreen request waits 100 ms for a window manager, and this
# display has none); the show's time comes from its run report ----
figure_startup() {
  local r pid
  : >"$tmp/empty"
  : >"$tmp/borderless"
  : >"$tmp/show"
  for ((r = 0; r < rounds; ++r)); do
    "$bench/baseline_gl" first-frame | field first_frame_ms >>"$tmp/empty"
    "$bench/baseline_gl" first-frame borderless | field first_frame_ms >>"$tmp/borderless"
    (cd "$repo/data" && QUORL_STATS=json exec "$repo/build/quorl" 2>"$tmp/report") &
    pid=$!
    # Ended once its first frame is surely out; the report is written on the way out.
    sleep "${STARTUP_WAIT:-5}"
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" || true
    grep -o '"first_frame_ms":[0-9.]*' "$tmp/report" | cut -d: -f2 >>"$tmp/show"
  done
  local empty borderless show
  empty="$(median <"$tmp/empty")"
  borderless="$(median <"$tmp/borderless")"
  show="$(median <"$tmp/show")"
  echo "start-up to the first presented frame, median of $rounds runs"
  printf '  %-44s %9.1f ms\n' "the show" "$show" \
    "empty SDL + GL program, SDL's fullscreen" "$empty" \
    "empty SDL + GL program, borderless window" "$borderless"
  echo "  show/empty $(ratio "$show" "$empty")x, show/borderless $(ratio "$show" "$borderless")x"
}

# ---- quorl-capture: seeking to a late still, frames rendered for a range, the video's
# real-time factor (CAPTURE_VIDEO=0 skips the video: it takes minutes) ----
# shellcheck source=bench/capture_figures.sh
source "$here/bench/capture_figures.sh"

echo "quorl performance: $(nproc) cores, $(uptime | sed 's/.*load average/load average/')"
[ "$repo" != "$here" ] && echo "measuring $repo"
figure_display_frame
figure_startup
capture_figure_seek
capture_figure_frames
[ "${CAPTURE_VIDEO:-1}" = 0 ] || capture_figure_video
