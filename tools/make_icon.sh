#!/usr/bin/env bash
# Draws the program's icon, a keyboard seen from above, as one 256 x 256
# image and writes resources/keyboard.ico. Run it again after changing the
# drawing; the build uses the committed icon.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
draw=(-fill '#2f3640' -draw 'roundrectangle 8,56 248,208 22,22' -fill '#f5f6fa')
# Four rows of keys; the last row holds the space bar.
for row in 0 1 2; do
  y=$((72 + row * 34)); off=$((row * 6))
  for col in 0 1 2 3 4 5; do
    x=$((24 + off + col * 34))
    draw+=(-draw "roundrectangle $x,$y $((x + 28)),$((y + 26)) 5,5")
  done
done
draw+=(-draw 'roundrectangle 58,174 198,198 5,5')
draw+=(-fill '#e1b12c' -draw 'roundrectangle 22,174 50,198 5,5' -draw 'roundrectangle 206,174 234,198 5,5')
convert -size 256x256 xc:none "${draw[@]}" "$tmp/icon.png"
convert "$tmp/icon.png" -depth 8 -define icon:auto-resize=256 resources/keyboard.ico
