#!/usr/bin/env bash
# The tests that need the real Win32 layer and real processes, under Wine and
# Xvfb. Uses its own Wine prefixes below the build folder (a fresh prefix
# takes about 20 s to boot, so they are kept between runs).
#
# usage: tests/win32/run_wine_tests.sh WIN32_BUILD_DIR
set -u

build=$(cd "$1" && pwd)
work="$build/wine-tests"
mkdir -p "$work"
exe="$build/OrvRapidStart.exe"
probe="$build/orv_probe.exe"
pass=0
fail=0

ok() { pass=$((pass + 1)); echo "PASS  $1"; }
bad() { fail=$((fail + 1)); echo "FAIL  $1${2:+: $2}"; }
# expect NAME ACTUAL EXPECTED
expect() { if [ "$2" == "$3" ]; then ok "$1"; else bad "$1" "got '$2', want '$3'"; fi; }
# expect_range NAME VALUE LOW HIGH
expect_range() {
  if [ "$2" -ge "$3" ] && [ "$2" -le "$4" ]; then ok "$1"; else bad "$1" "got $2, want $3..$4"; fi
}
field() { sed -n "s/^$1=//p" | tr -d '\r'; }
ms_now() { date +%s%3N; }

# --- the executable itself -------------------------------------------------
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
unexpected=$(for d in $imports; do
  case "$d" in KERNEL32.DLL|USER32.DLL|GDI32.DLL|MSVCRT.DLL|OLE32.DLL|OLEAUT32.DLL|SETUPAPI.DLL|ADVAPI32.DLL|SHELL32.DLL|COMCTL32.DLL|GDIPLUS.DLL) ;;
    *) echo "$d" ;; esac; done)
expect "imports only system DLLs ($imports)" "$unexpected" ""
expect "32-bit GUI executable" "$(i686-w64-mingw32-objdump -f "$exe" | sed -n 's/.*file format //p') $(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^Subsystem[[:space:]]*//p' | tr -s ' \t' ' ')" "pei-i386 00000002 (Windows GUI)"
expect "manifest requires elevation" "$(grep -ac 'level="requireAdministrator"' "$exe")" "1"
expect "manifest lists no supported OS" "$(grep -ac 'supportedOS' "$exe")" "0"
expect "version resource" "$(LC_ALL=C grep -acP 'F\x00i\x00l\x00e\x00V\x00e\x00r\x00s\x00i\x00o\x00n\x00' "$exe")" "1"

helper="$build/amd64.exe"
expect "amd64.exe is a 64-bit console program" "$(x86_64-w64-mingw32-objdump -f "$helper" | sed -n 's/.*file format //p') $(x86_64-w64-mingw32-objdump -p "$helper" | sed -n 's/^Subsystem[[:space:]]*//p' | tr -s ' \t' ' ')" "pei-x86-64 00000003 (Windows CUI)"
expect "amd64.exe imports only system DLLs" "$(x86_64-w64-mingw32-objdump -p "$helper" | sed -n 's/.*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')" "KERNEL32.DLL MSVCRT.DLL "

# --- Wine and a display --------------------------------------------------------
export WINEDEBUG=-all
if [ -z "${ORV_WINE_DISPLAY:-}" ]; then
  # Room for the window at 144 DPI (1050 x 524 and its frame).
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$work/display")"
else
  export DISPLAY="$ORV_WINE_DISPLAY"
