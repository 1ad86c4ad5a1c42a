#!/usr/bin/env bash
# The browser build's tests: builds the page (web/build.sh), then plays it in Debian's
# chromium (headless, WebGL 2 on SwiftShader) and firefox-esr (in a window on a virtual
# display, WebGL 2 on Mesa's llvmpipe) against the desktop build's quorl and quorl-capture.
#   tests/web/run.sh [DESKTOP_BUILD_DIR]      (default: build/, as ./setup.sh leaves it)
#   QUORL_WEB_ENGINES=chromium                (one engine only; default chromium,firefox)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
desktop=$(cd "${1:-$root/build}" && pwd)
for tool in quorl quorl-capture; do
  [ -x "$desktop/$tool" ] || { echo "tests/web/run.sh: no $desktop/$tool: run ./setup.sh" >&2; exit 1; }
done
missing=()
command -v chromium >/dev/null || missing+=(chromium)
command -v firefox-esr >/dev/null || missing+=(firefox-esr)
command -v xvfb-run >/dev/null || missing+=(xvfb xauth)
command -v xdotool >/dev/null || missing+=(xdotool)
[ -e /usr/lib/x86_64-linux-gnu/dri/swrast_dri.so ] || missing+=(libgl1-mesa-dri)  # llvmpipe
# firefox's sound goes to a private PulseAudio server (pactl, parec: pulseaudio-utils).
{ command -v pulseaudio && command -v parec; } >/dev/null || missing+=(pulseaudio pulseaudio-utils)
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}" ||
    { apt-get -o DPkg::Lock::Timeout=600 update &&
      apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"; }
fi
start=$(date +%s)
site=$(QUORL_BUILD_DIR=$desktop "$root/web/build.sh" | tail -n 1)
echo "tests/web/run.sh: page built in $(( $(date +%s) - start )) s: $site"
echo "tests/web/run.sh: page weight (bytes):" $(cd "$site" && stat -c '%n %s' * | sort)
export QUORL_WEB_SITE=$site QUORL_BUILD_DIR=$desktop QUORL_BIN=$desktop/quorl
tests=$(date +%s)
status=0
# A screen larger than the largest viewport the tests ask of firefox's window.
(cd "$root/tests/web" && xvfb-run -a -s "-screen 0 1920x1200x24" \
  python3 -m unittest -v test_page test_landing) 2>&1 || status=$?
echo "tests/web/run.sh: browser tests took $(( $(date +%s) - tests )) s"
exit $status
