#!/usr/bin/env python3
"""Draws product.ico, the sample product's icon: a blue tile with a white
parcel on it, at 16, 32 and 48 pixels, as 32-bit bitmaps with their masks.
Standard library only; the same bytes every time.

    examples/identity/make_icon.py examples/identity/product.ico
"""

import struct
import sys


def pixel(x: float, y: float) -> tuple[int, int, int, int]:
    """The colour (B, G, R, A) at (x, y), both from 0 to 1, y downwards."""
    inside_tile = 0.06 <= x <= 0.94 and 0.06 <= y <= 0.94
    if not inside_tile:
        return (0, 0, 0, 0)
    parcel = 0.25 <= x <= 0.75 and 0.3 <= y <= 0.8
    string = abs(x - 0.5) < 0.05 or abs(y - 0.55) < 0.05
    if parcel and string:
        return (40, 160, 240, 255)  # orange string
    if parcel:
        return (250, 250, 250, 255)
    shade = int(150 + 80 * (1 - y))
    return (shade, 90, 30, 255)  # a blue that darkens downwards


def bitmap(size: int) -> bytes:
    """A BITMAPINFOHEADER (height doubled for the mask), the pixels bottom-up,
    then the AND mask, whose rows are padded to 4 bytes."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    row_bytes = ((size + 31) // 32) * 4
    for row in reversed(range(size)):
        bits = bytearray(row_bytes)
        for column in range(size):
            colour = pixel((column + 0.5) / size, (row + 0.5) / size)
            pixels += bytes(colour)
            if colour[3] == 0:
                bits[column // 8] |= 0x80 >> (column % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def icon(sizes: list[int]) -> bytes:
    images = [bitmap(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    for size, image in zip(sizes, images):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32,
                                 len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(icon([16, 32, 48]))
