#!/usr/bin/env bash
# Builds the show for the browser: one static folder (index.html, its script and style,
# quorl.js, quorl.wasm, the data package quorl.data with its loader quorl-data.js and its
# size and SHA-256 in quorl-data.json, the poster and the icons) that any static server
# serves. Its path is the last line printed.
#
#   web/build.sh            # build into build-web/site
#   QUORL_WEB_BUILD=DIR     # another build folder
#   QUORL_WEB_CACHE=DIR     # another dependency cache (default web/.cache)
#   QUORL_BUILD_DIR=DIR     # the desktop build whose quorl-capture makes the poster
#                           # (default build/; its quorl-capture is built there if missing)
#   QUORL_WEB_URL=URL       # the address the folder is served at: link previews then get
#                           # the poster's full address, as some sites want
#
# Installs what it needs from Debian (emscripten, cmake, dpkg-dev, the GL headers), fetches
# the Debian source packages of the decoders once (a deb-src entry for the archive the
# machine already uses is added) and builds them once into the cache with emscripten. With
# the cache warm nothing is fetched. Emscripten's own ports download at build time, so
# none is used: everything comes from Debian's sources.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${QUORL_WEB_CACHE:-$root/web/.cache}
build=${QUORL_WEB_BUILD:-$root/build-web}
desktop=${QUORL_BUILD_DIR:-$root/build}
site=$build/site
jobs=$(nproc)
# Debian's emscripten 3.1.6: its optimiser requires Debian's acorn module from here.
export NODE_PATH=/usr/share/nodejs
# Keep the emscripten cache read-only as Debian ships it (its libraries are prebuilt).
export EM_FROZEN_CACHE=1

say() { echo "web/build.sh: $*" >&2; }

# The decoders' Debian source packages, and the prefix they are installed into.
source_packages=(zlib libogg libvorbis libjpeg-turbo libspng)
prefix=$cache/prefix

