#!/usr/bin/env python3
"""Draws the manager's icons from simple shapes and writes them as .ico files beside this script.

Every picture is laid out on a 16 x 16 grid and rendered at the sizes it is stored in, each pixel sampled
4 x 4 times so that edges are smoothed. Images are 32-bit bitmaps with alpha and an AND mask, which every
icon reader understands. Run it again after changing a shape: python3 make_icons.py
"""

import math
import os
import struct

SAMPLES = 4  # per pixel and axis
GRID = 16.0  # the grid the shapes are written in

# Colours as (red, green, blue).
STEEL = (150, 160, 175)
STEEL_DARK = (70, 78, 92)
PIN = (235, 220, 120)
GREEN = (30, 170, 50)
GREEN_DARK = (10, 100, 25)
RED = (215, 35, 35)
RED_DARK = (130, 10, 10)
BLUE = (40, 95, 210)
BLUE_DARK = (20, 50, 130)
WHITE = (255, 255, 255)
GREY = (165, 165, 165)
GREY_DARK = (105, 105, 105)
GREY_LIGHT = (205, 205, 205)
BODY = (60, 64, 72)
SCREEN = (150, 205, 240)
KEY = (200, 200, 200)


# ---- shapes: each answers whether the point (x, y) of the grid lies inside ---------------------------------

def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_outer, r_inner):
    return lambda x, y: r_inner * r_inner <= (x - cx) ** 2 + (y - cy) ** 2 <= r_outer * r_outer


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def polygon(points):
    """Even-odd fill of a closed polygon."""
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def segment(x0, y0, x1, y1, width):
    """A stroke of the given width with round ends."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2
    return inside


def arc(cx, cy, r, width, start_deg, end_deg):
    """A stroke along a circle from start to end, angles clockwise from 3 o'clock (y grows downwards)."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > width / 2:
            return False
        angle = math.degrees(math.atan2(y - cy, x - cx)) % 360
        start, end = start_deg % 360, end_deg % 360
        return start <= angle <= end if start <= end else angle >= start or angle <= end
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def moved(shape, dx, dy, scale=1.0):
    """The shape scaled about the origin, then moved."""
    return lambda x, y: shape((x - dx) / scale, (y - dy) / scale)


# ---- the pictures: lists of (shape, colour), painted in order -------------------------------------------

def connector(shell=STEEL, edge=STEEL_DARK, pins=PIN):
    """A serial D connector seen from the front: a trapezoid shell with two rows of pins."""
    outer = polygon([(0.5, 3.0), (15.5, 3.0), (13.5, 12.5), (2.5, 12.5)])
    inner = polygon([(1.7, 4.1), (14.3, 4.1), (12.6, 11.4), (3.4, 11.4)])
    layers = [(outer, edge), (inner, shell)]
    for i in range(5):
        layers.append((disc(3.6 + 2.2 * i, 6.2, 0.75), pins))
    for i in range(4):
        layers.append((disc(4.7 + 2.2 * i, 9.2, 0.75), pins))
    return layers


def small_connector(shell=STEEL, edge=STEEL_DARK, pins=PIN):
    """The connector in the upper left, leaving the lower right corner to a badge."""
    return [(moved(shape, -0.6, -1.2, 0.8), colour) for shape, colour in connector(shell, edge, pins)]


def badge(fill, edge):
    return [(disc(11.5, 11.5, 4.4), edge), (disc(11.5, 11.5, 3.6), fill)]


def plus_mark(colour):
    return [(rect(9.3, 10.9, 13.7, 12.1), colour), (rect(10.9, 9.3, 12.1, 13.7), colour)]


def cross_mark(colour):
    return [(segment(9.8, 9.8, 13.2, 13.2, 1.5), colour), (segment(13.2, 9.8, 9.8, 13.2, 1.5), colour)]


def no_entry_mark(colour):
    return [(rect(9.2, 10.8, 13.8, 12.2), colour)]


def outlined(shapes, colour, edge, width=0.7):
    """The shapes in colour over copies shifted all round in the edge colour."""
    offsets = [(dx * width, dy * width) for dx in (-1, 0, 1) for dy in (-1, 0, 1) if dx or dy]
    return [(moved(s, dx, dy), edge) for s in shapes for dx, dy in offsets] + [(s, colour) for s in shapes]


