#!/usr/bin/env python3
"""Draws the program's icons into icons/: the product image and the header's logo, the four status badges,
the filtering state pictures and the quit entry, the settings menu's three links and the update check, the
filter editor's add, category and help images (PNG, the ones shown at their own size also at scale 2), and the
connecting animation (GIF). Standard library only; run it again after a change and commit the files it writes."""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "icons")
SAMPLES = 4  # supersampling per axis, for smooth edges


def png(path, width, height, pixels):
    """pixels: rows of (r, g, b, a)."""
    raw = b"".join(b"\x00" + bytes(v for px in row for v in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def render(size, shade):
    """shade(x, y) -> (r, g, b, a) or None, in a 0..1 square; averaged over the samples of each pixel."""
    return render_rect(size, size, shade)


def render_rect(width, height, shade):
    """As render, for a picture wider than high: y runs 0..1 and x 0..width/height."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / height
                    y = (py + (sy + 0.5) / SAMPLES) / height
                    c = shade(x, y)
                    if c is None:
                        continue
                    a = c[3] / 255.0
                    for i in range(3):
                        acc[i] += c[i] * a
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if acc[3] > 0:
                row.append(tuple(int(round(acc[i] / acc[3])) for i in range(3)) + (int(round(alpha * 255)),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def disc(x, y, cx=0.5, cy=0.5, r=0.46):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def badge(colour, marks):
    """A filled disc with a white rim and white strokes (segments of width 0.13)."""
    white = (255, 255, 255, 255)

    def shade(x, y):
        if not disc(x, y, r=0.48):
            return None
        if not disc(x, y, r=0.42):
            return white
        for seg in marks:
            if segment_distance(x, y, *seg) <= 0.075:
                return white
        return colour + (255,)

    return shade


def product(x, y):
    """A shield in the brand's blue with a lighter inner field and a white "V"."""
    if y < 0.08 or y > 0.95:
        return None
    half = 0.42 if y < 0.55 else 0.42 * math.sqrt(max(0.0, 1 - ((y - 0.55) / 0.40) ** 2))
    if abs(x - 0.5) > half:
        return None
    inner = 0.34 if y < 0.55 else 0.34 * math.sqrt(max(0.0, 1 - ((y - 0.55) / 0.33) ** 2))
    if y < 0.15 or y > 0.88 or abs(x - 0.5) > inner:
        return (0x2F, 0x5F, 0x7F, 255)
    if segment_distance(x, y, 0.33, 0.30, 0.5, 0.72) < 0.06 or segment_distance(x, y, 0.67, 0.30, 0.5, 0.72) < 0.06:
        return (255, 255, 255, 255)
    return (0x65, 0x9E, 0xBF, 255)


def funnel_mark(x, y):
    """A white funnel inside a disc: the filtering."""
    if 0.30 <= y <= 0.52:
        return abs(x - 0.5) <= 0.24 - (y - 0.30) * 0.75
    return 0.52 < y <= 0.72 and abs(x - 0.5) <= 0.06


def filtering_on(colour):
    """The filtering as it is when on: a funnel on a coloured disc. The tray's "Start filtering" and the
    button in state 7 both mean this state."""

    def shade(x, y):
        if not disc(x, y):
            return None
        if funnel_mark(x, y):
            return (255, 255, 255, 255)
        return colour + (255,)

    return shade


def filtering_off(colour):
    """The filtering as it is when off: the same funnel, struck through."""

    def shade(x, y):
        if not disc(x, y):
            return None
        d = segment_distance(x, y, 0.26, 0.26, 0.74, 0.74)
        if d <= 0.045:
            return (255, 255, 255, 255)
        if d <= 0.085:
            return colour + (255,)
        if funnel_mark(x, y):
            return (255, 255, 255, 255)
        return colour + (255,)

    return shade


def power(x, y):
    red = (0xB0, 0x30, 0x30, 255)
    if not disc(x, y):
        return None
    r = math.hypot(x - 0.5, y - 0.52)
    angle = math.degrees(math.atan2(x - 0.5, -(y - 0.52)))
    if 0.20 <= r <= 0.29 and abs(angle) > 35:
        return (255, 255, 255, 255)
    if segment_distance(x, y, 0.5, 0.18, 0.5, 0.50) <= 0.05:
        return (255, 255, 255, 255)
    return red


def plus(colour):
    """A filled disc with a white plus: adding an entry."""
    return badge(colour, [(0.5, 0.27, 0.5, 0.73), (0.27, 0.5, 0.73, 0.5)])


def question(colour):
    """A filled disc with a white question mark: a description on hover."""
    white = (255, 255, 255, 255)

    def shade(x, y):
        if not disc(x, y, r=0.48):
            return None
        r = math.hypot(x - 0.5, y - 0.38)
        angle = math.degrees(math.atan2(x - 0.5, -(y - 0.38)))
        if abs(r - 0.13) <= 0.06 and -100 <= angle <= 140:
            return white
        if segment_distance(x, y, 0.5, 0.51, 0.5, 0.6) <= 0.06:
            return white
        if disc(x, y, 0.5, 0.76, 0.07):
            return white
        return colour + (255,)

    return shade


# The filter editor's images: the profiles button, a category allowed or blocked, and a category's description.
FILTER_ICONS = {
    "add.png": (32, plus((0x2E, 0x9E, 0x3E))),
    "check_on.png": (32, badge((0x2E, 0x9E, 0x3E), [(0.28, 0.52, 0.44, 0.68), (0.44, 0.68, 0.72, 0.34)])),
    "check_off.png": (32, badge((0xC8, 0x2B, 0x2B), [(0.34, 0.34, 0.66, 0.66), (0.66, 0.34, 0.34, 0.66)])),
    "help.png": (32, question((0x25, 0x6E, 0xC8))),
}


# The pictures the main window and the filter editor show at their own size, which a screen at scale 2 would
# otherwise show blurred.
SHARP_AT_2X = {"status-error.png", "status-warning.png", "status-info.png", "status-ok.png", "agent_on.png",
               "agent_off.png", "check_on.png", "check_off.png", "help.png", "add.png"}

BLUE = (0x2F, 0x5F, 0x7F, 255)
LIGHT = (0x65, 0x9E, 0xBF, 255)

# Capitals as strokes in a unit cell (x 0..0.6, y 0..1), for the logo's word.
LETTERS = {
    "V": [(0.0, 0.0, 0.3, 1.0), (0.3, 1.0, 0.6, 0.0)],
    "E": [(0.0, 0.0, 0.0, 1.0), (0.0, 0.0, 0.55, 0.0), (0.0, 0.5, 0.45, 0.5), (0.0, 1.0, 0.55, 1.0)],
    "L": [(0.0, 0.0, 0.0, 1.0), (0.0, 1.0, 0.55, 1.0)],
    "M": [(0.0, 1.0, 0.0, 0.0), (0.0, 0.0, 0.3, 0.6), (0.3, 0.6, 0.6, 0.0), (0.6, 0.0, 0.6, 1.0)],
    "R": [(0.0, 1.0, 0.0, 0.0), (0.0, 0.0, 0.4, 0.0), (0.4, 0.0, 0.55, 0.12), (0.55, 0.12, 0.55, 0.38),
          (0.55, 0.38, 0.4, 0.5), (0.4, 0.5, 0.0, 0.5), (0.25, 0.5, 0.6, 1.0)],
}


def ring_letter(x, y, cx, cy, rx, ry, width):
    """An "O" as an elliptic ring."""
    d = math.hypot((x - cx) / rx, (y - cy) / ry)
    return abs(d - 1.0) * min(rx, ry) <= width


def logo(x, y):
    """The header's logo: the product shield, then the word in the brand's blue."""
    if x < 1.0:
        return product(x, y)
    top, height, width, stroke = 0.28, 0.44, 0.44 * 0.6, 0.045
    left = 1.18
    for index, letter in enumerate("VELMOR"):
        ox = left + index * (width + 0.16)
        if not (ox - 0.06 <= x <= ox + width + 0.06):
            continue
        lx, ly = (x - ox) / height, (y - top) / height
        if letter == "O":
            if ring_letter(x, y, ox + width / 2, top + height / 2, width / 2, height / 2, stroke):
                return BLUE
            continue
        for ax, ay, bx, by in LETTERS[letter]:
            if segment_distance(lx, ly, ax, ay, bx, by) * height <= stroke:
                return BLUE
    return None


def funnel(x, y):
    """The filter link: a funnel over a short stem."""
    if 0.16 <= y <= 0.56:
        half = 0.40 - (y - 0.16) * 0.7
        return BLUE if abs(x - 0.5) <= half else None
    if 0.56 < y <= 0.86 and abs(x - 0.5) <= 0.08:
        return BLUE
    if 0.16 - 0.06 <= y < 0.16 and abs(x - 0.5) <= 0.40:
        return LIGHT
    return None


def gear(x, y):
    """The common settings link: an eight-toothed wheel with a hole."""
    r = math.hypot(x - 0.5, y - 0.5)
    angle = math.atan2(y - 0.5, x - 0.5)
    tooth = (math.cos(angle * 8) > 0.25)
    outer = 0.44 if tooth else 0.34
    if r > outer or r < 0.13:
        return None
    return BLUE if r > 0.24 else LIGHT


def people(x, y):
    """The authentication link: two people, the nearer one in front."""
    front = disc(x, y, 0.40, 0.32, 0.14) or (y >= 0.56 and disc(x, y, 0.40, 0.92, 0.32) and y <= 0.90)
    if front:
        return BLUE
    back = disc(x, y, 0.66, 0.26, 0.12) or (y >= 0.48 and disc(x, y, 0.66, 0.80, 0.28) and y <= 0.80)
    return LIGHT if back else None


def update_arrow(x, y):
    """The update check: a circling arrow on a green disc."""
    green = (0x2E, 0x9E, 0x3E, 255)
    if not disc(x, y, r=0.48):
        return None
    r = math.hypot(x - 0.5, y - 0.5)
    angle = math.degrees(math.atan2(y - 0.5, x - 0.5)) % 360
    if 0.20 <= r <= 0.30 and not (300 <= angle <= 360):
        return (255, 255, 255, 255)
    # the arrowhead at the gap's start, pointing down along the circle
    ax, ay = 0.5 + 0.25, 0.5
    if y <= ay + 0.02 and y >= ay - 0.22 + abs(x - ax) * 1.1 and abs(x - ax) <= 0.17:
        return (255, 255, 255, 255)
    return green


def lzw(indices, min_code_size):
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    table = {(i,): i for i in range(clear)}
    next_code, size = end + 1, min_code_size + 1
    bits, nbits, out = 0, 0, bytearray()

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    emit(clear)
    prefix = (indices[0],)
    for index in indices[1:]:
        candidate = prefix + (index,)
        if candidate in table:
            prefix = candidate
            continue
        emit(table[prefix])
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear)
            table = {(i,): i for i in range(clear)}
            next_code, size = end + 1, min_code_size + 1
        prefix = (index,)
    emit(table[prefix])
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def gif(path, size, frames, delay_cs):
    """frames: lists of rows of palette indices; index 0 is transparent."""
    palette = [(0, 0, 0)] + [(int(0x2F + (0xFF - 0x2F) * t), int(0x5F + (0xFF - 0x5F) * t),
                              int(0x7F + (0xFF - 0x7F) * t)) for t in (i / 14 for i in range(15))]
    data = bytearray(b"GIF89a" + struct.pack("<HHBBB", size, size, 0xF3, 0, 0))
    for colour in palette:
        data += bytes(colour)
    data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for frame in frames:
        data += b"\x21\xF9\x04\x09" + struct.pack("<H", delay_cs) + b"\x00\x00"
        data += b"\x2C" + struct.pack("<HHHHB", 0, 0, size, size, 0)
        encoded = lzw([i for row in frame for i in row], 4)
        data += b"\x04"
        for start in range(0, len(encoded), 255):
            block = encoded[start:start + 255]
            data += bytes([len(block)]) + block
        data += b"\x00"
    data += b"\x3B"
    with open(path, "wb") as f:
        f.write(data)


def loading_frames(size, count):
    """Eight dots on a ring; the bright one walks round, its trail fading."""
    frames = []
    for f in range(count):
        rows = []
        for py in range(size):
            row = []
            for px in range(size):
                x, y = (px + 0.5) / size, (py + 0.5) / size
                index = 0
                for d in range(8):
                    a = 2 * math.pi * d / 8
                    cx, cy = 0.5 + 0.34 * math.sin(a), 0.5 - 0.34 * math.cos(a)
                    if (x - cx) ** 2 + (y - cy) ** 2 <= 0.13 ** 2:
                        age = (f - d) % count
                        index = 1 + min(14, age * 2)
                row.append(index)
            rows.append(row)
        frames.append(rows)
    return frames


def main():
    os.makedirs(OUT, exist_ok=True)
    icons = {
        "velmor.png": (64, product),
        "status-error.png": (32, badge((0xC8, 0x2B, 0x2B), [(0.34, 0.34, 0.66, 0.66), (0.66, 0.34, 0.34, 0.66)])),
        "status-warning.png": (32, badge((0xE8, 0x9A, 0x10), [(0.5, 0.24, 0.5, 0.56), (0.5, 0.74, 0.5, 0.745)])),
        "status-info.png": (32, badge((0x25, 0x6E, 0xC8), [(0.5, 0.44, 0.5, 0.76), (0.5, 0.26, 0.5, 0.265)])),
        "status-ok.png": (32, badge((0x2E, 0x9E, 0x3E), [(0.28, 0.52, 0.44, 0.68), (0.44, 0.68, 0.72, 0.34)])),
        "agent_on.png": (32, filtering_on((0x2E, 0x9E, 0x3E))),
        "agent_off.png": (32, filtering_off((0x80, 0x80, 0x80))),
        "exit.png": (32, power),
        "filter.png": (32, funnel),
        "settings.png": (32, gear),
        "users.png": (32, people),
        "updateapp.png": (24, update_arrow),
    }
    icons.update(FILTER_ICONS)
    for name, (size, shade) in icons.items():
        png(os.path.join(OUT, name), size, size, render(size, shade))
        # Drawn again at twice the size, Qt's "@2x" files, for screens at scale 2.
        if name in SHARP_AT_2X:
            png(os.path.join(OUT, name.replace(".png", "@2x.png")), 2 * size, 2 * size, render(2 * size, shade))
    png(os.path.join(OUT, "velmor-text.png"), 200, 52, render_rect(200, 52, logo))
    png(os.path.join(OUT, "velmor-text@2x.png"), 400, 104, render_rect(400, 104, logo))
    gif(os.path.join(OUT, "loading.gif"), 24, loading_frames(24, 8), 10)


if __name__ == "__main__":
    main()
