#!/usr/bin/env bash
# Pictures of the demo for the documentation: the window on the standard
# machine at start, during a Create (dots moving), after it (the restart
# question open) and on a machine that already has a Rapid Start partition.
# The demo runs in a Wine desktop on its own X server, so the frame is drawn;
# each picture is cut to the window. Writes docs/*.png.
#
# usage: scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/wine-flavour.sh
flavour=$(wine_flavour)
build="$root/$(wine_build_dir "$flavour")"
docs="$root/docs"
if [ ! -f "$build/OrvRapidStartDemo.exe" ] || [ ! -f "$build/orv_probe.exe" ]; then scripts/build.sh "${build##*/}"; fi
[ "$flavour" == 64 ] && use_wine64 "$build/wine64-bin"
mkdir -p "$docs"

work="$build/screenshots"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
probe="$build/orv_probe.exe"
demo="$build/OrvRapidStartDemo.exe"
title="Ortavel - Intel Rapid Start (Demo)"
screen=1024x768

rm -f "$work/display"  # a number left from an earlier run is not this server's
Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=":$(cat "$work/display")"
export DISPLAY
cleanup() {
  timeout 30 wineserver -k 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

w() { timeout 120 wine "$@" 2>/dev/null | tr -d '\r'; }
field() { sed -n "s/^$1=//p"; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "booting a Wine prefix for the pictures (about 20 s)"
  timeout 300 wineboot -i >/dev/null 2>&1
fi
# Wine's own fonts: Tahoma for the window, Marlett for the frame's buttons.
scripts/wine-fonts.py "$WINEPREFIX/drive_c/windows/Fonts" /usr/share/wine/fonts/*.ttf
# Every window in one Wine desktop of the screen's size: it draws the frames.
w reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
w reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$screen" /f >/dev/null
w reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null
timeout 60 wineserver -w

start_demo() {  # start_demo MACHINE: until the window shows its status line
  timeout 30 wineserver -k 2>/dev/null || true
  (cd "$build" && timeout 600 wine "$demo" "/MACHINE=$1" </dev/null >/dev/null 2>&1) &
  for _ in $(seq 120); do
    if [[ "$(status)" == Disk* ]]; then
      # Only now: Wine's desktop puts the pointer in the middle of the screen,
      # over a disk tile, whose hint would show in the picture.
      xdotool mousemove 0 0
      for _ in $(seq 20); do [ "$(w "$probe" tooltip 0 | field visible)" == 0 ] && break; sleep 0.2; done
      sleep 1
      return 0
    fi
    sleep 0.25
  done
  echo "screenshots: the demo did not show its window" >&2
  exit 1
}
status() { w "$probe" status "$title" | field status; }
wait_status() {  # wait_status PATTERN: until the status line matches the glob PATTERN (60 s at most)
  # shellcheck disable=SC2053  # a pattern on purpose
  for _ in $(seq 600); do [[ "$(status)" == $1 ]] && return 0; sleep 0.1; done
  echo "screenshots: the status line never matched $1" >&2
  exit 1
}
# shoot NAME: the screen cut to the window's frame, as docs/NAME.png
shoot() {
  local frame l t rest size
  frame=$(w "$probe" children "$title" | field frame)
  l=${frame%%,*} rest=${frame#*,} t=${rest%%,*} size=${rest#*,}
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$size+$l+$t" +repage -strip "$docs/$1.png"
  command -v optipng >/dev/null && optipng -quiet -o2 "$docs/$1.png"
  echo "docs/$1.png ($size)"
}

start_demo standard
shoot window
w "$probe" click "$title" Button Create yes >/dev/null  # yes: C: must shrink, and the window asks first
wait_status "*Creating *....."
wait_status "*Creating  ....."  # two blanks: the dots have moved
shoot creating
wait_status "*.....Done."
[ "$(w "$probe" answer Reboot 0 10000 | field found)" == 1 ] || { echo "screenshots: no restart question" >&2; exit 1; }
sleep 0.5
shoot "done"
w "$probe" answer Reboot 7 5000 >/dev/null

start_demo existing
shoot existing
