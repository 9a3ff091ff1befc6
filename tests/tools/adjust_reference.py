#!/usr/bin/env python3
"""A plain reference of the colour adjustments, written apart from the library from their
formulas, pixel by pixel, so that the tests can hold `velora adjust` and `velora histogram`
against it.

    adjust_reference.py adjust IN.ppm OUT.ppm OP...   (the options of `velora adjust`)
    adjust_reference.py histogram IN.ppm              (the lines of `velora histogram`)

Python's int() cuts toward zero and round() goes to the even neighbour on ties, which are the
rounding words of the formulas.
"""
import math
import sys


def read_ppm(path):
    data = open(path, 'rb').read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b'#':
            pos = data.index(b'\n', pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    assert fields[0] in (b'P5', b'P6') and int(fields[3]) == 255
    w, h = int(fields[1]), int(fields[2])
    raw = data[pos + 1:pos + 1 + (3 if fields[0] == b'P6' else 1) * w * h]
    if fields[0] == b'P5':
        raw = bytes(v for v in raw for _ in range(3))
    return w, h, [[list(raw[3 * (y * w + x):3 * (y * w + x) + 3]) for x in range(w)] for y in range(h)]


def write_ppm(path, w, h, img):
    with open(path, 'wb') as f:
        f.write(b'P6\n%d %d\n255\n' % (w, h))
        f.write(bytes(c for row in img for px in row for c in px))


def clamp(v):
    return 0 if v < 0 else 255 if v > 255 else v


def idiv(a, b):  # div: integer division cut toward zero
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b > 0) else -q


def gray(r, g, b):
    return (21 * r + 71 * g + 7 * b) // 100


def rgb_to_hsl(R, G, B):
    r, g, b = R / 255, G / 255, B / 255
    mx, mn = max(r, g, b), min(r, g, b)
    l = (mx + mn) / 2
    if mx == mn:
        return 0.0, 0.0, l
    d = mx - mn
    s = d / (mx + mn) if l < 0.5 else d / (2 - mx - mn)
    if mx == r:
        h = (g - b) / d
    elif mx != g:
        h = (r - g) / d + 4
    else:
        h = (b - r) / d + 2
    h = h / 6
    return (h + 1 if h < 0 else h), s, l


def hsl_to_rgb(h, s, l):
    h, s, l = (min(max(v, 0.0), 1.0) for v in (h, s, l))
    byte = lambda x: clamp(int(x * 255 + 1e-9))
    if s == 0:
        return [byte(l)] * 3
    q = l * (1 + s) if l <= 0.5 else l + s - l * s
    p = 2 * l - q

    def f(t):
        if t < 0:
            t += 1
        if t > 1:
            t -= 1
        if 6 * t < 1:
            return p + (q - p) * 6 * t
        if 2 * t < 1:
            return q
        if 3 * t < 2:
            return p + (q - p) * (2 / 3 - t) * 6
        return p
    return [byte(f(h + 1 / 3)), byte(f(h)), byte(f(h - 1 / 3))]


def rgb_to_hsv(R, G, B):
    r, g, b = (round(c / 255 * 99) for c in (R, G, B))
    mx, mn = max(r, g, b), min(r, g, b)
    s = idiv((mx - mn) * 99, mx) if mx else 0
    if s == 0:
        return 0, 0, mx
    d = mx - mn
    if r == mx:
        h = idiv((g - b) * 60, d)
    elif g == mx:
        h = idiv((b - r) * 60, d) + 120
    else:
        h = idiv((r - g) * 60, d) + 240
    return (h + 360 if h < 0 else h), s, mx


