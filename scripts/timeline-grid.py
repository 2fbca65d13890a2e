#!/usr/bin/env python3
"""Tiles chosen frames of a headless export into one RGB PNG, for the README.

Usage: timeline-grid.py OUT.png COLUMNS FRAME.png...  (frames of one size,
8-bit RGBA as the exporter writes them). Needs only the standard library.
"""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if depth != 8 or colour != 6:
                sys.exit(f"{path}: not 8-bit RGBA")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride, rows, prev = width * 4, [], bytearray(width * 4)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prev = line
    return width, height, rows


def main():
    out, columns, paths = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    frames = [read_png(p) for p in paths]
    w, h = frames[0][0], frames[0][1]
    lines = (len(frames) + columns - 1) // columns
    gap = 2
    width, height = columns * w + (columns - 1) * gap, lines * h + (lines - 1) * gap
    image = [bytearray(width * 3) for _ in range(height)]
    for k, (fw, fh, rows) in enumerate(frames):
        x0, y0 = (k % columns) * (w + gap), (k // columns) * (h + gap)
        for y in range(fh):
            src, dst = rows[y], image[y0 + y]
            for x in range(fw):
                dst[(x0 + x) * 3:(x0 + x) * 3 + 3] = src[x * 4:x * 4 + 3]
    # Each row filtered the way that leaves the smallest values (what PNG
    # encoders usually do): photos of stone compress far better so.
    out_rows, prev = [], bytearray(width * 3)
    for row in image:
        best = None
        for kind in (0, 1, 2, 4):
            f = bytearray(len(row))
            for i in range(len(row)):
                a = row[i - 3] if i >= 3 else 0
                b = prev[i]
                c = prev[i - 3] if i >= 3 else 0
                if kind == 0:
                    pred = 0
                elif kind == 1:
                    pred = a
                elif kind == 2:
                    pred = b
                else:
                    p = a + b - c
                    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                    pred = a if pa <= pb and pa <= pc else b if pb <= pc else c
                f[i] = (row[i] - pred) & 255
            cost = sum(v if v < 128 else 256 - v for v in f)
            if best is None or cost < best[0]:
                best = (cost, kind, f)
        out_rows.append(bytes([best[1]]) + bytes(best[2]))
        prev = row
    raw = b"".join(out_rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    open(out, "wb").write(png)


if __name__ == "__main__":
    main()
