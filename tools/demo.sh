#!/usr/bin/env bash
# Builds the uninstaller and runs a demonstration uninstall under Wine: a
# throwaway 64-bit Windows with a complete simulated installation, the
# installed program started with the layout key as Windows would, the
# question answered "Ja" by the window robot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/deps.sh"
win=$root/build/win
. "$root/tools/cmake_build.sh"
targets="Uninstall_Quorvex robot_cli" build "$win" mingw-i686 -DCMAKE_BUILD_TYPE=Release
echo "== Built $win/Uninstall_Quorvex.exe ($(stat -c %s "$win/Uninstall_Quorvex.exe") bytes)"
bash "$root/tools/wine32.sh" "$root/tools/demo_run.sh" "$win"
