#!/usr/bin/python3
# Prints the size of a PNG file, then the red, green and blue of each pixel asked for, read with
# PIL (an image library we did not write): display_png_pixels.py FILE [X Y]...
import sys

from PIL import Image

image = Image.open(sys.argv[1]).convert("RGB")
print(image.width, image.height)
points = sys.argv[2:]
for i in range(0, len(points), 2):
    r, g, b = image.getpixel((int(points[i]), int(points[i + 1])))
    print(r, g, b)
