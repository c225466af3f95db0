#!/usr/bin/env bash
# Runs every test: the Windows-free logic natively under the sanitizers, then
# the program and its tests under Wine in a fresh 64-bit and 32-bit prefix.
# Installs what is missing first.
#   bash tools/test.sh            everything, with the exe, reproducibility
#                                 and static checks
#   bash tools/test.sh -R NAME    only the Wine tests CTest selects by the
#                                 arguments (and the native tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine.sh"

# The Wine part, run where Wine runs 32-bit programs: a fresh 64-bit and
# 32-bit prefix, each made as the user CTest runs its tests as (the build's
# QUORVEX_TEST_USER_<arch>), and every test program of BUILD in both.
wine_part() {
  win=$1; shift
  # The prefixes' servers end with the run.
  trap 'for a in 64 32; do [ ! -d "$win/prefix$a" ] || WINEPREFIX=$win/prefix$a wineserver -k 2>/dev/null || true; done' EXIT
  test_user() { sed -n "s/^QUORVEX_TEST_USER_$1:[A-Z]*=//p" "$win/CMakeCache.txt"; }
  USER=$(test_user 64) mkprefix "$win/prefix64" win64 & local p64=$!
  USER=$(test_user 32) mkprefix "$win/prefix32" win32 & local p32=$!
  wait $p64 $p32
  cd "$win" && ctest --output-on-failure --no-tests=error -j 2 "$@"
}
[ "${1:-}" != --wine-part ] || { shift; wine_part "$@"; exit; }

# The shipped program imports only Windows system DLLs and none of their
# narrow (ANSI) functions that have a wide twin, carries its icon, manifest
# and version block, and no time stamp.
check_exe() {
  local exe=$1 dlls d text wide headers narrow f
  dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print toupper($3)}' | sort -u)
  for d in $dlls; do
    case $d in
      KERNEL32.DLL|USER32.DLL|GDI32.DLL|ADVAPI32.DLL|SHELL32.DLL|MSVCRT.DLL) ;;
      *) echo "check_exe: $exe imports $d, not a Windows system DLL" >&2; return 1 ;;
    esac
  done
  # An import "xxxA" whose "xxxW" the system libraries export converts through the code page.
  narrow=$(i686-w64-mingw32-objdump -p "$exe" | awk 'NF == 3 && $1 ~ /^[0-9a-f]+$/ && $3 ~ /A$/ {print $3}')
  for f in $narrow; do
    if i686-w64-mingw32-nm /usr/i686-w64-mingw32/lib/lib{kernel32,user32,gdi32,advapi32,shell32}.a 2>/dev/null |
      grep -qE " __imp__${f%A}W(@|$)"; then
      echo "check_exe: $exe imports the narrow $f" >&2; return 1
    fi
  done
  text=$(strings "$exe"); wide=$(strings -el "$exe"); headers=$(i686-w64-mingw32-objdump -p "$exe")
  grep -q 'requireAdministrator' <<<"$text" || { echo "check_exe: no manifest" >&2; return 1; }
  grep -q '^AAPROGRAMICON$' <<<"$wide" || { echo "check_exe: no icon group AAPROGRAMICON" >&2; return 1; }
  grep -q '^3.11.0.0$' <<<"$wide" || { echo "check_exe: no version 3.11.0.0" >&2; return 1; }
  grep -q '^Time/Date.*1970' <<<"$headers" || { echo "check_exe: the PE header carries a time stamp" >&2; return 1; }
  echo "check_exe: $(stat -c %s "$exe") bytes, imports: $(echo $dlls)"
}

# Builds the program twice from scratch in two different folders: the same
# source must give the same file, byte for byte.
repro_check() (
  work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
  export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}
  for n in 1 2; do
    targets=Uninstall_Quorvex build "$work/b$n" mingw-i686 -DCMAKE_BUILD_TYPE=MinSizeRel -DQUORVEX_TESTS=OFF
  done
  cmp "$work/b1/Uninstall_Quorvex.exe" "$work/b2/Uninstall_Quorvex.exe" ||
    { echo "reproducible: the two builds differ" >&2; exit 1; }
  echo "reproducible: two builds give the same $(stat -c %s "$work/b1/Uninstall_Quorvex.exe") bytes"
)

# cppcheck and clang-tidy over the program's code; any finding fails.
# Checks left out on purpose: C-style variadic functions (the box family
# hands its arguments to wvsprintfA), and the noisy naming and
# parameter-order heuristics.
static_checks() (
  set +e
  cd "$root"
  src=$(ls frame/*.cpp files/*.cpp layouts/*.cpp uninstall/*.cpp)
  status=0
  out=$(cppcheck --enable=warning,style,performance,portability --std=c++17 --platform=win32W \
    --inline-suppr --quiet -I . --suppress=missingIncludeSystem $src 2>&1)
  [ -z "$out" ] || { echo "$out"; status=1; }
  # clang-tidy parses for the program's target with mingw's own headers.
  inc=$(echo | i686-w64-mingw32-g++-posix -xc++ -E -v - 2>&1 |
    sed -n '/search starts here/,/End of search list/p' | grep '^ ' | sed 's/^ /-isystem/')
  checks='-*,bugprone-*,clang-analyzer-*,cert-*,-cert-dcl50-cpp,-bugprone-easily-swappable-parameters'
  checks+=',-bugprone-reserved-identifier,-cert-dcl37-c,-cert-dcl51-cpp,-cert-err58-cpp'
  out=$(clang-tidy -quiet -checks="$checks" $src -- --target=i686-w64-mingw32 -std=c++17 -I. \
    -nostdinc++ $inc 2>&1 | grep -E '^/.*(warning|error):' || true)
  [ -z "$out" ] || { echo "$out"; status=1; }
  [ $status = 0 ] && echo "static checks: cppcheck and clang-tidy found nothing"
  exit $status
)

# QUORVEX_BUILD puts builds and prefixes elsewhere, so runs can go side by side.
out=$(realpath -m "${QUORVEX_BUILD:-$root/build}")
export QUORVEX_BUILD=$out
mkdir -p "$out"
. "$root/tools/cmake_build.sh"
win=$out/win
build_win "$win"
build "$out/native" "" -DCMAKE_BUILD_TYPE=Debug

if [ $# -eq 0 ]; then
  check_exe "$win/Uninstall_Quorvex.exe"
  repro_check
  static_checks
fi
(cd "$out/native" && ctest --output-on-failure --no-tests=error)
in_wine32 "$root/tools/test.sh" --wine-part "$win" "$@"
program=$(cat "$root"/main.cpp "$root"/{frame,uninstall,layouts,files}/*.{cpp,h} | wc -l)
tests=$(cat "$root"/tests/* | wc -l)
LC_ALL=C awk -v t="$tests" -v p="$program" \
  'BEGIN {printf "tests/program lines: %d/%d = %.2f\n", t, p, t / p}'
