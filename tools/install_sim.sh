#!/usr/bin/env bash
# install_sim.sh PREFIX EXE
# Lays a complete installation of the keyboard driver into a Wine prefix, as
# the product's installer would leave it: driver file, the layout's key, the
# user's layout lists, program folder, shortcuts, registration entry.
set -euo pipefail
export WINEPREFIX=$(realpath "$1") WINEDEBUG=-all
exe=$2
key=E0010407
c=$WINEPREFIX/drive_c
reg() { wine reg "$@" >/dev/null 2>&1 </dev/null; }
if [ -d "$c/windows/syswow64" ]; then
  programs="$c/Program Files (x86)"; sys64=$c/windows/system32; sys32=$c/windows/syswow64
else
  programs="$c/Program Files"; sys64=$c/windows/system32; sys32=
fi
layouts='HKLM\System\CurrentControlSet\Control\Keyboard Layouts'
reg add "$layouts\\$key" /v "Layout File" /d Quorvex.DLL /f
reg add "$layouts\\$key" /v "Layout Text" /d "Deutsch (DIN E1, Treiber V3.11)" /f
reg add "$layouts\\$key" /v "Layout Id" /d 00c1 /f
reg add "$layouts\\00000407" /v "Layout File" /d KBDGR.DLL /f
reg add "$layouts\\00000407" /v "Layout Text" /d Deutsch /f
reg add "$layouts\\00000409" /v "Layout File" /d KBDUS.DLL /f
reg add 'HKCU\Keyboard Layout\Preload' /v 1 /d 00000407 /f
reg add 'HKCU\Keyboard Layout\Preload' /v 2 /d d0010407 /f
reg add 'HKCU\Keyboard Layout\Substitutes' /v d0010407 /d $key /f
entry='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Tastaturbelegung DIN E1 (Treiber V3.11 "Selvarin")'
# The program reaches the entry through its own 32-bit registry view.
reg add "$entry" /reg:32 /v DisplayName /d "Tastaturbelegung DIN E1 (Treiber V3.11)" /f
reg add "$entry" /reg:32 /v UninstallString /d "\"C:\\Program Files\\Morvain\\Uninstall_Quorvex.exe\" $key" /f
echo "driver" >"$sys64/Quorvex.DLL"
[ -z "$sys32" ] || echo "driver" >"$sys32/Quorvex.DLL"
mkdir -p "$programs/Morvain"
cp "$exe" "$programs/Morvain/Uninstall_Quorvex.exe"
echo "%PDF-1.4 chart" >"$programs/Morvain/Tastaturbelegung E1 (V3.11) Schaubild.pdf"
echo "icon" >"$programs/Morvain/Tastaturbelegung E1 (V3.11) Schaubild.ico"
user=$(ls "$c/users" | grep -v '^Public$' | head -n1)
echo "shortcut" >"$c/users/$user/Desktop/Tastaturbelegung E1 (V3.11) Schaubild.lnk"
echo "shortcut" >"$c/users/Public/Desktop/Tastaturbelegung E1 (V3.11) Schaubild.lnk"
