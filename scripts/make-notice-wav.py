#!/usr/bin/env python3
"""Writes data/Notice.wav, the station's sound for alarms other than trips
(faults, lost links, dead posts, gaps): a falling two-note chime and a pause,
played in a loop. The trips keep the console's Error.wav, a harsh buzz, so an
operator tells the two apart without looking. Run it again only to change the
sound; the file it writes is kept in the repository."""

import math
import struct
import sys
import wave

RATE = 16000
NOTES = [(988.0, 0.22), (740.0, 0.32)]  # B5 then F#5, Hz and seconds
GAP = 0.06
PAUSE = 0.9
VOLUME = 0.55


def note(frequency, seconds):
    count = int(RATE * seconds)
    samples = []
    for i in range(count):
        t = i / RATE
        # A struck bell: quick attack, exponential decay, a little of the octave.
        envelope = min(1.0, t / 0.005) * math.exp(-4.5 * t / seconds)
        value = math.sin(2 * math.pi * frequency * t) + 0.3 * math.sin(4 * math.pi * frequency * t)
        samples.append(VOLUME * envelope * value / 1.3)
    return samples


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def main(path):
    samples = []
    for frequency, seconds in NOTES:
        samples += note(frequency, seconds) + silence(GAP)
    samples += silence(PAUSE)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", int(s * 32767)) for s in samples))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "data/Notice.wav")