def hsv_to_rgb(h, s, v):
    h, s, v = min(max(h, 0), 359), min(max(s, 0), 99), min(max(v, 0), 99)
    if s == 0:
        rgb = (v, v, v)
    else:
        f = h % 60
        rise = v - s * v * (60 - f) // 5940
        fall = v - s * v * f // 5940
        low = v - s * v // 99
        rgb = [(v, rise, low), (fall, v, low), (low, v, rise), (low, fall, v), (rise, low, v), (v, low, fall)][h // 60]
    return [round(c / 99 * 255) for c in rgb]


def level(text):
    parts = [int(p) for p in text.split(':')]
    return parts * 3 if len(parts) == 1 else parts


def adjust(args):
    w, h, img = read_ppm(args[0])
    ops, rect, i = [], (0, 0, w, h), 2
    while i < len(args):
        name = args[i]
        if name == '--equalize':
            ops.append((name, None))
        elif name == '--rect':
            rect = tuple(int(v) for v in args[i + 1].split(','))
            i += 1
        else:
            ops.append((name, args[i + 1]))
            i += 1
        i += 1
    x0, y0, x1, y1 = max(rect[0], 0), max(rect[1], 0), min(rect[2], w), min(rect[3], h)
    area = [(x, y) for y in range(y0, y1) for x in range(x0, x1)]
    for name, value in ops:
        if name == '--contrast':
            c = int(value)
            k = 1 + c / 10 if c >= 0 else 1 - math.sqrt(-c) / 10
            means = [sum(img[y][x][ch] for y in range(h) for x in range(w)) // (w * h) for ch in range(3)]
            for x, y in area:
                img[y][x] = [clamp(m + int((v - m) * k)) for v, m in zip(img[y][x], means)]
        elif name in ('--brightness', '--rgb'):
            d = [int(v) for v in value.split(',')] * (3 if name == '--brightness' else 1)
            for x, y in area:
                img[y][x] = [clamp(v + dv) for v, dv in zip(img[y][x], d)]
        elif name == '--hsl':
            dh, ds, dl = (int(v) for v in value.split(','))
            if (dh, ds, dl) != (0, 0, 0):
                for x, y in area:
                    H, S, L = rgb_to_hsl(*img[y][x])
                    img[y][x] = hsl_to_rgb(H + dh / 360, S + ds / 100, L + dl / 100)
        elif name == '--hsv':
            dh, ds, dv = (int(v) for v in value.split(','))
            if (dh, ds, dv) != (0, 0, 0):
                for x, y in area:
                    H, S, V = rgb_to_hsv(*img[y][x])
                    img[y][x] = hsv_to_rgb(H + dh, S + ds, V + dv)
        elif name == '--threshold':
            low, high = (level(t) for t in value.split(','))
            if low != [0, 0, 0] or high != [255, 255, 255]:
                for x, y in area:
                    out = []
                    for ch in range(3):
                        v = img[y][x][ch]
                        v = 0 if v <= low[ch] else v
                        v = 255 if v > high[ch] else v
                        out.append(v)
                    img[y][x] = out
        elif name == '--levels':
            low, high = (level(t) for t in value.split(','))
            high = [max(v, 1) for v in high]
            if low != high:
                for x, y in area:
                    out = []
                    for ch in range(3):
                        lo = low[ch]
                        t1 = clamp(round((img[y][x][ch] - lo) / (255 - lo if lo != 255 else 1) * 255))
                        out.append(clamp(round(t1 / high[ch] * 255)))
                    img[y][x] = out
        elif name == '--equalize':
            img = equalize(w, h, img, area)
    write_ppm(args[1], w, h, img)


def equalize(w, h, img, area):
    counts = [0] * 256
    for row in img:
        for r, g, b in row:
            counts[gray(r, g, b)] += 1
    share = max(w * h // 256, 1)
    left, right, i, total = [0] * 256, [0] * 256, 0, 0
    for lv in range(256):
        left[lv] = min(i, 255)
        total += counts[lv]
        while total > share:
            total -= share
            i += 1
        right[lv] = min(i, 255)
    out = [[list(p) for p in row] for row in img]
    for x, y in area:
        r, g, b = img[y][x]
        gv = gray(r, g, b)
        sums = [0, 0, 0]
        for yy in (y - 1, y, y + 1):
            for xx in (x - 1, x, x + 1):
                p = img[min(max(yy, 0), h - 1)][min(max(xx, 0), w - 1)]
                sums = [s + c for s, c in zip(sums, p)]
        n = [clamp(s // 9) for s in sums]
        ng = gray(*n)
        if left[gv] == right[gv]:
            out[y][x] = [left[v] for v in (r, g, b)]
        elif ng > right[gv]:
            out[y][x] = [right[v] for v in (r, g, b)]
        elif ng < left[gv]:
            out[y][x] = [left[v] for v in (r, g, b)]
        else:
            out[y][x] = n
    return out


def histogram(path):
    w, h, img = read_ppm(path)
    table = [[0, 0, 0, 0] for _ in range(256)]
    for row in img:
        for r, g, b in row:
            table[r][0] += 1
            table[g][1] += 1
            table[b][2] += 1
            table[gray(r, g, b)][3] += 1
    for v, (r, g, b, gr) in enumerate(table):
        print(v, r, g, b, gr)


if __name__ == '__main__':
    if sys.argv[1] == 'adjust':
        adjust(sys.argv[2:])
    else:
        histogram(sys.argv[2])
