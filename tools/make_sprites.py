"""Writes res/asteroid.png and res/rymdskepp.png: two 64 x 64 sprites with
binary alpha (every pixel fully opaque or fully transparent).

The asteroid is a lumpy rock lit from the upper left, with craters; it is
drawn at random fixed angles, so nothing about it has an "up". The spaceship
points up, is mirror-symmetric about its vertical centre line and ends in an
engine nozzle at the bottom centre, from which the exhaust particles fall.

Run from the repository root: /usr/bin/python3 tools/make_sprites.py
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pngio import write_png  # noqa: E402

SIZE = 64


def hash01(x, y, seed):
    """A deterministic value in [0, 1) for integer coordinates."""
    h = (x * 374761393 + y * 668265263 + seed * 2246822519) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    return ((h ^ (h >> 16)) & 0xFFFF) / 65536.0


def value_noise(x, y, scale, seed):
    gx, gy = x / scale, y / scale
    x0, y0 = math.floor(gx), math.floor(gy)
    fx, fy = gx - x0, gy - y0
    fx, fy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
    a, b = hash01(x0, y0, seed), hash01(x0 + 1, y0, seed)
    c, d = hash01(x0, y0 + 1, seed), hash01(x0 + 1, y0 + 1, seed)
    return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy


# ---------------------------------------------------------------- asteroid

ROCK = [  # dark to light, a warm grey-brown
    (34, 28, 26), (54, 45, 40), (76, 64, 56), (100, 86, 74),
    (126, 110, 94), (152, 136, 116), (180, 164, 142), (206, 192, 170),
]
BAYER = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]
LIGHT = (-0.55, -0.6, 0.58)  # from the upper left, towards the viewer
CRATERS = [(22, 24, 6.5), (40, 38, 8.0), (37, 17, 4.0), (19, 42, 4.5), (46, 26, 3.0)]


def rock_radius(angle):
    r = 27.0
    for k, amp, phase in ((2, 1.6, 0.4), (3, 2.2, 1.9), (5, 1.1, 4.0), (7, 0.7, 2.7), (11, 0.4, 0.9)):
        r += amp * math.sin(k * angle + phase)
    return r


def make_asteroid():
    cx = cy = 31.5
    pixels = []
    for y in range(SIZE):
        for x in range(SIZE):
            dx, dy = x - cx, y - cy
            d = math.hypot(dx, dy)
            radius = rock_radius(math.atan2(dy, dx))
            if d > radius:
                pixels.append((0, 0, 0, 0))
                continue
            # A squashed sphere of the local radius gives the overall shading.
            nx, ny = dx / (radius + 2), dy / (radius + 2)
            nz = math.sqrt(max(0.0, 1 - nx * nx - ny * ny))
            # Craters: bowls whose far wall catches the light.
            for kx, ky, kr in CRATERS:
                ex, ey = x - kx, y - ky
                e = math.hypot(ex, ey)
                if e < kr:
                    depth = math.sqrt(1 - (e / kr) ** 2)
                    nx, ny = nx - 0.9 * ex / kr * depth, ny - 0.9 * ey / kr * depth
                    nz = max(0.2, nz * 0.8)
                elif e < kr + 1.5:
                    nx, ny = nx + 0.35 * ex / e, ny + 0.35 * ey / e  # raised rim
            length = math.sqrt(nx * nx + ny * ny + nz * nz)
            lum = max(0.0, (nx * LIGHT[0] + ny * LIGHT[1] + nz * LIGHT[2]) / length)
            lum = 0.12 + 0.88 * lum
            lum += 0.22 * (value_noise(x, y, 5.0, 7) - 0.5) + 0.1 * (value_noise(x, y, 2.0, 9) - 0.5)
            if d > radius - 1.2:
                lum *= 0.55  # dark outline keeps the silhouette on black
            level = lum * (len(ROCK) - 1) + (BAYER[y % 4][x % 4] / 16.0 - 0.5) * 0.6
            pixels.append(ROCK[min(len(ROCK) - 1, max(0, int(round(level))))] + (255,))
    return pixels


# ---------------------------------------------------------------- spaceship

HULL = [(70, 78, 96), (118, 128, 150), (170, 180, 200), (214, 222, 236), (244, 248, 255)]
RED = [(120, 20, 40), (190, 40, 60), (236, 80, 90)]
GLASS = [(20, 40, 90), (40, 110, 200), (120, 200, 255), (220, 245, 255)]
METAL = [(40, 40, 48), (80, 80, 92), (130, 130, 142)]
GLOW = (255, 190, 80)


def ship_pixel(u, y):
    """u: distance from the centre line in pixels (0.5, 1.5, ...); y: row."""
    # Fuselage: a pointed nose widening to a body of half width 8.
    if 3 <= y <= 49:
        half = min(8.0, 1.0 + (y - 3) * 0.42)
        if y > 44:
            half -= (y - 44) * 0.5
        if u < half:
            # Cockpit canopy.
            if 13 <= y <= 24 and u < 3.6 - abs(y - 19) * 0.28:
                shade = 2 if y < 18 else 1
                if u < 1.0 and 14 <= y <= 17:
                    shade = 3
                return GLASS[shade]
            if u > half - 1.0:
                return HULL[0]
            if y in (30, 31) and u < half - 1.0:
                return RED[1]
            shade = 4 if u < 2.0 else 3 if u < 4.5 else 2
            if y > 40:
                shade = max(1, shade - 1)
            return HULL[shade]
    # Swept wings from the body's sides.
    if 26 <= y <= 50:
        inner, outer = 7.0, 7.0 + (y - 26) * 1.05
        outer = min(outer, 29.0)
        if y > 46:
            outer = min(outer, 29.0 - (y - 46) * 3.0)
        if inner <= u < outer:
            if u > outer - 1.0 or y == 50:
                return RED[0]
            if u > outer - 3.5:
                return RED[2] if y < 40 else RED[1]
            return HULL[2] if (y + int(u)) % 7 else HULL[1]
    # Wing-tip fins.
    if 36 <= y <= 52 and 26.0 <= u < 29.0:
        return RED[1] if u < 28.0 else RED[0]
    # Engine nozzle at the bottom centre, glowing inside.
    if 50 <= y <= 55:
        half = 4.0 + (y - 50) * 0.4
        if u < half:
            if y >= 53 and u < half - 1.2:
                return GLOW
            return METAL[2] if u < 2.0 else METAL[1] if u < half - 1.0 else METAL[0]
    return None


def make_ship():
    pixels = []
    for y in range(SIZE):
        for x in range(SIZE):
            # Columns 0..31 mirror 63..32 exactly.
            u = abs(x - 31.5)
            colour = ship_pixel(u, y)
            pixels.append((0, 0, 0, 0) if colour is None else colour + (255,))
    return pixels


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    for name, pixels in (("asteroid.png", make_asteroid()), ("rymdskepp.png", make_ship())):
        size = write_png(os.path.join(root, name), SIZE, SIZE, pixels)
        print(f"res/{name}: {size} bytes")


if __name__ == "__main__":
    main()
