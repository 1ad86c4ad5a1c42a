#!/bin/sh
# Regenerates data/images, data/3d, data/music and docs/images.png from the
# generators in tools/datagen.  Run from anywhere:
#
#   tools/regenerate-data.sh            everything
#   tools/regenerate-data.sh images     only the pictures (and contact sheet)
#   tools/regenerate-data.sh mesh       only data/3d/cube.obj
#   tools/regenerate-data.sh music      only the music
#
# Needs (installed with apt-get when missing and running as root):
# g++, libstb-dev, fonts-urw-base35, fonts-dejavu-core, fluidsynth,
# fluid-soundfont-gm, sox, vorbis-tools, ffmpeg.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
SRC="$ROOT/tools/datagen"
BIN="$ROOT/build-data/datagen"
WORK="$ROOT/build-data/music"
WHAT=${1:-all}

need() {
    missing=""
    for pair in "$@"; do
        file=${pair%%:*}
        pkg=${pair#*:}
        [ -e "$file" ] || missing="$missing $pkg"
    done
    if [ -n "$missing" ]; then
        if [ "$(id -u)" = 0 ]; then
            echo "installing:$missing"
            DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
        else
            echo "missing packages:$missing (apt-get install them)" >&2
            exit 1
        fi
    fi
}

build() {  # build <name> <source> [libraries...]
    mkdir -p "$BIN"
    name=$1 source=$2
    shift 2
    g++ -std=c++17 -O2 -Wall -o "$BIN/$name" "$SRC/$source" "$@"
}

images() {
    need /usr/bin/g++:g++ /usr/include/stb/stb_truetype.h:libstb-dev \
        /usr/share/fonts/opentype/urw-base35/C059-Roman.otf:fonts-urw-base35 \
        /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf:fonts-dejavu-core \
        /usr/include/turbojpeg.h:libturbojpeg0-dev
    build quorl-images images.cpp -lturbojpeg
    mkdir -p "$ROOT/data/images" "$ROOT/docs"
    "$BIN/quorl-images" "$ROOT/data/images" "$ROOT/docs/images.png"
}

mesh() {
    need /usr/bin/g++:g++
    build quorl-mesh mesh.cpp
    mkdir -p "$ROOT/data/3d"
    "$BIN/quorl-mesh" "$ROOT/data/3d/cube.obj"
}

# Integrated loudness (LUFS) of a file.
loudness() {
    ffmpeg -hide_banner -nostats -i "$1" -af ebur128=framelog=verbose -f null - 2>&1 |
        sed -n 's/^ *I: *\(-\{0,1\}[0-9.]*\) LUFS.*/\1/p' | tail -n 1
}

music() {
    need /usr/bin/g++:g++ /usr/bin/fluidsynth:fluidsynth \
        /usr/share/sounds/sf2/FluidR3_GM.sf2:fluid-soundfont-gm /usr/bin/sox:sox \
        /usr/bin/oggenc:vorbis-tools /usr/bin/ffmpeg:ffmpeg
    build quorl-music music.cpp
    mkdir -p "$WORK" "$ROOT/data/music"
    "$BIN/quorl-music" midi "$ROOT/tools/datagen/chinese-blues.mid"
    # Piano, nearly dry.
    fluidsynth -ni -q -g 0.5 -r 44100 -o synth.chorus.active=0 \
        -o synth.reverb.room-size=0.25 -o synth.reverb.level=0.3 \
        -F "$WORK/piano.wav" /usr/share/sounds/sf2/FluidR3_GM.sf2 \
        "$ROOT/tools/datagen/chinese-blues.mid"
    # An old acoustic recording: mono, narrow band, a nasal lift, squeezed.
    sox -R "$WORK/piano.wav" "$WORK/shaped.wav" \
        remix 1v0.5,2v0.5 1v0.5,2v0.5 \
        highpass 120 highpass 90 lowpass 5000 lowpass 6500 equalizer 1600 1.0q 3 \
        compand 0.005,0.12 6:-40,-30,-20,-14,-10,-8,0,-5 0 -90 0.004
    length=140.0
    "$BIN/quorl-music" noise "$WORK/noise.wav" 142
    sox -R -m "$WORK/shaped.wav" "$WORK/noise.wav" "$WORK/mixed.wav" \
        trim 0 $length fade t 0 $length 1.4
    # Bring to -16 LUFS; a look-ahead limiter keeps peaks under -2.5 dBFS.
    gain=0
    for pass in 1 2; do
        ffmpeg -hide_banner -nostats -loglevel error -y -i "$WORK/mixed.wav" \
            -af "volume=${gain}dB,alimiter=limit=0.75:level=disabled:attack=3:release=60" \
            -c:a pcm_s16le -bitexact "$WORK/final.wav"
        lufs=$(loudness "$WORK/final.wav")
        gain=$(awk -v g="$gain" -v l="$lufs" 'BEGIN { printf "%.2f", g - 16.0 - l }')
        echo "pass $pass: $lufs LUFS, next gain $gain dB"
    done
    ffmpeg -hide_banner -nostats -loglevel error -y -i "$WORK/mixed.wav" \
        -af "volume=${gain}dB,alimiter=limit=0.75:level=disabled:attack=3:release=60" \
        -c:a pcm_s16le -bitexact "$WORK/final.wav"
    out="$ROOT/data/music/BrenlowickpianoRoll-ChineseBlues1916.ogg"
    oggenc -Q -q 4 -s 1916 -t "Chinese Blues 1916 (piano roll)" -a "The Brenlowick Player-Piano" \
        -o "$out" "$WORK/final.wav"
    echo "$out: $(stat -c %s "$out") bytes, $(loudness "$out") LUFS"
}

case "$WHAT" in
    all) images; mesh; music ;;
    images) images ;;
    mesh) mesh ;;
    music) music ;;
    *) echo "usage: $0 [all|images|mesh|music]" >&2; exit 2 ;;
esac
