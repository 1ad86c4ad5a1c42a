#!/usr/bin/env bash
# Packs a data folder into the files the page preloads: OUT/quorl.data, its loader
# OUT/quorl-data.js, which mounts it at /data before the program starts, and
# OUT/quorl-data.json with the package's size and SHA-256, which the page checks first.
#   web/pack-data.sh DATA_DIR OUT_DIR
set -euo pipefail
data=$(cd "$1" && pwd)
out=$2
mkdir -p "$out"
export NODE_PATH=/usr/share/nodejs EM_FROZEN_CACHE=1
python3 /usr/share/emscripten/tools/file_packager.py "$out/quorl.data" \
  --preload "$data@/data" --js-output="$out/quorl-data.js" --no-node --exclude '*.gitignore' \
  2> >(grep -v FORCE_FILESYSTEM >&2)  # its reminder of a link option the program has
printf '{"file": "quorl.data", "size": %d, "sha256": "%s"}\n' \
  "$(stat -c %s "$out/quorl.data")" "$(sha256sum "$out/quorl.data" | cut -d' ' -f1)" \
  > "$out/quorl-data.json"
