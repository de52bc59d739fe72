#!/usr/bin/env python3
"""Draws the program's 48 x 48 icon and writes it as PNG, ICO and ICNS.

The artwork: a blue shield-like tile with three white list lines, the first
two ticked in green. The ICO holds one 24-bit image with a 1-bit mask, the
form the Windows title bar and Explorer use; the PNG is the same image with
full transparency outside the tile.
"""
import struct
import sys
import zlib

N = 48


def pixel(x, y):
    """Returns (r, g, b) or None for transparent."""
    # Rounded tile from 2 to 45.
    lo, hi, r = 2, 45, 7
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    if (x - cx) ** 2 + (y - cy) ** 2 > r * r or not (lo <= x <= hi and lo <= y <= hi):
        return None
    if x in (lo, hi) or y in (lo, hi) or (x - cx) ** 2 + (y - cy) ** 2 > (r - 1.5) ** 2:
        return (16, 40, 96)  # outline
    for row, ticked in ((0, True), (1, True), (2, False)):
        top = 11 + row * 10
        # check box
        if 9 <= x <= 16 and top <= y <= top + 7:
            if x in (9, 16) or y in (top, top + 7):
                return (240, 240, 240)
            if ticked and (
                (y - top == 4 + (x - 11) and 11 <= x <= 13) or (y - top == 6 - (x - 13) and 13 <= x <= 15)
            ):
                return (60, 200, 80)
            return (30, 70, 150)
        # list line
        if 20 <= x <= 38 and top + 3 <= y <= top + 4:
            return (240, 240, 240) if ticked else (150, 170, 210)
    return (30, 70 + y, 150 + y)  # blue, lighter towards the bottom


def png_bytes(size=N):
    """The image as PNG, scaled to size x size by nearest neighbour."""
    raw = b""
    for y in range(size):
        raw += b"\0"
        for x in range(size):
            p = pixel(x * N // size, y * N // size)
            raw += bytes(p + (255,)) if p else b"\0\0\0\0"

    def chunk(kind, data):
        c = kind + data
        return struct.pack(">I", len(data)) + c + struct.pack(">I", zlib.crc32(c) & 0xFFFFFFFF)

    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
        + chunk(b"IDAT", zlib.compress(raw, 9))
        + chunk(b"IEND", b"")
    )


def png(path):
    with open(path, "wb") as f:
        f.write(png_bytes())


def icns(path):
    """A macOS icon holding the image at 128 x 128 (type ic07, PNG data)."""
    data = png_bytes(128)
    element = b"ic07" + struct.pack(">I", 8 + len(data)) + data
    with open(path, "wb") as f:
        f.write(b"icns" + struct.pack(">I", 8 + len(element)) + element)


def ico(path):
    xor = b""
    for y in reversed(range(N)):  # bottom-up rows
        for x in range(N):
            p = pixel(x, y) or (0, 0, 0)
            xor += bytes((p[2], p[1], p[0]))
    mask_row = (N + 31) // 32 * 4
    mask = b""
    for y in reversed(range(N)):
        bits = 0
        for x in range(N):
            bits = (bits << 1) | (1 if pixel(x, y) is None else 0)
        mask += bits.to_bytes(N // 8, "big") + b"\0" * (mask_row - N // 8)
    header = struct.pack("<IiiHHIIiiII", 40, N, 2 * N, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1))
        f.write(struct.pack("<BBBBHHII", N, N, 0, 0, 1, 24, len(image), 6 + 16))
        f.write(image)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    png(f"{out}/vantorel-admins.png")
    ico(f"{out}/vantorel-admins.ico")
    icns(f"{out}/vantorel-admins.icns")
