#!/usr/bin/env bash
# tests/package/check.sh: builds the Debian package (tools/make-package.sh), checks its file
# list and dependencies, installs it with apt, runs the installed programs from a folder
# outside the tree - quorl-capture without a display, quorl under a virtual one - and
# removes the package again. Needs root or sudo. CI calls it.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
fail() { echo "package check: $*" >&2; exit 1; }
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

deb=$(tools/make-package.sh)
echo "package check: built $deb"
tools/install-packages.sh desktop-file-utils man-db lintian  # entry, pages, policy are checked
work=$(mktemp -d "${TMPDIR:-/tmp}/quorl-package.XXXXXX")
installed=0
cleanup() {
  if ((installed)); then "${sudo_cmd[@]}" apt-get remove -y -qq --purge quorl >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# 1. Files: exactly these, and every data file of the tree under /usr/share/quorl.
{
  printf '%s\n' /usr/games/quorl /usr/games/quorl-capture /usr/lib/quorl/quorl \
    /usr/share/applications/quorl.desktop /usr/share/doc/quorl/copyright \
    /usr/share/doc/quorl/changelog.gz \
    /usr/share/man/man6/quorl.6.gz /usr/share/man/man1/quorl-capture.1.gz
  git ls-files data | sed 's|^data/|/usr/share/quorl/|'
} | sort >"$work/expected"
dpkg-deb --fsys-tarfile "$deb" | tar -t --wildcards '*' -v | awk '$1 !~ /^d/ {print $NF}' |
  sed 's|^\./|/|' | sort >"$work/packed"
if ! diff -u "$work/expected" "$work/packed" >"$work/files.diff"; then
  cat "$work/files.diff" >&2
  fail "the package's files differ from the expected list (- missing, + unexpected)"
fi
for f in quorl quorl-capture; do
  dpkg-deb --fsys-tarfile "$deb" | tar -tv "./usr/games/$f" | grep -q '^-rwxr-xr-x' ||
    fail "/usr/games/$f is not executable"
done
mkdir "$work/unpacked"
dpkg-deb -x "$deb" "$work/unpacked"
desktop-file-validate "$work/unpacked/usr/share/applications/quorl.desktop" ||
  fail "the desktop entry is not valid"
for page in man6/quorl.6.gz man1/quorl-capture.1.gz; do
  man --warnings -l "$work/unpacked/usr/share/man/$page" 2>"$work/man.err" >/dev/null
  [ ! -s "$work/man.err" ] || { cat "$work/man.err" >&2; fail "$page has formatting warnings"; }
done

# Debian's policy as lintian reads it: no errors (warnings are printed, not fatal).
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
! grep -q '^E: ' "$work/lintian.log" || fail "lintian reports errors (above)"
[ "$(dpkg-deb -f "$deb" Recommends | grep -c zenity)" = 1 ] ||
  fail "Recommends lacks zenity (SDL's message boxes on Wayland)"

# 2. Dependencies: Debian package names apt knows, none a development package, and the
#    libraries the program loads by name at run time.
depends=$(dpkg-deb -f "$deb" Depends)
echo "package check: Depends: $depends"
names=$(tr ',' '\n' <<<"$depends" | sed 's/(.*)//; s/|.*//; s/ //g' | grep -v '^$')
for name in $names; do
  apt-cache show --no-all-versions "$name" >/dev/null 2>&1 || fail "apt knows no package '$name'"
  [[ "$name" != *-dev ]] || fail "depends on a development package: $name"
done
for need in libsdl2-2.0-0 libvorbisfile3 libc6 libstdc++6 libgl1 libegl1 libgl1-mesa-dri; do
  grep -qx "$need" <<<"$names" || fail "Depends lacks $need"
done

# 3. Install with apt (which would fetch the dependencies), then run from outside the tree.
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall \
  --no-install-recommends "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt could not install $deb"; }
installed=1
# A user's PATH holds /usr/games (Debian's /etc/profile gives it to all but root).
user_path=/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games
[ "$(PATH=$user_path command -v quorl)" = /usr/games/quorl ] || fail "quorl is not on a user's PATH"
[ "$(PATH=$user_path command -v quorl-capture)" = /usr/games/quorl-capture ] ||
  fail "quorl-capture is not on a user's PATH"

# The launcher answers these itself; the show never starts for them.
version=$(dpkg-deb -f "$deb" Version)
[ "$(/usr/games/quorl --version)" = "quorl $version" ] || fail "quorl --version is not 'quorl $version'"
/usr/games/quorl --help | grep -q '^usage: quorl \[--help | --version\]$' || fail "quorl --help gives no usage"
rc=0
/usr/games/quorl --bogus 2>"$work/bogus.err" || rc=$?
[ "$rc" = 2 ] && grep -q "unexpected argument '--bogus'" "$work/bogus.err" ||
  fail "quorl --bogus: exit $rc, $(cat "$work/bogus.err")"

mkdir "$work/run"
(cd "$work/run" && env -u DISPLAY -u WAYLAND_DISPLAY /usr/games/quorl-capture --at 10 --size 320x240 --out stills) \
  >"$work/capture.log" 2>&1 || { cat "$work/capture.log" >&2; fail "the installed quorl-capture failed"; }
# The same frame from the package's own build in the tree: identical bytes, so the installed
# program and data are the ones built and tested.
build=${QUORL_PACKAGE_BUILD:-build-package}
(cd data && "$root/$build/quorl-capture" --at 10 --size 320x240 --out "$work/reference") \
  >"$work/reference.log" 2>&1 || { cat "$work/reference.log" >&2; fail "the reference capture failed"; }
python3 - "$work/run/stills/000.png" <<'PY' || fail "the installed capture's picture is wrong"
import sys
sys.path.insert(0, "tests/e2e")
import pngread
width, height, channels, rows = pngread.read_png(sys.argv[1])
assert (width, height) == (320, 240), (width, height)
values = set(v for row in rows for v in row)
assert len(values) > 16, "a flat picture: %d distinct values" % len(values)
PY
cmp "$work/run/stills/000.png" "$work/reference/000.png" ||
  fail "the installed capture differs from the build's"
[ "$(ls "$work/run/stills")" = 000.png ] || fail "the capture wrote more than 000.png"

QUORL_BIN=/usr/games/quorl xvfb-run -a -s "-screen 0 1280x720x24" \
  tests/e2e/own_netns.sh python3 tests/package/installed_show.py ||
  fail "the installed quorl did not play from outside the tree"

# 4. Remove: nothing of it stays on the PATH.
"${sudo_cmd[@]}" apt-get remove -y -qq --purge quorl >/dev/null 2>&1 || fail "apt could not remove quorl"
installed=0
! PATH=$user_path command -v quorl >/dev/null && [ ! -e /usr/share/quorl ] ||
  fail "quorl is still installed"
echo "package check: passed ($(basename "$deb"))"
