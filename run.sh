#!/usr/bin/env bash
# Builds the program and starts the demo (the real window on a simulated PC)
# under Wine; --real starts OrvRapidStart.exe itself instead. Other arguments
# go to the program (for example /DEBUG, or /MACHINE=existing for the demo).
# Without a display it runs under Xvfb, saves a screenshot of its window to
# build/screenshot.png and closes again.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
. scripts/wine-flavour.sh
# Where 32-bit programs cannot run, the 64-bit build of the same sources.
flavour=$(wine_flavour)
build="$PWD/$(wine_build_dir "$flavour")"
if [ "$flavour" == 64 ]; then
  scripts/build.sh wine64
  use_wine64 "$build/wine64-bin"
else
  scripts/build.sh win32
fi

exe="$build/OrvRapidStartDemo.exe"
title='Ortavel - Intel Rapid Start (Demo)'
if [ "${1:-}" == "--real" ]; then
  shift
  exe="$build/OrvRapidStart.exe"
  title='Ortavel - Intel Rapid Start'
fi
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wine-run$flavour}" WINEDEBUG="${WINEDEBUG:--all}"

prepare_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] || { echo "run: preparing the Wine prefix (about 20 s)"; wineboot -i >/dev/null 2>&1; }
  # Wine does not load its own fonts into a new prefix: the window is drawn
  # in Tahoma, the frame's buttons in Marlett.
  scripts/wine-fonts.py "$WINEPREFIX/drive_c/windows/Fonts" /usr/share/wine/fonts/*.ttf
}

if [ -n "${DISPLAY:-}" ]; then
  prepare_prefix
  exec wine "$exe" "$@"
fi

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>build/run-display >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null; kill $xvfb 2>/dev/null' EXIT
for _ in $(seq 50); do [ -s build/run-display ] && break; sleep 0.1; done
export DISPLAY=":$(cat build/run-display)"
prepare_prefix

# A Wine desktop window draws the frame and title bar that a window manager
# would otherwise draw.
wine explorer /desktop=OrvRapidStart,1024x768 "$exe" "$@" >/dev/null 2>&1 &
for _ in $(seq 120); do
  xdotool search --name "^$(sed 's/[()]/\\&/g' <<<"$title")\$" >/dev/null 2>&1 && break
  sleep 0.5
done
# The pointer starts mid-screen, over a tile, whose hint would then cover the
# strip; Xvfb moves it only once a window is up.
xdotool mousemove 0 0 >/dev/null 2>&1
sleep 2
import -window root build/screenshot.png
echo "run: screenshot of the window saved to $PWD/build/screenshot.png"
