#!/usr/bin/env python3
"""Draws the application's bundled 24x24 icons into resources/icons/ and writes resources/icons.qrc.

Only the standard library: shapes are rasterised with 4x4 supersampling and saved as RGBA PNG.
Usage: tools/draw_icons.py [resources folder]
"""
import math
import os
import struct
import sys
import zlib

SIZE = 24
SUB = 4  # samples per pixel along each axis


# Shapes: each is a function (x, y) -> bool in pixel coordinates, (0, 0) the top left corner.

def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width):
    inner = r - width
    return lambda x, y: inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def polygon(*points):
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < xa + (y - ya) * (xb - xa) / (yb - ya):
                result = not result
        return result
    return inside


def line(points, width):
    """A polyline of round-capped thick segments."""
    half = width / 2.0
    segments = list(zip(points, points[1:]))

    def near(x, y):
        for (xa, ya), (xb, yb) in segments:
            dx, dy = xb - xa, yb - ya
            length2 = dx * dx + dy * dy
            t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - xa) * dx + (y - ya) * dy) / length2))
            px, py = xa + t * dx, ya + t * dy
            if (x - px) ** 2 + (y - py) ** 2 <= half * half:
                return True
        return False
    return near


def outline(shape_outer, shape_inner):
    return lambda x, y: shape_outer(x, y) and not shape_inner(x, y)


def gear(cx, cy, r_outer, r_inner, teeth):
    points = []
    for i in range(teeth * 4):
        angle = 2 * math.pi * i / (teeth * 4)
        r = r_outer if i % 4 in (0, 1) else r_inner
        points.append((cx + r * math.cos(angle), cy + r * math.sin(angle)))
    return polygon(*points)


# Colours (r, g, b, a).
INK = (40, 44, 52, 255)
PAPER = (250, 250, 246, 255)
FOLDER = (232, 176, 48, 255)
FOLDER_LIGHT = (250, 208, 96, 255)
BLUE = (52, 101, 164, 255)
GREEN = (64, 154, 50, 255)
RED = (204, 40, 40, 255)
GREY = (120, 124, 130, 255)
PINK = (236, 128, 150, 255)


def folder_shapes():
    return [
        (polygon((2, 6), (9, 6), (11, 8), (22, 8), (22, 20), (2, 20)), FOLDER),
        (outline(polygon((2, 6), (9, 6), (11, 8), (22, 8), (22, 20), (2, 20)),
                 polygon((3, 7), (8.6, 7), (10.6, 9), (21, 9), (21, 19), (3, 19))), INK),
    ]


def page_shapes():
    body = polygon((5, 2), (15, 2), (20, 7), (20, 22), (5, 22))
    inner = polygon((6, 3), (14.6, 3), (19, 7.4), (19, 21), (6, 21))
    return [
        (body, PAPER),
        (outline(body, inner), INK),
        (line([(15, 2.5), (15, 7), (19.5, 7)], 1), INK),
    ]


