#!/usr/bin/python3
"""Builds the bar-code font "Free 3 of 9 Extended" from the Code 39 patterns.

Text reports draw bar codes by drawing '*'-framed text in this face, so the
font must turn each character into its Code 39 symbol:

* the 43 characters of the basic set (0-9 A-Z - . space $ / + %) and the
  start/stop character '*' draw their own symbol;
* every other ASCII character draws the two symbols of its full-ASCII
  escape ('a' draws "+A", '!' draws "/A", control characters "$A".."$Z"...),
  so any ASCII text between '*'s is a full-ASCII Code 39 bar code.

Geometry (font units, 1600 to the em):

* narrow element 100, wide element 300 (ratio 3:1, the widest the symbology
  allows: it survives ink spread and low printer resolutions best);
* a symbol is 9 elements (bar, space, ..., bar), three of them wide, plus
  one narrow inter-character gap: 6 x 100 + 3 x 300 + 100 = 1600, exactly
  one em, so a symbol is as wide as the font is high and rounding a
  character's advance to whole device units never drifts;
* bars run from the baseline to the em's top (0..1600): a font of em
  height H draws bars H tall standing on the baseline.  The cell adds a
  descent of a tenth of the em below the baseline, blank, so bar codes set
  line under line by their cell height keep a white band between them.

Characters the symbology cannot encode (bytes above 0x7F) map to the empty
.notdef glyph, one em wide: the blank breaks the bar code instead of
leaving a valid one that lacks a character.

A Bold face with the very same bars comes with it: reports ask for bar
codes in bold, and a family without a bold face gets emboldened by the
renderer, which fattens every bar by a twenty-fourth of the em -- far more
than a narrow element's share of the print tolerance -- and the bar code no
longer scans.

Usage: make_code39_font.py [--bold] OUTPUT.ttf
"""

import os
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen

FAMILY = "Free 3 of 9 Extended"
PS_NAME = "Free3of9Extended"
VERSION = "1.000"
COPYRIGHT = "Copyright 2026 the Novarc workstation print team"
LICENSE = (
    "This Font Software is licensed under the SIL Open Font License, Version 1.1. "
    "This license is available with a FAQ at: https://openfontlicense.org"
)
LICENSE_URL = "https://openfontlicense.org"

UNITS_PER_EM = 1600
NARROW = 100
WIDE = 300
SYMBOL_WIDTH = 16 * NARROW
BAR_TOP = UNITS_PER_EM
DESCENT = UNITS_PER_EM // 10
# Fixed so that two builds of the same generator give the same bytes.
TIMESTAMP = 2082844800 + 1767225600  # 2026-01-01, in seconds since 1904

# Element widths, bar first: 'n' narrow, 'w' wide.
PATTERNS = {
    "0": "nnnwwnwnn", "1": "wnnwnnnnw", "2": "nnwwnnnnw", "3": "wnwwnnnnn",
    "4": "nnnwwnnnw", "5": "wnnwwnnnn", "6": "nnwwwnnnn", "7": "nnnwnnwnw",
    "8": "wnnwnnwnn", "9": "nnwwnnwnn",
    "A": "wnnnnwnnw", "B": "nnwnnwnnw", "C": "wnwnnwnnn", "D": "nnnnwwnnw",
    "E": "wnnnwwnnn", "F": "nnwnwwnnn", "G": "nnnnnwwnw", "H": "wnnnnwwnn",
    "I": "nnwnnwwnn", "J": "nnnnwwwnn", "K": "wnnnnnnww", "L": "nnwnnnnww",
    "M": "wnwnnnnwn", "N": "nnnnwnnww", "O": "wnnnwnnwn", "P": "nnwnwnnwn",
    "Q": "nnnnnnwww", "R": "wnnnnnwwn", "S": "nnwnnnwwn", "T": "nnnnwnwwn",
    "U": "wwnnnnnnw", "V": "nwwnnnnnw", "W": "wwwnnnnnn", "X": "nwnnwnnnw",
    "Y": "wwnnwnnnn", "Z": "nwwnwnnnn",
    "-": "nwnnnnwnw", ".": "wwnnnnwnn", " ": "nwwnnnwnn", "*": "nwnnwnwnn",
    "$": "nwnwnwnnn", "/": "nwnwnnnwn", "+": "nwnnnwnwn", "%": "nnnwnwnwn",
}


