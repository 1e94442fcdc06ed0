# Which build the scripts run under Wine: the shipped 32-bit program (flavour
# 32), or the same sources built for x86-64 and run under wine64 (flavour 64)
# on a machine whose kernel cannot start 32-bit programs. Sourced, never run.
#
# ORV_WINE_FLAVOUR=32 or 64 forces one; unset, 32 where a 32-bit program
# starts, else 64.

# wine_flavour: prints 32 or 64; says in one line on stderr why 64 was chosen.
wine_flavour() {
  case "${ORV_WINE_FLAVOUR:-}" in
    32|64) echo "$ORV_WINE_FLAVOUR"; return ;;
    "") ;;
    *) echo "wine: ORV_WINE_FLAVOUR must be 32 or 64, not '$ORV_WINE_FLAVOUR'" >&2; return 2 ;;
  esac
  local why
  if why=$(can_run_32bit); then
    echo 32
  else
    echo "wine: this machine cannot run 32-bit programs ($why); using the 64-bit flavour under wine64" >&2
    echo 64
  fi
}

# can_run_32bit: true when Wine's 32-bit loader, a 32-bit Linux program,
# starts; otherwise prints why not.
can_run_32bit() {
  local loader=/usr/lib/wine/wine out
  if [ ! -x "$loader" ]; then echo "no 32-bit Wine loader at $loader"; return 1; fi
  if ! out=$("$loader" --version 2>&1); then echo "$loader: ${out##*: }"; return 1; fi
}

# wine_build_dir FLAVOUR: the build folder of that flavour.
wine_build_dir() { if [ "$1" == 64 ]; then echo build/wine64; else echo build/win32; fi; }

# use_wine64 DIR: from here on `wine` (and wineboot, winecfg, winepath, which
# start `wine-stable`) is the 64-bit loader. Debian's wine script would take
# the 32-bit loader whenever wine32 is installed, even where it cannot start.
use_wine64() {
  mkdir -p "$1"
  local name
  for name in wine wine-stable; do
    printf '#!/bin/sh\nWINELOADER=/usr/lib/wine/wine64 WINEDEBUG="${WINEDEBUG:-fixme-all}" exec /usr/lib/wine/wine64 "$@"\n' >"$1/$name"
    chmod +x "$1/$name"
  done
  case ":$PATH:" in *":$1:"*) ;; *) export PATH="$1:$PATH" ;; esac
}
