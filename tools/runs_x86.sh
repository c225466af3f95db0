#!/usr/bin/env bash
# Exit 0 when this machine can execute 32-bit x86 Linux code, which Wine
# needs for every 32-bit Windows program. Virtual machines whose kernel has
# IA-32 emulation switched off refuse such files with "Exec format error".
loader=/usr/lib/wine/wine
[ -x "$loader" ] || { echo "runs_x86: $loader is missing (package wine32:i386)" >&2; exit 1; }
if ! out=$(timeout 30 "$loader" --version 2>&1); then
  echo "runs_x86: $loader does not run here: $out" >&2
  exit 1
fi
