#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into corpus/NAME/ (run once; the files are kept
in the repository, and the fuzzer adds what it finds when reliability.sh --merge is used).

Usage: make_corpus.py BLA_XM   (our generated module, e.g. build-test/assets/bla.xm)

Each seed follows the byte layout that its target reads (see fuzz_input.h and the targets):
a few bytes of parameters, then the payload.
"""
import os
import random
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def tga(width, height, seed):
    """An uncompressed 24-bit bottom-up TGA of the given size with varied pixels."""
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, width, height, 24, 0)
    rng = random.Random(seed)
    return header + bytes(rng.randrange(256) for _ in range(width * height * 3))


def picture_seeds():
    # format pick, (<200, size-1) for width and height, same-size marker (<192), file
    def params(fmt, w, h, same=True):
        return bytes([fmt, 0, w - 1, 0, h - 1, 0 if same else 200])

    write("picture", "16x8_exact", params(0, 16, 8) + tga(16, 8, 1))
    write("picture", "16x8_cut_mid_row", params(0, 16, 8) + tga(16, 8, 2)[: 18 + 3 * 16 * 3 + 7])
    write("picture", "16x8_header_only", params(0, 16, 8) + tga(16, 8, 3)[:18])
    write("picture", "16x8_empty_file", params(0, 16, 8))
    write("picture", "64x64_oversized", params(0, 64, 64) + tga(64, 64, 4) + b"\xff" * 999)
    write("picture", "1x1_exact", params(0, 1, 1) + tga(1, 1, 5))
    write("picture", "24bit_surface", params(3, 9, 7) + tga(9, 7, 6))
    write("picture", "16bit_surface", params(4, 9, 7) + tga(9, 7, 7))
    write("picture", "indexed_surface", params(5, 9, 7) + tga(9, 7, 8))
    # the surface reports another size: 250 -> an edge value, 2 -> (how<160) small value
    write("picture", "reports_larger", params(0, 8, 8, same=False) + bytes([0, 100, 0, 90]) + tga(36, 26, 9))
    write("picture", "reports_edges", params(0, 8, 8, same=False) + bytes([200, 12, 200, 13]) + tga(8, 8, 10))


def display_seeds():
    rng = random.Random(1234)
    for i in range(10):
        write("display", "random_%02d" % i, bytes(rng.randrange(256) for _ in range(48 + 24 * i)))
    # two 32-bit surfaces 10x10 and 20x5, then: load 24-bit 8x8, scaled copy with reversed
    # areas, clear with colour and area, save with padding
    fmt32 = bytes([0, 0])
    seed = fmt32 + bytes([0, 9, 0, 9]) + fmt32 + bytes([0, 20, 0, 4])
    seed += bytes([0, 0, 0]) + bytes([4, 0]) + bytes([0, 8, 0, 8, 0])           # load 24-bit
    seed += bytes([5, 0, 1]) + bytes([0, 74, 0, 74, 0, 54, 0, 54]) + bytes([0, 70, 0, 70, 0, 54, 0, 54])
    seed += bytes([9, 1, 0, 0x44, 0x33, 0x22, 0x11]) + bytes([0, 60, 0, 60, 0, 70, 0, 70])
    seed += bytes([2, 1, 0]) + bytes([6, 0]) + bytes([0, 7, 0, 3, 1, 5])       # save 16-bit, padded
    write("display", "demo_like", seed)


def music_seeds(module):
    data = open(module, "rb").read()
    write("music", "bla.xm", data)
    for cut in (17, 60, 80, 336, 400, 2000, len(data) // 2, len(data) - 1):
        write("music", "bla_cut_%d.xm" % cut, data[:cut])
    write("music", "not_a_module", b"Extended Module: " + b"\0" * 43)


def png(width, height, colour_type, seed):
    """A PNG of 8-bit samples (colour type 2: RGB, 6: RGBA, 0: grey), unfiltered rows."""
    import zlib
    channels = {0: 1, 2: 3, 6: 4}[colour_type]
    rng = random.Random(seed)
    raw = b"".join(b"\0" + bytes(rng.randrange(256) for _ in range(width * channels))
                   for _ in range(height))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff))

    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) +
            chunk(b"IEND", b""))


def image_seeds():
    # format pick, then nine edgy ints (0, value: -64 .. 191): line ends, circle, text place
    params = bytes([1]) + bytes([0, 60, 0, 62, 0, 90, 0, 70, 0, 70, 0, 68, 0, 70, 0, 60, 0, 58])
    write("image", "png_rgb", params + png(9, 5, 2, 1))
    write("image", "png_rgba", params + png(6, 7, 6, 2))
    write("image", "png_grey", params + png(5, 3, 0, 3))
    write("image", "png_cut", params + png(9, 5, 2, 4)[:60])
    write("image", "tga_raw", params + tga(7, 4, 5))
    rle = struct.pack("<BBBHHBHHHHBB", 0, 0, 10, 0, 0, 0, 0, 0, 5, 3, 32, 0x28)
    rle += bytes([0x86, 1, 2, 3, 0x80, 0x07]) + bytes(range(32))
    write("image", "tga_rle", params + rle)
    write("image", "tga_cut", params + tga(7, 4, 6)[:40])


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    picture_seeds()
    display_seeds()
    image_seeds()
    music_seeds(sys.argv[1])
