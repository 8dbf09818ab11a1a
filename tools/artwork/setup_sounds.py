#!/usr/bin/env python3
"""Writes the setup utility's click sounds into resources/setup/.

TICK  - the button click (Run, Stop, Load, Save, Exit): a short woody knock.
TICKB - the keypad click: a higher, shorter tick.
Both are 16-bit mono PCM at 22050 Hz, made with the standard library only.
"""
import math
import os
import struct
import wave

RATE = 22050


def click(path, freq, millis, decay, noise_share):
    frames = int(RATE * millis / 1000)
    seed = 12345
    samples = []
    for n in range(frames):
        t = n / RATE
        seed = (1103515245 * seed + 12345) & 0x7FFFFFFF
        noise = (seed / 0x7FFFFFFF) * 2.0 - 1.0
        env = math.exp(-t * decay)
        tone = math.sin(2 * math.pi * freq * t) + 0.4 * math.sin(2 * math.pi * 2.7 * freq * t)
        value = env * ((1 - noise_share) * tone + noise_share * noise)
        samples.append(int(max(-1.0, min(1.0, 0.6 * value)) * 32767))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "setup")
    os.makedirs(out, exist_ok=True)
    click(os.path.join(out, "TICK.wav"), 900.0, 60, 90.0, 0.35)
    click(os.path.join(out, "TICKB.wav"), 2200.0, 35, 160.0, 0.2)
    print("sounds written to", os.path.normpath(out))


if __name__ == "__main__":
    main()
