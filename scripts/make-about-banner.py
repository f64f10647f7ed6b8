#!/usr/bin/env python3
"""Draws the information dialog's built-in banner, an animated GIF, and writes it to the path given.

The picture is ours: a deep blue band with a row of book spines and a light that runs along them.
Pixels are packed with the format's own LZW coding, written out here, so no image library is
needed.
"""
import struct
import sys

WIDTH, HEIGHT, FRAMES = 550, 96, 8


def palette():
    colours = []
    for i in range(64):  # 0..63: the band, dark blue to lighter blue
        colours.append((0x00, 0x20 + i // 2, 0x50 + i))
    spines = [(0x8a, 0x2c, 0x1e), (0x2e, 0x6b, 0x3a), (0xc9, 0x9a, 0x2e), (0x5a, 0x3d, 0x7a), (0xe8, 0xe2, 0xd0)]
    for r, g, b in spines:  # 64..(64 + 5 * 16): each spine colour in 16 shades of light
        for s in range(16):
            f = 0.55 + s * 0.03
            colours.append((min(255, int(r * f)), min(255, int(g * f)), min(255, int(b * f))))
    while len(colours) < 256:
        colours.append((255, 255, 255))
    return colours


def frame_pixels(frame):
    light_x = (frame * WIDTH) // FRAMES
    rows = []
    for y in range(HEIGHT):
        row = bytearray()
        for x in range(WIDTH):
            glow = max(0, 60 - abs(x - light_x) // 3)
            shade = min(63, (y * 40) // HEIGHT + glow // 3)
            colour = shade
            spine = (x - 300) // 22
            if 300 <= x < 300 + 22 * 10 and 14 <= y < 84 and (x - 300) % 22 < 18:
                kind = spine % 5
                level = max(0, min(15, 4 + glow // 5 - abs((x - 300) % 22 - 9) // 3))
                colour = 64 + kind * 16 + level
                if y in (24, 25, 72, 73):  # the bands across each spine
                    colour = 64 + 2 * 16 + 15
            row.append(colour)
        rows.append(row)
    return b"".join(rows)


def lzw(pixels):
    clear, end = 256, 257
    out, acc, bits = bytearray(), 0, 0

    def put(code, width):
        nonlocal acc, bits
        acc |= code << bits
        bits += width
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8

    table, next_code, width = {}, 258, 9
    put(clear, width)
    prefix = pixels[0]
    for byte in pixels[1:]:
        key = (prefix, byte)
        if key in table:
            prefix = table[key]
            continue
        put(prefix, width)
        if next_code < 4096:
            table[key] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:  # the table is full: start it again
            put(clear, width)
            table, next_code, width = {}, 258, 9
        prefix = byte
    put(prefix, width)
    put(end, width)
    if bits:
        out.append(acc & 0xFF)
    blocks = bytearray([8])
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks.append(len(chunk))
        blocks.extend(chunk)
    blocks.append(0)
    return bytes(blocks)


def main():
    gif = bytearray(b"GIF89a")
    gif += struct.pack("<HHBBB", WIDTH, HEIGHT, 0xF7, 0, 0)
    for r, g, b in palette():
        gif += bytes((r, g, b))
    gif += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    for frame in range(FRAMES):
        gif += b"\x21\xF9\x04\x04" + struct.pack("<H", 12) + b"\x00\x00"  # 120 ms, keep
        gif += b"\x2C" + struct.pack("<HHHHB", 0, 0, WIDTH, HEIGHT, 0)
        gif += lzw(frame_pixels(frame))
    gif += b"\x3B"
    with open(sys.argv[1], "wb") as f:
        f.write(gif)


if __name__ == "__main__":
    main()
