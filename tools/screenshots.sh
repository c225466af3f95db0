#!/usr/bin/env bash
# Takes the README's pictures from a real uninstall under Xvfb with Wine's
# X11 driver: the question with the status window behind it, and the final
# report over the status window's last line. Writes docs/*.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/deps.sh"
exe=$root/build/win/Uninstall_Quorvex.exe
[ -f "$exe" ] || bash "$root/tools/demo.sh" >/dev/null
prefix=$root/build/shot-prefix
export WINEPREFIX=$prefix WINEDEBUG=-all LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"; fi
trap 'wineserver -k 2>/dev/null || true' EXIT
"$root/tools/mkprefix.sh" "$prefix" win64 x11 >/dev/null
# A Wine desktop of its own draws the title bars that a window manager
# would otherwise draw.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 </dev/null
wineserver -k; wineserver -w
"$root/tools/install_sim.sh" "$prefix" "$exe"
mkdir -p "$root/docs"
signal=$prefix.box
rm -f "$signal"*
# The robot answers "Ja", then OK, holding each box for a picture, moved
# below the status window so that the window shows beside it.
wine "$root/build/win/robot.exe" --answers yes,ok --hold 4000 --shift 150 --signal "Z:${signal//\//\\}" \
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
echo "screenshots: docs/question.png docs/finished.png"
