#!/usr/bin/env bash
# Measures, side by side in one warm 64-bit prefix: the whole two-process
# uninstall against two starts of the smallest Win32 program (the time boxes
# waited for the robot's answer taken out), the snapshot and rebuild of the
# layout lists with 1000 and with 100 entries, and the exe's size and imports.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/deps.sh"
win=$root/build/win
. "$root/tools/cmake_build.sh"
targets="Uninstall_Quorvex robot_cli minimal wine_registry" build "$win" mingw-i686 -DCMAKE_BUILD_TYPE=Release
bash "$root/tools/wine32.sh" "$root/tools/bench_run.sh" "$win" "${ROUNDS:-7}"
size=$(stat -c %s "$win/Uninstall_Quorvex.exe")
imports=$(i686-w64-mingw32-objdump -p "$win/Uninstall_Quorvex.exe" | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')
LC_ALL=C printf '| exe size | %s bytes |\n| imports | %s|\n' "$size" "$imports"
