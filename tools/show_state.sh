#!/usr/bin/env bash
# show_state.sh PREFIX: what of the product a Wine prefix holds.
set -u
export WINEPREFIX=$(realpath "$1") WINEDEBUG=-all
c=$WINEPREFIX/drive_c
q() { local out
      out=$(wine reg query "$@" 2>/dev/null </dev/null) || out="(key $1 missing)"
      out=$(tr -d '\r' <<<"$out" | grep -v '^$' || true)
      [ -n "$out" ] && [ "$out" != "$1" ] || out="$1 (no values)"
      sed 's/^/    /' <<<"$out"; }
echo "  Preload and Substitutes of the user:"
q 'HKCU\Keyboard Layout\Preload'
q 'HKCU\Keyboard Layout\Substitutes'
echo "  Installed layouts (HKLM ...\\Keyboard Layouts):"
q 'HKLM\System\CurrentControlSet\Control\Keyboard Layouts' | grep -i 'Keyboard Layouts\\' | sed 's/.*\\/      /'
echo "  Registration entry:"
q 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' /reg:32 | grep -i selvarin || echo "    (none)"
echo "  Files:"
( cd "$c" && ls -d windows/system32/Quorvex.DLL windows/syswow64/Quorvex.DLL \
    "Program Files (x86)/Morvain"/* "Program Files/Morvain"/* users/*/Desktop/*.lnk 2>/dev/null |
  sed 's/^/    C:\\/' ) || true
[ -n "$(cd "$c" && ls -d windows/system32/Quorvex.DLL "Program Files"*/Morvain users/*/Desktop/*.lnk 2>/dev/null)" ] || echo "    (no files of the product)"
