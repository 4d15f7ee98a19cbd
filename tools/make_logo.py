"""Writes res/vimbel.png: the 146 x 175 Vimbel emblem with soft alpha.

A flat-topped hexagon badge (magenta to orange rim, dark inner plate) carries
a bold two-tone "V"; a swallow-tailed ribbon across its foot reads "VIMBEL"
and "2023" sits below in blocky digits. A soft pink glow surrounds the whole
silhouette. The demo spins the emblem both ways on black, so everything is
compact, centred and bright against a dark background, with a transparent
border of at least four pixels.

Shapes are sampled 4 x 4 per pixel; the covered fraction becomes alpha and the
colour is the mean of the covered samples (straight, not premultiplied, RGBA).

Run from the repository root: /usr/bin/python3 tools/make_logo.py
"""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pngio import write_png  # noqa: E402

W, H = 146, 175
SS = 4          # samples per pixel along each axis
MARGIN = 4      # fully transparent border, in pixels

CX, CY = 73.0, 62.0          # hexagon centre
HEX_R = 56.0                 # vertex radius of the outer hexagon
SQ3_2 = math.sqrt(3.0) / 2.0
RIM_IN = HEX_R * SQ3_2       # inradius of the outer hexagon (48.5)
PLATE_IN = 40.0              # inradius of the dark plate
RING_OUT, RING_IN = 37.5, 36.0

MAGENTA = (255, 40, 170)
ORANGE = (255, 156, 32)
PLATE_TOP = (22, 8, 40)
PLATE_BOT = (48, 12, 64)
RING = (130, 36, 120)
V_TOP = (96, 238, 255)
V_BOT = (160, 110, 255)
RIBBON = (30, 10, 50)
TEXT = (255, 244, 214)
DIGIT_TOP = (255, 232, 96)
DIGIT_BOT = (255, 118, 40)
OUTLINE = (20, 6, 30)
GLOW = (255, 72, 196)


def mix(a, b, t):
    t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def scale(c, k):
    return tuple(v * k for v in c)


def hex_dist(x, y):
    """Hexagonal 'radius' of a point: equals the inradius on the hexagon edge."""
    dx, dy = abs(x - CX), abs(y - CY)
    return max(dy, dx * SQ3_2 + dy * 0.5)


# ------------------------------------------------------------- the V

V_TOP_Y, V_BOT_Y = 35.0, 91.0
V_OUT_X = 27.0     # half width at the top, outer edges
V_THICK = 16.0     # horizontal width of an arm
V_FOOT = 7.0       # half width of the flat foot


def in_v(x, y):
    """Returns 0 outside, 1 on the left arm, 2 on the right arm."""
    if y < V_TOP_Y or y > V_BOT_Y:
        return 0
    s = (y - V_TOP_Y) / (V_BOT_Y - V_TOP_Y)
    # Left arm runs from the top-left down to the right end of the foot,
    # the right arm mirrors it; where they overlap, the centre line splits
    # them so each half keeps its own shade.
    lo = (CX - V_OUT_X) + ((CX - V_FOOT) - (CX - V_OUT_X)) * s
    left = lo <= x <= lo + V_THICK + (2 * V_FOOT - V_THICK) * s
    hi = (CX + V_OUT_X) + ((CX + V_FOOT) - (CX + V_OUT_X)) * s
    right = hi - V_THICK - (2 * V_FOOT - V_THICK) * s <= x <= hi
    if left and (x <= CX or not right):
        return 1
    if right:
        return 2
    return 0


# ------------------------------------------------------------- ribbon

RIB_X0, RIB_X1 = 10.0, 136.0
RIB_Y0, RIB_Y1 = 95.0, 124.0
RIB_NOTCH = 7.0
RIB_BORDER = 2.0


def in_ribbon(x, y, inset=0.0):
    y0, y1 = RIB_Y0 + inset, RIB_Y1 - inset
    if y < y0 or y > y1:
        return False
    mid, half = (RIB_Y0 + RIB_Y1) / 2, (RIB_Y1 - RIB_Y0) / 2
    notch = RIB_NOTCH * (1.0 - abs(y - mid) / half)
    return RIB_X0 + inset + notch <= x <= RIB_X1 - inset - notch


