#!/usr/bin/env bash
# Exit 0 when this machine's kernel executes 32-bit x86 Linux code, which the
# packaged Wine needs for every 32-bit Windows program. Virtual machines whose
# kernel has IA-32 emulation switched off refuse such files ("Exec format
# error"); where qemu has been registered for them, they only seem to run.
loader=/usr/lib/wine/wine
[ -x "$loader" ] || { echo "runs_x86: $loader is missing (package wine32:i386)" >&2; exit 1; }
if grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
  echo "runs_x86: 32-bit x86 files go to qemu here, not to the kernel" >&2
  exit 1
fi
if ! out=$(timeout 30 "$loader" --version 2>&1); then
  echo "runs_x86: $loader does not run here: $out" >&2
  exit 1
fi
