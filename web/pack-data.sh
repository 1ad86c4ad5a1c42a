#!/usr/bin/env bash
# Packs a data folder into the files the page preloads: OUT/quorl.data and its loader
# OUT/quorl-data.js, which mount it at /data before the program starts.
#   web/pack-data.sh DATA_DIR OUT_DIR
set -euo pipefail
data=$(cd "$1" && pwd)
out=$2
mkdir -p "$out"
export NODE_PATH=/usr/share/nodejs EM_FROZEN_CACHE=1
python3 /usr/share/emscripten/tools/file_packager.py "$out/quorl.data" \
  --preload "$data@/data" --js-output="$out/quorl-data.js" --no-node --exclude '*.gitignore' \
  2> >(grep -v FORCE_FILESYSTEM >&2)  # its reminder of a link option the program has
