#!/usr/bin/env bash
# test_wine.sh BUILD [CTEST ARGS...]: makes a fresh 64-bit and 32-bit Windows
# prefix and runs every test program of BUILD in both through CTest. Run by
# tools/test.sh through tools/wine32.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=$(realpath "$1"); shift
# The prefixes' servers end with the run.
stop() { for a in 64 32; do
  [ -d "$win/prefix$a" ] && WINEPREFIX=$win/prefix$a wineserver -k 2>/dev/null || true; done; }
trap stop EXIT
"$root/tools/mkprefix.sh" "$win/prefix64" win64 >/dev/null &
p64=$!
"$root/tools/mkprefix.sh" "$win/prefix32" win32 >/dev/null &
p32=$!
wait $p64 $p32
cd "$win" && ctest --output-on-failure --no-tests=error -j 2 "$@"
