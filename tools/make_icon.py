#!/usr/bin/env python3
"""Draws the program's icon (an envelope over a pocket drive) into a multi-size .ico file."""
import struct
import sys

SIZES = (64, 48, 32, 24, 16)
SUPERSAMPLE = 4


def inside_round_rect(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def shade(u, v):
    """Colour (r, g, b, a) of the art at unit coordinates u, v in [0, 1)."""
    # Body of the pocket drive: a deep blue rounded slab.
    if inside_round_rect(u, v, 0.14, 0.30, 0.86, 0.94, 0.10):
        # Envelope on the slab.
        if 0.24 <= u <= 0.76 and 0.46 <= v <= 0.80:
            edge = abs((v - 0.46) - 0.70 * (0.26 - abs(u - 0.50)))
            if edge < 0.035:
                return (40, 80, 150, 255)
            if u < 0.26 or u > 0.74 or v < 0.48 or v > 0.78:
                return (40, 80, 150, 255)
            return (250, 250, 245, 255)
        top_light = 1.0 - 0.35 * (v - 0.30) / 0.64
        return (int(30 * top_light), int(100 * top_light), int(200 * top_light), 255)
    # Connector of the drive.
    if 0.32 <= u <= 0.68 and 0.08 <= v <= 0.32:
        if (0.40 <= u <= 0.47 or 0.53 <= u <= 0.60) and 0.14 <= v <= 0.20:
            return (90, 90, 90, 255)
        return (200, 200, 205, 255)
    return (0, 0, 0, 0)


def render(size):
    pixels = []
    n = SUPERSAMPLE * SUPERSAMPLE
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = a = 0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    u = (x + (sx + 0.5) / SUPERSAMPLE) / size
                    v = (y + (sy + 0.5) / SUPERSAMPLE) / size
                    pr, pg, pb, pa = shade(u, v)
                    r += pr * pa
                    g += pg * pa
                    b += pb * pa
                    a += pa
            if a:
                row.append((r // a, g // a, b // a, a // n))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def dib(size):
    pixels = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            body += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(body) + bytes(mask)


def main():
    images = [dib(s) for s in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
