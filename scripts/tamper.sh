#!/usr/bin/env bash
# The diskpart script file against an attacker, under Wine, with the real
# Win32 code (the demo's files live in memory, so the race runs in the
# probe): each round writes DPINPUT.TXT in the temporary folder with the
# program's own WriteLockedScriptFile and, while holding the lock it returns,
# reads the file as diskpart's C runtime would (at once, after a pause, and
# every READER_EVERY locked rounds in a started process). Meanwhile a second
# process tries without pause to replace, overwrite, append to, rename over,
# rename away, delete, hard-link, symbolic-link, hold open or map the name.
#
# A read that differs from what was written, after WriteLockedScriptFile
# reported success, is a mismatched read. A failed write is the defence
# working and is counted apart. Attacks that the system carried out while
# the lock was held are succeeded attacks, and a locked file with more than
# one name was written through a hard link: both faults too.
#
# usage: scripts/tamper.sh [ROUNDS] [WIN32_BUILD_DIR]
set -u
rounds=${1:-10000}
reader_every=10
. "$(dirname "$0")/wine-flavour.sh"
build=$(cd "${2:-$(dirname "$0")/../$(wine_build_dir "$(wine_flavour)")}" && pwd)
work="$build/wine-tamper"
mkdir -p "$work"
. "$(dirname "$0")/../tests/win32/wine_env.sh"

boot "${ORV_WINE_PREFIX:-$work/prefix64}" win64
t0=$(ms_now)
out=$(wl $((600 + rounds / 10)) "$probe" tamper "$rounds" "$reader_every")
t1=$(ms_now)
if [ "$(field hammer <<<"$out")" != 1 ]; then
  echo "tamper: the hammer did not start"
  exit 1
fi
sed -n 's/^attack\.\([^=]*\)=/  \1: /p' <<<"$out"
echo "  write failures by Windows error (code x count): $(field failure_errors <<<"$out")"
echo "  locked rounds whose file had another name (written through a hard link): $(field written_through_link <<<"$out") (goal 0)"
echo "  Wine: symbolic links $(field symlinks <<<"$out"), hard links $(field hardlinks <<<"$out")"
echo "benchmark: tamper: rounds=$(field rounds <<<"$out") attempts=$(field attempts <<<"$out") succeeded_attacks=$(field succeeded_attacks <<<"$out") script_write_failures=$(field script_write_failures <<<"$out") mismatched_reads=$(field mismatched_reads <<<"$out")"
echo "benchmark: tamper: $(field locked_rounds <<<"$out") rounds held the lock, $(field reads <<<"$out") reads ($(field child_reads <<<"$out") by a started process, $(field unreadable <<<"$out") could not open), $(field attempts_while_locked <<<"$out") attempts while locked, $(field passed_unlocked <<<"$out") attacks carried out between locks, $(((t1 - t0) / 1000)) s"
[ "$(field mismatched_reads <<<"$out")" == 0 ] && [ "$(field succeeded_attacks <<<"$out")" == 0 ] &&
  [ "$(field written_through_link <<<"$out")" == 0 ]
