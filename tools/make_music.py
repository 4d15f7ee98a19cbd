#!/usr/bin/python3
"""Renders res/music.wav: a two-bar synth loop that the demo plays endlessly.

Two bars of 4/4 at 140.15 BPM fill exactly 151040 frames at 44100 Hz, so a
beat is 18880 frames and a sixteenth-note step 4720 frames. The loop is drawn
on a circular buffer: a note, echo or release tail that runs past the last
frame continues at frame 0, so the file joins onto itself without a gap or a
click. Output is 24-bit stereo PCM (format tag 1) with a plain 44-byte header.

Voices: kick, snare/clap and hats (noise from a fixed-seed generator), a
filtered saw bass pumping against the kick, a soft pad, a pulse arpeggio with
a ping-pong echo and a detuned, stereo saw lead. Progression Am - F - C - G,
one chord per half bar.

Python standard library only. Same script, same bytes.
Usage: /usr/bin/python3 tools/make_music.py [OUTPUT.wav] [--print-pattern]
"""
import math
import os
import random
import struct
import sys

RATE = 44100
FRAMES = 151040
STEPS = 32
STEP = FRAMES // STEPS          # 4720 frames per sixteenth
BEAT = STEP * 4                 # 18880 frames per beat
PEAK = 10 ** (-1.0 / 20)        # -1 dBFS

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "res", "music.wav")

NOTE_NAMES = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]

# One chord per half bar (8 steps): root (bass octave) and triad intervals.
CHORDS = [("Am", 33, (0, 3, 7)), ("F", 29, (0, 4, 7)),
          ("C", 36, (0, 4, 7)), ("G", 31, (0, 4, 7))]

# Lead melody: (step, length in steps, MIDI note).
LEAD = [
    (0, 2, 81), (2, 2, 76), (4, 1, 79), (5, 1, 81), (6, 2, 84),
    (8, 3, 81), (11, 1, 79), (12, 2, 77), (14, 2, 76),
    (16, 2, 79), (18, 2, 76), (20, 1, 72), (21, 1, 76), (22, 2, 79),
    (24, 3, 83), (27, 1, 81), (28, 1, 79), (29, 1, 81), (30, 2, 83),
]

# Drum grid, one character per step: x hit, h closed hat, o open hat.
KICK = "x...x...x...x...x...x...x...x.x."
SNARE = "....x.......x.......x.......x..x"
HATS = "hhohhhohhhohhhohhhohhhohhhohhhoh"

# Bass: 8th-note root/octave bounce with a pickup on the last sixteenth of each chord.
BASS = [0, None, 12, None, 0, 0, 12, 0]

# Arpeggio over each chord: indexes into [root, third, fifth, octave, octave+third].
ARP = [0, 1, 2, 3, 4, 3, 2, 1]


def midi_hz(note):
    return 440.0 * 2 ** ((note - 69) / 12.0)


