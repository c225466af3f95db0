#!/usr/bin/env bash
# Builds the uninstaller and runs a demonstration uninstall under Wine: a
# throwaway 64-bit Windows with the complete installation the tests use, the
# installed program started with the layout key as Windows would, the
# question answered "Ja" by the window robot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine.sh"
win=$root/build/win

# What of the product the prefix holds.
show_state() {
  local c=$WINEPREFIX/drive_c
  q() { local out
        out=$(wine reg query "$@" 2>/dev/null </dev/null) || out="(key $1 missing)"
        out=$(tr -d '\r' <<<"$out" | grep -v '^$' || true)
        [ -n "$out" ] && [ "$out" != "$1" ] || out="$1 (no values)"
        sed 's/^/    /' <<<"$out"; }
  echo "  Preload and Substitutes of the user:"
  q 'HKCU\Keyboard Layout\Preload'
  q 'HKCU\Keyboard Layout\Substitutes'
  echo "  Installed layouts (HKLM ...\\Keyboard Layouts):"
  q 'HKLM\System\CurrentControlSet\Control\Keyboard Layouts' | grep -i 'Keyboard Layouts\\' | sed 's/.*\\/      /' || true
  echo "  Registration entry:"
  q 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' /reg:32 | grep -i selvarin || echo "    (none)"
  echo "  Files:"
  ( cd "$c" && ls -d windows/system32/Quorvex.DLL windows/syswow64/Quorvex.DLL \
      "Program Files (x86)/Morvain"/* "Program Files/Morvain"/* users/*/Desktop/*.lnk 2>/dev/null |
    sed 's/^/    C:\\/' ) || true
  [ -n "$(cd "$c" && ls -d windows/system32/Quorvex.DLL "Program Files"*/Morvain users/*/Desktop/*.lnk 2>/dev/null)" ] ||
    echo "    (no files of the product)"
}

# The Wine part, run where Wine runs 32-bit programs.
wine_part() {
  local prefix=$root/build/demo-prefix report
  wine_env
  export WINEPREFIX=$prefix
  trap 'wineserver -k 2>/dev/null || true' EXIT
  echo "== Making a 64-bit Windows under Wine in $prefix ..."
  mkprefix "$prefix" win64
  install_product "$win"
  echo "== Before the uninstall:"
  show_state

  echo "== Running C:\\Program Files (x86)\\Morvain\\Uninstall_Quorvex.exe E0010407, answering Ja, then OK:"
  report=$prefix.report.txt
  wine "$win/robot.exe" --answers yes,ok --status Uninstall_Quorvex --timeout 60000 --report 'Z:'"${report//\//\\}" \
    -- 'C:\Program Files (x86)\Morvain\Uninstall_Quorvex.exe' E0010407 >/dev/null 2>&1 </dev/null
  tr -d '\r' <"$report"  # the robot reports in UTF-8
  echo "== After the uninstall:"
  show_state
  echo "== Pending deletion at the next restart of Windows:"
  wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null </dev/null |
    tr -d '\r' | grep -i pending | sed 's/^ */    /' || echo "    (none)"
  echo "== The Windows prefix stays in $prefix (WINEPREFIX=$prefix wine explorer lets you look around)."
}
[ "${1:-}" != --wine-part ] || { wine_part; exit; }

. "$root/tools/cmake_build.sh"
build_win "$win" Uninstall_Quorvex robot_cli wine_uninstall
echo "== Built $win/Uninstall_Quorvex.exe ($(stat -c %s "$win/Uninstall_Quorvex.exe") bytes)"
in_wine32 "$root/tools/demo.sh" --wine-part
