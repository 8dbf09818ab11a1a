#!/usr/bin/env python3
"""Writes hvplayer's click sound TICK.wav (stdlib only, deterministic).

    python3 tools/artwork/player_sounds.py resources/player/sounds
"""
import math
import os
import struct
import sys
import wave

RATE = 22050


def tick():
    # 35 ms: a short 2.2 kHz ping with a fast exponential decay and a soft
    # 900 Hz body, so it reads as a click rather than a beep.
    n = int(RATE * 0.035)
    out = []
    for i in range(n):
        t = i / RATE
        env = math.exp(-t * 160.0)
        v = 0.55 * math.sin(2 * math.pi * 2200 * t) + 0.35 * math.sin(2 * math.pi * 900 * t)
        attack = min(1.0, i / 30.0)
        out.append(int(max(-1.0, min(1.0, v * env * attack)) * 26000))
    return out


def write(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(b"".join(struct.pack("<h", s) for s in samples))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/player/sounds"
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, "TICK.wav"), tick())


if __name__ == "__main__":
    main()
