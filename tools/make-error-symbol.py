#!/usr/bin/python3
"""Draws the Application Error dialog's symbol, a 32 x 32 GIF: a red disc
with a dark rim and a white cross on a transparent ground; with --size 64,
the same drawing at twice the size, for screens that draw two pixels to one.

    tools/make-error-symbol.py [--size 64] [OUTPUT]
        (default: errors/error_symbol.gif, or errors/error_symbol_64.gif)

Needs Pillow (Debian: python3-pil). The build does not run this: it embeds
the committed errors/error_symbol.gif, which holds these same pixels written
without compression (before this script used Pillow). Pillow's bytes differ,
so rewrite the file only when the drawing changes.
"""
import math
import os
import sys

from PIL import Image

SIZE = 32
# 0 transparent, 1 dark red rim, 2 red, 3 white
PALETTE = [(255, 255, 255), (128, 0, 0), (220, 30, 30), (255, 255, 255)]


def pixel(x, y, size=SIZE):
    # Measured in the 32-pixel drawing's units, from the pixel's centre.
    k = size / SIZE
    cx = cy = (size - 1) / 2
    dx, dy = (x - cx) / k, (y - cy) / k
    r = math.hypot(dx, dy)
    if r > 15.2:
        return 0
    if r > 13.8:
        return 1
    if abs(r) < 9.5 and (abs(dx - dy) < 2.2 or abs(dx + dy) < 2.2):
        return 3
    return 2


def main():
    args = sys.argv[1:]
    size = SIZE
    if args[:1] == ["--size"]:
        size, args = int(args[1]), args[2:]
    name = "error_symbol.gif" if size == SIZE else f"error_symbol_{size}.gif"
    default = os.path.join(os.path.dirname(__file__), "..", "errors", name)
    target = args[0] if args else default
    image = Image.new("P", (size, size))
    image.putpalette([c for rgb in PALETTE for c in rgb])
    image.putdata([pixel(x, y, size) for y in range(size) for x in range(size)])
    image.save(target, "GIF", transparency=0, optimize=False)


if __name__ == "__main__":
    main()
