#!/usr/bin/env bash
# Remakes the golden frames after an intended change of the show's look:
#   tests/golden/refresh.sh      (after building with ./setup.sh)
# Times and size must match tests/e2e/test_capture.py.
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
times="$(cat "$repo/tests/golden/times.txt")"
rm -f "$repo"/tests/golden/[0-9][0-9][0-9].png
cd "$repo/data"
"$repo/build/quorl-capture" --size 320x240 --fps 60 --at "$times" --out "$repo/tests/golden"
echo "golden frames written to tests/golden/ for times $times"
