#!/usr/bin/env python3
"""Writes the tray icons (16 x 16, 256 colours) and the program's icon into src/resources/.

102 light grey diagonal crossed lines on black   server disabled or failed
118 black and white concentric rings             a client is being served
119 plain red disc                               waiting, auto snapshot on
121 red disc with a white question mark          waiting, auto snapshot on, asking
122 plain amber disc                             waiting, auto snapshot off
123 amber disc with a black question mark        waiting, auto snapshot off, asking
Run from the repository's top folder.
"""
import struct

TRANSPARENT = None
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
GREY = (200, 200, 200)
RED = (220, 30, 30)
DARK_RED = (150, 10, 10)
AMBER = (255, 176, 0)
DARK_AMBER = (190, 120, 0)

QUESTION = [
    ".###.",
    "#...#",
    "....#",
    "...#.",
    "..#..",
    "..#..",
    ".....",
    "..#..",
]


def disc(size, fill, rim):
    centre = (size - 1) / 2.0
    radius = size / 2.0 - 0.5
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            d = ((x - centre) ** 2 + (y - centre) ** 2) ** 0.5
            row.append(TRANSPARENT if d > radius else (rim if d > radius - 1.2 else fill))
        pixels.append(row)
    return pixels


def with_question(pixels, colour):
    size = len(pixels)
    left, top = (size - 5) // 2, (size - 8) // 2
    for dy, line in enumerate(QUESTION):
        for dx, ch in enumerate(line):
            if ch == "#":
                pixels[top + dy][left + dx] = colour
    return pixels


def rings(size):
    centre = (size - 1) / 2.0
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            d = ((x - centre) ** 2 + (y - centre) ** 2) ** 0.5
            row.append(TRANSPARENT if d > size / 2.0 - 0.5 else (BLACK if int(d / 1.5) % 2 == 0 else WHITE))
        pixels.append(row)
    return pixels


def crossed_lines(size):
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            on = abs(x - y) <= 1 or abs(x + y - (size - 1)) <= 1
            row.append(GREY if on else BLACK)
        pixels.append(row)
    return pixels


def write_icon(path, images):
    """images: list of square pixel grids; writes 8-bit palette images with an AND mask."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for pixels in images:
        size = len(pixels)
        palette = [BLACK]
        for row in pixels:
            for p in row:
                if p is not None and p not in palette:
                    palette.append(p)
        assert len(palette) <= 256
        header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
        colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
        colours += b"\0" * (1024 - len(colours))
        xor = b""
        mask = b""
        mask_stride = ((size + 31) // 32) * 4
        for row in reversed(pixels):  # bottom-up
            xor += bytes(0 if p is None else palette.index(p) for p in row)
            bits = 0
            line = bytearray(mask_stride)
            for x, p in enumerate(row):
                if p is None:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(line)
            del bits
        blob = header + colours + xor + mask
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 8, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    with open(path, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, len(images)))
        out.write(b"".join(entries))
        out.write(b"".join(blobs))


if __name__ == "__main__":
    folder = "src/resources/"
    write_icon(folder + "disabled.ico", [crossed_lines(16)])
    write_icon(folder + "sending.ico", [rings(16)])
    write_icon(folder + "auto.ico", [disc(16, RED, DARK_RED)])
    write_icon(folder + "auto_ask.ico", [with_question(disc(16, RED, DARK_RED), WHITE)])
    write_icon(folder + "stored.ico", [disc(16, AMBER, DARK_AMBER)])
    write_icon(folder + "stored_ask.ico", [with_question(disc(16, AMBER, DARK_AMBER), BLACK)])
    write_icon(folder + "glintor.ico", [rings(32), rings(16)])
