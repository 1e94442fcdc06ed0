#!/usr/bin/env bash
# Renders the window art (res/art/*.svg) to the PNGs the program embeds, at
# 100, 150 and 200 % of 96 DPI:
#   scripts/render-art.sh           write res/art/png/NAME-{100,150,200}.png
#   scripts/render-art.sh --check   render into a temporary folder and compare
#                                   with the committed PNGs (exit 1 if any differ)
# Needs rsvg-convert (librsvg2-bin) and optipng; without them it says so and
# exits 0, because the committed PNGs are what the build uses.
# Output is byte-identical from run to run: rsvg-convert writes no time or
# text chunks, and optipng recompresses losslessly and drops any extra chunk.
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

for tool in rsvg-convert optipng; do
  if ! command -v "$tool" >/dev/null; then
    echo "render-art: $tool not found (apt-get install librsvg2-bin optipng); skipped"
    exit 0
  fi
done

# name, width, height at 100 %
art=(
  "background 700 350"
  "computer 220 177"
  "disk 128 128"
  "ssd 128 128"
)
scales=(100 150 200)

committed=res/art/png
if [ "$check" -eq 1 ]; then
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
else
  out=$committed
  mkdir -p "$out"
fi

for entry in "${art[@]}"; do
  read -r name w h <<<"$entry"
  for s in "${scales[@]}"; do
    # round(base * scale), halves up; every base here is whole, so only .5 occurs
    sw=$(( (w * s + 50) / 100 ))
    sh=$(( (h * s + 50) / 100 ))
    png="$out/$name-$s.png"
    rsvg-convert --width "$sw" --height "$sh" --format png "res/art/$name.svg" -o "$png.tmp"
    # Lossless recompression; -strip all drops any chunk that is not pixels.
    optipng -quiet -o2 -strip all "$png.tmp" -out "$png.opt"
    rm -f "$png.tmp"
    mv "$png.opt" "$png"
  done
done

if [ "$check" -eq 1 ]; then
  bad=0
  # Text must be outlines, or the pictures would depend on the fonts at hand.
  for entry in "${art[@]}"; do
    read -r name _ _ <<<"$entry"
    if grep -qE '<text[ >]|<tspan| d=""' "res/art/$name.svg"; then
      echo "render-art: res/art/$name.svg has text that is not outlined (run res/art/text_to_path.py)"; bad=1
    fi
  done
  for entry in "${art[@]}"; do
    read -r name _ _ <<<"$entry"
    for s in "${scales[@]}"; do
      f="$name-$s.png"
      if [ ! -f "$committed/$f" ]; then
        echo "render-art: $committed/$f is missing"; bad=1
      elif ! cmp -s "$out/$f" "$committed/$f"; then
        echo "render-art: $committed/$f differs from its SVG (run scripts/render-art.sh)"; bad=1
      fi
    done
  done
  [ "$bad" -eq 0 ] && echo "render-art: all $(( ${#art[@]} * ${#scales[@]} )) PNGs match their SVGs"
  exit "$bad"
fi
total=0
for f in "$out"/*-{100,150,200}.png; do total=$(( total + $(stat -c %s "$f") )); done
echo "render-art: wrote the PNGs to $out, $total bytes in all"