fi
cleanup() {
  WINEPREFIX="$work/prefix64" wineserver -k 2>/dev/null
  WINEPREFIX="$work/prefix32" wineserver -k 2>/dev/null
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

w() { timeout 120 wine "$@" 2>/dev/null; }
boot() {
  export WINEPREFIX="$1" WINEARCH="$2"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "booting $WINEARCH Wine prefix (about 20 s)"
    timeout 300 wineboot -i >/dev/null 2>&1
  fi
  timeout 60 wineserver -w
}
set_version() { timeout 60 wine winecfg -v "$1" >/dev/null 2>&1; timeout 60 wineserver -w; }
winpath() { winepath -w "$1" 2>/dev/null | tr -d '\r'; }
form_windows() { w "$probe" window | field form_windows; }
wait_forms() {  # wait_forms N: until N main windows are open (30 s at most)
  for _ in $(seq 60); do [ "$(form_windows)" == "$1" ] && return 0; sleep 0.5; done
  return 1
}

# --- 64-bit prefix: the program runs under WOW64 -------------------------------------
boot "$work/prefix64" win64

w "$build/orv_win32_tests.exe" --gtest_brief=1 > "$work/gtest.log"
if [ $? -eq 0 ]; then ok "Win32 layer tests ($(grep -ao 'PASSED.*' "$work/gtest.log" | tr -d '\r'))"; else bad "Win32 layer tests" "$(tr -d '\r' < "$work/gtest.log" | tail -20)"; fi

# Benchmark, not a pass/fail test: what the runner's worker spends while its
# child does nothing for 3 s (goal: 0.02 CPU seconds per second or less).
out=$(w "$probe" runner-cpu)
echo "benchmark: runner while a child sleeps 3 s: $(field cpu_seconds <<<"$out") CPU s in $(field wall_seconds <<<"$out") s, $(field cpu_per_wall <<<"$out") CPU s per s"

# The system Wine plays, the family and the name the detector composes.
while IFS='|' read -r version family name; do
  set_version "$version"
  out=$(w "$probe" osversion)
  expect "$version: family" "$(field family <<<"$out")" "$family"
  expect "$version: name" "$(field name <<<"$out")" "$name"
  expect "$version: logged name" "$(field logged <<<"$out")" "$name"
done <<'TABLE'
win7|6|Windows 7 Service Pack 1 7601 64-bit
win10|6| 9200 64-bit
vista|6|Windows Vista Service Pack 2 6002 64-bit
win2003|3|Windows Server 2003 Standard x64 Edition Service Pack 2 3790 64-bit
winxp64|3|Windows XP Professional x64 Edition Service Pack 2 3790 64-bit
TABLE

set_version win7
exe_w=$(winpath "$exe")

# The debug console, read back from the screen buffer: an empty first line,
# the upper-cased argument text, the start-up values, the system's name in
# yellow (14), then the disk block.
out=$(w "$probe" console "$exe_w" 3000 /DEBUG | tr -d '\r')
expect "/DEBUG console: argument text" "$(head -2 <<<"$out" | tr '\n' '~')" '7|~7|" /DEBUG~'
expect "/DEBUG console: start-up values" "$(sed -n '3,5p' <<<"$out" | grep -cE '^7\|(ExePath=.*\\build\\win32\\|TempDir=.*\\Temp\\|PhysicalMemorySize=[1-9][0-9]*)$')" "3"
expect "/DEBUG console: system name" "$(sed -n 6p <<<"$out")" '14|Windows 7 Service Pack 1 7601 64-bit'
# Wine's drive 0 is fixed but its layout is refused, so the disk is listed
# with its own number and no partitions, never stale data.
expect "/DEBUG console: disk block" "$(sed -n '7,12p' <<<"$out" | tr '\n' '~')" \
  '14|DiskIndex=0~7|DiskNum=0~7|PartitionStyle=Unknown (layout could not be read)~7|PartCount=0~7|RapidStartDiskIndex=-1~7|RapidStartPartIndex=-1~'
out=$(w "$probe" console "$exe_w" 3000 /debug | tr -d '\r')
expect "lower-case /debug opens the console" "$(sed -n 2p <<<"$out")" '7|" /DEBUG'
out=$(w "$probe" console "$exe_w" 3000 | tr -d '\r')
expect "without /DEBUG nothing is written" "$out" ""

# One instance per executable name.
(cd "$build" && w "$exe") &
first=$!
if wait_forms 1; then ok "first start shows its window"; else bad "first start shows its window"; fi
t0=$(ms_now); w "$exe"; code=$?; t1=$(ms_now)
expect "second start exits with 0" "$code" "0"
expect_range "second start ends at once (ms)" $((t1 - t0)) 0 5000
expect "second start shows no window" "$(form_windows)" "1"
expect "first instance still runs" "$(kill -0 $first 2>/dev/null && echo yes)" "yes"

cp "$exe" "$build/OrvRapidStartCopy.exe"
(cd "$build" && w "$build/OrvRapidStartCopy.exe") &
copy=$!
if wait_forms 2; then ok "a copy under another name is not blocked"; else bad "a copy under another name is not blocked"; fi

t0=$(ms_now); w "$exe" /UNINSTALL; code=$?; t1=$(ms_now)
expect "/UNINSTALL with a running instance exits with 0" "$code" "0"
expect_range "/UNINSTALL waits about 5 s after posting (ms)" $((t1 - t0)) 4900 9000
expect "running instance survives /UNINSTALL" "$(form_windows)" "2"
WINEPREFIX="$work/prefix64" wineserver -k; wait "$first" "$copy" 2>/dev/null

t0=$(ms_now); w "$exe" /UNINSTALL; code=$?; t1=$(ms_now)
expect "/UNINSTALL alone exits with 0" "$code" "0"
expect_range "/UNINSTALL alone ends at once (ms)" $((t1 - t0)) 0 3000

out=$(w "$probe" uninstall-target "$exe_w")
expect "/UNINSTALL posts 0x819E to TApplication/OrvRapidStart" "$(field received <<<"$out")" "1"
expect_range "/UNINSTALL returns after the wait (ms)" "$(field elapsed_ms <<<"$out")" 4900 9000
WINEPREFIX="$work/prefix64" wineserver -k

# --- 32-bit prefix: no WOW64 ------------------------------------------------
boot "$work/prefix32" win32
while IFS='|' read -r version family name; do
  set_version "$version"
  out=$(w "$probe" osversion)
  expect "32-bit $version: family" "$(field family <<<"$out")" "$family"
  expect "32-bit $version: name" "$(field name <<<"$out")" "$name"
done <<'TABLE'
winxp|1|Windows XP Professional Service Pack 3 2600 32-bit
win7|4|Windows 7 Service Pack 1 7601 32-bit
TABLE


# --- the window on screen: the demo on its simulated machines -----------------
# Back in the 64-bit prefix. Every window of the prefix lives in one Wine
# desktop: on a bare X server with no window manager Wine waits 2 s for one
# whenever a top-level window hides (the closing message box), and the window
# under test would stall for it.
boot "$work/prefix64" win64
set_version win7
cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
demo="$build/OrvRapidStartDemo.exe"
title="Ortavel - Intel Rapid Start (Demo)"
shots="$work/shots"
mkdir -p "$shots"
stop_file="$work/stop-hang"

wl() { local limit=$1; shift; timeout "$limit" wine "$@" 2>/dev/null | tr -d '\r'; }
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

demo_job=""
stop_demo() {
  timeout 30 wineserver -k 2>/dev/null
  [ -n "$demo_job" ] && wait "$demo_job" 2>/dev/null
  demo_job=""
}
status_now() { wl 30 "$probe" status "$title" | field status; }
start_demo() {  # start_demo MACHINE: true once the window shows its first status
  stop_demo
  xdotool mousemove 0 0  # no hover on the new window
  (cd "$build" && timeout 900 wine "$demo" "/MACHINE=$1" </dev/null >/dev/null 2>&1) &
  demo_job=$!
  for _ in $(seq 120); do
    if [[ "$(status_now)" == Disk* ]]; then sleep 1; return 0; fi  # and painted
    sleep 0.25
  done
  return 1
}
wait_status() {  # wait_status TEXT: until the status line reads TEXT (10 s at most)
  for _ in $(seq 50); do [ "$(status_now)" == "$1" ] && return 0; sleep 0.2; done
  return 1
}

kids=""
read_window() {  # the child list, and the client origin on the screen in ox, oy
  kids=$(wl 30 "$probe" children "$title")
  local origin
  origin=$(field origin <<<"$kids")
  ox=${origin%,*} oy=${origin#*,}
}
# The controls summed up from the child list, one line each: the disk
# pictures and the tile captions as visible:text or 0 when hidden, in tile
# order; the tile panels' places; the arrows' visibility (left, right); the
# size box as text:enabled; the buttons' enabled state; the note's visibility.
summary() {
  awk -F'|' '
    function shown(visible, text) { return visible == "1" ? "1:" text : "0" }
    function add(list, item) { return list == "" ? item : list "~" item }
    !/^child=/ { next }
    { sub(/^child=/, "") }
    $1 == "Static" && after_picture { labels = add(labels, shown($3, $2)) }
    { after_picture = 0 }
    $1 == "Button" && ($2 == "Previous disk" || $2 == "Next disk") { arrows = arrows $3; next }
    $1 == "Button" && $2 == "Create" { create = $4; next }
    $1 == "Button" && $2 == "Delete" { del = $4; next }
    $1 == "Button" { pictures = add(pictures, shown($3, $2)); tiles = add(tiles, panel); after_picture = 1 }
    $1 == "ComboBox" { combo = $2 ":" $4 }
    $1 == "Static" && $2 ~ /^Please make sure/ { note = $3 }
    { panel = $1 == "TOrvPanel" ? $5 : "" }
    END {
      printf "pictures=%s\nlabels=%s\ntiles=%s\narrows=%s\ncombo=%s\ncreate=%s\ndelete=%s\nnote=%s\n",
             pictures, labels, tiles, arrows, combo, create, del, note
    }' <<<"$kids"
}
of() { summary | field "$1"; }
place_of() {  # place_of TEXT: the place of the first child with that text
  awk -F'|' -v text="$1" '$2 == text { print $5; exit }' <<<"$kids"
}
centre_of() {  # centre_of TEXT: the screen point at the middle of that child
  local p l t size
  p=$(place_of "$1") l=${p%%,*} p=${p#*,} t=${p%%,*} size=${p#*,}
  echo "$((ox + l + ${size%x*} / 2)) $((oy + t + ${size#*x} / 2))"
}
hover() { read_window; xdotool mousemove $(centre_of "$1"); }
click_on() { hover "$1"; xdotool click 1; }
no_tooltip() {  # moves the mouse off the window and waits until no tooltip shows
  xdotool mousemove 0 0
  for _ in $(seq 20); do [ "$(wl 30 "$probe" tooltip 0 | field visible)" == 0 ] && return 0; sleep 0.2; done
  return 1
}
focus_text() { wl 30 "$probe" focus "$title" | field focus | cut -d'|' -f2; }

# Pixels of a screenshot, in client coordinates of the window read last.
shoot() { no_tooltip; sleep 0.3; import -window root "$shots/$1.png"; echo "$shots/$1.png"; }
rgb() {  # rgb SHOT X,Y...: the colours as r,g,b, one convert for them all
  local shot=$1 format="" x y
  shift
  for p in "$@"; do
    x=$((ox + ${p%,*})) y=$((oy + ${p#*,}))
    format+="%[fx:int(255*p{$x,$y}.r)],%[fx:int(255*p{$x,$y}.g)],%[fx:int(255*p{$x,$y}.b)] "
  done
  convert "$shot" -format "${format% }" info:
}
darkest() {  # darkest SHOT L,T,WxH: the darkest intensity in that area, 0..255
  local l=${2%%,*} rest=${2#*,}
  local t=${rest%%,*} size=${rest#*,}
  convert "$shot" -crop "$size+$((ox + l))+$((oy + t))" -format '%[fx:int(255*minima.intensity)]' info:
}
reddish() {  # reddish SHOT L,T,WxH: how many pixels of that area are red
  local l=${2%%,*} rest=${2#*,}
  local t=${rest%%,*} size=${rest#*,}
  convert "$1" -crop "$size+$((ox + l))+$((oy + t))" +repage -fx '(r > 0.55 && g < 0.35 && b < 0.35)' \
    -format '%[fx:int(mean * w * h + 0.5)]' info:
}
# The tiles whose panel shows the raised bevel: white top and left edges,
# dark (112) bottom and right edges.
marked_tiles() {
  local shot=$1 tiles p=0 marked="" l t size wd ht
  IFS='~' read -r -a tiles <<<"$(of tiles)"
  for place in "${tiles[@]}"; do
    l=${place%%,*} rest=${place#*,} t=${rest%%,*} size=${rest#*,} wd=${size%x*} ht=${size#*x}
    [ "$(rgb "$shot" "$((l + wd / 2)),$t" "$l,$((t + ht / 2))" "$((l + wd / 2)),$((t + ht - 1))" "$((l + wd - 1)),$((t + ht / 2))")" == \
      "255,255,255 255,255,255 112,112,112 112,112,112" ] && marked+="$p"
    p=$((p + 1))
  done
  echo "$marked"
}

#SECTION_REST
echo "wine: $pass passed, $fail failed"
[ "$fail" -eq 0 ]
