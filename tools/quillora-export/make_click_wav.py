#!/usr/bin/env python3
"""Writes resources/click.wav, the click every still picture of a movie plays.

A short mouse-click sound of our own making: two damped clicks (press and
release) of filtered noise over a high tone, 16-bit mono PCM at 22050 Hz, the
format the movie writer accepts for sounds. Deterministic, so the committed
file can be made again byte for byte:  python3 make_click_wav.py OUT.wav
"""
import math
import random
import struct
import sys

RATE = 22050
LENGTH = 0.09  # seconds


def sample(t, rng):
    value = 0.0
    for start, gain in ((0.0, 1.0), (0.045, 0.6)):
        dt = t - start
        if dt < 0:
            continue
        env = gain * math.exp(-dt * 260.0)
        value += env * (0.55 * math.sin(2 * math.pi * 3100 * dt) + 0.45 * rng.uniform(-1, 1))
    return value


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "click.wav"
    rng = random.Random(20260101)
    frames = bytearray()
    for n in range(int(RATE * LENGTH)):
        v = sample(n / RATE, rng)
        frames += struct.pack("<h", max(-32767, min(32767, int(v * 22000))))
    header = b"RIFF" + struct.pack("<I", 36 + len(frames)) + b"WAVE"
    fmt = b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, RATE, RATE * 2, 2, 16)
    data = b"data" + struct.pack("<I", len(frames)) + bytes(frames)
    with open(out, "wb") as f:
        f.write(header + fmt + data)


if __name__ == "__main__":
    main()
