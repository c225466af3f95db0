#!/usr/bin/env bash
# Builds the program twice from scratch in two different folders and
# compares the files byte for byte: the same source gives the same exe.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}
. "$root/tools/cmake_build.sh"
for n in 1 2; do
  targets=Uninstall_Quorvex build "$work/b$n" mingw-i686 -DCMAKE_BUILD_TYPE=Release -DQUORVEX_TESTS=OFF
done
if cmp "$work/b1/Uninstall_Quorvex.exe" "$work/b2/Uninstall_Quorvex.exe"; then
  echo "reproducible: two builds give the same $(stat -c %s "$work/b1/Uninstall_Quorvex.exe") bytes"
else
  echo "reproducible: the two builds differ" >&2; exit 1
fi
