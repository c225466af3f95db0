#!/usr/bin/env bash
# bench_run.sh BUILD ROUNDS: the Wine part of tools/bench.sh, run through
# tools/wine32.sh; prints the rows of its table.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=$1 rounds=$2
prefix=$root/build/bench-prefix
export WINEPREFIX=$prefix WINEDEBUG=-all LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8
trap 'wineserver -k 2>/dev/null || true' EXIT
"$root/tools/mkprefix.sh" "$prefix" win64 >/dev/null
report=$prefix.report
robot() { wine "$win/robot.exe" --report "Z:${report//\//\\}" "$@" >/dev/null 2>&1 </dev/null
          sed -n 's/^time: \([0-9.]*\) ms, boxes waiting for answers: \([0-9.]*\) ms$/\1 \2/p' "$report"; }
# Numbers keep their decimal point whatever the locale.
calc() { LC_ALL=C awk "$@"; }
median() { sort -n | calc '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
: >"$prefix.uninstall"; : >"$prefix.quiet"; : >"$prefix.minimal"
for _ in $(seq 1 "$rounds"); do
  "$root/tools/install_sim.sh" "$prefix" "$win/Uninstall_Quorvex.exe"
  robot --answers yes,ok -- 'C:\Program Files (x86)\Morvain\Uninstall_Quorvex.exe' E0010407 |
    calc '{print $1 - $2}' >>"$prefix.uninstall"
  "$root/tools/install_sim.sh" "$prefix" "$win/Uninstall_Quorvex.exe"
  robot -- 'C:\Program Files (x86)\Morvain\Uninstall_Quorvex.exe' E0010407 /quiet |
    calc '{print $1}' >>"$prefix.quiet"
  a=$(robot -- "Z:${win//\//\\}\\minimal.exe" | calc '{print $1}')
  b=$(robot -- "Z:${win//\//\\}\\minimal.exe" | calc '{print $1}')
  calc -v a="$a" -v b="$b" 'BEGIN {print a + b}' >>"$prefix.minimal"
done
u=$(median <"$prefix.uninstall"); q=$(median <"$prefix.quiet"); m=$(median <"$prefix.minimal")
LC_ALL=C printf '\n| measure (median of %s rounds) | value |\n|---|---|\n' "$rounds"
LC_ALL=C printf '| whole uninstall, both processes, robot waits out | %.1f ms |\n' "$u"
LC_ALL=C printf '| the same, quiet (/quiet, no window, no box) | %.1f ms |\n' "$q"
LC_ALL=C printf '| two starts of a minimal Win32 program | %.1f ms |\n' "$m"
calc -v u="$u" -v m="$m" 'BEGIN {printf "| ratio | %.2f |\n", u / m}'
wine "$win/tests/wine_registry.exe" --gtest_filter='*Benchmark*' --gtest_also_run_disabled_tests 2>&1 </dev/null | tr -d '\r' |
  sed -n 's/^\[ BENCH    \] *\([^:]*\): *\(.*\)$/| layout lists, \1 | \2 |/p' | grep . ||
  echo "| layout lists | not found in the test output |"
