#!/usr/bin/env python3
"""Writes the window program's built-in alert sound as a WAV file: a short
falling two-note chime, played twice, synthesised here from the notes below
(sine tones with a quick attack, an exponential decay and one soft overtone).
Our own sound, made from this description alone.

    scripts/make-alert-sound.py OUT.wav
"""
import math
import struct
import sys
import wave

RATE = 22050
# (frequency in Hz, start in seconds, length in seconds)
NOTES = [(988.0, 0.00, 0.30), (740.0, 0.16, 0.42),
         (988.0, 0.70, 0.30), (740.0, 0.86, 0.50)]
LENGTH = 1.45
VOLUME = 0.42


def sample(t):
    value = 0.0
    for freq, start, length in NOTES:
        u = t - start
        if u < 0 or u > length:
            continue
        attack = min(1.0, u / 0.008)
        release = min(1.0, (length - u) / 0.03)
        decay = math.exp(-5.5 * u)
        tone = math.sin(2 * math.pi * freq * u) + 0.25 * math.sin(2 * math.pi * 2 * freq * u)
        value += attack * release * decay * tone
    return max(-1.0, min(1.0, value * VOLUME))


def main():
    out = wave.open(sys.argv[1], "wb")
    out.setnchannels(1)
    out.setsampwidth(2)
    out.setframerate(RATE)
    frames = bytearray()
    for n in range(int(LENGTH * RATE)):
        frames += struct.pack("<h", int(sample(n / RATE) * 32767))
    out.writeframes(bytes(frames))
    out.close()


if __name__ == "__main__":
    main()
