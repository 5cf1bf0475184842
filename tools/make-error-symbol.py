#!/usr/bin/python3
"""Draws the Application Error dialog's symbol, a 32 x 32 GIF: a red disc
with a dark rim and a white cross on a transparent ground.

    tools/make-error-symbol.py [OUTPUT]    (default: errors/error_symbol.gif)

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


def main():
    default = os.path.join(os.path.dirname(__file__), "..", "errors", "error_symbol.gif")
    target = sys.argv[1] if len(sys.argv) > 1 else default
    image = Image.new("P", (SIZE, SIZE))
    image.putpalette([c for rgb in PALETTE for c in rgb])
    image.putdata([pixel(x, y) for y in range(SIZE) for x in range(SIZE)])
    image.save(target, "GIF", transparency=0, optimize=False)


if __name__ == "__main__":
    main()