def note_name(note):
    return "%s%d" % (NOTE_NAMES[note % 12], note // 12 - 1)


class Mix:
    """Circular stereo buffer."""

    def __init__(self):
        self.left = [0.0] * FRAMES
        self.right = [0.0] * FRAMES

    def add(self, start, samples, gain_l, gain_r):
        left, right = self.left, self.right
        idx = start % FRAMES
        for s in samples:
            left[idx] += s * gain_l
            right[idx] += s * gain_r
            idx += 1
            if idx == FRAMES:
                idx = 0

    def add_stereo(self, start, samples_l, samples_r):
        left, right = self.left, self.right
        idx = start % FRAMES
        for a, b in zip(samples_l, samples_r):
            left[idx] += a
            right[idx] += b
            idx += 1
            if idx == FRAMES:
                idx = 0


def pan(p):
    """Equal-power pan, p in -1 (left) .. 1 (right)."""
    angle = (p + 1) * math.pi / 4
    return math.cos(angle), math.sin(angle)


def blep(t, dt):
    if t < dt:
        x = t / dt
        return x + x - x * x - 1.0
    if t > 1.0 - dt:
        x = (t - 1.0) / dt
        return x * x + x + x + 1.0
    return 0.0


def saw_wave(freq, length, phase=0.0, vibrato=None):
    """Band-limited (polyBLEP) sawtooth."""
    out = [0.0] * length
    dt0 = freq / RATE
    t = phase
    for i in range(length):
        dt = dt0 * vibrato(i) if vibrato else dt0
        out[i] = 2.0 * t - 1.0 - blep(t, dt)
        t += dt
        if t >= 1.0:
            t -= 1.0
    return out


def pulse_wave(freq, length, duty):
    """Band-limited pulse: difference of two polyBLEP saws."""
    out = [0.0] * length
    dt = freq / RATE
    t = 0.0
    for i in range(length):
        u = t + duty
        if u >= 1.0:
            u -= 1.0
        out[i] = (t - blep(t, dt)) - (u - blep(u, dt))
        t += dt
        if t >= 1.0:
            t -= 1.0
    return out


def lowpass(samples, cutoff, q=0.707, block=32):
    """Two-pole state-variable low-pass; cutoff is a number or f(i) in Hz."""
    out = [0.0] * len(samples)
    k = 1.0 / q
    ic1 = ic2 = 0.0
    a1 = a2 = a3 = 0.0
    for i, v0 in enumerate(samples):
        if i % block == 0:
            fc = cutoff(i) if callable(cutoff) else cutoff
            fc = min(max(fc, 20.0), RATE * 0.45)
            g = math.tan(math.pi * fc / RATE)
            a1 = 1.0 / (1.0 + g * (g + k))
            a2 = g * a1
            a3 = g * a2
        v3 = v0 - ic2
        v1 = a1 * ic1 + a2 * v3
        v2 = ic2 + a2 * ic1 + a3 * v3
        ic1 = 2.0 * v1 - ic1
        ic2 = 2.0 * v2 - ic2
        out[i] = v2
    return out


def envelope(length, attack, decay, sustain, gate, release):
    """ADSR in frames; the tail after `gate` lasts `release` frames (length covers it)."""
    out = [0.0] * length
    level = 0.0
    d_coef = math.exp(-1.0 / max(decay, 1))
    r_coef = math.exp(-5.0 / max(release, 1))
    for i in range(length):
        if i < gate:
            if i < attack:
                level = (i + 1) / attack
            else:
                level = sustain + (level - sustain) * d_coef
        else:
            level *= r_coef
        out[i] = level
    # a short fade at the very end so nothing is cut off mid-wave
    fade = min(64, length)
    for j in range(fade):
        out[length - 1 - j] *= j / fade
    return out


def kick():
    length = int(0.42 * RATE)
    out = [0.0] * length
    phase = 0.0
    for i in range(length):
        t = i / RATE
        freq = 46.0 + 120.0 * math.exp(-t / 0.028)
        phase += 2 * math.pi * freq / RATE
        amp = math.exp(-t / 0.16) * min(1.0, i / 24.0)
        out[i] = math.tanh(1.6 * math.sin(phase)) * amp
    for j in range(256):
        out[length - 1 - j] *= j / 256
    return out


def snare(rng):
    length = int(0.30 * RATE)
    noise = [rng.uniform(-1.0, 1.0) for _ in range(length)]
    # band-pass the noise: low-pass at 6 kHz minus low-pass at 900 Hz
    bright = lowpass(noise, 6000.0)
    body = lowpass(noise, 900.0)
    out = [0.0] * length
    claps = (0, int(0.009 * RATE), int(0.019 * RATE))
    for i in range(length):
        t = i / RATE
        env = 0.0
        for c in claps:
            if i >= c:
                env = max(env, math.exp(-(i - c) / (0.010 * RATE)))
        env = max(env, 0.7 * math.exp(-t / 0.075)) if i >= claps[-1] else env
        tone = 0.5 * math.sin(2 * math.pi * 185.0 * t) * math.exp(-t / 0.04)
        out[i] = ((bright[i] - body[i]) * env + tone) * min(1.0, i / 16.0)
    for j in range(256):
        out[length - 1 - j] *= j / 256
    return out


def hat(rng, open_hat):
    length = int((0.22 if open_hat else 0.06) * RATE)
    noise = [rng.uniform(-1.0, 1.0) for _ in range(length)]
    low = lowpass(noise, 7000.0)
    tau = 0.07 if open_hat else 0.014
    out = [0.0] * length
    for i in range(length):
        out[i] = (noise[i] - low[i]) * math.exp(-i / (tau * RATE)) * min(1.0, i / 8.0)
    for j in range(128):
        out[length - 1 - j] *= j / 128
    return out


def duck(i):
    """Gain that dips after every kick (one per beat) and recovers within the beat."""
    t = (i % BEAT) / RATE
    return 1.0 - 0.55 * math.exp(-t / 0.07) * min(1.0, t / 0.003)


def render(print_pattern=False):
    rng = random.Random(20230415)
    mix = Mix()

    # --- drums
    kick_s = kick()
    snare_s = snare(rng)
    hats = [hat(rng, False) for _ in range(4)]
    open_s = hat(rng, True)
    for step in range(STEPS):
        start = step * STEP
        if KICK[step] == "x":
            mix.add(start, kick_s, 0.95, 0.95)
        if SNARE[step] == "x":
            g = 0.55 if step != 31 else 0.25  # the last one is a ghost pickup
            mix.add(start + 180, snare_s, g * 0.95, g * 1.0)
        h = HATS[step]
        if h == "h":
            g = 0.11 if step % 2 == 0 else 0.07
            gl, gr = pan(0.35)
            mix.add(start, hats[step % 4], g * gl, g * gr)
        elif h == "o":
            gl, gr = pan(-0.3)
            mix.add(start, open_s, 0.14 * gl, 0.14 * gr)

    # --- bass: saw through a resonant low-pass with a plucky filter envelope
    for c, (_, root, _) in enumerate(CHORDS):
        for s, offset in enumerate(BASS):
            if offset is None:
                continue
            step = c * 8 + s
            start = step * STEP
            gate = int(STEP * 1.6)
            length = gate + 1500
            f = midi_hz(root + offset)
            osc = saw_wave(f, length)
            sub = [math.sin(2 * math.pi * f * 0.5 * i / RATE) for i in range(length)]
            raw = [a + 0.6 * b for a, b in zip(osc, sub)]
            filt = lowpass(raw, lambda i: 180.0 + 1900.0 * math.exp(-i / 2600.0), q=1.6)
            env = envelope(length, 40, 3000, 0.6, gate, 1500)
            samples = [filt[i] * env[i] * duck(start + i) for i in range(length)]
            mix.add(start, samples, 0.30, 0.30)

    # --- pad: detuned saws per chord tone, spread wide, slow attack
    for c, (_, root, triad) in enumerate(CHORDS):
        start = c * 8 * STEP
        gate = 8 * STEP
        length = gate + 9000
        env = envelope(length, 5000, 8000, 0.8, gate, 9000)
        for n, iv in enumerate(triad):
            f = midi_hz(root + 24 + iv)
            for side, cents in ((-1, -9.0), (1, 9.0)):
                osc = saw_wave(f * 2 ** (cents / 1200.0), length, phase=0.25 * n + 0.1 * side)
                filt = lowpass(osc, 1400.0)
                samples = [filt[i] * env[i] * duck(start + i) for i in range(length)]
                gl, gr = pan(0.7 * side)
                mix.add(start, samples, 0.035 * gl, 0.035 * gr)

    # --- arpeggio: pulse wave, plucked, with a ping-pong echo that wraps around the loop
    arp_dry = Mix()
    for c, (_, root, triad) in enumerate(CHORDS):
        tones = [root + 36 + iv for iv in triad] + [root + 48, root + 48 + triad[1]]
        for s, k in enumerate(ARP):
            step = c * 8 + s
            start = step * STEP
            length = int(STEP * 1.5)
            note = tones[k]
            osc = pulse_wave(midi_hz(note), length, 0.25)
            filt = lowpass(osc, lambda i: 900.0 + 3500.0 * math.exp(-i / 1500.0))
            env = envelope(length, 30, 1800, 0.0, length, 1)
            arp_dry.add(start, [filt[i] * env[i] for i in range(length)], 1.0, 0.0)
    dry = arp_dry.left
    delay = 3 * STEP
    feedback = 0.42
    gl, gr = pan(-0.25)
    echo_l = [0.0] * FRAMES
    echo_r = [0.0] * FRAMES
    tap = 1
    gain = 0.55
    while gain > 0.004:
        shift = (tap * delay) % FRAMES
        target = echo_r if tap % 2 else echo_l
        for i in range(FRAMES):
            target[i] += gain * dry[i - shift]
        tap += 1
        gain *= feedback
    arp_gain = 0.16
    for i in range(FRAMES):
        mix.left[i] += arp_gain * (dry[i] * gl + echo_l[i])
        mix.right[i] += arp_gain * (dry[i] * gr + echo_r[i])

    # --- lead: two saws detuned against each other, one per side, with late vibrato
    for step, steps, note in LEAD:
        start = step * STEP
        gate = steps * STEP - 300
        release = 6000
        length = gate + release
        f = midi_hz(note)

        def vib(i, f=f):
            depth = 0.004 * min(1.0, max(0.0, (i - 5000) / 6000.0))
            return 1.0 + depth * math.sin(2 * math.pi * 5.5 * i / RATE)

        env = envelope(length, 120, 4000, 0.7, gate, release)
        sides = []
        for cents, ph in ((-7.0, 0.0), (7.0, 0.37)):
            osc = saw_wave(f * 2 ** (cents / 1200.0), length, phase=ph, vibrato=vib)
            filt = lowpass(osc, lambda i: 2200.0 + 2000.0 * math.exp(-i / 4000.0), q=0.9)
            sides.append([filt[i] * env[i] * 0.11 for i in range(length)])
        l, r = sides
        # a little of each side in the other keeps it from sounding hollow on one speaker
        mix.add_stereo(start, [a * 0.85 + b * 0.25 for a, b in zip(l, r)],
                       [b * 0.85 + a * 0.25 for a, b in zip(l, r)])

    if print_pattern:
        print_grid()
    return mix


def print_grid():
    print("step  " + "".join("%-4d" % (s + 1) if s % 4 == 0 else "" for s in range(STEPS)))
    print("kick  " + KICK)
    print("snare " + SNARE)
    print("hats  " + HATS)
    row = ["."] * STEPS
    for c, (_, root, _) in enumerate(CHORDS):
        for s, off in enumerate(BASS):
            if off is not None:
                row[c * 8 + s] = "B"
    print("bass  " + "".join(row))
    print("chord " + "".join(name.ljust(8) for name, _, _ in CHORDS))
    lead = ["."] * STEPS
    for step, steps, note in LEAD:
        lead[step] = "^"
        for k in range(1, steps):
            lead[step + k] = "-"
    print("lead  " + "".join(lead))
    print("lead notes: " + " ".join("%d:%s/%d" % (s, note_name(n), l) for s, l, n in LEAD))
    print("bass notes: " + " ".join(
        "%s(%s)" % (name, " ".join(note_name(root + o) if o is not None else "-" for o in BASS))
        for name, root, _ in CHORDS))


def finish(mix):
    chans = [mix.left, mix.right]
    for ch in chans:
        mean = sum(ch) / FRAMES
        for i in range(FRAMES):
            ch[i] -= mean
    peak = max(max(abs(v) for v in ch) for ch in chans)
    scale = PEAK / peak
    full = (1 << 23) - 1
    data = bytearray()
    left, right = chans
    for i in range(FRAMES):
        for v in (left[i], right[i]):
            q = int(round(v * scale * full))
            q = max(-full - 1, min(full, q))
            data += q.to_bytes(3, "little", signed=True)
    return bytes(data)


def wav_bytes(data):
    channels, bits = 2, 24
    align = channels * bits // 8
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, channels, RATE, RATE * align, align, bits)
    header += b"data" + struct.pack("<I", len(data))
    return header + data


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    out = args[0] if args else OUTPUT
    mix = render(print_pattern="--print-pattern" in sys.argv)
    data = finish(mix)
    assert len(data) == FRAMES * 6
    with open(out, "wb") as f:
        f.write(wav_bytes(data))
    print("wrote", out)


if __name__ == "__main__":
    main()
