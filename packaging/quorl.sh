#!/bin/sh
# quorl: plays the show from its installed data. The program reads everything relative to
# its working directory, so it starts in the data folder, wherever it is called from.
here=$(dirname "$(readlink -f "$0")")
cd "$here/../share/quorl" || exit 1
exec "$here/../lib/quorl/quorl"
