#!/usr/bin/env bash
# Create and Delete, over and over, on the demo's standard machine under Wine
# and Xvfb, with each diskpart run taking 200 ms (/RUNMS=200). Every 10
# cycles the window's process is sampled: GDI and USER objects, handles and
# resident memory. Prints a table, the growth from cycle 20 to the last, and
# how many cycles did not end in ".....Done."; fails only when one did not.
#
# A cycle (probe cycle): click Create, wait for "Creating.....Done.", answer
# No to the restart question, click Delete, wait for "Deleting.....Done.".
#
# Where Wine answers 0 (it does for GetGuiResources, GetProcessHandleCount
# and PrivateUsage), the probe counts another way and says so: GDI objects
# from the process's GDI handle table, USER objects as its windows, handles
# from the system's handle list. Memory is VmRSS and RssAnon from /proc.
#
# usage: scripts/soak.sh [CYCLES] [WIN32_BUILD_DIR [DEMO_SWITCH...]]
#   e.g. /DEBUG, to compare with the log written out instead of held
set -u
cycles=${1:-200}
. "$(dirname "$0")/wine-flavour.sh"
build=$(cd "${2:-$(dirname "$0")/../$(wine_build_dir "$(wine_flavour)")}" && pwd)
switches=("${@:3}")
work="$build/wine-soak"
mkdir -p "$work"
. "$(dirname "$0")/../tests/win32/wine_env.sh"
every=10

wine_display
window_prefix
if ! start_demo standard /RUNMS=200 "${switches[@]}"; then
  echo "soak: the demo did not show its window"
  exit 1
fi

# sample CYCLE: one table row; the row's numbers are kept in rows[CYCLE]
declare -A rows
sample() {
  local out pid rss anon
  out=$(wl 60 "$probe" resources "$title")
  pid=$(demo_pid)
  rss=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$pid/status")
  anon=$(sed -n 's/^RssAnon:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$pid/status")
  rows[$1]="$(field gdi_objects <<<"$out") $(field user_objects <<<"$out") $(field handles <<<"$out") $rss $anon"
  printf '%6s %8s %8s %8s %10s %11s\n' "$1" ${rows[$1]}
  if [ "$1" == 0 ]; then
    echo "  (GDI from: $(field gdi_from <<<"$out"); USER from: $(field user_from <<<"$out");" \
      "handles from: $(field handles_from <<<"$out"); private bytes: $(field private_bytes <<<"$out"))"
  fi
}

printf '%6s %8s %8s %8s %10s %11s\n' cycle gdi user handles vmrss_kb rssanon_kb
sample 0
not_done=0
t0=$(ms_now)
for c in $(seq "$cycles"); do
  # A Create on the standard machine waits out diskpart's 15 s spacing before
  # each step it runs again (its Recovery partition refuses the shrink): about
  # 90 s a cycle however short the runs are.
  out=$(wl 420 "$probe" cycle "$title" 180000)
  if [ "$(field done <<<"$out")" != 1 ]; then
    not_done=$((not_done + 1))
    echo "  cycle $c did not end in .....Done.: create '$(field create <<<"$out")', restart question $(field restart_question <<<"$out"), delete '$(field delete <<<"$out")'"
  fi
  if [ $((c % every)) -eq 0 ] || [ "$c" -eq "$cycles" ]; then sample "$c"; fi
done
t1=$(ms_now)
stop_demo

echo "benchmark: soak: $cycles cycles in $(((t1 - t0) / 1000)) s, $(((t1 - t0) / (cycles > 0 ? cycles : 1))) ms each; not ending in .....Done.: $not_done (goal 0)"
if [ "$cycles" -ge 30 ] && [ -n "${rows[20]:-}" ]; then
  awk -v a="${rows[20]}" -v b="${rows[$cycles]}" -v last="$cycles" 'BEGIN {
    split("gdi user handles vmrss rssanon", name, " "); n = split(a, x, " "); split(b, y, " ")
    line = ""
    for (i = 1; i <= n; ++i) line = line sprintf("%s%s %+.1f%% (%s -> %s)", i > 1 ? ", " : "", name[i], x[i] ? 100 * (y[i] - x[i]) / x[i] : 0, x[i], y[i])
    print "benchmark: soak growth from cycle 20 to " last " (goal < 2%): " line }'
fi
[ "$not_done" -eq 0 ]
