#!/usr/bin/env bash
# Measures, side by side in one warm 64-bit prefix: the whole two-process
# uninstall against two starts of the smallest Win32 program (the time boxes
# waited for the robot's answer taken out), the quiet one with no other user
# and with 50 profiles not logged on, the snapshot and rebuild of the
# layout lists with 1000 and with 100 entries, and the exe's size and imports.
# ROUNDS (default 7) rounds; the table shows the medians. With BASELINE=COMMIT
# the program of that commit, built apart, is measured in the same rounds on
# the same installation, beside today's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine.sh"
win=$root/build/win

# The Wine part, run where Wine runs 32-bit programs: the table's rows.
wine_part() {
  local rounds=$1 baseline=${2:-} prefix=$root/build/bench-prefix a b u q m
  local installed="$prefix/drive_c/Program Files (x86)/Morvain/Uninstall_Quorvex.exe"
  wine_env
  export WINEPREFIX=$prefix
  trap 'wineserver -k 2>/dev/null || true' EXIT
  mkprefix "$prefix" win64
  local report=$prefix.report
  robot() { wine "$win/robot.exe" --report "Z:${report//\//\\}" "$@" >/dev/null 2>&1 </dev/null
            sed -n 's/^time: \([0-9.]*\) ms, boxes waiting for answers: \([0-9.]*\) ms$/\1 \2/p' "$report"; }
  # Numbers keep their decimal point whatever the locale.
  calc() { LC_ALL=C awk "$@"; }
  median() { sort -n | calc '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
  : >"$prefix.uninstall"; : >"$prefix.quiet"; : >"$prefix.profiles"; : >"$prefix.minimal"
  : >"$prefix.base-uninstall"; : >"$prefix.base-quiet"
  for _ in $(seq 1 "$rounds"); do
    install_product "$win"
    robot --answers yes,ok -- 'C:\Program Files (x86)\Morvain\Uninstall_Quorvex.exe' E0010407 |
      calc '{print $1 - $2}' >>"$prefix.uninstall"
    install_product "$win"
    robot -- 'C:\Program Files (x86)\Morvain\Uninstall_Quorvex.exe' E0010407 /quiet |
      calc '{print $1}' >>"$prefix.quiet"
    install_product "$win" --profiles
    robot -- 'C:\Program Files (x86)\Morvain\Uninstall_Quorvex.exe' E0010407 /quiet |
      calc '{print $1}' >>"$prefix.profiles"
    if [ -n "$baseline" ]; then
      install_product "$win"; cp "$baseline" "$installed"
      robot --answers yes,ok -- 'C:\Program Files (x86)\Morvain\Uninstall_Quorvex.exe' E0010407 |
        calc '{print $1 - $2}' >>"$prefix.base-uninstall"
      install_product "$win"; cp "$baseline" "$installed"
      robot -- 'C:\Program Files (x86)\Morvain\Uninstall_Quorvex.exe' E0010407 /quiet |
        calc '{print $1}' >>"$prefix.base-quiet"
    fi
    a=$(robot -- "Z:${win//\//\\}\\minimal.exe" | calc '{print $1}')
    b=$(robot -- "Z:${win//\//\\}\\minimal.exe" | calc '{print $1}')
    calc -v a="$a" -v b="$b" 'BEGIN {print a + b}' >>"$prefix.minimal"
  done
  u=$(median <"$prefix.uninstall"); q=$(median <"$prefix.quiet"); m=$(median <"$prefix.minimal")
  local p; p=$(median <"$prefix.profiles")
  LC_ALL=C printf '\n| measure (median of %s rounds) | value |\n|---|---|\n' "$rounds"
  LC_ALL=C printf '| whole uninstall, both processes, robot waits out | %.1f ms |\n' "$u"
  LC_ALL=C printf '| the same, quiet (/quiet, no window, no box) | %.1f ms |\n' "$q"
  LC_ALL=C printf '| the same, quiet, 50 profiles not logged on (each hive loaded, cleaned, unloaded) | %.1f ms |\n' "$p"
  if [ -n "$baseline" ]; then
    LC_ALL=C printf '| whole uninstall, the program of %s | %.1f ms |\n' "$BASELINE" "$(median <"$prefix.base-uninstall")"
    LC_ALL=C printf '| the same, quiet, the program of %s | %.1f ms |\n' "$BASELINE" "$(median <"$prefix.base-quiet")"
  fi
  LC_ALL=C printf '| two starts of a minimal Win32 program | %.1f ms |\n' "$m"
  calc -v u="$u" -v m="$m" 'BEGIN {printf "| ratio | %.2f |\n", u / m}'
  wine "$win/tests/wine_uninstall.exe" --gtest_filter='*Benchmark*' --gtest_also_run_disabled_tests 2>&1 </dev/null | tr -d '\r' |
    sed -n 's/^\[ BENCH    \] *\([^:]*\): *\(.*\)$/| layout lists, \1 | \2 |/p' | grep . ||
    echo "| layout lists | not found in the test output |"
}
[ "${1:-}" != --wine-part ] || { shift; wine_part "$@"; exit; }

. "$root/tools/cmake_build.sh"
build_win "$win" Uninstall_Quorvex robot_cli minimal wine_uninstall
baseline=
if [ -n "${BASELINE:-}" ]; then
  # That commit's tree, built apart; only its program is used.
  base=$root/build/bench-baseline
  rm -rf "$base.src"; mkdir -p "$base.src"
  git -C "$root" archive "$BASELINE" | tar -x -C "$base.src"
  (root=$base.src; targets=Uninstall_Quorvex build "$base" mingw-i686 -DCMAKE_BUILD_TYPE=MinSizeRel -DQUORVEX_TESTS=OFF)
  baseline=$base/Uninstall_Quorvex.exe
fi
export BASELINE
in_wine32 "$root/tools/bench.sh" --wine-part "${ROUNDS:-7}" $baseline
size=$(stat -c %s "$win/Uninstall_Quorvex.exe")
imports=$(i686-w64-mingw32-objdump -p "$win/Uninstall_Quorvex.exe" | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')
LC_ALL=C printf '| exe size | %s bytes |\n| imports | %s|\n' "$size" "$imports"
