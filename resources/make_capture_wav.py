#!/usr/bin/env python3
"""Writes capture.wav: the shutter-like sound played at each capture.

Two short bursts of filtered noise with a fast decay, 22050 Hz, 16-bit mono,
about 0.16 s. Deterministic (a fixed generator seed), so running it again
gives the same file.  Usage: make_capture_wav.py [OUT]
"""
import math
import struct
import sys
import wave

RATE = 22050


def burst(length, start, decay, gain, state):
    out = []
    low = 0.0
    for i in range(length):
        state[0] = (state[0] * 1103515245 + 12345) & 0x7FFFFFFF
        noise = state[0] / 0x3FFFFFFF - 1.0
        low += 0.35 * (noise - low)  # soften the hiss
        t = i / RATE
        out.append(gain * low * math.exp(-t / decay) * min(1.0, i / 40))
    return [0.0] * start + out


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "capture.wav"
    state = [20260101]
    total = int(RATE * 0.16)
    first = burst(int(RATE * 0.05), 0, 0.012, 0.9, state)
    second = burst(int(RATE * 0.09), int(RATE * 0.06), 0.02, 0.7, state)
    samples = [0.0] * total
    for part in (first, second):
        for i, v in enumerate(part[:total]):
            samples[i] += v
    frames = b"".join(
        struct.pack("<h", max(-32767, min(32767, int(v * 32767)))) for v in samples)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(frames)


if __name__ == "__main__":
    main()
