#!/usr/bin/env bash
# Remakes tests/golden/show_trace.txt, the whole-run trace of the demo frame, after an
# intended change of what the show draws or draws at random:
#   tests/golden/refresh_trace.sh      (after building the unit tests in build/)
# Review the diff: the "frame" lines show whole records of the first advance of each slot.
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
QUORL_UPDATE_TRACE=1 "$repo/build/tests/quorl_unit_tests" \
  --gtest_filter=ShowTrace.WholeRunMatchesTheCommittedTrace
