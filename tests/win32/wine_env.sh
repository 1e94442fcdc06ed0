# Shared by the scripts that run the program under Wine and Xvfb: a display,
# Wine prefixes, and the helpers that start the demo and read its window.
# Sourced, never run. The caller sets build (the Windows build folder, of
# either flavour) and work (a folder for prefixes and files) first; flavour
# is then 32 or 64.
#
# ORV_WINE_DISPLAY: an X display to use instead of starting Xvfb.
# ORV_WINE_PREFIX: a 64-bit prefix already set up as window_prefix does, to
# use instead of one below work (how the test suite runs the scripts' short
# slices in its own prefix).

export WINEDEBUG=-all
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-flavour.sh"
# The flavour is the build's: a PE32+ program runs under wine64.
flavour=32
if x86_64-w64-mingw32-objdump -f "$build/OrvRapidStart.exe" 2>/dev/null | grep -q 'file format pei-x86-64'; then
  flavour=64
  use_wine64 "$work/wine64-bin"
fi
probe="$build/orv_probe.exe"
demo="$build/OrvRapidStartDemo.exe"
title="Ortavel - Intel Rapid Start (Demo)"

field() { sed -n "s/^$1=//p" | tr -d '\r'; }
ms_now() { date +%s%3N; }
# The median of numbers, one per line; - for none.
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

wine_prefixes=()
xvfb_pid=""
wine_cleanup() {
  local p
  for p in "${wine_prefixes[@]}"; do WINEPREFIX="$p" wineserver -k 2>/dev/null; done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap wine_cleanup EXIT

# wine_display: a display for the windows.
wine_display() {
  if [ -z "${ORV_WINE_DISPLAY:-}" ]; then
    # Room for the window at 144 DPI (1050 x 524 and its frame).
    rm -f "$work/display"  # a number left from an earlier run is not this server's
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$work/display")"
  else
    export DISPLAY="$ORV_WINE_DISPLAY"
  fi
}

w() { timeout 120 wine "$@" 2>/dev/null; }
wl() { local limit=$1; shift; timeout "$limit" wine "$@" 2>/dev/null | tr -d '\r'; }
boot() {  # boot PREFIX ARCH
  export WINEPREFIX="$1" WINEARCH="$2"
  case " ${wine_prefixes[*]} " in *" $1 "*) ;; *) wine_prefixes+=("$1") ;; esac
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "booting $WINEARCH Wine prefix (about 20 s)"
    timeout 300 wineboot -i >/dev/null 2>&1
  fi
  timeout 60 wineserver -w
}
set_version() { timeout 60 wine winecfg -v "$1" >/dev/null 2>&1; timeout 60 wineserver -w; }
winpath() { winepath -w "$1" 2>/dev/null | tr -d '\r'; }
set_reg() { w reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null; }
set_desktop() {  # set_desktop on|off
  if [ "$1" == on ]; then
    set_reg 'HKCU\Software\Wine\Explorer' Desktop REG_SZ Default
    set_reg 'HKCU\Software\Wine\Explorer\Desktops' Default REG_SZ "$(xdotool getdisplaygeometry | tr ' ' x)"
  else
    w reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f >/dev/null
  fi
}
set_dpi() { set_reg 'HKCU\Control Panel\Desktop' LogPixels REG_DWORD "$1"; }

# window_prefix: the 64-bit prefix as the window tests set it up: Windows 7,
# the real Tahoma, one Wine desktop (on a bare X server with no window
# manager Wine waits 2 s for one whenever a top-level window hides), 96 DPI.
window_prefix() {
  if [ -n "${ORV_WINE_PREFIX:-}" ]; then boot "$ORV_WINE_PREFIX" win64; return; fi
  boot "$work/prefix64" win64
  set_version win7
  "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-fonts.py" "$WINEPREFIX/drive_c/windows/Fonts" /usr/share/wine/fonts/tahoma*.ttf
  set_desktop on
  set_dpi 96
}

demo_job=""
stop_demo() {
  timeout 30 wineserver -k 2>/dev/null
  [ -n "$demo_job" ] && wait "$demo_job" 2>/dev/null
  demo_job=""
}
# ask_probe LIMIT QUERY...: a probe query that reads and changes nothing. A probe
# that ran prints at least one line; one killed on a loaded machine prints
# nothing and is asked again, three times at most.
ask_probe() {
  local out
  for _ in 1 2 3; do
    out=$(wl "$1" "$probe" "${@:2}")
    [ -n "$out" ] && break
  done
  printf '%s\n' "$out"
}
status_now() { ask_probe 60 status "$title" | field status; }
start_demo() {  # start_demo MACHINE [SWITCH...]: true once the window shows its first status
  stop_demo
  (cd "$build" && timeout 3600 wine "$demo" "/MACHINE=$1" "${@:2}" </dev/null >/dev/null 2>&1) &
  demo_job=$!
  for _ in $(seq 120); do
    if [[ "$(status_now)" == @(Disk*|No fixed disk found.) ]]; then
      # No hover on the new window. Moved only now: Xvfb left the pointer
      # where it was while no window of Wine was open.
      xdotool mousemove 0 0
      sleep 1  # and painted
      return 0
    fi
    sleep 0.25
  done
  return 1
}
wait_status() {  # wait_status TEXT: until the status line reads TEXT (10 s at most)
  for _ in $(seq 50); do [ "$(status_now)" == "$1" ] && return 0; sleep 0.2; done
  return 1
}

unix_pid() {  # unix_pid NAME: the Unix process of that name (cut to 15 characters) in this prefix
  local p
  for p in $(pgrep -x "${1:0:15}"); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && { echo "$p"; return; }
  done
}
demo_pid() { unix_pid OrvRapidStartDemo.exe; }
cpu_ticks() {  # user and system time of a process, in clock ticks
  if [ -n "$1" ] && [ -r "/proc/$1/stat" ]; then sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; else echo 0; fi
}
cpu_seconds() { awk -v t="$1" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", t / hz }'; }
