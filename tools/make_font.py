#!/usr/bin/python3
"""Builds res/font.ttf: a renamed subset of DejaVu Sans Mono.

The demo only draws Swedish greeting lines, so the face is cut down to
printable ASCII, the Latin-1 Supplement and a handful of typographic signs,
rescaled to 1000 units per em and stripped of hinting (the lines are drawn at
96 points, where hints make no difference). The Bitstream Vera licence forbids
the names "Bitstream" and "Vera" on modified versions and DejaVu asks the same
for its own name, so the family becomes "Vimbel Mono". The copyright and
licence records are kept as the licence requires; the full text is in
assets/font-LICENSE.txt.

Needs fontTools (Debian's python3-fonttools), hence /usr/bin/python3.
Usage: /usr/bin/python3 tools/make_font.py [SOURCE.ttf] [OUTPUT.ttf]
"""
import os
import sys

from fontTools import subset
from fontTools.ttLib import TTFont
from fontTools.ttLib.scaleUpem import scale_upem

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"
OUTPUT = os.path.join(HERE, "..", "res", "font.ttf")

FAMILY = "Vimbel Mono"
STYLE = "Regular"
POSTSCRIPT = "VimbelMono-Regular"
VERSION = "Version 1.000"

# Signs that show up in ordinary typeset text: the Windows-1252 extras,
# spacing accents, dashes and quotes, primes, arrows, a few maths signs and
# superscript digits.
EXTRA = [
    0x0131, 0x0152, 0x0153, 0x0160, 0x0161, 0x0178, 0x017D, 0x017E, 0x0192,
    0x02C6, 0x02C7, 0x02D8, 0x02D9, 0x02DA, 0x02DB, 0x02DC, 0x02DD,
    0x2010, 0x2011, 0x2012, 0x2013, 0x2014, 0x2015,
    0x2018, 0x2019, 0x201A, 0x201B, 0x201C, 0x201D, 0x201E, 0x201F,
    0x2020, 0x2021, 0x2022, 0x2026, 0x2030, 0x2032, 0x2033, 0x2039, 0x203A,
    0x2070, 0x2074, 0x2075, 0x2076, 0x2077, 0x2078, 0x2079,
    0x20AC, 0x2116, 0x2122, 0x2190, 0x2191, 0x2192, 0x2193,
    0x2212, 0x2219, 0x221E, 0x2248, 0x2260, 0x2264, 0x2265, 0x25CA,
]
CODEPOINTS = list(range(0x20, 0x7F)) + list(range(0xA0, 0x100)) + EXTRA


def build(source, output):
    font = TTFont(source, recalcTimestamp=False)
    missing = [c for c in CODEPOINTS if c not in font.getBestCmap()]
    if missing:
        raise SystemExit("source font lacks: " + ", ".join("U+%04X" % c for c in missing))

    options = subset.Options()
    options.hinting = False
    options.notdef_outline = True
    options.glyph_names = True
    options.name_IDs = [0, 13, 14]      # copyright and licence; the rest is rewritten below
    options.name_languages = ["*"]
    # The subset needs no shaping: no ligatures or kerning survive in a monospaced Latin face.
    options.drop_tables += ["FFTM", "gasp", "GDEF", "GPOS", "GSUB"]
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=CODEPOINTS)
    subsetter.subset(font)

    scale_upem(font, 1000)

    name = font["name"]
    for plat, enc, lang in ((1, 0, 0), (3, 1, 0x409)):
        for nid, text in (
            (1, FAMILY), (2, STYLE), (3, "%s;%s" % (POSTSCRIPT, VERSION)),
            (4, FAMILY), (5, VERSION), (6, POSTSCRIPT),
            (10, "Subset of DejaVu Sans Mono 2.37 for the Vimbel 2023 demo: "
                 "rescaled to 1000 units per em, hinting removed, renamed."),
        ):
            name.setName(text, nid, plat, enc, lang)

    font["OS/2"].usWeightClass = 400
    font["OS/2"].achVendID = "NONE"
    font["post"].isFixedPitch = 1
    # Keep the output byte-identical from run to run.
    font["head"].modified = font["head"].created
    font.save(output)


if __name__ == "__main__":
    src = sys.argv[1] if len(sys.argv) > 1 else SOURCE
    out = sys.argv[2] if len(sys.argv) > 2 else OUTPUT
    build(src, out)
    print("wrote", out)
