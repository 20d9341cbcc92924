"""A PNG's pixels through ImageMagick, for the template's thumbnail and the tests that compare
pictures."""

import subprocess


def raw_pixels(png):
    """(width, height, bytes): the picture's size and its pixels as 8-bit r, g, b from the top
    left, row after row. Raises ValueError when ImageMagick gives another number of bytes."""
    size = subprocess.run(["identify", "-format", "%w %h", png], check=True,
                          capture_output=True, text=True).stdout.split()
    width, height = int(size[0]), int(size[1])
    raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    if len(raw) != width * height * 3:
        raise ValueError("%s: %d bytes of pixels for %dx%d" % (png, len(raw), width, height))
    return width, height, raw