FONT = {  # 5 x 7 block letters
    "V": ["10001", "10001", "10001", "10001", "01010", "01010", "00100"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
}
CELL = 3
WORD = "VIMBEL"
WORD_W = len(WORD) * 5 * CELL + (len(WORD) - 1) * CELL
WORD_X = round(CX - WORD_W / 2)
WORD_Y = 99


def word_rects():
    rects = []
    for i, ch in enumerate(WORD):
        ox = WORD_X + i * 6 * CELL
        for r, row in enumerate(FONT[ch]):
            for c, bit in enumerate(row):
                if bit == "1":
                    x0, y0 = ox + c * CELL, WORD_Y + r * CELL
                    rects.append((x0, y0, x0 + CELL, y0 + CELL))
    return rects


# ------------------------------------------------------------- digits

DIGITS = {  # 3 x 5 blocks; columns are 5, 7 and 5 px wide, rows 5 px high
    "0": ["111", "101", "101", "101", "111"],
    "2": ["111", "001", "111", "100", "111"],
    "3": ["111", "001", "111", "001", "111"],
}
COLS = (0, 5, 12, 17)
ROW_H = 5
DIGIT_W, DIGIT_GAP = 17, 5
YEAR = "2023"
YEAR_W = len(YEAR) * DIGIT_W + (len(YEAR) - 1) * DIGIT_GAP
YEAR_X = round(CX - YEAR_W / 2)
YEAR_Y0 = 134
YEAR_Y1 = YEAR_Y0 + 5 * ROW_H
DIGIT_OUTLINE = 2


def digit_rects():
    rects = []
    for i, ch in enumerate(YEAR):
        ox = YEAR_X + i * (DIGIT_W + DIGIT_GAP)
        for r, row in enumerate(DIGITS[ch]):
            for c, bit in enumerate(row):
                if bit == "1":
                    rects.append((ox + COLS[c], YEAR_Y0 + r * ROW_H,
                                  ox + COLS[c + 1], YEAR_Y0 + (r + 1) * ROW_H))
    return rects


WORD_RECTS = word_rects()
DIGIT_RECTS = digit_rects()


def in_rects(rects, x, y, grow=0.0):
    for x0, y0, x1, y1 in rects:
        if x0 - grow <= x < x1 + grow and y0 - grow <= y < y1 + grow:
            return True
    return False


# ------------------------------------------------------------- sampling

def sample(x, y):
    """Colour of the emblem at a point, or None where it is transparent."""
    # Ribbon and lettering sit in front of the badge.
    if in_ribbon(x, y):
        if not in_ribbon(x, y, RIB_BORDER):
            return mix(ORANGE, MAGENTA, (x - RIB_X0) / (RIB_X1 - RIB_X0))
        if in_rects(WORD_RECTS, x, y):
            return TEXT
        return RIBBON
    # The year, with a dark outline so the strokes stay separate in the glow.
    if YEAR_Y0 - 3 <= y <= YEAR_Y1 + 3:
        if in_rects(DIGIT_RECTS, x, y):
            return mix(DIGIT_TOP, DIGIT_BOT, (y - YEAR_Y0) / (YEAR_Y1 - YEAR_Y0))
        if in_rects(DIGIT_RECTS, x, y, DIGIT_OUTLINE):
            return OUTLINE
    d = hex_dist(x, y)
    if d > RIM_IN:
        return None
    if d > PLATE_IN:
        t = ((x - (CX - HEX_R)) + (y - (CY - RIM_IN))) / (2 * HEX_R + 2 * RIM_IN)
        c = mix(MAGENTA, ORANGE, t)
        if d > RIM_IN - 1.5:           # bright outer bevel
            c = mix(c, (255, 255, 255), 0.35)
        elif d < PLATE_IN + 1.25:      # shaded inner bevel
            c = scale(c, 0.7)
        return c
    arm = in_v(x, y)
    if arm:
        t = (y - V_TOP_Y) / (V_BOT_Y - V_TOP_Y)
        c = mix(V_TOP, V_BOT, t)
        return c if arm == 1 else scale(c, 0.78)
    if RING_IN <= d <= RING_OUT:
        return RING
    return mix(PLATE_TOP, PLATE_BOT, (y - (CY - PLATE_IN)) / (2 * PLATE_IN))


def box_blur(field, radius, passes):
    n = 2 * radius + 1
    for _ in range(passes):
        tmp = [0.0] * (W * H)
        for y in range(H):
            row = y * W
            for x in range(W):
                s = 0.0
                for k in range(x - radius, x + radius + 1):
                    if 0 <= k < W:
                        s += field[row + k]
                tmp[row + x] = s / n
        out = [0.0] * (W * H)
        for y in range(H):
            for x in range(W):
                s = 0.0
                for k in range(y - radius, y + radius + 1):
                    if 0 <= k < H:
                        s += tmp[k * W + x]
                out[y * W + x] = s / n
        field = out
    return field


def render():
    n = SS * SS
    cover = [0.0] * (W * H)
    colour = [(0.0, 0.0, 0.0)] * (W * H)
    for py in range(H):
        for px in range(W):
            hits, r, g, b = 0, 0.0, 0.0, 0.0
            for j in range(SS):
                sy = py + (j + 0.5) / SS
                for i in range(SS):
                    c = sample(px + (i + 0.5) / SS, sy)
                    if c is not None:
                        hits += 1
                        r += c[0]
                        g += c[1]
                        b += c[2]
            if hits:
                cover[py * W + px] = hits / n
                colour[py * W + px] = (r / hits, g / hits, b / hits)

    glow = box_blur(cover, 2, 3)
    pixels = []
    for idx in range(W * H):
        x, y = idx % W, idx // W
        a = cover[idx]
        ga = min(1.0, glow[idx] * 1.2) * 0.7
        if x < MARGIN or y < MARGIN or x >= W - MARGIN or y >= H - MARGIN:
            ga = 0.0
        # Emblem over glow, straight alpha.
        out_a = a + ga * (1.0 - a)
        if out_a <= 0.0:
            pixels.append((0, 0, 0, 0))
            continue
        wg = ga * (1.0 - a)
        rgb = tuple((colour[idx][k] * a + GLOW[k] * wg) / out_a for k in range(3))
        alpha = int(out_a * 255 + 0.5)
        if alpha == 0:
            pixels.append((0, 0, 0, 0))
            continue
        pixels.append(tuple(max(0, min(255, int(v + 0.5))) for v in rgb) + (alpha,))
    return pixels


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    path = os.path.join(root, "vimbel.png")
    size = write_png(path, W, H, render())
    print("wrote %s (%d x %d, %d bytes)" % (os.path.normpath(path), W, H, size))


if __name__ == "__main__":
    main()
