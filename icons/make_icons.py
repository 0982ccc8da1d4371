#!/usr/bin/env python3
"""Draws Brellis's own images and writes them beside this script.

    python3 icons/make_icons.py

Writes "OSTRA LOGO4.gif" (the main window's logo), redlight.bmp and greenlight.bmp (the logging
state lights), brellis.svg and hicolor/<N>x<N>/apps/brellis.png (the application icon). The
outputs are committed, so building the program never runs this script.

Plain Python 3 only: every picture is a list of simple shapes (circles, rounded rectangles,
polygons, round-capped strokes) that is rasterised here with 4 x 4 supersampling, and the file
formats are written by hand.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------------------------
# Shapes. Colours are (r, g, b) or (r, g, b, a) with components 0..255. A fill may also be
# ("radial", inner, outer, fx, fy): inner colour at the point (fx, fy) of the shape's box
# (fractions of its width and height), outer colour at the rim.


class Circle:
    def __init__(self, cx, cy, r, fill):
        self.cx, self.cy, self.r, self.fill = cx, cy, r, fill

    def box(self):
        return self.cx - self.r, self.cy - self.r, self.cx + self.r, self.cy + self.r

    def inside(self, x, y):
        return (x - self.cx) ** 2 + (y - self.cy) ** 2 <= self.r * self.r


class RoundRect:
    def __init__(self, x, y, w, h, radius, fill):
        self.x, self.y, self.w, self.h, self.radius, self.fill = x, y, w, h, radius, fill

    def box(self):
        return self.x, self.y, self.x + self.w, self.y + self.h

    def inside(self, x, y):
        if not (self.x <= x <= self.x + self.w and self.y <= y <= self.y + self.h):
            return False
        r = self.radius
        cx = min(max(x, self.x + r), self.x + self.w - r)
        cy = min(max(y, self.y + r), self.y + self.h - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


class Polygon:
    def __init__(self, points, fill):
        self.points, self.fill = points, fill

    def box(self):
        xs = [p[0] for p in self.points]
        ys = [p[1] for p in self.points]
        return min(xs), min(ys), max(xs), max(ys)

    def inside(self, x, y):
        result = False
        n = len(self.points)
        for i in range(n):
            x1, y1 = self.points[i]
            x2, y2 = self.points[(i + 1) % n]
            if (y1 > y) != (y2 > y):
                if x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                    result = not result
        return result


class Stroke:
    """A polyline drawn with a round pen; closed strokes join the last point to the first."""

    def __init__(self, points, width, colour, closed=False):
        self.points, self.width, self.fill, self.closed = points, width, colour, closed

    def box(self):
        h = self.width / 2
        xs = [p[0] for p in self.points]
        ys = [p[1] for p in self.points]
        return min(xs) - h, min(ys) - h, max(xs) + h, max(ys) + h

    def segments(self):
        pts = self.points + ([self.points[0]] if self.closed else [])
        return zip(pts, pts[1:])

    def inside(self, x, y):
        limit = (self.width / 2) ** 2
        for (x1, y1), (x2, y2) in self.segments():
            dx, dy = x2 - x1, y2 - y1
            length = dx * dx + dy * dy
            t = 0.0 if length == 0 else max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / length))
            if (x - x1 - t * dx) ** 2 + (y - y1 - t * dy) ** 2 <= limit:
                return True
        return False


def arc(cx, cy, r, start, end, steps=24):
    """Points on a circular arc; angles in degrees, anticlockwise, 0 to the right, y down."""
    return [
        (cx + r * math.cos(math.radians(start + (end - start) * i / steps)),
         cy - r * math.sin(math.radians(start + (end - start) * i / steps)))
        for i in range(steps + 1)
    ]


# ---------------------------------------------------------------------------------------------
# Rasteriser


def rgba(colour):
    return tuple(colour) + (255,) if len(colour) == 3 else tuple(colour)


def fill_colour(shape, x, y):
    fill = shape.fill
    if fill[0] != "radial":
        return rgba(fill)
    _, inner, outer, fx, fy = fill
    x0, y0, x1, y1 = shape.box()
    px, py = x0 + fx * (x1 - x0), y0 + fy * (y1 - y0)
    reach = max(x1 - x0, y1 - y0) * 0.75
    t = min(1.0, math.hypot(x - px, y - py) / reach)
    a, b = rgba(inner), rgba(outer)
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(4))


def render(width, height, shapes, scale=1.0, background=(0, 0, 0, 0), samples=4):
    """Rasterises shapes given in units (scale pixels per unit) to rows of RGBA tuples."""
    pixels = [[list(rgba(background)) for _ in range(width)] for _ in range(height)]
    offsets = [(i + 0.5) / samples for i in range(samples)]
    for shape in shapes:
        x0, y0, x1, y1 = shape.box()
        px0, py0 = max(0, int(x0 * scale) - 1), max(0, int(y0 * scale) - 1)
        px1, py1 = min(width, int(x1 * scale) + 2), min(height, int(y1 * scale) + 2)
        for py in range(py0, py1):
            for px in range(px0, px1):
                acc = [0.0, 0.0, 0.0, 0.0]
                hits = 0
                for oy in offsets:
                    for ox in offsets:
                        ux, uy = (px + ox) / scale, (py + oy) / scale
                        if shape.inside(ux, uy):
                            c = fill_colour(shape, ux, uy)
                            a = c[3] / 255.0
                            acc[0] += c[0] * a
                            acc[1] += c[1] * a
                            acc[2] += c[2] * a
                            acc[3] += a
                            hits += 1
                if not hits:
                    continue
                n = samples * samples
                cover = acc[3] / n  # source alpha over this pixel
                if cover <= 0:
                    continue
                src = [acc[i] / acc[3] for i in range(3)]
                dst = pixels[py][px]
                dst_a = dst[3] / 255.0
                out_a = cover + dst_a * (1 - cover)
                for i in range(3):
                    dst[i] = (src[i] * cover + dst[i] * dst_a * (1 - cover)) / out_a if out_a else 0
                dst[3] = out_a * 255.0
    return [[tuple(int(round(min(255, max(0, v)))) for v in p) for p in row] for row in pixels]


def flatten(rows, background):
    """Composes RGBA rows on an opaque background colour, giving RGB rows."""
    out = []
    for row in rows:
        line = []
        for r, g, b, a in row:
            t = a / 255.0
            line.append(tuple(int(round(c * t + bg * (1 - t))) for c, bg in zip((r, g, b), background)))
        out.append(line)
    return out


# ---------------------------------------------------------------------------------------------
# File formats


def write_png(path, rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    data = (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def write_bmp(path, rows):
    """24-bit uncompressed BMP, bottom-up, rows padded to four bytes."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\x00" * (stride - len(line))
        body += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(body), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + body)