def arrow(up, colour, edge):
    if up:
        head = polygon([(11.5, 7.4), (15.3, 11.6), (7.7, 11.6)])
        shaft = rect(10.3, 11.4, 12.7, 15.2)
    else:
        head = polygon([(11.5, 15.6), (15.3, 11.4), (7.7, 11.4)])
        shaft = rect(10.3, 7.8, 12.7, 11.6)
    return outlined([head, shaft], colour, edge)


def play_mark(colour, edge):
    return outlined([polygon([(9.4, 8.6), (15.0, 12.0), (9.4, 15.4)])], colour, edge)


def question_disc():
    return [(disc(8, 8, 7.6), BLUE_DARK), (disc(8, 8, 6.8), BLUE),
            (arc(8, 6.2, 2.4, 1.7, 180, 90), WHITE), (segment(8.0, 8.6, 8.0, 9.9, 1.7), WHITE),
            (disc(8, 12.3, 1.05), WHITE)]


def handheld():
    return [(rounded_rect(3.0, 0.5, 13.0, 15.5, 1.6), BODY), (rect(4.4, 2.0, 11.6, 10.0), SCREEN),
            (rect(4.4, 2.0, 11.6, 3.0), BLUE), (disc(8, 12.8, 1.3), KEY), (disc(5.3, 12.8, 0.7), KEY),
            (disc(10.7, 12.8, 0.7), KEY)]


def program_icon():
    """The handheld with a pair of ports, one sending up, one down."""
    device = [(moved(shape, -1.5, 0, 1.0), colour) for shape, colour in handheld()]
    return device + [(polygon([(13.0, 2.5), (16.0, 6.0), (10.0, 6.0)]), GREEN),
                     (rect(12.2, 6.0, 13.8, 8.0), GREEN),
                     (polygon([(13.0, 13.5), (16.0, 10.0), (10.0, 10.0)]), GREEN),
                     (rect(12.2, 8.0, 13.8, 10.0), GREEN)]


GREY_CONNECTOR = dict(shell=GREY_LIGHT, edge=GREY_DARK, pins=GREY)

ICONS = {
    "user_guide": ([16], question_disc()),
    "add_pair": ([16], small_connector() + badge(GREEN, GREEN_DARK) + plus_mark(WHITE)),
    "delete_pair": ([16], small_connector() + badge(RED, RED_DARK) + cross_mark(WHITE)),
    "delete_pair_off": ([16], small_connector(**GREY_CONNECTOR) + badge(GREY, GREY_DARK) + cross_mark(WHITE)),
    "device": ([16], handheld()),
    "port_even": ([16], small_connector() + arrow(True, GREEN, GREEN_DARK)),
    "port_odd": ([16], small_connector() + arrow(False, GREEN, GREEN_DARK)),
    "physical_port": ([16], connector()),
    "port_disabled": ([16], small_connector() + badge(RED, RED_DARK) + no_entry_mark(WHITE)),
    "port_enable": ([16], small_connector() + play_mark(GREEN, GREEN_DARK)),
    "toggle_off": ([16], small_connector(**GREY_CONNECTOR) + badge(GREY, GREY_DARK) + no_entry_mark(WHITE)),
    "program": ([32, 16], program_icon()),
}


# ---- rendering and the .ico format ---------------------------------------------------------------------

def render(layers, size):
    """Rows of (r, g, b, a), top row first, painted back to front with coverage as alpha."""
    pixels = []
    scale = GRID / size
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for shape, colour in layers:
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        x = (px + (sx + 0.5) / SAMPLES) * scale
                        y = (py + (sy + 0.5) / SAMPLES) * scale
                        hits += shape(x, y)
                cover = hits / (SAMPLES * SAMPLES)
                if cover == 0:
                    continue
                # "over" compositing with premultiplied channels
                r = colour[0] * cover + r * (1 - cover)
                g = colour[1] * cover + g * (1 - cover)
                b = colour[2] * cover + b * (1 - cover)
                a = cover + a * (1 - cover)
            if a > 0:
                row.append((round(r / a), round(g / a), round(b / a), round(a * 255)))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def dib(pixels):
    """BITMAPINFOHEADER, 32-bit BGRA rows bottom-up, then the 1-bit AND mask (1 = transparent)."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(struct.pack("<BBBB", b, g, r, a) for row in reversed(pixels) for r, g, b, a in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def ico(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for size, image in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    return directory + entries + data


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, (sizes, layers) in ICONS.items():
        images = [(size, dib(render(layers, size))) for size in sizes]
        with open(os.path.join(here, name + ".ico"), "wb") as out:
            out.write(ico(images))


if __name__ == "__main__":
    main()
