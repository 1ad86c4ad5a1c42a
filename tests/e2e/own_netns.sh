#!/bin/sh
# Runs an end-to-end test in a network namespace of its own, where possible.
# The program's single-instance lock is an abstract Unix socket, which the kernel keys by
# network namespace: in a private one, a quorl already running elsewhere on the machine
# (someone watching the show while the tests run) cannot make the tests fail, and the
# tests' own instances cannot stop theirs. X still connects through /tmp/.X11-unix.
# Without the privileges for either kind of namespace, the test runs as it is.
if unshare --net true 2>/dev/null; then
  exec unshare --net "$@"
elif unshare --map-root-user --net true 2>/dev/null; then
  exec unshare --map-root-user --net "$@"
fi
echo "own_netns: no private network namespace here; sharing the machine's instance lock" >&2
exec "$@"
