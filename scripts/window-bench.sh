#!/usr/bin/env bash
# Figures of the demo's window under Wine and Xvfb, as "benchmark:" lines:
#   sizes of the two executables;
#   launch to a fully painted window, against Wine's notepad to visible, and
#   an empty window of the same frame from a minimal program (the probe) as
#   the floor any program pays here;
#   CPU of a full repaint and of a status line repaint;
#   CPU of the idle window;
#   the window's replies during a Create with a shrink.
# Figures only: it fails when something does not run, never on a time.
#
# usage: scripts/window-bench.sh [--rounds N] [--repaints N] [--idle SECONDS]
#                                [--no-create] [--busy N] [WIN32_BUILD_DIR]
#   --no-create  leaves the Create out (it takes about 25 s)
#   --busy N     N processes spin on the CPU during the Create, to show what
#                waiting for a CPU does to the replies
set -u
rounds=5 repaints=100 idle=30 create=1 busy=0 dir=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --repaints) repaints=$2; shift 2 ;;
    --idle) idle=$2; shift 2 ;;
    --no-create) create=0; shift ;;
    --busy) busy=$2; shift 2 ;;
    *) dir=$1; shift ;;
  esac
done
. "$(dirname "$0")/wine-flavour.sh"
build=$(cd "${dir:-$(dirname "$0")/../$(wine_build_dir "$(wine_flavour)")}" && pwd)
work="$build/wine-bench"
mkdir -p "$work"
. "$(dirname "$0")/../tests/win32/wine_env.sh"
failed=0

load() { cut -d' ' -f1-3 /proc/loadavg; }

for f in OrvRapidStart.exe OrvRapidStartDemo.exe; do
  bytes=$(stat -c %s "$build/$f")
  echo "benchmark: size of $f: $bytes bytes, $(awk -v b="$bytes" 'BEGIN { printf "%.2f", b / 1048576 }') MiB (goal <= 1572864 bytes)"
done

wine_display
window_prefix
stop_demo  # one instance at a time: a demo left running would make each start end at once
wineserver -p  # warm: the server outlives every process between rounds
echo "benchmark: load average at the start: $(load)"

# --- launch ------------------------------------------------------------------
# Fully painted (see "probe launch"): visible, the status line shows its
# first text, no window of the program waits for WM_PAINT, and it answered a
# WM_NULL sent after that. The probe then watches the screen for a second:
# pixels_changed_after_ms 0 means the pixels at "painted" were the final ones.
demo_w=$(winpath "$demo")
launch() { (cd "$build" && wl 120 "$probe" launch "$@"); }
launch Disk 60000 "$demo_w" /MACHINE=standard >/dev/null  # the first start reads the files from disk
launch - 60000 notepad.exe >/dev/null
probe_w=$(winpath "$probe")
launch - 60000 "$probe_w" empty-window >/dev/null
demo_painted=() demo_visible=() notepad_visible=() notepad_painted=() empty_painted=()
for round in $(seq "$rounds"); do
  d=$(launch Disk 60000 "$demo_w" /MACHINE=standard)
  n=$(launch - 60000 notepad.exe)
  e=$(launch - 60000 "$probe_w" empty-window)
  if [ "$(field painted_ms <<<"$d")" == -1 ] || [ "$(field visible_ms <<<"$n")" == -1 ] ||
     [ "$(field painted_ms <<<"$e")" == -1 ]; then
    echo "window-bench: round $round: a window did not show"; failed=1; continue
  fi
  demo_visible+=("$(field visible_ms <<<"$d")") demo_painted+=("$(field painted_ms <<<"$d")")
  notepad_visible+=("$(field visible_ms <<<"$n")") notepad_painted+=("$(field painted_ms <<<"$n")")
  empty_painted+=("$(field painted_ms <<<"$e")")
  echo "benchmark: launch round $round: demo visible $(field visible_ms <<<"$d") ms, fully painted $(field painted_ms <<<"$d") ms (screen changed $(field pixels_changed_after_ms <<<"$d") ms after); notepad visible $(field visible_ms <<<"$n") ms, painted $(field painted_ms <<<"$n") ms; empty window painted $(field painted_ms <<<"$e") ms"
