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
native=$out/native
cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=Debug >"$out/native.log" 2>&1 ||
  { cat "$out/native.log"; exit 1; }
cmake --build "$native" -j "$jobs" 2>&1 | grep -E 'error|warning' && exit 1

win=$out/win
cmake -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >"$out/win.log" 2>&1 || { cat "$out/win.log"; exit 1; }
cmake --build "$win" -j "$jobs" >>"$out/win.log" 2>&1 ||
  { grep -E -B2 -A6 'error|warning' "$out/win.log" | head -80; exit 1; }

# Wine runs this 32-bit program only where the Linux kernel runs 32-bit x86
# code. Some virtual machines switch that off; there the Windows side cannot
# be tested at all, and saying so beats a hang or a wall of Wine errors.
if ! bash "$root/tools/runs_x86.sh"; then
  bash "$root/tools/check_exe.sh" "$win/Uninstall_Quorvex.exe"
  bash "$root/tools/repro_check.sh"
  bash "$root/tools/static_checks.sh"
  (cd "$native" && ctest --output-on-failure)
  echo "test: SKIPPED every test under Wine: this machine cannot execute 32-bit x86 code" \
       "(the kernel's IA-32 emulation is off), so Wine cannot start the 32-bit program." >&2
  [ -z "${QUORVEX_REQUIRE_WINE:-}" ] || exit 1
  exit 0
fi

# Fresh prefixes for this run; their servers end with the run.
stop() { for p in "$win/prefix64" "$win/prefix32"; do
  [ -d "$p" ] && WINEPREFIX=$p wineserver -k 2>/dev/null || true; done; }
trap stop EXIT
"$root/tools/mkprefix.sh" "$win/prefix64" win64 >/dev/null &
p64=$!
"$root/tools/mkprefix.sh" "$win/prefix32" win32 >/dev/null &
p32=$!

# While Wine boots: the exe's imports and resources, a second build for
# byte-identical output, the static checks, the native tests.
bash "$root/tools/check_exe.sh" "$win/Uninstall_Quorvex.exe"
bash "$root/tools/repro_check.sh"
bash "$root/tools/static_checks.sh"
(cd "$native" && ctest --output-on-failure)
wait $p64 $p32
(cd "$win" && ctest --output-on-failure -j 2 "$@")
