#!/usr/bin/env bash
# Serves the built page (web/build.sh) on http://localhost:PORT/ (default 8000).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
site=${1:-${QUORL_WEB_BUILD:-$root/build-web}/site}
port=${PORT:-8000}
[ -f "$site/index.html" ] || { echo "serve.sh: no page in $site: run web/build.sh" >&2; exit 1; }
echo "serve.sh: http://localhost:$port/ (Ctrl+C stops)" >&2
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site"
