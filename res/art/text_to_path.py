#!/usr/bin/env python3
"""Turns the text of the art SVGs into outlines, so no renderer needs our fonts.

Usage:
    python3 res/art/text_to_path.py res/art/*.svg
    (needs fontTools: apt-get install python3-fonttools; if python3 is not the
    system one, run /usr/bin/python3)

Each text lives in its SVG as a comment that holds one JSON object, followed
somewhere in the file by the path that draws it:

    <!-- text-to-path {"id": "title", "x": 14, "y": 36, "anchor": "start",
         "runs": [["DejaVuSans-Bold", 22, "Intel"],
                  ["DejaVuSans-Bold", 11, "\u00ae", {"dy": -9, "dx": 1}]]} -->
    <path id="title" fill="#333" d="..."/>

The script rewrites the d attribute of the element with that id (id must come
before d) and leaves everything else alone, so running it twice changes
nothing. A run is [font, size in px, text] with optional
{"dx": px before the run, "dy": baseline shift (negative is up),
"tracking": extra px between letters}. Fonts are the .ttf files in
/usr/share/fonts/truetype/dejavu/ (name without .ttf). "anchor" is start,
middle or end, measured on the whole line. Pairs are kerned from the font's
GPOS "kern" feature.
"""
import json
import re
import sys

from fontTools.pens.svgPathPen import SVGPathPen
from fontTools.pens.transformPen import TransformPen
from fontTools.ttLib import TTFont

FONT_DIR = "/usr/share/fonts/truetype/dejavu/"
DIRECTIVE = re.compile(r"<!--\s*text-to-path\s+(\{.*?\})\s*-->", re.S)

_fonts = {}


def num(v):
    s = "%.2f" % v
    s = s.rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


class Font:
    def __init__(self, name):
        self.tt = TTFont(FONT_DIR + name + ".ttf")
        self.glyphs = self.tt.getGlyphSet()
        self.cmap = self.tt.getBestCmap()
        self.upem = self.tt["head"].unitsPerEm
        self.hmtx = self.tt["hmtx"]
        self.kern_pairs, self.kern_classes = self._read_kerning()

    def _read_kerning(self):
        pairs, classes = {}, []
        if "GPOS" not in self.tt:
            return pairs, classes
        gpos = self.tt["GPOS"].table
        wanted = set()
        for rec in gpos.FeatureList.FeatureRecord:
            if rec.FeatureTag == "kern":
                wanted.update(rec.Feature.LookupListIndex)
        for index in sorted(wanted):
            lookup = gpos.LookupList.Lookup[index]
            for sub in lookup.SubTable:
                if lookup.LookupType == 9:
                    sub = sub.ExtSubTable
                if getattr(sub, "LookupType", 2) != 2:
                    continue
                if sub.Format == 1:
                    for first, pset in zip(sub.Coverage.glyphs, sub.PairSet):
                        for rec in pset.PairValueRecord:
                            adv = getattr(rec.Value1, "XAdvance", 0) if rec.Value1 else 0
                            pairs.setdefault((first, rec.SecondGlyph), adv)
                elif sub.Format == 2:
                    classes.append(sub)
        return pairs, classes

    def kern(self, left, right):
        if (left, right) in self.kern_pairs:
            return self.kern_pairs[(left, right)]
        for sub in self.kern_classes:
            if left not in sub.Coverage.glyphs:
                continue
            c1 = sub.ClassDef1.classDefs.get(left, 0)
            c2 = sub.ClassDef2.classDefs.get(right, 0)
            value = sub.Class1Record[c1].Class2Record[c2].Value1
            if value is not None and getattr(value, "XAdvance", 0):
                return value.XAdvance
            return 0
        return 0


def font(name):
    if name not in _fonts:
        _fonts[name] = Font(name)
    return _fonts[name]


def layout(spec):
    """Returns [(font, glyph name, scale, x, y)] and the line width, from x=0."""
    placed, x = [], 0.0
    for run in spec["runs"]:
        name, size, text = run[0], run[1], run[2]
        opts = run[3] if len(run) > 3 else {}
        f = font(name)
        scale = size / f.upem
        x += opts.get("dx", 0)
        dy = opts.get("dy", 0)
        prev = None
        for ch in text:
            gname = f.cmap.get(ord(ch))
            if gname is None:
                raise SystemExit("%s has no glyph for %r" % (name, ch))
            if prev is not None:
                x += f.kern(prev, gname) * scale + opts.get("tracking", 0)
            placed.append((f, gname, scale, x, dy))
            x += f.hmtx[gname][0] * scale
            prev = gname
    return placed, x


def outline(spec):
    placed, width = layout(spec)
    shift = {"start": 0, "middle": -width / 2, "end": -width}[spec.get("anchor", "start")]
    ox, oy = spec["x"] + shift, spec["y"]
    parts = []
    for f, gname, scale, x, dy in placed:
        pen = SVGPathPen(f.glyphs, ntos=num)
        f.glyphs[gname].draw(TransformPen(pen, (scale, 0, 0, -scale, ox + x, oy + dy)))
        if pen.getCommands():
            parts.append(pen.getCommands())
    return "".join(parts)


def convert(path):
    with open(path, encoding="utf-8") as fh:
        svg = fh.read()
    out = svg
    for m in DIRECTIVE.finditer(svg):
        spec = json.loads(m.group(1))
        target = re.compile(r'(<path\b[^>]*?\bid="%s"[^>]*?\bd=")[^"]*(")' % re.escape(spec["id"]), re.S)
        out, n = target.subn(lambda t: t.group(1) + outline(spec) + t.group(2), out)
        if n != 1:
            raise SystemExit('%s: expected one <path id="%s" ... d="...">, found %d' % (path, spec["id"], n))
    if out != svg:
        with open(path, "w", encoding="utf-8") as fh:
            fh.write(out)
        print("updated", path)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    for arg in sys.argv[1:]:
        convert(arg)
