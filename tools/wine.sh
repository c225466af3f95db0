#!/usr/bin/env bash
# Wine as the Windows under test, in two ways:
#
# Sourced (". tools/wine.sh", with root set), it gives the scripts
#   wine_env               the environment every Wine run here has,
#   in_wine32 SCRIPT ...   the script run where Wine runs 32-bit programs,
#   mkprefix DIR ARCH      a throwaway Windows to test in,
#   install_product BUILD  the product installed into it.
#
# Run ("tools/wine.sh PROGRAM ARGS..."), it starts a Windows program under the
# test prefix named by WINEPREFIX and hands back its exit code: ctest starts
# the test programs through it.

# German locale everywhere: Wine writes the locale's layout as Preload "1" at
# every process start, and converts command-line words through it.
wine_env() {
  export WINEDEBUG=${WINEDEBUG:--all}
  { export LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8; } 2>/dev/null
  # Under qemu, Wine's 32-bit side aborts at start when TMPDIR is set.
  unset TMPDIR
}

# Whether this machine's kernel executes 32-bit x86 Linux code, which the
# packaged Wine needs for every 32-bit Windows program. Virtual machines whose
# kernel has IA-32 emulation switched off refuse such files ("Exec format
# error"); where qemu has been registered for them, they only seem to run.
runs_x86() {
  local loader=/usr/lib/wine/wine out
  [ -x "$loader" ] || { echo "runs_x86: $loader is missing (package wine32:i386)" >&2; return 1; }
  if grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
    echo "runs_x86: 32-bit x86 files go to qemu here, not to the kernel" >&2
    return 1
  fi
  out=$(timeout 30 "$loader" --version 2>&1) || { echo "runs_x86: $loader does not run here: $out" >&2; return 1; }
}

# in_wine32 SCRIPT [ARGS...]: runs the script right here when the kernel
# executes 32-bit x86 code; otherwise inside the chroot of
# tools/wine32_chroot.sh, in a private mount namespace so that its mounts end
# with the script. The repository (and QUORVEX_BUILD) appear there under the
# same paths. The scripts call it on themselves with a marker argument to run
# their Wine part.
in_wine32() {
  if runs_x86; then
    bash "$@"; return
  fi
  local chroot
  chroot=$(bash "$root/tools/wine32_chroot.sh")
  echo "wine32: this machine cannot execute 32-bit x86 code; Wine runs in $chroot," \
       "with qemu-i386 executing its 32-bit side" >&2
  ROOT=$root unshare -m --propagation private bash -c '
    set -e; c=$1; shift
    mount -t proc proc "$c/proc"; mount --rbind /dev "$c/dev"
    for d in "$ROOT" ${QUORVEX_BUILD:+"$QUORVEX_BUILD"}; do
      mkdir -p "$c$d"; mount --bind "$d" "$c$d"
    done
    exec chroot "$c" /bin/bash -c "cd \"\$1\" && shift && exec bash \"\$@\"" _ "$ROOT" "$@"' \
    _ "$chroot" "$@"
}

# mkprefix DIR win64|win32 [x11]
# Makes a throwaway Windows under Wine: German locale, no crash debugger,
# headless (null graphics driver) unless "x11" is given, and user folders that
# are real directories inside the prefix instead of Wine's links into the
# Linux home. Leaves the prefix's wineserver running (persistent); end it with
# "WINEPREFIX=DIR wineserver -k".
mkprefix() (
  set -euo pipefail
  local dir=$1 arch=$2 gfx=${3:-null} user d
  wine_env
  export WINEPREFIX=$(realpath -m "$dir") WINEARCH=$arch WINEDLLOVERRIDES="mscoree,mshtml="
  # Boot with HOME inside the prefix's parent so nothing can link to the real home.
  export HOME=$WINEPREFIX.home
  rm -rf "$WINEPREFIX" "$HOME"; mkdir -p "$HOME" "$WINEPREFIX"
  local log=$WINEPREFIX.log
  wineserver -p
  timeout 600 wine wineboot -i >"$log" 2>&1 </dev/null
  user=$(ls "$WINEPREFIX/drive_c/users" | grep -v '^Public$' | head -n1)
  for d in "$WINEPREFIX/drive_c/users/$user"/*; do
    if [ -L "$d" ]; then rm -f "$d"; mkdir -p "$d"; fi
  done
  reg() { wine reg add "$@" /f >>"$log" 2>&1 </dev/null; }
  # The 32-bit reg.exe reaches only the 32-bit view; the 64-bit one needs its own.
  reg64() { /usr/lib/wine/wine64 reg add "$@" /f >>"$log" 2>&1 </dev/null || true; }
  [ "$gfx" = x11 ] || reg 'HKCU\Software\Wine\Drivers' /v Graphics /d null
  local aedebug='Microsoft\Windows NT\CurrentVersion\AeDebug'
  reg "HKLM\\Software\\$aedebug" /v Debugger /d ''
  reg "HKLM\\Software\\$aedebug" /v Auto /d 1
  if [ "$arch" = win64 ]; then
    reg "HKLM\\Software\\Wow6432Node\\$aedebug" /v Debugger /d ''
    reg "HKLM\\Software\\Wow6432Node\\$aedebug" /v Auto /d 1
    reg64 "HKLM\\Software\\$aedebug" /v Debugger /d ''
    reg64 "HKLM\\Software\\$aedebug" /v Auto /d 1
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
)

# install_product BUILD [--profiles]: lays the product's complete installation
# into the prefix of WINEPREFIX, as its installer would leave it: the very one
# the tests start from (the test harness of BUILD does it, started with
# --install); with --profiles also 50 profiles that are not logged on.
install_product() {
  local out build=$1; shift
  out=$("$root/tools/wine.sh" "$build/tests/wine_uninstall.exe" --install "$@") ||
    { echo "$out" >&2; echo "wine: no installation laid into $WINEPREFIX" >&2; return 1; }
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  # Output goes through a file: Wine's background services inherit a pipe
  # and would keep a reader waiting.
  set -u
  : "${WINEPREFIX:?WINEPREFIX must name a test prefix, never ~/.wine}"
  wine_env
  out=$(mktemp)
  timeout -k 5 "${WINERUN_TIMEOUT:-900}" wine "$@" >"$out" 2>&1 </dev/null
  rc=$?
  tr -d '\r' <"$out"
  rm -f "$out"
  exit $rc
fi