def quantise(rows):
    """Reduces RGB rows to at most 256 colours by coarsening the channels until they fit."""
    for shift in range(0, 8):
        mask = 0xFF & ~((1 << shift) - 1)
        half = (1 << shift) >> 1

        def cut(p):
            return tuple(min(255, (c & mask) + half) for c in p)

        colours = sorted({cut(p) for row in rows for p in row})
        if len(colours) <= 256:
            index = {c: i for i, c in enumerate(colours)}
            return colours, [[index[cut(p)] for p in row] for row in rows]
    raise ValueError("cannot quantise")


def lzw_encode(indices, min_code_size=8):
    """GIF LZW with a fixed 9-bit code: the table is cleared before the code would widen."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    code_size = min_code_size + 1
    out = bytearray()
    bit_buffer, bit_count = 0, 0

    def emit(code):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += code_size
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    table, next_code = {}, end + 1
    emit(clear)
    prefix = indices[0]
    for k in indices[1:]:
        key = (prefix, k)
        if key in table:
            prefix = table[key]
            continue
        emit(prefix)
        table[key] = next_code
        next_code += 1
        # The decoder's table runs one entry behind ours and widens its code at 512 entries:
        # clearing at 510 keeps both at nine bits.
        if next_code >= (1 << code_size) - 2:
            emit(clear)
            table, next_code = {}, end + 1
        prefix = k
    emit(prefix)
    emit(end)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def write_gif(path, rows):
    height, width = len(rows), len(rows[0])
    colours, indexed = quantise(rows)
    palette = colours + [(0, 0, 0)] * (256 - len(colours))
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", width, height, 0xF7, 0, 0)  # global table of 256 colours
    data += bytes(v for c in palette for v in c)
    data += b"," + struct.pack("<HHHHB", 0, 0, width, height, 0)
    data += bytes((8,))
    stream = lzw_encode([i for row in indexed for i in row])
    for start in range(0, len(stream), 255):
        block = stream[start:start + 255]
        data += bytes((len(block),)) + block
    data += b"\x00;"
    with open(path, "wb") as f:
        f.write(data)


def svg_fill(shape, defs):
    fill = shape.fill
    if fill[0] == "radial":
        _, inner, outer, fx, fy = fill
        name = "g%d" % len(defs)
        defs.append(
            '<radialGradient id="%s" cx="%g" cy="%g" r="0.75" fx="%g" fy="%g">'
            '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/></radialGradient>'
            % (name, fx, fy, fx, fy, svg_colour(inner), svg_colour(outer)))
        return 'url(#%s)' % name
    return svg_colour(fill)


def svg_colour(c):
    c = rgba(c)
    if c[3] == 255:
        return "#%02x%02x%02x" % c[:3]
    return "rgba(%d,%d,%d,%.3f)" % (c[0], c[1], c[2], c[3] / 255.0)


def write_svg(path, size, shapes):
    defs, body = [], []
    for s in shapes:
        if isinstance(s, Circle):
            body.append('<circle cx="%g" cy="%g" r="%g" fill="%s"/>'
                        % (s.cx, s.cy, s.r, svg_fill(s, defs)))
        elif isinstance(s, RoundRect):
            body.append('<rect x="%g" y="%g" width="%g" height="%g" rx="%g" fill="%s"/>'
                        % (s.x, s.y, s.w, s.h, s.radius, svg_fill(s, defs)))
        elif isinstance(s, Polygon):
            body.append('<polygon points="%s" fill="%s"/>'
                        % (" ".join("%g,%g" % p for p in s.points), svg_fill(s, defs)))
        elif isinstance(s, Stroke):
            tag = "polygon" if s.closed else "polyline"
            body.append('<%s points="%s" fill="none" stroke="%s" stroke-width="%g" '
                        'stroke-linecap="round" stroke-linejoin="round"/>'
                        % (tag, " ".join("%.2f,%.2f" % p for p in s.points), svg_colour(s.fill),
                           s.width))
    with open(path, "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        f.write('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
                'viewBox="0 0 %d %d">\n' % (size, size, size, size))
        f.write('<title>Brellis</title>\n')
        if defs:
            f.write("<defs>" + "".join(defs) + "</defs>\n")
        for line in body:
            f.write(line + "\n")
        f.write("</svg>\n")


# ---------------------------------------------------------------------------------------------
# Our artwork

INK = (0x1c, 0x3a, 0x5e)
GLASS = (0xe9, 0xf3, 0xfa)
LIQUID = (0x3c, 0xb0, 0x43)
PROBE = (0x44, 0x4a, 0x52)
TRACE_GREEN = (0x1f, 0xa0, 0x3a)
TRACE_RED = (0xd0, 0x30, 0x30)


def flask(x, y, s, outline):
    """An Erlenmeyer flask with a probe dipping into green liquid; (x, y) is the neck's top
    centre, s the scale (the flask is 60 s wide and 66 s tall)."""
    def p(u, v):
        return (x + u * s, y + v * s)

    neck_half = 7
    body = [p(-neck_half, 0), p(neck_half, 0), p(neck_half, 22), p(29, 58), p(29, 62),
            p(25, 66), p(-25, 66), p(-29, 62), p(-29, 58), p(-neck_half, 22)]
    liquid_top = 40
    def edge(v):  # half-width of the body at depth v below the neck's shoulder
        return neck_half + (29 - neck_half) * (v - 22) / 36
    liquid = [p(-edge(liquid_top), liquid_top), p(edge(liquid_top), liquid_top), p(29, 58),
              p(29, 62), p(25, 66), p(-25, 66), p(-29, 62), p(-29, 58)]
    return [
        Polygon(body, GLASS),
        Polygon(liquid, LIQUID),
        Circle(*p(-9, 52), 2.2 * s, (255, 255, 255, 170)),
        Circle(*p(-4, 58), 1.6 * s, (255, 255, 255, 170)),
        Circle(*p(-13, 60), 1.3 * s, (255, 255, 255, 170)),
        # The probe: a rod down the neck to a glass bulb in the liquid.
        Stroke([p(3, -6), p(3, 50)], 4.2 * s, PROBE),
        Circle(*p(3, 53), 4.2 * s, (0x8f, 0xc8, 0xf0)),
        Stroke(body, 2.6 * s, outline, closed=True),
        Stroke([p(-neck_half - 2, 0), p(neck_half + 2, 0)], 2.6 * s, outline),
    ]


# A stroke alphabet for the name: each letter is a list of polylines in a box one unit tall
# (0 at the cap line, 1 on the baseline, x-height from 0.40) and its advance.
def letter_b():
    return [[(0, 0), (0, 1)],
            [(0, 0)] + arc(0.30, 0.235, 0.235, 90, -90) + [(0, 0.47)],
            [(0, 0.47)] + arc(0.34, 0.735, 0.265, 90, -90) + [(0, 1)]], 0.72


def letter_r():
    return [[(0, 0.40), (0, 1)], arc(0.30, 0.70, 0.30, 180, 65, 12)], 0.48


def letter_e():
    return [[(0.02, 0.70), (0.58, 0.70)] + arc(0.30, 0.70, 0.29, 0, 320, 28)], 0.72


def letter_l():
    return [[(0, 0), (0, 1)]], 0.28


def letter_i():
    return [[(0, 0.40), (0, 1)], [(0, 0.16), (0, 0.16)]], 0.28


def letter_s():
    upper = arc(0.22, 0.555, 0.14, 20, 270, 14)
    lower = arc(0.22, 0.845, 0.15, 90, -160, 14)
    return [upper + lower], 0.56


def word(text, x, y, height, width, colour):
    letters = {"B": letter_b, "r": letter_r, "e": letter_e, "l": letter_l, "i": letter_i,
               "s": letter_s}
    shapes = []
    for ch in text:
        strokes, advance = letters[ch]()
        for line in strokes:
            shapes.append(Stroke([(x + u * height, y + v * height) for u, v in line], width,
                                 colour))
        x += advance * height
    return shapes


def word_width(text, height, width):
    advances = {"B": 0.72, "r": 0.48, "e": 0.72, "l": 0.28, "i": 0.28, "s": 0.56}
    return sum(advances[c] for c in text) * height - 0.28 * height + width


def logo():
    w, h = 133, 100
    shapes = [RoundRect(0.5, 0.5, w - 1, h - 1, 8, (0xf6, 0xfa, 0xfd))]
    shapes += flask(38, 8, 0.95, INK)
    # A little strip chart of two pH traces beside the flask.
    cx0, cy0, cw, ch = 76, 14, 50, 44
    shapes.append(RoundRect(cx0, cy0, cw, ch, 3, (255, 255, 255)))
    shapes.append(Stroke([(cx0, cy0), (cx0 + cw, cy0), (cx0 + cw, cy0 + ch), (cx0, cy0 + ch)],
                         1.2, INK, closed=True))
    green = [(cx0 + 3 + i * (cw - 6) / 20, cy0 + 16 + 6 * math.sin(i * 0.55)) for i in range(21)]
    red = [(cx0 + 3 + i * (cw - 6) / 20, cy0 + 30 + 5 * math.sin(i * 0.55 + 1.8)) for i in range(21)]
    shapes.append(Stroke(green, 2.0, TRACE_GREEN))
    shapes.append(Stroke(red, 2.0, TRACE_RED))
    text_height, pen = 22, 3.6
    tw = word_width("Brellis", text_height, pen)
    shapes += word("Brellis", (w - tw) / 2 + pen / 2, 74, text_height, pen, INK)
    rows = flatten(render(w, h, shapes), (255, 255, 255))
    return rows


def light(colour):
    dark = tuple(int(c * 0.45) for c in colour)
    bright = tuple(min(255, int(c + (255 - c) * 0.35)) for c in colour)
    shapes = [
        Circle(8, 8, 7.2, (0x50, 0x50, 0x50)),
        Circle(8, 8, 6.2, ("radial", bright, dark, 0.38, 0.35)),
        Circle(6.2, 5.6, 1.8, (255, 255, 255, 190)),
    ]
    return flatten(render(16, 16, shapes), (0xf0, 0xf0, 0xf0))


def app_icon_shapes():
    """The application icon on a 256-unit square."""
    shapes = [RoundRect(8, 8, 240, 240, 44, ("radial", (0x2f, 0x6d, 0xa8), (0x14, 0x32, 0x52),
                                             0.35, 0.25))]
    shapes += flask(128, 44, 2.6, (0xff, 0xff, 0xff))
    return shapes


def main():
    write_gif(os.path.join(HERE, "OSTRA LOGO4.gif"), logo())
    write_bmp(os.path.join(HERE, "redlight.bmp"), light((0xe0, 0x20, 0x20)))
    write_bmp(os.path.join(HERE, "greenlight.bmp"), light((0x20, 0xc8, 0x30)))
    shapes = app_icon_shapes()
    write_svg(os.path.join(HERE, "brellis.svg"), 256, shapes)
    for size in (16, 32, 48, 64, 128, 256):
        rows = render(size, size, shapes, scale=size / 256.0, samples=4 if size < 128 else 2)
        write_png(os.path.join(HERE, "hicolor", "%dx%d" % (size, size), "apps", "brellis.png"), rows)


if __name__ == "__main__":
    main()