ICONS = {
    "folder": folder_shapes(),
    "folium/fileopen": folder_shapes()[:1] + [
        (polygon((5, 11), (23, 11), (20, 20), (2, 20)), FOLDER_LIGHT),
        (outline(polygon((5, 11), (23, 11), (20, 20), (2, 20)),
                 polygon((5.8, 12), (21.6, 12), (19.3, 19), (3.4, 19))), INK),
        (line([(2.5, 6.5), (9, 6.5), (11, 8.5), (17, 8.5), (17, 11)], 1), INK),
        (line([(2.5, 6.5), (2.5, 19.5)], 1), INK),
    ],
    "folium/filesave": [
        (polygon((3, 3), (18, 3), (21, 6), (21, 21), (3, 21)), BLUE),
        (rect(6, 3, 16, 9), PAPER),
        (rect(12, 4, 14, 8), BLUE),
        (rect(6, 13, 18, 21), PAPER),
        (line([(8, 16), (16, 16)], 1), GREY),
        (line([(8, 18.5), (16, 18.5)], 1), GREY),
    ],
    "DocsIcon": page_shapes() + [
        (line([(8, 11), (17, 11)], 1.2), GREY),
        (line([(8, 14), (17, 14)], 1.2), GREY),
        (line([(8, 17), (14, 17)], 1.2), GREY),
    ],
    "folium/contents": page_shapes() + [
        (circle(8.5, 10, 1.1), INK), (line([(11, 10), (17, 10)], 1.2), GREY),
        (circle(8.5, 14, 1.1), INK), (line([(11, 14), (17, 14)], 1.2), GREY),
        (circle(8.5, 18, 1.1), INK), (line([(11, 18), (17, 18)], 1.2), GREY),
    ],
    "folium/bookmark_add": [
        (polygon((4, 2), (14, 2), (14, 20), (9, 15), (4, 20)), RED),
        (line([(18, 12), (18, 22)], 2.4), GREEN),
        (line([(13, 17), (23, 17)], 2.4), GREEN),
    ],
    "folium/bookmark_folder": folder_shapes() + [
        (polygon((13, 4), (19, 4), (19, 15), (16, 12), (13, 15)), RED),
    ],
    "folium/gear": [
        (gear(12, 12, 10, 7.5, 8), GREY),
        (circle(12, 12, 3.2), (0, 0, 0, 0)),
    ],
    "folium/eraser": [
        (polygon((3, 15), (13, 5), (21, 13), (11, 23)), PINK),
        (polygon((3, 15), (8, 10), (16, 18), (11, 23)), GREY),
        (line([(3, 15), (13, 5), (21, 13), (11, 23), (3, 15)], 1), INK),
    ],
    "back": [
        (polygon((2, 12), (11, 3), (11, 8), (21, 8), (21, 16), (11, 16), (11, 21)), GREEN),
    ],
    "close": [
        (line([(5, 5), (19, 19)], 3), RED),
        (line([(19, 5), (5, 19)], 3), RED),
    ],
    "enter": [
        (line([(19, 4), (19, 14), (6, 14)], 2.4), BLUE),
        (polygon((2, 14), (8, 8.5), (8, 19.5)), BLUE),
    ],
    "OKButton": [
        (line([(4, 13), (9.5, 18.5), (20, 6)], 3.2), GREEN),
    ],
    "SettingsIcon": [
        (line([(3, 6), (21, 6)], 1.6), GREY),
        (line([(3, 12), (21, 12)], 1.6), GREY),
        (line([(3, 18), (21, 18)], 1.6), GREY),
        (circle(8, 6, 2.6), BLUE),
        (circle(16, 12, 2.6), BLUE),
        (circle(11, 18, 2.6), BLUE),
    ],
}


def render(shapes):
    pixels = []
    step = 1.0 / SUB
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied
            for sy in range(SUB):
                for sx in range(SUB):
                    x, y = px + (sx + 0.5) * step, py + (sy + 0.5) * step
                    colour = [0.0, 0.0, 0.0, 0.0]
                    for shape, (r, g, b, a) in shapes:
                        if shape(x, y):
                            if a == 0:  # a hole punched through everything below
                                colour = [0.0, 0.0, 0.0, 0.0]
                                continue
                            alpha = a / 255.0
                            colour = [r * alpha + colour[0] * (1 - alpha),
                                      g * alpha + colour[1] * (1 - alpha),
                                      b * alpha + colour[2] * (1 - alpha),
                                      alpha + colour[3] * (1 - alpha)]
                    for i in range(4):
                        acc[i] += colour[i]
            n = SUB * SUB
            alpha = acc[3] / n
            if alpha > 0:
                row += [round(acc[i] / n / alpha) for i in range(3)] + [round(alpha * 255)]
            else:
                row += [0, 0, 0, 0]
        pixels.append(bytes(row))
    return pixels


def png(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    entries = []
    for name in sorted(ICONS):
        path = os.path.join(target, "icons", name + ".png")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(png(render(ICONS[name])))
        entries.append("  <file>icons/%s.png</file>" % name)
    with open(os.path.join(target, "icons.qrc"), "w", encoding="utf-8", newline="\n") as f:
        f.write("<!DOCTYPE RCC>\n<!-- Written by tools/draw_icons.py. -->\n<RCC version=\"1.0\">\n"
                "  <qresource prefix=\"/\">\n")
        f.write("\n".join("  " + e for e in entries) + "\n")
        f.write("  </qresource>\n</RCC>\n")


if __name__ == "__main__":
    main()
