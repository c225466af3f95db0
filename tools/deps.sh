#!/usr/bin/env bash
# Installs what building and testing need, and only what is missing, so a
# second run costs seconds. Runs as root on Debian 12.
set -euo pipefail
pkgs=(locales wine wine32 wine64 g++-mingw-w64-i686 cmake xvfb imagemagick googletest libgtest-dev g++ cppcheck clang-tidy)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi
missing=()
for p in "${pkgs[@]}"; do
  # wine32 is an i386 package: ask for it with its architecture.
  q=$p; [ "$p" = wine32 ] && q=wine32:i386
  dpkg -s "$q" >/dev/null 2>&1 || missing+=("$q")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# Wine takes the keyboard layout it writes into Preload from the locale, and
# converts command-line words through it: the German one must exist.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
