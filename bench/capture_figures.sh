#!/usr/bin/env bash
# quorl-capture's figures, one function each; bench/run.sh sources this file and calls them,
# or run it alone:  bench/capture_figures.sh [seek|frames|video|all]   (default all)
#   seek    `--at 120` at 1920x1080: wall time, median of 3, beside a capture of the first
#           frame (`--at 0`: start-up plus one frame) run the same way
#   frames  `--frames --from 59 --to 64`: display frames rendered against frames written
#   video   `--video` of the whole show at 1280x720 / 60: real-time factor (131 s / wall)
#           and where the time went (--stats)
# Timings on a shared machine are noisy: compare the figures printed side by side.
# QUORL_REPO=DIR measures another checkout's build/quorl-capture and data/.
set -euo pipefail
capture_repo="$(cd "${QUORL_REPO:-$(dirname "${BASH_SOURCE[0]}")/..}" && pwd)"
capture_bin="${QUORL_CAPTURE:-$capture_repo/build/quorl-capture}"

# Median wall seconds of three runs of quorl-capture with the given arguments (run in data/).
capture_median_seconds() {
  local times=() t0 t1
  for _ in 1 2 3; do
    t0=$(date +%s.%N)
    (cd "$capture_repo/data" && "$capture_bin" "$@" >/dev/null 2>&1)
    t1=$(date +%s.%N)
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 2p
}

capture_figure_seek() {
  local out at120 at0
  out="$(mktemp -d)"
  at0=$(capture_median_seconds --at 0 --out "$out/a")
  at120=$(capture_median_seconds --at 120 --out "$out/b")
  rm -rf "$out"
  printf 'capture seek: --at 120 at 1920x1080 %.2f s (target <= 3 s); --at 0 %.2f s; ratio %.2f\n' \
    "$at120" "$at0" "$(awk -v a="$at120" -v b="$at0" 'BEGIN { print a / b }')"
}

capture_figure_frames() {
  local out line
  out="$(mktemp -d)"
  line=$(cd "$capture_repo/data" &&
    "$capture_bin" --size 320x240 --stats --frames "$out/f" --from 59 --to 64 2>&1 |
    grep -o 'written [0-9]*  rendered [0-9]*')
  rm -rf "$out"
  echo "capture frames: --frames --from 59 --to 64: $line (a full replay renders 3841)"
}

capture_figure_video() {
  local out t0 t1 wall stats
  out="$(mktemp -d)"
  t0=$(date +%s.%N)
  stats=$(cd "$capture_repo/data" &&
    "$capture_bin" --size 1280x720 --fps 60 --stats --video "$out/show.mp4" 2>&1 |
    grep -E '^(written|video:)')
  t1=$(date +%s.%N)
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  printf 'capture video: 1280x720/60 whole show %.1f s, %.2f x real time (target >= 1.0), %s\n' \
    "$wall" "$(awk -v w="$wall" 'BEGIN { print 131 / w }')" "$(du -h "$out/show.mp4" | cut -f1)"
  echo "$stats" | sed 's/^/  /'
  rm -rf "$out"
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
  case "${1:-all}" in
    seek) capture_figure_seek ;;
    frames) capture_figure_frames ;;
    video) capture_figure_video ;;
    all) capture_figure_seek; capture_figure_frames; capture_figure_video ;;
    *) echo "usage: $0 [seek|frames|video|all]" >&2; exit 2 ;;
  esac
fi
