#!/usr/bin/env bash
# Sets up, builds the program (only what playing needs) and plays the show from data/.
# Escape quits early.
# Without a display the show plays under a virtual one (Xvfb), unseen.
set -euo pipefail
cd "$(dirname "$0")"
# The show reads everything from data/: say what is gone, and how to get it back, before
# a minute of building.
missing=()
if git rev-parse --is-inside-work-tree >/dev/null 2>&1 && [ -n "$(git ls-files -- data)" ]; then
  while IFS= read -r f; do [ -e "$f" ] || missing+=("$f"); done < <(git ls-files -- data)
  restore="git checkout -- data (in $PWD), or make a fresh clone"
else
  for f in data/shaders data/images data/3d data/music; do [ -d "$f" ] || missing+=("$f/"); done
  restore="a fresh copy of the repository"
fi
if ((${#missing[@]})); then
  if [ ! -d data ]; then
    echo "play: the show's data folder data/ is missing (its shaders, pictures, mesh and music)." >&2
  else
    echo "play: ${#missing[@]} of the show's files are missing from data/:" >&2
    printf '  %s\n' "${missing[@]:0:10}" >&2
    ((${#missing[@]} <= 10)) || echo "  ... and $((${#missing[@]} - 10)) more" >&2
  fi
  echo "play: restore them with $restore." >&2
  exit 1
fi
./setup.sh quorl
cd data
# No sound card and no sound server: say so, and spare the terminal ALSA's complaints.
runtime="${XDG_RUNTIME_DIR:-/run/user/$(id -u)}"
if [ -z "${SDL_AUDIODRIVER:-}" ] && [ ! -d /dev/snd ] && [ -z "${PULSE_SERVER:-}" ] &&
   [ ! -S "$runtime/pulse/native" ] && [ ! -S "$runtime/pipewire-0" ]; then
  echo "play: no sound device found; the show plays silently."
  export SDL_AUDIODRIVER=dummy
fi
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ../build/quorl
fi
echo "play: no display found; playing under a virtual display (Xvfb) instead."
# Nobody can answer a box there: a failed start ends with its message on stderr.
export QUORL_NO_BOX=1
exec xvfb-run -a -s "-screen 0 1280x720x24" ../build/quorl
