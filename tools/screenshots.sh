#!/usr/bin/env bash
# Takes the README's pictures from a real uninstall under Xvfb with Wine's
# X11 driver: the question with the status window behind it, and the final
# report over the status window's last line. Writes docs/*.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine.sh"
win=$root/build/win

# Run under xvfb-run, where Wine runs 32-bit programs.
shots() {
  local prefix=$root/build/shot-prefix signal robot
  wine_env
  export WINEPREFIX=$prefix
  trap 'wineserver -k 2>/dev/null || true' EXIT
  mkprefix "$prefix" win64 x11
  # A Wine desktop of its own draws the title bars that a window manager
  # would otherwise draw.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 </dev/null
  wineserver -k; wineserver -w
  install_product "$win"
  mkdir -p "$root/docs"
  signal=$prefix.box
  rm -f "$signal"*
  # The robot answers "Ja", then OK, holding each box for a picture, moved
  # below the status window so that the window shows beside it.
  wine "$win/robot.exe" --answers yes,ok --hold 4000 --shift 150 --signal "Z:${signal//\//\\}" \
    -- 'C:\Program Files (x86)\Morvain\Uninstall_Quorvex.exe' E0010407 >/dev/null 2>&1 </dev/null &
  robot=$!
  wait_signal() {
    for _ in $(seq 1 300); do [ -f "$signal$1" ] && { sleep 1; return 0; }; sleep 0.2; done
    echo "screenshots: box $1 never appeared" >&2; return 1
  }
  shot() { import -window root -crop 600x420+212+280 +repage "$root/docs/$1"; }
  wait_signal 1
  shot question.png
  wait_signal 2
  shot finished.png
  wait $robot
}
case ${1:-} in
  --wine-part) exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$root/tools/screenshots.sh" --shots ;;
  --shots) shots; exit ;;
esac

. "$root/tools/cmake_build.sh"
build_win "$win" Uninstall_Quorvex robot_cli wine_uninstall
in_wine32 "$root/tools/screenshots.sh" --wine-part
echo "screenshots: docs/question.png docs/finished.png"
