#!/usr/bin/env bash
# Builds the uninstaller and runs a demonstration uninstall under Wine: a
# throwaway 64-bit Windows with a complete simulated installation, the
# installed program started with the layout key as Windows would, the
# question answered "Ja" by the window robot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/deps.sh"
win=$root/build/win
mkdir -p "$win"
cmake -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >"$root/build/win.log" 2>&1 || { cat "$root/build/win.log"; exit 1; }
cmake --build "$win" -j "$(nproc)" --target Uninstall_Quorvex robot_cli >>"$root/build/win.log" 2>&1 ||
  { tail -40 "$root/build/win.log"; exit 1; }
echo "== Built $win/Uninstall_Quorvex.exe ($(stat -c %s "$win/Uninstall_Quorvex.exe") bytes)"
bash "$root/tools/wine32.sh" "$root/tools/demo_run.sh" "$win"
