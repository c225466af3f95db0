#!/usr/bin/env bash
# Measures, side by side in one warm 64-bit prefix: the whole two-process
# uninstall against two starts of the smallest Win32 program (the time boxes
# waited for the robot's answer taken out), the snapshot and rebuild of the
# layout lists with 1000 and with 100 entries, and the exe's size and imports.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${ROUNDS:-7}
bash "$root/tools/deps.sh"
. "$root/tools/flavour.sh"
make_build "$root/build/win" mingw-i686 Uninstall_Quorvex
make_build "$win" $toolchain Uninstall_Quorvex robot_cli minimal wine_registry
prefix=$root/build/bench-prefix
export WINEPREFIX=$prefix WINEDEBUG=-all LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8
trap 'wineserver -k 2>/dev/null || true' EXIT
"$root/tools/mkprefix.sh" "$prefix" win64 >/dev/null
report=$prefix.report
robot() { ${WINE:-wine} "$win/robot.exe" --report "Z:${report//\//\\}" "$@" >/dev/null 2>&1 </dev/null
          sed -n 's/^time: \([0-9.]*\) ms, boxes waiting for answers: \([0-9.]*\) ms$/\1 \2/p' "$report"; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
: >"$prefix.uninstall"; : >"$prefix.minimal"
for _ in $(seq 1 "$rounds"); do
  "$root/tools/install_sim.sh" "$prefix" "$win/Uninstall_Quorvex.exe" $bits
  robot --answers yes,ok -- "$folder\\Uninstall_Quorvex.exe" E0010407 |
    awk '{print $1 - $2}' >>"$prefix.uninstall"
  a=$(robot -- "Z:${win//\//\\}\\minimal.exe" | awk '{print $1}')
  b=$(robot -- "Z:${win//\//\\}\\minimal.exe" | awk '{print $1}')
  echo "$a + $b" | bc -l >>"$prefix.minimal"
done
u=$(median <"$prefix.uninstall"); m=$(median <"$prefix.minimal")
out=$(mktemp)
${WINE:-wine} "$win/tests/wine_registry.exe" --gtest_filter='*Benchmark*' >"$out" 2>&1 </dev/null || true
size=$(stat -c %s "$root/build/win/Uninstall_Quorvex.exe")
imports=$(i686-w64-mingw32-objdump -p "$root/build/win/Uninstall_Quorvex.exe" | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')
LC_ALL=C printf '\n| measure (median of %s rounds, %s-bit build) | value |\n|---|---|\n' "$rounds" "$bits"
LC_ALL=C printf '| whole uninstall, both processes, robot waits out | %.1f ms |\n' "$u"
LC_ALL=C printf '| two starts of a minimal Win32 program | %.1f ms |\n' "$m"
LC_ALL=C printf '| ratio | %.2f |\n' "$(echo "$u / $m" | bc -l)"
tr -d '\r' <"$out" | sed -n 's/^\[ BENCH    \] *\([^:]*\): *\(.*\)$/| layout lists, \1 | \2 |/p' | grep . ||
  echo "| layout lists | not found in the test output |"
LC_ALL=C printf '| exe size | %s bytes |\n| imports | %s|\n' "$size" "$imports"
rm -f "$out"
