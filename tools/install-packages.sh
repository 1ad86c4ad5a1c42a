#!/usr/bin/env bash
# tools/install-packages.sh PACKAGE...: installs those of the Debian packages that are
# missing (through sudo when not root); does nothing when all are there. apt's own output
# goes to a log that is shown only when apt fails.
set -euo pipefail
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) || exit 0
echo "setup: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
log="$(mktemp "${TMPDIR:-/tmp}/quorl-apt.XXXXXX")"
trap 'rm -f "$log"' EXIT
# Another apt (a fresh machine's daily update, a test installing its desktop) may hold the
# lock for a while: wait for it rather than fail.
wait_lock=(-o DPkg::Lock::Timeout=600)
if ! { "${sudo_cmd[@]}" apt-get "${wait_lock[@]}" update -qq &&
       DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get "${wait_lock[@]}" install -y -qq \
         --no-install-recommends "${missing[@]}"; } >"$log" 2>&1 </dev/null; then
  cat "$log" >&2
  echo "setup: apt-get could not install ${missing[*]} (its output is above)" >&2
  exit 1
fi
