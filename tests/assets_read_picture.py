#!/usr/bin/python3
"""Reads a TGA picture with PIL, a reader we did not write, and writes what it saw as a binary
PPM (P6, rows top first) for the tests to compare. Exits 1 with a message when PIL cannot
read the file or it is not 8-bit RGB."""
import sys

from PIL import Image


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: assets_read_picture.py PICTURE.tga OUTPUT.ppm")
    with Image.open(sys.argv[1]) as im:
        if im.format != "TGA" or im.mode != "RGB":
            sys.exit(f"{sys.argv[1]}: expected an RGB TGA, PIL read {im.format} {im.mode}")
        im.load()
        with open(sys.argv[2], "wb") as out:
            out.write(b"P6\n%d %d\n255\n" % im.size)
            out.write(im.tobytes())


if __name__ == "__main__":
    main()
