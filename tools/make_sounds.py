#!/usr/bin/env python3
"""Writes the two built-in sounds: PCM, 2 channels, 44,100 Hz, 16 bits.

snapshot.wav: 38,016 frames, a camera-shutter-like double click with a short burst of noise.
sent.wav:      4,352 frames, a short rising blip.
Run from the repository's top folder; the files go to src/resources/.
"""
import math
import random
import struct
import wave

RATE = 44100


def write(path, frames):
    with wave.open(path, "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(RATE)
        data = bytearray()
        for left, right in frames:
            data += struct.pack("<hh", clamp(left), clamp(right))
        out.writeframes(bytes(data))


def clamp(value):
    return max(-32768, min(32767, int(round(value))))


def shutter(count):
    noise = random.Random(1903)
    frames = []
    for i in range(count):
        t = i / RATE
        value = 0.0
        # Two mechanical clicks: the shutter opening and closing.
        for start, strength in ((0.0, 1.0), (0.11, 0.8)):
            dt = t - start
            if dt >= 0:
                envelope = math.exp(-dt * 60.0)
                value += strength * envelope * (noise.uniform(-1, 1) * 0.7 + 0.3 * math.sin(2 * math.pi * 2400 * dt))
        # A soft whirr fading out over the rest of the sound.
        value += 0.08 * math.exp(-t * 6.0) * math.sin(2 * math.pi * 180 * t) * noise.uniform(0.5, 1.0)
        sample = value * 22000
        frames.append((sample, sample * 0.9))
    return frames


def blip(count):
    frames = []
    for i in range(count):
        t = i / RATE
        progress = i / count
        frequency = 1200 + 600 * progress
        envelope = math.sin(math.pi * progress) ** 2
        sample = 16000 * envelope * math.sin(2 * math.pi * frequency * t)
        frames.append((sample, sample))
    return frames


if __name__ == "__main__":
    write("src/resources/snapshot.wav", shutter(38016))
    write("src/resources/sent.wav", blip(4352))
