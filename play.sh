#!/usr/bin/env bash
# Sets up, builds the program (only what playing needs) and plays the show from data/.
# Escape quits early.
# Without a display the show plays under a virtual one (Xvfb), unseen.
set -euo pipefail
cd "$(dirname "$0")"
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
exec xvfb-run -a -s "-screen 0 1280x720x24" ../build/quorl
