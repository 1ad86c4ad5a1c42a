#!/bin/sh
# Lists every C/C++ file of the project that clang-format (with the root .clang-format)
# would change, and fails when there is one. Fix them with: clang-format -i FILE...
# Files git ignores (build folders) are not looked at; new files not yet added are.
#
#   tools/check-format.sh            the project's folders
#   tools/check-format.sh PATH...    only these files or folders
#
# The layout a clang-format writes differs between its versions: the style was measured
# with Debian's clang-format 14 (CLANG_FORMAT picks another binary).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
FORMAT=${CLANG_FORMAT:-clang-format}
if ! command -v "$FORMAT" >/dev/null 2>&1; then
    echo "check-format: $FORMAT not found (apt-get install clang-format)" >&2
    exit 2
fi
[ $# -gt 0 ] || set -- app platform gfx audio demo tools bench tests

unformatted=0
checked=0
files=$(git ls-files --cached --others --exclude-standard -- "$@" |
    grep -E '\.(c|cc|cpp|h|hpp)$' || true)
for f in $files; do
    [ -f "$f" ] || continue  # deleted in the working tree
    checked=$((checked + 1))
    if ! "$FORMAT" --style=file "$f" | cmp -s - "$f"; then
        echo "$f"
        unformatted=$((unformatted + 1))
    fi
done
if [ "$unformatted" -gt 0 ]; then
    echo "check-format: $unformatted of $checked files differ from clang-format's layout" \
        "(clang-format -i FILE...)" >&2
    exit 1
fi
echo "check-format: $checked files formatted"
