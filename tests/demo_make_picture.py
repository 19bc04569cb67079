#!/usr/bin/env python3
"""Writes a test picture as an uncompressed 24-bit TGA with PIL, a writer we did not write.

usage: demo_make_picture.py FILE WIDTH HEIGHT [IMAGE_ID]

Pixel (x, y), y counted down from the top, is red (x * 7 + y) % 256, green (y * 13) % 256,
blue (x + y * 3) % 256: every row and column differs, so a flipped, shifted or channel-swapped
load shows.
"""
import sys

from PIL import Image


def main():
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    image = Image.new("RGB", (width, height))
    image.putdata([((x * 7 + y) % 256, (y * 13) % 256, (x + y * 3) % 256)
                   for y in range(height) for x in range(width)])
    image_id = sys.argv[4].encode() if len(sys.argv) > 4 else b""
    image.save(path, format="TGA", rle=False, id_section=image_id)


if __name__ == "__main__":
    main()
