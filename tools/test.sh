#!/usr/bin/env bash
# Runs every test: the Windows-free logic natively under the sanitizers, then
# the program and its tests under Wine in a fresh 64-bit and 32-bit prefix.
# Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/deps.sh"
# QUORVEX_BUILD puts builds and prefixes elsewhere, so runs can go side by side.
out=$(realpath -m "${QUORVEX_BUILD:-$root/build}")
export QUORVEX_BUILD=$out
mkdir -p "$out"

. "$root/tools/cmake_build.sh"
native=$out/native
build "$native" "" -DCMAKE_BUILD_TYPE=Debug
win=$out/win
build "$win" mingw-i686 -DCMAKE_BUILD_TYPE=Release -DQUORVEX_TESTS=ON -DQUORVEX_TEST_ARCHES="64;32"

# The exe's imports and resources, a second build for byte-identical
# output, the static checks, the native tests; then the tests under Wine.
# With arguments (e.g. -R uninstall) only the tests CTest selects by them.
if [ $# -eq 0 ]; then
  bash "$root/tools/check_exe.sh" "$win/Uninstall_Quorvex.exe"
  bash "$root/tools/repro_check.sh"
  bash "$root/tools/static_checks.sh"
fi
(cd "$native" && ctest --output-on-failure --no-tests=error)
bash "$root/tools/wine32.sh" "$root/tools/test_wine.sh" "$win" "$@"
program=$(cat "$root"/main.cpp "$root"/{frame,uninstall,layouts,files}/*.{cpp,h} | wc -l)
tests=$(cat "$root"/tests/* | wc -l)
LC_ALL=C awk -v t="$tests" -v p="$program" \
  'BEGIN {printf "tests/program lines: %d/%d = %.2f\n", t, p, t / p}'
