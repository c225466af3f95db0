#!/usr/bin/env bash
# Runs every test: the Windows-free logic natively under the sanitizers, then
# the program and its tests under Wine in a fresh 64-bit and 32-bit prefix.
# Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/deps.sh"
jobs=$(nproc)
# QUORVEX_BUILD puts builds and prefixes elsewhere, so runs can go side by side.
out=${QUORVEX_BUILD:-$root/build}
mkdir -p "$out"

# build DIR TOOLCHAIN [CMAKE ARGS...]: configures and builds, showing only trouble.
build() {
  local dir=$1 toolchain=$2; shift 2
  cmake -S "$root" -B "$dir" ${toolchain:+-DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake"} "$@" \
    >"$dir.log" 2>&1 || { cat "$dir.log"; exit 1; }
  cmake --build "$dir" -j "$jobs" >>"$dir.log" 2>&1 ||
    { grep -E -B2 -A6 'error|warning' "$dir.log" | head -80; exit 1; }
  ! grep -E 'warning:' "$dir.log" || exit 1
}
native=$out/native
build "$native" "" -DCMAKE_BUILD_TYPE=Debug
win=$out/win
build "$win" mingw-i686 -DCMAKE_BUILD_TYPE=Release -DQUORVEX_TESTS=ON -DQUORVEX_TEST_ARCHES="64;32"

# Wine runs the 32-bit program only where the Linux kernel executes 32-bit
# x86 code. Where a virtual machine has that switched off, Wine still runs
# 64-bit programs: the tests then run the same code built as a 64-bit
# Windows program in a 64-bit prefix, which reaches everything but what only
# WOW64 shows (file-system redirection, the 32-bit system folder).
arches="64 32"
if ! bash "$root/tools/runs_x86.sh"; then
  echo "test: this machine cannot execute 32-bit x86 code (the kernel's IA-32 emulation is off):" \
       "the tests under Wine run the program's code built for 64-bit Windows, in a 64-bit prefix only." >&2
  [ -z "${QUORVEX_REQUIRE_WINE32:-}" ] || exit 1
  export WINE=/usr/lib/wine/wine64
  arches=64
  win=$out/win-x64
  build "$win" mingw-x86_64 -DCMAKE_BUILD_TYPE=Release -DQUORVEX_TESTS=ON -DQUORVEX_TEST_ARCHES=64
fi

# Fresh prefixes for this run; their servers end with the run.
stop() { for a in $arches; do
  [ -d "$win/prefix$a" ] && WINEPREFIX=$win/prefix$a wineserver -k 2>/dev/null || true; done; }
trap stop EXIT
pids=()
for a in $arches; do
  "$root/tools/mkprefix.sh" "$win/prefix$a" "win$a" >/dev/null &
  pids+=($!)
done

# While Wine boots: the exe's imports and resources, a second build for
# byte-identical output, the static checks, the native tests.
bash "$root/tools/check_exe.sh" "$out/win/Uninstall_Quorvex.exe"
bash "$root/tools/repro_check.sh"
bash "$root/tools/static_checks.sh"
(cd "$native" && ctest --output-on-failure --no-tests=error)
wait "${pids[@]}"
(cd "$win" && ctest --output-on-failure --no-tests=error -j 2 "$@")
