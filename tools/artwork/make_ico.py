#!/usr/bin/env python3
"""Packs raw RGBA renderings into a Windows .ico file.

usage: make_ico.py OUT.ico ENTRY...

Each ENTRY is one image, written in the order given:
  png:SIZE:RGBA          32-bit image stored as PNG (used for 256x256)
  dib32:SIZE:RGBA        32-bit BGRA DIB with alpha, plus AND mask
  dib8:SIZE:RGBA:RGB     8-bit palette DIB plus AND mask; RGB holds the same
                         picture already reduced to at most 255 colours,
                         RGBA supplies the transparency

RGBA/RGB files are raw 8-bit pixel dumps, top row first (ImageMagick's
rgba:/rgb: formats). A pixel with alpha < 128 is transparent in the AND mask.
Standard library only.
"""
import struct
import sys
import zlib


def read_raw(path, size, channels):
    data = open(path, "rb").read()
    if len(data) != size * size * channels:
        sys.exit(f"make_ico: {path}: {len(data)} bytes, expected {size}x{size}x{channels}")
    return data


def png_bytes(size, rgba):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    stride = size * 4
    raw = b"".join(b"\x00" + rgba[y * stride:(y + 1) * stride] for y in range(size))
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def and_mask(size, rgba):
    """1 bit per pixel, 1 = transparent, rows bottom-up, padded to 32 bits."""
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            if rgba[(y * size + x) * 4 + 3] < 128:
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def dib_header(size, bits, image_bytes):
    # biHeight counts the XOR and the AND bitmap together
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                       image_bytes, 0, 0, 0, 0)


def dib32_bytes(size, rgba):
    xor = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            xor += bytes((0, 0, 0, 0)) if a == 0 else bytes((b, g, r, a))
    mask = and_mask(size, rgba)
    return dib_header(size, 32, len(xor) + len(mask)) + bytes(xor) + mask


def dib8_bytes(size, rgba, rgb):
    # index 0 stays black: masked pixels must be black in the XOR bitmap
    palette = [(0, 0, 0)]
    index = {(0, 0, 0): 0}
    pixels = []
    for i in range(size * size):
        if rgba[i * 4 + 3] < 128:
            pixels.append(0)
            continue
        colour = tuple(rgb[i * 3:i * 3 + 3])
        if colour not in index:
            index[colour] = len(palette)
            palette.append(colour)
        pixels.append(index[colour])
    if len(palette) > 256:
        sys.exit(f"make_ico: {size}x{size} image has {len(palette)} colours, at most 256 fit")
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    pal += b"\x00" * (4 * (256 - len(palette)))
    stride = ((size + 3) // 4) * 4
    xor = bytearray()
    for y in reversed(range(size)):
        row = bytes(pixels[y * size:(y + 1) * size])
        xor += row + b"\x00" * (stride - size)
    mask = and_mask(size, rgba)
    return dib_header(size, 8, len(xor) + len(mask)) + pal + bytes(xor) + mask


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    images = []  # (size, bits, data)
    for entry in argv[2:]:
        kind, size, *files = entry.split(":")
        size = int(size)
        if kind == "png":
            images.append((size, 32, png_bytes(size, read_raw(files[0], size, 4))))
        elif kind == "dib32":
            images.append((size, 32, dib32_bytes(size, read_raw(files[0], size, 4))))
        elif kind == "dib8":
            images.append((size, 8, dib8_bytes(size, read_raw(files[0], size, 4),
                                               read_raw(files[1], size, 3))))
        else:
            sys.exit(f"make_ico: unknown entry kind {kind!r}")

    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    directory = b""
    for size, bits, data in images:
        dim = 0 if size >= 256 else size  # 0 means 256
        # colour count is 0 for 8-bit and deeper images
        directory += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    with open(argv[1], "wb") as f:
        f.write(header + directory + b"".join(data for _, _, data in images))


if __name__ == "__main__":
    main(sys.argv)
