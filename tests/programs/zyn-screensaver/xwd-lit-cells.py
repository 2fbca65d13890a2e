#!/usr/bin/env python3
"""Reads an XWD dump (xwd -silent) of a 24- or 32-bit TrueColor window on
standard input and prints how many cells of a 4 x 4 grid over it have at
least one pixel in a thousand lit (a channel above 40): a drawn scene lights
cells all over, a black or untouched window none."""
import struct
import sys

data = sys.stdin.buffer.read()
if len(data) < 100:
    print(0)
    sys.exit(0)
h = struct.unpack(">25I", data[:100])
header_size, width, height = h[0], h[4], h[5]
byte_order, bits_per_pixel, bytes_per_line = h[7], h[11], h[12]
red_mask, green_mask, blue_mask, ncolors = h[14], h[15], h[16], h[19]
if bits_per_pixel != 32 or width < 4 or height < 4:
    print(0)
    sys.exit(0)
pixels = data[header_size + 12 * ncolors:]
fmt = "<I" if byte_order == 0 else ">I"


def channel(p, mask):
    shift = (mask & -mask).bit_length() - 1
    return (p & mask) >> shift


cells = 0
for cy in range(4):
    for cx in range(4):
        x0, x1 = width * cx // 4, width * (cx + 1) // 4
        y0, y1 = height * cy // 4, height * (cy + 1) // 4
        lit = 0
        for y in range(y0, y1, 2):
            row = y * bytes_per_line
            for x in range(x0, x1, 2):
                (p,) = struct.unpack_from(fmt, pixels, row + 4 * x)
                if channel(p, red_mask) > 40 or channel(p, green_mask) > 40 or channel(p, blue_mask) > 40:
                    lit += 1
        cells += lit * 1000 >= ((x1 - x0 + 1) // 2) * ((y1 - y0 + 1) // 2)
print(cells)
