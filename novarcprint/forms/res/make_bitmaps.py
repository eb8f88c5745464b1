#!/usr/bin/env python3
"""Draws the program's two form bitmaps as 1-bit BMP files.

rx_symbol.bmp (resource 2523): the Rx sign printed beside the drug line,
16 x 16 pixels (a sixth of an inch on a 96 dpi screen).
fax_header.bmp (resource 2525): the banner over a faxed prescription,
384 x 28 pixels (4 inches); its lower half is left blank for the
caption line the form writes under it.

Our own drawings; run this to change them, then rebuild.
"""
import os
import struct

RX = [
    "................",
    "XXXXXXX.........",
    "XX....XX........",
    "XX.....XX.......",
    "XX.....XX.......",
    "XX....XX........",
    "XXXXXXX.........",
    "XX...XX.........",
    "XX....XX..XX..XX",
    "XX.....XX..XXXX.",
    "XX......XX..XX..",
    "XX.......XXXXXX.",
    "XX........XX..XX",
    "................",
    "................",
    "................",
]

FONT = {  # 5 x 7 capitals
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    " ": ["00000"] * 7,
}


def banner(text, width, height, scale):
    rows = [["."] * width for _ in range(height)]
    x = 0
    for ch in text:
        for gy, line in enumerate(FONT[ch]):
            for gx, bit in enumerate(line):
                if bit == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            rows[gy * scale + dy][x + gx * scale + dx] = "X"
        x += 6 * scale
    return ["".join(r) for r in rows]


def write_bmp(path, rows):
    """1 bit per pixel, bottom-up; palette 0 black, 1 white."""
    height, width = len(rows), len(rows[0])
    stride = ((width + 31) // 32) * 4
    pixels = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, ch in enumerate(row):
            if ch != "X":  # white
                bits[x // 8] |= 0x80 >> (x % 8)
        pixels += bytes(bits)
    palette = struct.pack("<4B4B", 0, 0, 0, 0, 255, 255, 255, 0)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 1, 0, len(pixels), 3780, 3780, 2, 2)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


here = os.path.dirname(os.path.abspath(__file__))
write_bmp(os.path.join(here, "rx_symbol.bmp"), RX)
write_bmp(os.path.join(here, "fax_header.bmp"), banner("FACSIMILE PRESCRIPTION", 384, 28, 2))
