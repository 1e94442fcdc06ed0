#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, and nothing
# that is already there. Safe to run again.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

for p in cmake make g++ clang libgtest-dev libbenchmark-dev \
         g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
         wine wine64 xvfb xauth xdotool imagemagick fonts-wine x11-utils librsvg2-bin optipng rsync python3; do
  have "$p" || need+=("$p")
done
have wine32:i386 || need+=("wine32:i386")

if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "setup: installing ${need[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync can fail one index; apt then keeps the
  # older one, which is enough to install from.
  $SUDO apt-get update -qq || echo "setup: apt-get update reported errors; going on with the indexes it has"
  install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" "${need[@]}" >/dev/null; }
  # wine32:i386 needs the i386 and amd64 copies of each shared library at one
  # version. When the i386 security index is missing, the release's own
  # versions are the ones both architectures have.
  . /etc/os-release
  install || { echo "setup: retrying with the $VERSION_CODENAME release preferred"; install -t "$VERSION_CODENAME"; }
fi
