#!/usr/bin/env python3
"""Draws the setup program's icon: a blue box with a white disk and a red
arrow pointing into it, as a 32x32 and a 16x16 image of 16 colours each.
Writes src/wizard/setup.ico (or the path given). With --hello it draws the
example application's icon instead: a globe with a yellow speech bubble
(examples/hello/app/hello.ico)."""
import struct
import sys

# The standard 16-colour palette (B, G, R, 0).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
           (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
           (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
           (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, DARK_BLUE, GREY, RED, BLUE, WHITE, YELLOW = 0, 4, 8, 9, 12, 15, 11
CLEAR = None


def draw(size):
    s = size / 32.0
    pixels = [[CLEAR] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            fx, fy = x / s, y / s
            if 4 <= fx < 28 and 10 <= fy < 30:          # the box
                edge = fx < 5 or fx >= 27 or fy < 11 or fy >= 29
                pixels[y][x] = BLACK if edge else BLUE
                if 6 <= fx < 26 and 12 <= fy < 16:
                    pixels[y][x] = DARK_BLUE
            if (fx - 16) ** 2 + (fy - 20) ** 2 < 25:     # the disk
                pixels[y][x] = WHITE
            if (fx - 16) ** 2 + (fy - 20) ** 2 < 4:
                pixels[y][x] = GREY
            if 14 <= fx < 18 and 1 <= fy < 8:            # arrow shaft
                pixels[y][x] = RED
            if 7 <= fy < 11 and abs(fx - 16) < 11 - fy:  # arrow head
                pixels[y][x] = RED
    return pixels


def draw_hello(size):
    # Palette indices as they come out in the written icon (the table above
    # is stored with red and blue swapped): 9 blue, 1 dark blue, 10 green,
    # 14 yellow.
    BLUE, DARK_BLUE, YELLOW = 9, 1, 14
    s = size / 32.0
    pixels = [[CLEAR] * size for _ in range(size)]
    for y in range(size):
        for x in range(size):
            fx, fy = (x + 0.5) / s, (y + 0.5) / s
            d = (fx - 14) ** 2 + (fy - 18) ** 2
            if d < 144:                                  # the globe
                pixels[y][x] = BLUE
                # land: two blobs in green
                if ((fx - 10) ** 2 / 2 + (fy - 15) ** 2 < 14 or
                        (fx - 18) ** 2 + (fy - 23) ** 2 / 2 < 10):
                    pixels[y][x] = 10
                if d >= 121:
                    pixels[y][x] = DARK_BLUE
            if 18 <= fx < 31 and 1 <= fy < 10:           # the bubble
                edge = fx < 19 or fx >= 30 or fy < 2 or fy >= 9
                pixels[y][x] = BLACK if edge else YELLOW
            if 20 <= fx < 23 and 9 <= fy < 12 - (fx - 20):
                pixels[y][x] = BLACK
    return pixels


def image(size):
    pixels = (draw_hello if HELLO else draw)(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0,
                         0, 0, 16, 0)
    palette = b''.join(bytes((b, g, r, 0)) for (r, g, b) in
                       [(p[2], p[1], p[0]) for p in PALETTE])
    xor = bytearray()
    mask = bytearray()
    mask_row = ((size + 31) // 32) * 4
    for y in reversed(range(size)):                      # bottom-up rows
        row = pixels[y]
        for x in range(0, size, 2):
            hi = row[x] or 0
            lo = row[x + 1] or 0
            xor.append((hi << 4) | lo)
        bits = bytearray(mask_row)
        for x in range(size):
            if row[x] is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + palette + bytes(xor) + bytes(mask)


HELLO = '--hello' in sys.argv


def main():
    args = [a for a in sys.argv[1:] if a != '--hello']
    out = args[0] if args else ('examples/hello/app/hello.ico' if HELLO
                                else 'src/wizard/setup.ico')
    images = [image(32), image(16)]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, body in zip((32, 16), images):
        data += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4,
                            len(body), offset)
        offset += len(body)
    with open(out, 'wb') as f:
        f.write(data + b''.join(images))


main()
