#!/usr/bin/env python3
"""Draws the copy clip (a sheet flying from a folder to a removable drive) into an RLE8 AVI file."""
import struct
import sys

WIDTH, HEIGHT = 272, 60
FRAMES = 34
FRAME_US = 100000  # 100 ms a frame
FLIGHT_FRAMES = 28  # the sheet is in the air for these; the rest shows the drive at work

PALETTE = [
    (255, 255, 255),  # 0 background
    (30, 30, 40),  # 1 outline
    (244, 206, 96),  # 2 folder
    (206, 158, 52),  # 3 folder back and tab
    (60, 96, 170),  # 4 drive body
    (34, 56, 110),  # 5 drive shade
    (205, 205, 212),  # 6 connector
    (252, 252, 250),  # 7 sheet
    (150, 150, 160),  # 8 text lines on the sheet
    (60, 210, 80),  # 9 drive light on
    (20, 80, 30),  # 10 drive light off
]


def rect(img, left, top, right, bottom, colour):
    for y in range(max(top, 0), min(bottom, HEIGHT)):
        row = img[y]
        for x in range(max(left, 0), min(right, WIDTH)):
            row[x] = colour


def box(img, left, top, right, bottom, fill):
    rect(img, left, top, right, bottom, 1)
    rect(img, left + 1, top + 1, right - 1, bottom - 1, fill)


def draw_folder(img, open_amount):
    # Back of the folder with its tab, then the front, lowered as the folder opens.
    box(img, 18, 16, 44, 22, 3)
    box(img, 18, 20, 82, 52, 3)
    lift = 4 * open_amount
    box(img, 18, 26 + lift, 82, 52, 2)


def draw_drive(img, light_on):
    box(img, 206, 8, 232, 20, 6)  # connector
    rect(img, 212, 12, 216, 16, 1)
    rect(img, 222, 12, 226, 16, 1)
    box(img, 198, 18, 240, 54, 4)  # body
    rect(img, 199, 46, 239, 53, 5)
    box(img, 228, 24, 234, 30, 9 if light_on else 10)  # light


def draw_sheet(img, cx, cy):
    left, top = int(cx) - 7, int(cy) - 9
    box(img, left, top, left + 14, top + 18, 7)
    for line in range(4):
        rect(img, left + 3, top + 4 + 3 * line, left + 11 - (line % 2) * 3, top + 5 + 3 * line, 8)


def frame(index):
    img = [bytearray(WIDTH) for _ in range(HEIGHT)]
    flying = index < FLIGHT_FRAMES
    t = index / (FLIGHT_FRAMES - 1) if flying else 1.0
    draw_folder(img, 1 if flying and t < 0.2 else 0)
    if flying:
        # An arc from the folder's mouth down into the drive's connector; the
        # drive is drawn over the sheet, so that it slides in.
        x = 50 + (219 - 50) * t
        y = 26 + (12 - 26) * t - 48 * t * (1 - t)
        draw_sheet(img, x, y)
    draw_drive(img, (not flying) and index % 2 == 0)
    return img


def rle8(img):
    """Encoded-mode runs only, bottom row first, as the format wants."""
    out = bytearray()
    for y in range(HEIGHT - 1, -1, -1):
        row = img[y]
        x = 0
        while x < WIDTH:
            run = 1
            while x + run < WIDTH and run < 255 and row[x + run] == row[x]:
                run += 1
            out += bytes((run, row[x]))
            x += run
        out += b"\x00\x00"  # end of line
    out[-2:] = b"\x00\x01"  # end of bitmap replaces the last end of line
    return bytes(out)


def chunk(fourcc, data):
    pad = b"\x00" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, fourcc, body):
    return kind + struct.pack("<I", len(body) + 4) + fourcc + body


def build():
    frames = [rle8(frame(i)) for i in range(FRAMES)]
    largest = max(len(f) for f in frames)

    avih = struct.pack("<14I", FRAME_US, largest * 10, 0, 0x10, FRAMES, 0, 1, largest, WIDTH,
                       HEIGHT, 0, 0, 0, 0)
    strh = (b"vids" + b"RLE " + struct.pack("<IHHIIIIIIiI", 0, 0, 0, 0, 1, 10, 0, FRAMES,
                                            largest, -1, 0) + struct.pack("<4h", 0, 0, WIDTH,
                                                                          HEIGHT))
    strf = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 1, WIDTH * HEIGHT, 0, 0,
                       len(PALETTE), 0)
    strf += b"".join(struct.pack("<4B", b, g, r, 0) for r, g, b in PALETTE)
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)

    movi_body = b""
    index = b""
    for data in frames:
        # Offsets count from the 'movi' identifier.
        index += b"00dc" + struct.pack("<III", 0x10, 4 + len(movi_body), len(data))
        movi_body += chunk(b"00dc", data)
    movi = riff_list(b"LIST", b"movi", movi_body)
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", index))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_clip.py OUTPUT.avi")
    with open(sys.argv[1], "wb") as out:
        out.write(build())


if __name__ == "__main__":
    main()
