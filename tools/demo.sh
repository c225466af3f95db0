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

if ! bash "$root/tools/runs_x86.sh"; then
  echo "demo: this machine cannot execute 32-bit x86 code (the kernel's IA-32 emulation is off)," \
       "so Wine cannot run the 32-bit uninstaller; the demonstration needs a machine that can." >&2
  exit 2
fi

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