done
if [ ${#demo_painted[@]} -gt 0 ]; then
  dm=$(printf '%s\n' "${demo_painted[@]}" | median) nm=$(printf '%s\n' "${notepad_visible[@]}" | median)
  em=$(printf '%s\n' "${empty_painted[@]}" | median)
  echo "benchmark: launch medians of ${#demo_painted[@]} rounds: demo visible $(printf '%s\n' "${demo_visible[@]}" | median) ms, fully painted $dm ms; notepad visible $nm ms, painted $(printf '%s\n' "${notepad_painted[@]}" | median) ms; ratio demo painted / notepad visible $(awk -v a="$dm" -v b="$nm" 'BEGIN { printf "%.2f", a / b }') (goal <= 1.0)"
  echo "benchmark: launch floor: an empty window painted $em ms, $(awk -v a="$em" -v b="$nm" 'BEGIN { printf "%.2f", a / b }') of notepad visible; the demo's window costs $(awk -v a="$dm" -v b="$em" 'BEGIN { printf "%.0f", a - b }') ms above it"
fi

# --- repaint and idle ----------------------------------------------------------
if start_demo standard; then
  xp=${xvfb_pid:-}
  pids="$(demo_pid),$(unix_pid 'wineserver(64)?')${xp:+,$xp}"
  for what in form status; do
    count=$repaints
    [ "$what" == status ] && count=$((repaints * 4))  # a cheap paint: more of them for the clock's 10 ms ticks
    out=$(wl 600 "$probe" repaint "$title" "$what" "$count" 10 "$pids")
    if [ "$(field found <<<"$out")" != 1 ]; then echo "window-bench: repaint $what: no window"; failed=1; continue; fi
    others=$(sed -n 's/^cpu_ms_per_repaint\.\([^=]*\)=\(.*\)/\1 \2 ms/p' <<<"$out" | tail -n +2 | tr -d '\r' | paste -sd, - | sed 's/,/, /g')
    if [ "$what" == form ]; then goal=16; name="full repaint ($(field windows <<<"$out") windows)"; else goal=2; name="status line repaint"; fi
    echo "benchmark: $name, RedrawWindow(INVALIDATE|UPDATENOW|ALLCHILDREN|ERASE) from another process x$count: $(field cpu_ms_per_repaint <<<"$out") ms CPU of the demo per repaint (goal <= $goal), less a WM_NULL loop; wall $(field wall_ms_per_repaint <<<"$out") ms; $(field minor_faults_per_repaint <<<"$out") page faults per repaint; also $others"
  done
  # Idle: nothing hovers, nothing runs.
  xdotool mousemove 0 0
  sleep 2
  pid=$(demo_pid)
  c0=$(cpu_ticks "$pid") t0=$(ms_now)
  sleep "$idle"
  c1=$(cpu_ticks "$pid") t1=$(ms_now)
  awk -v c=$((c1 - c0)) -v ms=$((t1 - t0)) -v hz="$(getconf CLK_TCK)" 'BEGIN {
    printf "benchmark: idle window: %.2f CPU s in %.1f s, %.4f CPU s per s (goal < 0.005)\n", c / hz, ms / 1000, c / hz / (ms / 1000) }'
else
  echo "window-bench: the demo did not show its window"; failed=1
fi

# --- replies during a Create ------------------------------------------------------
# The standard machine's system disk is full: the Create shrinks C: first.
# The probe sends WM_NULL every 50 ms and prints each reply of 100 ms or
# more, and the five longest, with the run's events around it and how long
# the window's main thread and the wine server ran or waited for a CPU
# meanwhile (/proc/PID/schedstat).
if [ "$create" == 1 ]; then
  if start_demo standard; then
    hogs=()
    for _ in $(seq "$busy"); do (exec yes >/dev/null) & hogs+=($!); done
    out=$(wl 300 "$probe" create-run "$title" 120000 "$(demo_pid),$(unix_pid 'wineserver(64)?')")
    for h in "${hogs[@]}"; do kill "$h"; done
    grep -E '^(slow|long)=' <<<"$out" | sed 's/^/  /'
    echo "benchmark: replies during a Create with a shrink ($busy busy processes, load $(load)): $(field sent <<<"$out") sent, longest $(field max_reply_ms <<<"$out") ms (goal < 100), mean $(field mean_reply_ms <<<"$out") ms, ended: $(field last_status <<<"$out")"
    [ "$(field question <<<"$out")" == 1 ] || { echo "window-bench: no restart question"; failed=1; }
  else
    echo "window-bench: the demo did not show its window"; failed=1
  fi
fi
stop_demo
[ "$failed" -eq 0 ]
