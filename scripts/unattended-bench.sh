#!/usr/bin/env bash
# Figures of the unattended runs under Wine, as "benchmark:" lines:
#   /STATUS from start to exit, against the window's own start to fully
#   painted, each started by the probe in the same warm Wine (goal: at most
#   0.5 times), for the demo's standard machine and for the real program;
#   the demo's unattended /CREATE (a shrink) against its runs and pauses
#   (goal: at most 1.1 times). The native benchmark UnattendedCreate
#   (build/bench/orv_bench) measures the same without Wine.
# Figures only: it fails when something does not run, never on a time.
#
# usage: scripts/unattended-bench.sh [--rounds N] [WIN32_BUILD_DIR]
set -u
rounds=5 dir=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    *) dir=$1; shift ;;
  esac
done
. "$(dirname "$0")/wine-flavour.sh"
build=$(cd "${dir:-$(dirname "$0")/../$(wine_build_dir "$(wine_flavour)")}" && pwd)
work="$build/wine-bench"
mkdir -p "$work"
. "$(dirname "$0")/../tests/win32/wine_env.sh"
failed=0

wine_display
window_prefix
stop_demo
wineserver -p
demo_w=$(winpath "$demo")
exe_w=$(winpath "$build/OrvRapidStart.exe")
run() { (cd "$build" && wl 120 "$probe" run 60000 "$@"); }
launch() { (cd "$build" && wl 120 "$probe" launch "$@"); }
run "$demo_w" /STATUS >/dev/null  # the first start reads the files from disk
launch Disk 60000 "$demo_w" >/dev/null

status_ms=() painted_ms=() real_ms=()
for round in $(seq "$rounds"); do
  s=$(run "$demo_w" /STATUS)
  p=$(launch Disk 60000 "$demo_w")
  r=$(run "$exe_w" /STATUS)
  if [ "$(field ended <<<"$s")" != 1 ] || [ "$(field painted_ms <<<"$p")" == -1 ] || [ "$(field ended <<<"$r")" != 1 ]; then
    echo "unattended-bench: round $round: a run did not end or the window did not show"; failed=1; continue
  fi
  status_ms+=("$(field elapsed_ms <<<"$s")") painted_ms+=("$(field painted_ms <<<"$p")") real_ms+=("$(field elapsed_ms <<<"$r")")
  echo "benchmark: round $round: demo /STATUS $(field elapsed_ms <<<"$s") ms (exit $(field exit_code <<<"$s")), demo window painted $(field painted_ms <<<"$p") ms, OrvRapidStart.exe /STATUS $(field elapsed_ms <<<"$r") ms (exit $(field exit_code <<<"$r"))"
done
if [ ${#status_ms[@]} -gt 0 ]; then
  sm=$(printf '%s\n' "${status_ms[@]}" | median) pm=$(printf '%s\n' "${painted_ms[@]}" | median)
  echo "benchmark: medians of ${#status_ms[@]} rounds: demo /STATUS $sm ms, demo window painted $pm ms, ratio $(awk -v a="$sm" -v b="$pm" 'BEGIN { printf "%.2f", a / b }') (goal <= 0.5); OrvRapidStart.exe /STATUS $(printf '%s\n' "${real_ms[@]}" | median) ms"
fi

# The demo's Create with a shrink: 4 steps, each a 3000 ms run and a 2000 ms pause.
t0=$(ms_now)
out=$(cd "$build" && wl 300 "$demo" /CREATE)
code=$?
t1=$(ms_now)
steps=$(grep -c '^Step=' <<<"$out")
if [ "$code" -ne 0 ] || [ "$steps" -eq 0 ]; then
  echo "unattended-bench: the demo's /CREATE failed (exit $code)"; failed=1
else
  expected=$((steps * (3000 + 2000)))
  echo "benchmark: demo /CREATE: $((t1 - t0)) ms from the shell (Wine's start and exit included), $steps steps, runs and pauses $expected ms, ratio $(awk -v a=$((t1 - t0)) -v b=$expected 'BEGIN { printf "%.3f", a / b }') (goal <= 1.1)"
fi
exit $failed
