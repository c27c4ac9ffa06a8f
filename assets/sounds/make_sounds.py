#!/usr/bin/env python3
"""Generate Jackwell's sound effects: beep.wav, win.wav and lose.wav.

Every sound is synthesised from plain sine tones, so running this script
again always writes exactly the same files (mono, 16-bit PCM, 22050 Hz).
Only the Python standard library is used.

    python3 make_sounds.py [output-directory]

Without an argument the files are written next to this script.
"""

import math
import os
import struct
import sys
import wave

RATE = 22050
PEAK = 0.8  # loudest sample as a fraction of full scale


def envelope(i, n, attack, release):
    """Linear fade-in over `attack` samples and fade-out over `release`."""
    gain = 1.0
    if attack > 0 and i < attack:
        gain = i / attack
    if release > 0 and i >= n - release:
        gain = min(gain, (n - 1 - i) / release)
    return max(gain, 0.0)


def tone(freq, seconds, harmonics=(1.0,), attack=0.005, release=0.03, decay=0.0):
    """A note of fixed pitch; `harmonics` weights overtones 1, 2, 3...;
    `decay` is an exponential fall-off rate per second (0 keeps it level)."""
    n = int(seconds * RATE)
    a, r = int(attack * RATE), int(release * RATE)
    total = sum(harmonics)
    out = []
    for i in range(n):
        t = i / RATE
        s = 0.0
        for k, w in enumerate(harmonics, start=1):
            s += w * math.sin(2 * math.pi * freq * k * t)
        out.append(s / total * envelope(i, n, a, r) * math.exp(-decay * t))
    return out


def mix(*tracks):
    n = max(len(t) for t in tracks)
    return [sum(t[i] for t in tracks if i < len(t)) / len(tracks) for i in range(n)]


def silence(seconds):
    return [0.0] * int(seconds * RATE)


def normalise(samples):
    top = max(abs(s) for s in samples) or 1.0
    return [s / top * PEAK for s in samples]


def write_wav(path, samples):
    data = b"".join(
        struct.pack("<h", int(round(max(-1.0, min(1.0, s)) * 32767)))
        for s in normalise(samples)
    )
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(data)


def note(name):
    """Frequency of a note such as 'C5' or 'G#4' (A4 = 440 Hz)."""
    names = {"C": -9, "C#": -8, "D": -7, "D#": -6, "E": -5, "F": -4,
             "F#": -3, "G": -2, "G#": -1, "A": 0, "A#": 1, "B": 2}
    pitch, octave = name[:-1], int(name[-1])
    return 440.0 * 2 ** ((names[pitch] + 12 * (octave - 4)) / 12)


def make_beep():
    """A short, bright alert: 120 ms at 1 kHz with a little edge, then silence. A sound shorter
    than what an audio server buffers before it starts a stream (PulseAudio's prebuffer) is
    sometimes never played at all; the silence carries the beep past it."""
    return tone(1000.0, 0.12, harmonics=(1.0, 0.0, 0.3), attack=0.004, release=0.025) + silence(0.4)


def make_win():
    """A rising major arpeggio ending on a ringing chord, about one second."""
    bell = (1.0, 0.35, 0.15)
    out = []
    for name in ("C5", "E5", "G5", "C6", "G5"):
        out += tone(note(name), 0.09, harmonics=bell, attack=0.003, release=0.02)
        out += silence(0.015)
    chord = mix(*(tone(note(n), 0.48, harmonics=bell, attack=0.004, release=0.12, decay=3.0)
                  for n in ("C5", "E5", "G5", "C6")))
    return out + chord


def make_lose():
    """A falling, wobbling tone of 0.7 s: from 440 Hz down to 110 Hz."""
    seconds = 0.7
    n = int(seconds * RATE)
    a, r = int(0.01 * RATE), int(0.15 * RATE)
    out = []
    phase = 0.0
    for i in range(n):
        t = i / RATE
        freq = 440.0 * (110.0 / 440.0) ** (t / seconds)
        freq *= 1.0 + 0.03 * math.sin(2 * math.pi * 7.0 * t)  # sad wobble
        phase += 2 * math.pi * freq / RATE
        s = math.sin(phase) + 0.4 * math.sin(2 * phase) + 0.2 * math.sin(3 * phase)
        out.append(s * envelope(i, n, a, r))
    return out


def main():
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, make in (("beep.wav", make_beep), ("win.wav", make_win), ("lose.wav", make_lose)):
        write_wav(os.path.join(outdir, name), make())


if __name__ == "__main__":
    main()
