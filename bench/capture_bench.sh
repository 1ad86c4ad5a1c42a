#!/usr/bin/env bash
# Captures the whole show to a video and prints where the time went:
#   bench/capture_bench.sh [WxH] [fps]      (default 1280x720 at 60)
# Figures: total capture time against the show's 131 s, split into rendering (the demo
# frames on llvmpipe), read-back (glReadPixels) and encoding (time blocked on ffmpeg).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
size="${1:-1280x720}"
fps="${2:-60}"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
cd "$repo/data"
"$repo/build/quorl-capture" --size "$size" --fps "$fps" --stats --video "$out/show.mp4" 2>&1 |
  tr '\r' '\n' | tail -n 1
echo "video: $(du -h "$out/show.mp4" | cut -f1) at $size, $fps fps"