install_tools() {
  local missing=()
  command -v emcc >/dev/null || missing+=(emscripten)
  command -v cmake >/dev/null || missing+=(cmake)
  command -v make >/dev/null || missing+=(make)
  command -v dpkg-source >/dev/null || missing+=(dpkg-dev)
  command -v xz >/dev/null || missing+=(xz-utils)
  [ -f /usr/include/GL/glcorearb.h ] || missing+=(libgl-dev)
  [ ${#missing[@]} -eq 0 ] && return
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}" >&2 ||
    { apt-get -o DPkg::Lock::Timeout=600 update >&2 &&
      apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}" >&2; }
}

# A deb-src twin of every Debian archive entry the machine uses, in a list of its own, and
# the package lists of that one file alone brought up to date. The list is only needed
# while the sources are fetched: remove_source_archive takes it away again.
source_list=/etc/apt/sources.list.d/quorl-web-src.sources
add_source_archive() {
  local list=$source_list
  if [ ! -f $list ]; then
    local out=
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && [ "$f" != $list ] || continue
      grep -q 'debian' "$f" || continue
      out+=$(sed -n '/^Types:/s/.*/Types: deb-src/p; /^\(URIs\|Suites\|Components\|Signed-By\):/p; /^$/p' "$f")
      out+=$'\n\n'
    done
    if [ -f /etc/apt/sources.list ]; then
      while read -r kind rest; do
        [ "$kind" = deb ] || continue
        out+="Types: deb-src"$'\n'"URIs: $(set -- $rest; echo $1)"$'\n'
        out+="Suites: $(set -- $rest; echo $2)"$'\n'"Components: $(set -- $rest; shift 2; echo $*)"$'\n\n'
      done < <(grep -E '^deb .*debian' /etc/apt/sources.list || true)
    fi
    [ -n "$out" ] || { say "no Debian archive in the apt sources"; exit 1; }
    printf '%s' "$out" > $list
  fi
  apt-get -o DPkg::Lock::Timeout=600 update -o Dir::Etc::sourcelist="$list" \
    -o Dir::Etc::sourceparts=- -o APT::Get::List-Cleanup=0 >&2
}

# Without the list apt forgets the deb-src entries; their package lists go with the next
# apt-get update.
remove_source_archive() {
  [ ! -e "$source_list" ] || rm -f "$source_list" || say "cannot remove $source_list"
}

fetch_sources() {
  mkdir -p "$cache/src"
  local wanted=()
  for p in "${source_packages[@]}"; do
    ls "$cache/src/${p}_"*.dsc >/dev/null 2>&1 || wanted+=("$p")
  done
  [ ${#wanted[@]} -eq 0 ] && return
  # In a subshell of its own, so the list goes however the fetch ends: done, failed or
  # interrupted (bash runs the EXIT trap on SIGINT, SIGTERM and SIGHUP too).
  (
    trap remove_source_archive EXIT
    add_source_archive
    download_sources "${wanted[@]}"
  )
}

download_sources() {
  local wanted=("$@")
  say "fetching the sources of ${wanted[*]}"
  # The newest source may be a security update the mirror no longer serves (seen: 404 for
  # zlib's); the release's own version is always there.
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  for p in "${wanted[@]}"; do
    (cd "$cache/src" && apt-get source --download-only "$p" >&2) ||
      { [ -n "$codename" ] &&
          (cd "$cache/src" && apt-get source --download-only "$p/$codename" >&2); } ||
      { say "cannot fetch the source package $p"; exit 1; }
  done
}

# Unpacks (with Debian's patches applied) and prints the source folder of package $1.
unpacked() {
  local dsc dir
  dsc=$(ls "$cache/src/${1}_"*.dsc | head -1)
  dir=$cache/src/$(basename "$dsc" .dsc)
  if [ ! -d "$dir" ]; then
    (cd "$cache/src" && dpkg-source -x "$(basename "$dsc")" "$dir" >&2)
  fi
  echo "$dir"
}

# Each dependency is built once: a stamp in the prefix marks it done, so an interrupted
# build goes on with the next one.
built() { [ -f "$prefix/.built-$1" ]; }
mark_built() { touch "$prefix/.built-$1"; }

# Configures and builds `targets` (all when empty); installs and marks it built unless
# `install` is "no" (the caller then does both).
cmake_dep() {  # name, source package, targets, install, cmake options...
  local name=$1 src targets=$3 install=$4
  built "$name" && return
  src=$(unpacked "$2")
  shift 4
  say "building $name"
  rm -rf "$cache/build/$name"
  # CMake runs its size checks through node. The emulator emcmake names passes node a flag
  # that newer releases refuse (exit 9), and this emscripten's output loads its .wasm with
  # fetch wherever fetch exists, which node's own cannot do from a file: every check then
  # reads an exit code as its size.
  emcmake cmake -S "$src" -B "$cache/build/$name" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node);--no-experimental-fetch" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_FIND_ROOT_PATH="$prefix" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "$@" >&2
  cmake --build "$cache/build/$name" -j"$jobs" ${targets:+--target $targets} >&2
  [ "$install" = no ] && return
  cmake --install "$cache/build/$name" >&2
  mark_built "$name"
}

build_dependencies() {
  local p missing=0
  for p in zlib ogg vorbis jpeg spng; do built $p || missing=1; done
  [ $missing -eq 0 ] && return
  fetch_sources
  mkdir -p "$prefix/lib" "$prefix/include" "$cache/build"
  # zlib (libspng's inflate): its sources compiled directly. Its configure script tests the
  # compiler for minutes here, and Debian's source lacks the Windows files its CMake file lists.
  if ! built zlib; then
    say "building zlib"
    local z
    z=$(unpacked zlib)
    rm -rf "$cache/build/zlib"
    mkdir -p "$cache/build/zlib"
    printf '%s\n' adler32 compress crc32 deflate infback inffast inflate inftrees trees uncompr \
      zutil | xargs -P "$jobs" -I{} emcc -O2 -c "$z/{}.c" -o "$cache/build/zlib/{}.o" >&2
    rm -f "$prefix/lib/libz.a"
    emar rcs "$prefix/lib/libz.a" "$cache/build/zlib"/*.o >&2
    cp "$z/zlib.h" "$z/zconf.h" "$prefix/include/"
    mark_built zlib
  fi
  # libogg: two C files and a header of its types; its CMake file spends minutes here
  # running a test program per type size.
  if ! built ogg; then
    say "building ogg"
    local ogg
    ogg=$(unpacked libogg)
    mkdir -p "$prefix/include/ogg" "$cache/build/ogg"
    sed -e 's/@INCLUDE_INTTYPES_H@/0/; s/@INCLUDE_STDINT_H@/1/; s/@INCLUDE_SYS_TYPES_H@/0/' \
      -e 's/@SIZE16@/int16_t/; s/@USIZE16@/uint16_t/; s/@SIZE32@/int32_t/' \
      -e 's/@USIZE32@/uint32_t/; s/@SIZE64@/int64_t/; s/@USIZE64@/uint64_t/' \
      "$ogg/include/ogg/config_types.h.in" > "$prefix/include/ogg/config_types.h"
    cp "$ogg/include/ogg/ogg.h" "$ogg/include/ogg/os_types.h" "$prefix/include/ogg/"
    printf '%s\n' bitwise framing | xargs -P "$jobs" -I{} emcc -O2 -I"$prefix/include" \
      -c "$ogg/src/{}.c" -o "$cache/build/ogg/{}.o" >&2
    rm -f "$prefix/lib/libogg.a"
    emar rcs "$prefix/lib/libogg.a" "$cache/build/ogg"/*.o >&2
    mark_built ogg
  fi
  cmake_dep vorbis libvorbis "" yes
  # Only TurboJPEG's static library: its programs and tests take most of the build.
  if ! built jpeg; then
    cmake_dep jpeg libjpeg-turbo turbojpeg-static no -DENABLE_SHARED=OFF -DWITH_SIMD=OFF \
      -DWITH_TURBOJPEG=ON -DWITH_JAVA=OFF
    cp "$cache/build/jpeg/libturbojpeg.a" "$prefix/lib/"
    cp "$(unpacked libjpeg-turbo)/turbojpeg.h" "$prefix/include/"
    mark_built jpeg
  fi
  # libspng is one C file, and its CMake file cannot build the static library alone.
  if ! built spng; then
    say "building spng"
    local spng
    spng=$(unpacked libspng)
    emcc -O2 -DSPNG_STATIC -I"$prefix/include" -c "$spng/spng/spng.c" -o "$cache/build/spng.o" >&2
    rm -f "$prefix/lib/libspng_static.a"
    emar rcs "$prefix/lib/libspng_static.a" "$cache/build/spng.o" >&2
    cp "$spng/spng/spng.h" "$prefix/include/"
    mark_built spng
  fi
}

# The poster (the title card at 11 s, as wide as link previews show it) and the icons, made
# by the desktop's capture tool through the program's own drawing. Made again when the tool
# or the data is newer than they are.
kPosterAt=11
make_pictures() {
  local capture=$desktop/quorl-capture out=$build/pictures
  if [ ! -x "$capture" ]; then
    say "building quorl-capture in $desktop for the poster"
    cmake -S "$root" -B "$desktop" -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
    cmake --build "$desktop" -j"$jobs" --target quorl-capture >&2
  fi
  if [ -f "$out/poster.png" ] && [ -z "$(find "$capture" "$root/data" -newer "$out/poster.png" \
      -print -quit)" ]; then
    return
  fi
  say "making the poster and the icons"
  rm -rf "$out"
  local size
  for size in 1200x630 180x180 32x32; do
    "$capture" --data "$root/data" --at $kPosterAt --size $size --out "$out/$size" >&2
  done
  mv "$out/180x180/000.png" "$out/apple-touch-icon.png"
  # favicon.ico: one 32x32 PNG in an icon directory, as browsers and hosts ask for.
  python3 - "$out/32x32/000.png" "$out/favicon.ico" <<'PY'
import struct, sys
png = open(sys.argv[1], "rb").read()
with open(sys.argv[2], "wb") as f:
    f.write(struct.pack("<HHH", 0, 1, 1))  # an icon directory of one image
    f.write(struct.pack("<BBBBHHII", 32, 32, 0, 0, 1, 32, len(png), 22))
    f.write(png)
PY
  mv "$out/1200x630/000.png" "$out/poster.png"
}

build_show() {
  say "building the show"
  # The one project at the root, under emscripten's toolchain. A build folder configured
  # from elsewhere (web/ had a project of its own) is configured afresh.
  if [ -f "$build/CMakeCache.txt" ] &&
    ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$root" "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
  fi
  # Through ccache, as every build of the tree (setup.sh installs it).
  local launcher=()
  command -v ccache >/dev/null && mapfile -t launcher < <("$root/setup.sh" --launcher)
  emcmake cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
    -DQUORL_WEB_PREFIX="$prefix" >&2
  cmake --build "$build" -j"$jobs" >&2
}

assemble_site() {
  rm -rf "$site"
  mkdir -p "$site"
  cp "$build"/quorl.js "$build"/quorl.wasm "$site"/
  cp "$root"/web/index.html "$root"/web/page.js "$root"/web/page.css "$root"/web/sha256.js \
    "$site"/
  cp "$build"/pictures/poster.png "$build"/pictures/apple-touch-icon.png \
    "$build"/pictures/favicon.ico "$site"/
  if [ -n "${QUORL_WEB_URL:-}" ]; then
    sed -i "s|content=\"poster.png\"|content=\"${QUORL_WEB_URL%/}/poster.png\"|" "$site/index.html"
  fi
  "$root"/web/pack-data.sh "$root"/data "$site"
}

install_tools
build_dependencies
make_pictures
build_show
assemble_site
echo "$site"
