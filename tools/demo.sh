#!/usr/bin/env bash
# Builds the uninstaller and runs a demonstration uninstall under Wine: a
# throwaway 64-bit Windows with a complete simulated installation, the
# installed program started with the layout key as Windows would, the
# question answered "Ja" by the window robot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/deps.sh"
. "$root/tools/flavour.sh"
make_build "$root/build/win" mingw-i686 Uninstall_Quorvex
echo "== Built $root/build/win/Uninstall_Quorvex.exe ($(stat -c %s "$root/build/win/Uninstall_Quorvex.exe") bytes)"
make_build "$win" $toolchain Uninstall_Quorvex robot_cli

prefix=$root/build/demo-prefix
export WINEPREFIX=$prefix WINEDEBUG=-all
{ export LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8; } 2>/dev/null
trap 'wineserver -k 2>/dev/null || true' EXIT
echo "== Making a 64-bit Windows under Wine in $prefix ..."
"$root/tools/mkprefix.sh" "$prefix" win64 >/dev/null
"$root/tools/install_sim.sh" "$prefix" "$win/Uninstall_Quorvex.exe" $bits
echo "== Before the uninstall:"
"$root/tools/show_state.sh" "$prefix" $bits

echo "== Running $folder\\Uninstall_Quorvex.exe E0010407, answering Ja, then OK:"
report=$prefix.report.txt
${WINE:-wine} "$win/robot.exe" --answers yes,ok --status Uninstall_Quorvex --timeout 60000 \
  --report 'Z:'"${report//\//\\}" -- "$folder\\Uninstall_Quorvex.exe" E0010407 >/dev/null 2>&1 </dev/null
iconv -f CP1252 -t UTF-8 "$report" | tr -d '\r'
echo "== After the uninstall:"
"$root/tools/show_state.sh" "$prefix" $bits
echo "== Pending deletion at the next restart of Windows:"
${WINE:-wine} reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
  2>/dev/null </dev/null | tr -d '\r' | grep -i pending | sed 's/^ */    /' || echo "    (none)"
echo "== The Windows prefix stays in $prefix (WINEPREFIX=$prefix ${WINE:-wine} explorer lets you look around)."
