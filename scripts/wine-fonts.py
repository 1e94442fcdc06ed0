#!/usr/bin/env python3
"""Copies Wine's own fonts into a Wine prefix's Fonts folder.

usage: scripts/wine-fonts.py FONTS_DIR FONT.ttf...

Wine does not load the fonts of its fonts-wine package into a new prefix, so
the scripts copy them there. Wine's Tahoma Bold (tahomabd.ttf) carries, beside
its outlines, bitmaps for small pixel sizes, and GDI draws monochrome text of
those sizes from them; but its 16-pixel bitmaps hold glyphs of regular weight,
so bold 8-point text at 144 DPI came out regular. In the copy, that size has no
bitmaps and is drawn from the outlines, which are bold there. (Its 13- and
15-pixel bitmaps are of regular weight too; Wine's monochrome outlines are no
bolder at those sizes, so they stay.) Every other font is copied as it is.
"""
import os
import struct
import sys

# file name -> the pixel sizes whose bitmaps are taken out
WITHOUT_BITMAPS = {"tahomabd.ttf": {16}}


def without_bitmap_sizes(font: bytearray, sizes) -> bytearray:
    """The font with no glyph in the bitmap strikes of those pixel sizes: a
    strike that lists no glyph leaves every glyph to the outlines."""
    count = struct.unpack(">H", font[4:6])[0]
    for i in range(count):
        tag, _, offset, _ = struct.unpack(">4sIII", font[12 + 16 * i:28 + 16 * i])
        if tag != b"EBLC":
            continue
        strikes = struct.unpack(">I", font[offset + 4:offset + 8])[0]
        for k in range(strikes):
            record = offset + 8 + 48 * k  # a BitmapSize record
            if font[record + 45] in sizes:  # ppemY
                font[record + 8:record + 12] = struct.pack(">I", 0)  # numberOfIndexSubTables
    return font


def main() -> int:
    if len(sys.argv) < 3:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    target = sys.argv[1]
    os.makedirs(target, exist_ok=True)
    for path in sys.argv[2:]:
        with open(path, "rb") as f:
            font = bytearray(f.read())
        name = os.path.basename(path)
        sizes = WITHOUT_BITMAPS.get(name.lower())
        if sizes:
            font = without_bitmap_sizes(font, sizes)
        with open(os.path.join(target, name), "wb") as f:
            f.write(font)
    return 0


if __name__ == "__main__":
    sys.exit(main())
