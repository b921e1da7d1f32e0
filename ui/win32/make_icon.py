#!/usr/bin/env python3
"""Draws the configurator's icon and writes it as a Windows .ico file.

The picture: a circuit board with an Ethernet socket and a controller chip on a
blue tile. Each size is rendered from the same shapes with 4 x 4 supersampling, so
the small sizes stay clean; every image is a 32-bit BGRA bitmap with its AND mask.

    make_icon.py OUTPUT.ico
"""

import struct
import sys

SIZES = (16, 24, 32, 48, 64)
SUBSAMPLES = 4

TILE = (0x1D, 0x4E, 0x89)
BOARD = (0x2F, 0x8F, 0x4E)
BOARD_EDGE = (0x1E, 0x63, 0x35)
SOCKET = (0xD9, 0xDD, 0xE2)
SOCKET_MOUTH = (0x26, 0x2B, 0x31)
CHIP = (0x22, 0x24, 0x28)
GOLD = (0xE8, 0xB8, 0x3A)
LED = (0x7C, 0xF2, 0x6A)


def rounded_rect(left, top, right, bottom, radius):
    def inside(x, y):
        if not (left <= x <= right and top <= y <= bottom):
            return False
        cx = min(max(x, left + radius), right - radius)
        cy = min(max(y, top + radius), bottom - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2
    return inside


def rect(left, top, right, bottom):
    return lambda x, y: left <= x <= right and top <= y <= bottom


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r ** 2


def shapes():
    """Shapes in unit coordinates, painted in order (later ones on top)."""
    layers = [
        (rounded_rect(0.02, 0.02, 0.98, 0.98, 0.18), TILE),
        (rounded_rect(0.12, 0.20, 0.90, 0.82, 0.05), BOARD_EDGE),
        (rounded_rect(0.14, 0.22, 0.88, 0.80, 0.04), BOARD),
        # traces from the socket to the chip
        (rect(0.38, 0.40, 0.52, 0.44), GOLD),
        (rect(0.38, 0.50, 0.52, 0.54), GOLD),
        (rect(0.38, 0.60, 0.52, 0.64), GOLD),
        # the Ethernet socket on the board's left edge
        (rect(0.06, 0.34, 0.40, 0.70), SOCKET),
        (rect(0.10, 0.42, 0.30, 0.62), SOCKET_MOUTH),
        (rect(0.16, 0.62, 0.24, 0.67), SOCKET_MOUTH),
        # the controller chip with its pins
        (rect(0.52, 0.34, 0.80, 0.70), CHIP),
    ]
    for i in range(4):
        x = 0.555 + i * 0.065
        layers.append((rect(x, 0.28, x + 0.035, 0.34), GOLD))
        layers.append((rect(x, 0.70, x + 0.035, 0.76), GOLD))
    layers.append((circle(0.78, 0.27, 0.035), LED))
    return layers


def render(size, layers):
    """Rows top-down of (b, g, r, a) tuples."""
    rows = []
    samples = SUBSAMPLES * SUBSAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            red = green = blue = alpha = 0.0
            for sy in range(SUBSAMPLES):
                for sx in range(SUBSAMPLES):
                    x = (px + (sx + 0.5) / SUBSAMPLES) / size
                    y = (py + (sy + 0.5) / SUBSAMPLES) / size
                    colour = None
                    for inside, fill in layers:
                        if inside(x, y):
                            colour = fill
                    if colour is not None:
                        red += colour[0]
                        green += colour[1]
                        blue += colour[2]
                        alpha += 1
            if alpha == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(blue / alpha), round(green / alpha), round(red / alpha),
                            round(255 * alpha / samples)))
        rows.append(row)
    return rows


def icon_image(size, layers):
    """BITMAPINFOHEADER, bottom-up BGRA pixels, then the 1-bit AND mask."""
    rows = render(size, layers)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(channel for pixel in row for channel in pixel)
                      for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:  # transparent where nothing is drawn
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def write_icon(path):
    layers = shapes()
    images = [icon_image(size, layers) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, image in zip(SIZES, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image),
                               offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(directory + entries + b"".join(images))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    write_icon(sys.argv[1])
