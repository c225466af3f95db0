#!/usr/bin/env bash
# The shipped program imports only Windows system DLLs and carries its icon,
# manifest and version block.
set -euo pipefail
exe=$1
dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print toupper($3)}' | sort -u)
for d in $dlls; do
  case $d in
    KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|SHELL32.DLL|MSVCRT.DLL) ;;
    *) echo "check_exe: $exe imports $d, not a Windows system DLL" >&2; exit 1 ;;
  esac
done
text=$(strings "$exe"); wide=$(strings -el "$exe")
grep -q 'requireAdministrator' <<<"$text" || { echo "check_exe: no manifest" >&2; exit 1; }
grep -q '^AAPROGRAMICON$' <<<"$wide" || { echo "check_exe: no icon group AAPROGRAMICON" >&2; exit 1; }
grep -q '^3.11.0.0$' <<<"$wide" || { echo "check_exe: no version 3.11.0.0" >&2; exit 1; }
# No time stamp: the same source must give the same file.
headers=$(i686-w64-mingw32-objdump -p "$exe")
grep -q '^Time/Date.*1970' <<<"$headers" || { echo "check_exe: the PE header carries a time stamp" >&2; exit 1; }
echo "check_exe: $(stat -c %s "$exe") bytes, imports: $(echo $dlls)"
