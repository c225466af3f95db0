#!/usr/bin/env bash
# mkprefix.sh DIR win64|win32 [x11]
# Makes a throwaway Windows under Wine for tests and the demonstration:
# German locale, no crash debugger, headless (null graphics driver) unless
# "x11" is given, and user folders that are real directories inside the
# prefix instead of Wine's links into the Linux home.
# Leaves the prefix's wineserver running (persistent); end it with
# "WINEPREFIX=DIR wineserver -k".
set -euo pipefail
dir=$1 arch=$2 gfx=${3:-null}
export WINEPREFIX=$(realpath -m "$dir") WINEARCH=$arch WINEDEBUG=-all
# Wine writes the locale's layout as Preload "1": keep it German everywhere.
{ export LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8; } 2>/dev/null
export WINEDLLOVERRIDES="mscoree,mshtml="
# Boot with HOME inside the prefix's parent so nothing can link to the real home.
export HOME=$WINEPREFIX.home
rm -rf "$WINEPREFIX" "$HOME"; mkdir -p "$HOME" "$WINEPREFIX"
log=$WINEPREFIX.log
wineserver -p
timeout 600 wine wineboot -i >"$log" 2>&1 </dev/null
user=$(ls "$WINEPREFIX/drive_c/users" | grep -v '^Public$' | head -n1)
for d in "$WINEPREFIX/drive_c/users/$user"/*; do
  if [ -L "$d" ]; then rm -f "$d"; mkdir -p "$d"; fi
done
reg() { wine reg add "$@" /f >>"$log" 2>&1 </dev/null; }
[ "$gfx" = x11 ] || reg 'HKCU\Software\Wine\Drivers' /v Graphics /d null
reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d ''
reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1
if [ "$arch" = win64 ]; then
  reg 'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d ''
  reg 'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1
  # The 32-bit reg.exe reaches only the 32-bit view; the 64-bit one needs its own.
  reg64() { /usr/lib/wine/wine64 reg add "$@" /f >>"$log" 2>&1 </dev/null || true; }
  reg64 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d ''
  reg64 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1
fi
# The desktop process started by wineboot chose its display driver before
# the setting above existed: restart the prefix's server so the next process
# brings up a desktop with the right one.
wineserver -k; wineserver -w
wineserver -p
# Wine's desktop process ends a few seconds after the last program and costs
# about ten seconds to come back: keep one idle program running for the
# prefix's lifetime (ended with the server).
[ "$gfx" = x11 ] || nohup wine notepad >/dev/null 2>&1 </dev/null &
echo "$WINEPREFIX"
