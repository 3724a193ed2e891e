#!/usr/bin/env python3
"""Checks the committed artwork in src/win32/res/: bitmap sizes, depths and
compression, and the icon's eleven images in the order the tool expects.
Prints one line per file and exits nonzero on any mismatch."""
import os
import struct
import sys
import zlib

# an optional argument names another directory to check
RES = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "win32", "res")

BITMAPS = {
    "background.bmp": (490, 171),
    "bin_on.bmp": (85, 25),
    "bin_off.bmp": (85, 25),
    "cab_1024.bmp": (85, 25),
    "cab_1280.bmp": (85, 25),
}

# (size, bits per pixel, stored as PNG)
ICON = [(48, 8, False), (32, 8, False), (24, 8, False), (16, 8, False),
        (256, 32, True), (128, 32, False), (64, 32, False), (48, 32, False),
        (32, 32, False), (24, 32, False), (16, 32, False)]

errors = []


def fail(msg):
    errors.append(msg)
    print("FAIL", msg)


def check_bmp(name, want_w, want_h):
    data = open(os.path.join(RES, name), "rb").read()
    if data[:2] != b"BM":
        return fail(f"{name}: not a BMP")
    (file_size,) = struct.unpack_from("<I", data, 2)
    (off_bits,) = struct.unpack_from("<I", data, 10)
    hsize, w, h, planes, bits, comp = struct.unpack_from("<IiiHHI", data, 14)
    stride = (w * 3 + 3) // 4 * 4
    problems = []
    if hsize != 40:
        problems.append(f"header size {hsize}, want 40 (BITMAPINFOHEADER)")
    if (w, h) != (want_w, want_h):
        problems.append(f"{w}x{h}, want {want_w}x{want_h} (positive height = bottom-up)")
    if planes != 1 or bits != 24:
        problems.append(f"planes {planes} bits {bits}, want 1/24")
    if comp != 0:
        problems.append(f"compression {comp}, want 0 (BI_RGB)")
    if off_bits != 54:
        problems.append(f"pixel data at {off_bits}, want 54 (no palette)")
    if file_size != len(data) or len(data) != 54 + stride * abs(h):
        problems.append(f"file is {len(data)} bytes, header says {file_size}, pixels need {54 + stride * abs(h)}")
    if problems:
        return fail(f"{name}: " + "; ".join(problems))
    print(f"ok   {name}: {w}x{h} 24-bit BI_RGB, {len(data)} bytes")


def check_ico(name):
    data = open(os.path.join(RES, name), "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if (reserved, kind) != (0, 1):
        return fail(f"{name}: not an icon file")
    if count != len(ICON):
        return fail(f"{name}: {count} images, want {len(ICON)}")
    end = 6 + 16 * count
    for i, (size, bits, is_png) in enumerate(ICON):
        bw, bh, colours, res, planes, bitcount, nbytes, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        tag = f"{name} #{i + 1}"
        dim = 0 if size == 256 else size
        problems = []
        if (bw, bh) != (dim, dim):
            problems.append(f"directory size {bw}x{bh}, want {dim}x{dim}")
        if colours != 0 or res != 0 or planes != 1 or bitcount != bits:
            problems.append(f"directory colours/reserved/planes/bits {colours}/{res}/{planes}/{bitcount}, want 0/0/1/{bits}")
        if offset != end or offset + nbytes > len(data):
            problems.append(f"image at {offset}+{nbytes}, want it to start at {end} inside the file")
        if offset + nbytes > len(data):
            return fail(f"{tag}: " + "; ".join(problems))
        img = data[offset:offset + nbytes]
        end = offset + nbytes
        if is_png:
            if img[:8] != b"\x89PNG\r\n\x1a\n" or img[12:16] != b"IHDR":
                problems.append("not a PNG")
            else:
                w, h, depth, ctype = struct.unpack_from(">IIBB", img, 16)
                if (w, h, depth, ctype) != (size, size, 8, 6):
                    problems.append(f"PNG {w}x{h} depth {depth} type {ctype}, want {size}x{size} 8-bit RGBA")
                try:
                    pos, idat = 8, b""
                    while pos < len(img):
                        n, t = struct.unpack_from(">I4s", img, pos)
                        if t == b"IDAT":
                            idat += img[pos + 8:pos + 8 + n]
                        pos += 12 + n
                    if len(zlib.decompress(idat)) != size * (size * 4 + 1):
                        problems.append("PNG pixel data has the wrong length")
                except (struct.error, zlib.error) as e:
                    problems.append(f"PNG data broken: {e}")
            desc = "PNG RGBA"
        else:
            hs, w, h, pl, bc, comp = struct.unpack_from("<IiiHHI", img, 0)
            palette = 256 * 4 if bits == 8 else 0
            xor = (size * bits // 8 + 3) // 4 * 4 * size
            mask = (size + 31) // 32 * 4 * size
            if (hs, w, h, pl, bc, comp) != (40, size, 2 * size, 1, bits, 0):
                problems.append(f"DIB header {hs}/{w}x{h}/{pl}/{bc}/{comp}, want 40/{size}x{2 * size}/1/{bits}/0")
            if nbytes != 40 + palette + xor + mask:
                problems.append(f"{nbytes} bytes, want {40 + palette + xor + mask} (header, palette, XOR, AND)")
            desc = "DIB " + ("palette + mask" if bits == 8 else "BGRA + mask")
        if problems:
            fail(f"{tag}: " + "; ".join(problems))
        else:
            print(f"ok   {tag}: {size}x{size} {bits}-bit {desc}, {nbytes} bytes")
    if end != len(data):
        fail(f"{name}: {len(data) - end} stray bytes after the last image")


for bmp, (w, h) in BITMAPS.items():
    check_bmp(bmp, w, h)
check_ico("app.ico")
print("all artwork checks passed" if not errors else f"{len(errors)} problem(s)")
sys.exit(1 if errors else 0)
