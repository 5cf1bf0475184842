#!/usr/bin/env python3
"""Draws the Application Error dialog's symbol, a 32 x 32 GIF: a red disc
with a white cross on a transparent ground. Writes errors/error_symbol.gif.

The GIF is written with a clear code after every two pixels, so every code
keeps the minimum width of 3 bits: no compression, and no encoder needed
beyond this file.
"""
import math
import os
import struct

SIZE = 32
# 0 transparent, 1 dark red rim, 2 red, 3 white
PALETTE = [(255, 255, 255), (128, 0, 0), (220, 30, 30), (255, 255, 255)]


def pixel(x, y):
    cx = cy = (SIZE - 1) / 2
    r = math.hypot(x - cx, y - cy)
    if r > 15.2:
        return 0
    if r > 13.8:
        return 1
    dx, dy = x - cx, y - cy
    if abs(r) < 9.5 and (abs(dx - dy) < 2.2 or abs(dx + dy) < 2.2):
        return 3
    return 2


def lzw(pixels):
    clear, end, width = 4, 5, 3
    codes = []
    for i, p in enumerate(pixels):
        if i % 2 == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(end)
    bits = nbits = 0
    out = bytearray()
    for code in codes:
        bits |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def main():
    pixels = [pixel(x, y) for y in range(SIZE) for x in range(SIZE)]
    data = lzw(pixels)
    gif = bytearray(b"GIF89a")
    gif += struct.pack("<HHBBB", SIZE, SIZE, 0x81, 0, 0)  # global table of 4 colours
    for rgb in PALETTE:
        gif += bytes(rgb)
    gif += b"\x21\xF9\x04\x01\x00\x00\x00\x00"  # colour 0 is transparent
    gif += b"\x2C" + struct.pack("<HHHHB", 0, 0, SIZE, SIZE, 0)
    gif += b"\x02"  # minimum code size
    for i in range(0, len(data), 255):
        block = data[i:i + 255]
        gif += bytes([len(block)]) + block
    gif += b"\x00\x3B"
    target = os.path.join(os.path.dirname(__file__), "..", "errors", "error_symbol.gif")
    with open(target, "wb") as f:
        f.write(gif)


if __name__ == "__main__":
    main()
