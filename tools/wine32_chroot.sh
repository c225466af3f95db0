#!/usr/bin/env bash
# Makes, once, a Debian chroot whose Wine runs 32-bit Windows programs with
# qemu's user-mode emulator standing in for the kernel's missing IA-32
# support, and registers that emulator for 32-bit x86 files. Prints its path.
# A chroot made before a package joined the list below gets it added.
set -euo pipefail
dir=${QUORVEX_CHROOT:-/var/tmp/quorvex-wine32}
# Wine and its emulator for the tests; Xvfb, xauth (for xvfb-run), ImageMagick
# and Wine's own fonts (the title bars' button symbols) for the pictures.
pkgs=(wine wine32:i386 wine64 qemu-user-static cmake locales xvfb xauth imagemagick fonts-wine)
in_chroot() {
  unshare -m --propagation private bash -c '
    mount -t proc proc "$1/proc" && mount --rbind /dev "$1/dev" && chroot "$1" /bin/bash -c "$2"' _ "$dir" "$1"
}
if [ ! -e "$dir/.quorvex-wine32" ]; then
  command -v debootstrap >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
  echo "wine32_chroot: making $dir (a few minutes, once)" >&2
  rm -rf --one-file-system "$dir"
  # Trixie, not bookworm: under bookworm's qemu (7.2) Wine's 32-bit loader
  # never gets past reserving its address space; trixie's Wine and qemu run.
  debootstrap --variant=minbase trixie "$dir" http://deb.debian.org/debian >"$dir.log" 2>&1 ||
    { tail -20 "$dir.log" >&2; exit 1; }
  touch "$dir/.quorvex-wine32"
fi
if ! chroot "$dir" dpkg -s "${pkgs[@]}" >/dev/null 2>&1; then
  echo "wine32_chroot: installing what $dir lacks of: ${pkgs[*]}" >&2
  in_chroot "dpkg --add-architecture i386 && apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ${pkgs[*]} &&
    localedef -i de_DE -f UTF-8 de_DE.UTF-8" >>"$dir.log" 2>&1 ||
    { tail -20 "$dir.log" >&2; exit 1; }
fi
entry=/proc/sys/fs/binfmt_misc/qemu-i386
[ -d /proc/sys/fs/binfmt_misc ] && [ -e /proc/sys/fs/binfmt_misc/register ] ||
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
if ! grep -qx "interpreter $dir/usr/bin/qemu-i386-static" "$entry" 2>/dev/null; then
  [ ! -e "$entry" ] || echo -1 >"$entry"
  # F: the kernel opens the emulator now, so it is found from inside the chroot too.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:' \
    '\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:' \
    "$dir/usr/bin/qemu-i386-static:F" >/proc/sys/fs/binfmt_misc/register
fi
echo "$dir"
