#!/usr/bin/env bash
# demo_run.sh BUILD: the Wine part of tools/demo.sh, run through tools/wine32.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=$1
prefix=$root/build/demo-prefix
export WINEPREFIX=$prefix WINEDEBUG=-all
{ export LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8; } 2>/dev/null
trap 'wineserver -k 2>/dev/null || true' EXIT
echo "== Making a 64-bit Windows under Wine in $prefix ..."
"$root/tools/mkprefix.sh" "$prefix" win64 >/dev/null
"$root/tools/install_sim.sh" "$prefix" "$win/Uninstall_Quorvex.exe"
echo "== Before the uninstall:"
"$root/tools/show_state.sh" "$prefix"

echo "== Running C:\\Program Files (x86)\\Morvain\\Uninstall_Quorvex.exe E0010407, answering Ja, then OK:"
report=$prefix.report.txt
wine "$win/robot.exe" --answers yes,ok --status Uninstall_Quorvex --timeout 60000 --report 'Z:'"${report//\//\\}" \
  -- 'C:\Program Files (x86)\Morvain\Uninstall_Quorvex.exe' E0010407 >/dev/null 2>&1 </dev/null
iconv -f CP1252 -t UTF-8 "$report" | tr -d '\r'
echo "== After the uninstall:"
"$root/tools/show_state.sh" "$prefix"
echo "== Pending deletion at the next restart of Windows:"
wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null </dev/null |
  tr -d '\r' | grep -i pending | sed 's/^ */    /' || echo "    (none)"
echo "== The Windows prefix stays in $prefix (WINEPREFIX=$prefix wine explorer lets you look around)."
