#!/bin/sh
# quorl: plays the show from its installed data. The program reads everything relative to
# its working directory, so it starts in the data folder, wherever it is called from. The
# program takes no arguments: --help and --version are answered here, anything else is
# refused before a window opens.
case "$#:${1:-}" in
0:) ;;
1:-h | 1:--help)
  cat <<'USAGE'
usage: quorl [--help | --version]
Plays quorl, a 131-second silent film with a piano-roll blues, on the whole screen;
Escape quits early. Without a sound device it plays silently.
exit status: 0 at the end of the show or after Escape, 255 when start-up fails (the
reason is shown in a box and on standard error), 3 when the display goes away, 2 for
a wrong command line. On a display nobody watches (xvfb-run -a quorl) set
QUORL_NO_BOX=1: a failed start then ends with its message on standard error instead
of waiting for its box to be answered. See quorl(6); quorl-capture(1) renders the show
to pictures or a video.
USAGE
  exit 0
  ;;
1:--version)
  echo "quorl @PROJECT_VERSION@"
  exit 0
  ;;
*)
  echo "quorl: unexpected argument '$1': the show takes none but --help or --version" >&2
  echo "usage: quorl [--help | --version]" >&2
  exit 2
  ;;
esac
here=$(dirname "$(readlink -f "$0")")
cd "$here/../share/quorl" || exit 1
exec "$here/../lib/quorl/quorl"
