#!/usr/bin/env python3
"""Writes the test icons: images with pixel patterns that the resource tests read back.

4-bit images use the 16-colour palette below; pixel (x, y) has colour (x + 2y) mod 16 and the 2 x 2 block at
the top left is transparent. 32-bit images have blue = 8x, green = 8y, red = 0x80 and alpha 0xFF, except
alpha 0x40 on the diagonal x == y; their masks are all opaque.
Run from this directory: python3 make_icons.py
"""
import struct

PALETTE = [
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
]


def stride(width, bits):
    return (width * bits + 31) // 32 * 4


def dib(width, height, bits):
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, 0, 0, 0,
                         16 if bits == 4 else 0, 0)
    palette = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0) for c in PALETTE) if bits == 4 else b""
    rows = []
    masks = []
    for y in reversed(range(height)):  # bottom-up
        row = bytearray()
        mask_bits = 0
        if bits == 4:
            for x in range(0, width, 2):
                row.append(((x + 2 * y) % 16) << 4 | ((x + 1 + 2 * y) % 16))
        else:
            for x in range(width):
                row += bytes([(8 * x) & 0xFF, (8 * y) & 0xFF, 0x80, 0x40 if x == y else 0xFF])
        row += bytes(stride(width, bits) - len(row))
        rows.append(bytes(row))
        mask = bytearray(stride(width, 1))
        for x in range(width):
            if bits == 4 and x < 2 and y < 2:
                mask[x // 8] |= 0x80 >> (x % 8)
        masks.append(bytes(mask))
    return header + palette + b"".join(rows) + b"".join(masks)


def ico(path, images):
    blobs = [dib(w, h, bits) for (w, h, bits) in images]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for (w, h, bits), blob in zip(images, blobs):
        directory += struct.pack("<BBBBHHII", w % 256, h % 256, 16 if bits == 4 else 0, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as out:
        out.write(directory + b"".join(blobs))


ico("two_sizes.ico", [(32, 32, 32), (16, 16, 4)])  # the 16 x 16 image wins though it comes second
ico("depths.ico", [(16, 16, 4), (16, 16, 32)])     # same size: the deeper image wins
ico("large_only.ico", [(32, 32, 4)])               # nothing nearer: 32 x 32 it is
