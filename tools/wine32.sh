#!/usr/bin/env bash
# wine32.sh SCRIPT [ARGS...]: runs a script of this repository where Wine runs
# 32-bit Windows programs. Right here when the kernel executes 32-bit x86
# code; otherwise inside the chroot of tools/wine32_chroot.sh, in a private
# mount namespace, so that its mounts end with the script. The repository
# (and QUORVEX_BUILD) appear there under the same paths.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if bash "$root/tools/runs_x86.sh"; then
  exec bash "$@"
fi
chroot=$(bash "$root/tools/wine32_chroot.sh")
echo "wine32: this machine cannot execute 32-bit x86 code; Wine runs in $chroot," \
     "with qemu-i386 executing its 32-bit side" >&2
ROOT=$root exec unshare -m --propagation private bash -c '
  set -e; c=$1; shift
  mount -t proc proc "$c/proc"; mount --rbind /dev "$c/dev"
  for d in "$ROOT" ${QUORVEX_BUILD:+"$QUORVEX_BUILD"}; do
    mkdir -p "$c$d"; mount --bind "$d" "$c$d"
  done
  exec chroot "$c" /bin/bash -c "cd \"\$1\" && shift && exec bash \"\$@\"" _ "$PWD" "$@"' \
  _ "$chroot" "$@"
