#!/usr/bin/env bash
# The browser build's tests: builds the page (web/build.sh), then plays it in Debian's
# headless chromium (WebGL 2 on SwiftShader) against the desktop build's quorl and
# quorl-capture, under a virtual display for the desktop program's own run.
#   tests/web/run.sh [DESKTOP_BUILD_DIR]      (default: build/, as ./setup.sh leaves it)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
desktop=$(cd "${1:-$root/build}" && pwd)
for tool in quorl quorl-capture; do
  [ -x "$desktop/$tool" ] || { echo "tests/web/run.sh: no $desktop/$tool: run ./setup.sh" >&2; exit 1; }
done
missing=()
command -v chromium >/dev/null || missing+=(chromium)
command -v xvfb-run >/dev/null || missing+=(xvfb xauth)
command -v xdotool >/dev/null || missing+=(xdotool)
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y \
    --no-install-recommends "${missing[@]}"
fi
start=$(date +%s)
site=$("$root/web/build.sh" | tail -n 1)
echo "tests/web/run.sh: page built in $(( $(date +%s) - start )) s: $site"
export QUORL_WEB_SITE=$site QUORL_BUILD_DIR=$desktop QUORL_BIN=$desktop/quorl
exec xvfb-run -a -s "-screen 0 1280x720x24" python3 "$root/tests/web/test_page.py"