def full_ascii(code):
    """The symbols that encode ASCII code `code` in full-ASCII Code 39."""
    ch = chr(code)
    if ch in PATTERNS:
        return ch
    if code == 0:
        return "%U"
    if 1 <= code <= 26:
        return "$" + chr(ord("A") + code - 1)
    if 27 <= code <= 31:
        return "%" + chr(ord("A") + code - 27)
    if 0x21 <= code <= 0x2C:  # ! " # $ % & ' ( ) * + ,
        return "/" + chr(ord("A") + code - 0x21)
    if ch == ":":
        return "/Z"
    if 0x3B <= code <= 0x3F:  # ; < = > ?
        return "%" + chr(ord("F") + code - 0x3B)
    if ch == "@":
        return "%V"
    if 0x5B <= code <= 0x5F:  # [ \ ] ^ _
        return "%" + chr(ord("K") + code - 0x5B)
    if ch == "`":
        return "%W"
    if 0x61 <= code <= 0x7A:
        return "+" + chr(ord("A") + code - 0x61)
    if 0x7B <= code <= 0x7F:  # { | } ~ DEL
        return "%" + chr(ord("P") + code - 0x7B)
    raise ValueError(code)


def check_patterns():
    """Refuses to build a font from a mistyped table."""
    assert len(PATTERNS) == 44
    for ch, p in PATTERNS.items():
        assert len(p) == 9 and p.count("w") == 3, ch
        wide_bars = sum(1 for i in range(0, 9, 2) if p[i] == "w")
        assert wide_bars == (0 if ch in "$/+%" else 2), ch
    assert len(set(PATTERNS.values())) == 44


def draw_symbols(pen, symbols):
    x = 0
    for sym in symbols:
        for i, element in enumerate(PATTERNS[sym]):
            width = WIDE if element == "w" else NARROW
            if i % 2 == 0:  # a bar: clockwise, as TrueType fills outer contours
                pen.moveTo((x, 0))
                pen.lineTo((x, BAR_TOP))
                pen.lineTo((x + width, BAR_TOP))
                pen.lineTo((x + width, 0))
                pen.closePath()
            x += width
        x += NARROW  # the inter-character gap
    assert x == len(symbols) * SYMBOL_WIDTH
    return x


def build(path, bold):
    check_patterns()
    style = "Bold" if bold else "Regular"
    ps_name = PS_NAME + ("-Bold" if bold else "")
    glyph_order = [".notdef"]
    glyphs = {}
    metrics = {}
    cmap = {}

    pen = TTGlyphPen(None)
    glyphs[".notdef"] = pen.glyph()
    metrics[".notdef"] = (SYMBOL_WIDTH, 0)

    for code in range(1, 0x80):
        name = "uni%04X" % code
        pen = TTGlyphPen(None)
        width = draw_symbols(pen, full_ascii(code))
        glyph_order.append(name)
        glyphs[name] = pen.glyph()
        metrics[name] = (width, 0)
        cmap[code] = name

    fb = FontBuilder(UNITS_PER_EM, isTTF=True)
    fb.setupGlyphOrder(glyph_order)
    fb.setupCharacterMap(cmap)
    fb.setupGlyf(glyphs)
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=BAR_TOP, descent=-DESCENT, lineGap=0)
    fb.setupNameTable({
        "copyright": COPYRIGHT,
        "familyName": FAMILY,
        "styleName": style,
        "uniqueFontIdentifier": "%s;%s" % (ps_name, VERSION),
        "fullName": FAMILY + (" Bold" if bold else ""),
        "version": "Version " + VERSION,
        "psName": ps_name,
        "manufacturer": "Novarc workstation print team",
        "description": "Code 39 bar codes, full ASCII: draw text between '*' characters.",
        "licenseDescription": LICENSE,
        "licenseInfoURL": LICENSE_URL,
    })
    fb.setupOS2(
        version=4,
        usWeightClass=700 if bold else 400,
        fsType=0,  # installable: PDFs may embed it
        sTypoAscender=BAR_TOP,
        sTypoDescender=-DESCENT,
        sTypoLineGap=0,
        usWinAscent=BAR_TOP,
        usWinDescent=DESCENT,
        sxHeight=BAR_TOP,
        sCapHeight=BAR_TOP,
        ulCodePageRange1=1,  # Latin 1
        fsSelection=0x20 if bold else 0x40,  # bold or regular
        achVendID="NVRC",
        yStrikeoutPosition=BAR_TOP // 2,
        yStrikeoutSize=NARROW,
    )
    fb.setupPost(isFixedPitch=0, underlinePosition=-DESCENT // 2, underlineThickness=NARROW)
    fb.setupHead(unitsPerEm=UNITS_PER_EM, created=TIMESTAMP, modified=TIMESTAMP,
                 macStyle=1 if bold else 0)
    fb.updateHead(fontRevision=float(VERSION))

    tmp = path + ".part"
    fb.save(tmp)
    os.replace(tmp, path)


def main(argv):
    args = argv[1:]
    bold = bool(args) and args[0] == "--bold"
    if bold:
        args = args[1:]
    if len(args) != 1:
        sys.stderr.write("usage: make_code39_font.py [--bold] OUTPUT.ttf\n")
        return 2
    build(args[0], bold)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
