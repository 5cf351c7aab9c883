#!/usr/bin/python3
"""The crop of a JPEG at a view, scaled to a size with Pillow's bilinear
filter, as raw RGB: a reference drawn by another library than ours.

usage: zoom_reference.py JPEG X Y W H OUT_W OUT_H OUT.rgb"""
import sys

from PIL import Image

jpeg, x, y, w, h, ow, oh, out = sys.argv[1:]
x, y, w, h = map(float, (x, y, w, h))
image = Image.open(jpeg).convert("RGB")
scaled = image.resize((int(ow), int(oh)), Image.BILINEAR, box=(x, y, x + w, y + h))
with open(out, "wb") as f:
    f.write(scaled.tobytes())
