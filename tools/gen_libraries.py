#!/usr/bin/env python3
"""Writes the component libraries THD.LIB, SMD.LIB and SCHEM.LIB into OUTDIR.

    python3 tools/gen_libraries.py OUTDIR

The files in share/LIBRARY are this script's output; run it again after changing it or the
dimension table (library_dimensions.py) and commit both.  The output is the same byte for byte on
every run.

What an entry looks like:
- One top-level Component whose Parameters are the pattern name and a reference ID prefix ending in
  "?" (U?, R?, C?, D?, Q?, J?, ...); value and modifier are left empty for the user.
- The hook point is (0,0), the package centre (for through-hole parts the centre of the pad
  pattern), and the geometry is centred on it.  Orientation is the IPC-7351 zero orientation: pin 1
  at the top left, two-row packages numbered counter-clockwise, chip parts with pin 1 on the left.
- Through-hole pads are on the pad master layer (pin 1 rectangular, the rest oval); surface pads are
  on the top copper layer (symbolic "CT"); pins are numbered, no signal names.
- "&1" (reference ID) and the outline go on the top silk layer ("ST"); "&2" (value) and the body
  outline on the assembly drawing layer ("DA").  The symbolic forms resolve against the board the
  part is placed on, so every board with a silk, copper and drawing layer gets them right.
- Schematic symbols: pins are schematic pins on layer 2 on a 0.1 inch grid, the body on layer 1.

The files carry a layer table of their own so that they read and plot on their own; the records are
written exactly as our Data file writer would write them back (canonical numbers, members ordered
by kind and layer, Components in the order the reader keeps them), so that loading and saving a
library changes none of its records.
"""

import math
import os
import sys
from fractions import Fraction as Fr

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import library_dimensions as dim  # noqa: E402

TITLE = "TRAZEL Version 4.0 -- Data File."
CAPTIONS = [
    "Primary Data File:",
    "Component: 6 0 0 X1 Y1 X2 Y2 Parameters",
    "Text: 4 layer height X0 Y0 length angle anchor font data",
    "Pad: 3 layer type X0 Y0 width height hole angle pin signal",
    "Arc: 2 layer width X0 Y0 radius start sweep ellipse angle signal",
    "Line: 1 layer width X1 Y1 X2 Y2 signal",
]

# Layer tables written into the files: (number, display colour, plot colour, type, name).
BOARD_LAYERS = [
    (0, "00FFFF00", 0, "Pad Master"),
    (1, "00FFFFFF", 0, "Top Silk"),
    (2, "00FF00FF", 1, "Top Mask"),
    (3, "00808080", 5, "Top Paste"),
    (4, "00FF0000", 18, "Top Side"),
    (5, "000000FF", 42, "Bottom Side"),
    (6, "00800080", 9, "Bottom Mask"),
    (7, "00C0C0C0", 8, "Bottom Silk"),
    (8, "0000FF00", 7, "Board Outline"),
    (9, "00C0C000", 7, "Assembly"),
]
SCHEMATIC_LAYERS = [
    (0, "00FFFF00", 0, "Pad Master"),
    (1, "00000080", 4, "Symbols"),
    (2, "00008000", 6, "Signals"),
    (3, "00800080", 7, "Busses"),
    (4, "00404040", 7, "Notes"),
    (5, "00808080", 7, "Sheet"),
]

PAD_MASTER, SILK, COPPER, DRAWING = "0", "ST", "CT", "DA"
SYMBOLS, SIGNALS = "1", "2"

# Pad types (low three bits of the Pad's type field).
T_SCHEMATIC, T_OVAL, T_RECT, S_OVAL, S_RECT = 0, 1, 2, 5, 6

SILK_WIDTH = Fr(6)        # thousandths of an inch
DRAWING_WIDTH = Fr(4)
SYMBOL_WIDTH = Fr(10)
REF_HEIGHT = Fr(40)
VALUE_HEIGHT = Fr(30)
SILK_CLEARANCE_MM = Fr("0.15")  # copper kept free of silk around every pad

# Anchors (vertical x 4 + horizontal).
BOTTOM_CENTER, CENTER, TOP_CENTER = 1, 5, 9


# --- numbers as the Data file has them ---------------------------------------------------------

MM_PER_INCH = Fr(254, 10)

def round_half_away(q):
    if not isinstance(q, Fr):
        q = Fr(q)
    n = (abs(q.numerator) * 2 + q.denominator) // (2 * q.denominator)
    return -n if q < 0 else n


def mm(v):
    return Fr(v)


def mils(v):
    return Fr(v) * Fr(254, 10000)


def mm_units(v):
    """A length in millimetres as coordinate units (1/65536 inch)."""
    return round_half_away(Fr(v) * 65536 / MM_PER_INCH)


def mil_units(v):
    return round_half_away(Fr(v) * 65536 / 1000)


def write_fixed(v):
    """The F format of the Data file writer: inches, at most five decimals, no trailing zeros."""
    if v == 0:
        return "0"
    m = abs(v)
    out = "-" if v < 0 else ""
    ip = m >> 16
    if ip:
        out += str(ip)
    f = ((m & 0xFFFF) * 100000) >> 16
    if f & 1:
        f += 1
    digits = "%05d" % f
    digits = digits.rstrip("0") or "0"
    return out + "." + digits


def read_length(text):
    """What our reader makes of a length field."""
    neg = text.startswith("-")
    t = text.lstrip("+-")
    if "." in t:
        ip, frac = t.split(".", 1)
        f = int((frac + "000000")[:6])
        v = round_half_away(Fr((int(ip or "0") * 1000000 + f) * 65536, 1000000))
    else:
        v = round_half_away(Fr(int(t or "0") * 65536, 1000))
    return -v if neg else v


def canon(u):
    """A coordinate as it reads back from its written form; the writer writes that form again."""
    c = read_length(write_fixed(u))
    assert write_fixed(c) == write_fixed(u), u
    return c


def write_angle(a):
    h = (a * 36000 + 29535) >> 16
    if h <= 0:
        return "0"
    out = str(h // 100) if h >= 100 else ""
    if h < 100 or h % 100:
        out += ".%02d" % (h % 100)
    return out


def read_angle(text):
    ip, _, frac = text.partition(".")
    d = int(ip or "0") * 65536
    if frac:
        d += round_half_away(Fr(int((frac + "000000")[:6]) * 65536, 1000000))
    return round_half_away(Fr(d, 360)) & 0xFFFF


def angle_units(degrees):
    """An angle in binary units, nudged to a value that its written degrees read back to."""
    a = round_half_away(Fr(degrees) * 65536 / 360) & 0xFFFF
    for cand in (a, a + 1, a - 1):
        cand &= 0xFFFF
        if read_angle(write_angle(cand)) == cand:
            return cand
    raise AssertionError("angle %s does not survive writing" % degrees)


# --- Components --------------------------------------------------------------------------------

class Entry:
    """One library Component; lengths are given in millimetres (footprints) or mils (symbols)."""

    def __init__(self, name, ref, layer_numbers, unit="mm"):
        assert len(name) <= 20 and name == name.upper()
        self.name, self.ref = name, ref
        self.layer_numbers = layer_numbers
        self.to_units = mm_units if unit == "mm" else mil_units
        self.texts, self.pads, self.arcs, self.lines = [], [], [], []

    def u(self, v):
        return canon(self.to_units(v))

    def w(self, v):
        u = self.u(v)
        assert 0 <= u <= 65535, v
        return u

    def pad(self, layer, ptype, x, y, width, height, hole, pin):
        self.pads.append((layer, ptype, self.u(x), self.u(y), self.w(width), self.w(height), self.w(hole), str(pin)))

    def line(self, layer, width, x1, y1, x2, y2):
        self.lines.append((layer, canon(mil_units(width)), self.u(x1), self.u(y1), self.u(x2), self.u(y2)))

    def polyline(self, layer, width, points, closed=False):
        pts = list(points) + ([points[0]] if closed else [])
        for a, b in zip(pts, pts[1:]):
            self.line(layer, width, a[0], a[1], b[0], b[1])

    def rect(self, layer, width, x1, y1, x2, y2):
        self.polyline(layer, width, [(x1, y1), (x2, y1), (x2, y2), (x1, y2)], closed=True)

    def arc(self, layer, width, x, y, radius, start, sweep):
        """A circular arc, angles in degrees counter-clockwise; a sweep of 0 is the full circle."""
        self.arcs.append((layer, canon(mil_units(width)), self.u(x), self.u(y), self.u(radius),
                          angle_units(start), angle_units(sweep)))

    def text(self, layer, height, x, y, anchor, string):
        h = canon(mil_units(height))
        # A placeholder length of one height per typed character: drawing measures the resolved field.
        self.texts.append((layer, h, self.u(x), self.u(y), canon(h * len(string)), anchor, string))

    # -- output --

    def box(self):
        xs, ys = [], []
        for (_, _, x, y, _, _, _) in self.texts:
            xs += [x]
            ys += [y]
        for (_, _, x, y, w, h, _, _) in self.pads:
            r = max(w, h) // 2
            xs += [x - r, x + r]
            ys += [y - r, y + r]
        for (_, _, x, y, r, _, _) in self.arcs:
            xs += [x - r, x + r]
            ys += [y - r, y + r]
        for (_, _, x1, y1, x2, y2) in self.lines:
            xs += [x1, x2]
            ys += [y1, y2]
        return min(xs), min(ys), max(xs), max(ys)

    def records(self):
        f = write_fixed
        order = lambda items: sorted(items, key=lambda it: self.layer_numbers[it[0]])  # stable
        x1, y1, x2, y2 = self.box()
        out = ["6 0 0 %s %s %s %s %s\x7f%s" % (f(x1), f(y1), f(x2), f(y2), self.name, self.ref)]
        for (layer, h, x, y, length, anchor, s) in order(self.texts):
            out.append("4 %s %s %s %s %s 0 %d 0 %s" % (layer, f(h), f(x), f(y), f(length), anchor, s))
        by_pin = sorted(self.pads, key=lambda p: int(p[7]))
        for (layer, t, x, y, w, h, hole, pin) in order(by_pin):
            out.append("3 %s %d %s %s %s %s %s 0 %s" % (layer, t, f(x), f(y), f(w), f(h), f(hole), pin))
        for (layer, w, x, y, r, a0, sw) in order(self.arcs):
            out.append("2 %s %s %s %s %s %s %s 0 0" % (layer, f(w), f(x), f(y), f(r), write_angle(a0),
                                                         write_angle(sw)))
        for (layer, w, xa, ya, xb, yb) in order(self.lines):
            out.append("1 %s %s %s %s %s %s" % (layer, f(w), f(xa), f(ya), f(xb), f(yb)))
        out.append("0 6 0 0 0")
        return out

    def sort_key(self):
        """The reader's Component order: reference letters, pattern name, reference ID, value, modifier."""
        k = [" "] * 128
        r0 = self.ref[0] if self.ref else " "
        r1 = self.ref[1] if len(self.ref) > 1 else " "
        k[0] = r0
        k[1] = " " if r1.isdigit() else r1
        k[2:2 + len(self.name)] = list(self.name)
        lead = len(self.ref) - len(self.ref.lstrip("ABCDEFGHIJKLMNOPQRSTUVWXYZ?"))
        k[26:26 + lead] = list(self.ref[:lead])
        k[70:70 + len(self.ref) - lead] = list(self.ref[lead:])
        return "".join(k[:128]).encode("latin-1")


# --- silk clearance ----------------------------------------------------------------------------

def _seg_rect_distance(ax, ay, bx, by, rx1, ry1, rx2, ry2):
    """Distance from segment AB to the axis-aligned rectangle (0 when they meet), in units."""
    def point_rect(px, py):
        dx = max(rx1 - px, 0, px - rx2)
        dy = max(ry1 - py, 0, py - ry2)
        return math.hypot(dx, dy)

    def point_seg(px, py):
        vx, vy = bx - ax, by - ay
        l2 = vx * vx + vy * vy
        t = 0 if l2 == 0 else max(0, min(1, ((px - ax) * vx + (py - ay) * vy) / l2))
        return math.hypot(ax + t * vx - px, ay + t * vy - py)

    # Liang-Barsky clipping: does any part of the segment lie inside the rectangle?
    t0, t1 = 0.0, 1.0
    for p, q in ((-(bx - ax), ax - rx1), (bx - ax, rx2 - ax), (-(by - ay), ay - ry1), (by - ay, ry2 - ay)):
        if p == 0:
            if q < 0:
                t0, t1 = 1.0, 0.0
        elif p < 0:
            t0 = max(t0, q / p)
        else:
            t1 = min(t1, q / p)
    if t0 <= t1:
        return 0.0
    d = min(point_rect(ax, ay), point_rect(bx, by))
    for cx, cy in ((rx1, ry1), (rx1, ry2), (rx2, ry1), (rx2, ry2)):
        d = min(d, point_seg(cx, cy))
    return d


def check_silk(e):
    """Silk strokes keep off the copper of every pad: a footprint that breaks this is a generator fault."""
    gap = mm_units(SILK_CLEARANCE_MM) - 2  # a unit or two of rounding
    segs = [(w, x1, y1, x2, y2) for (layer, w, x1, y1, x2, y2) in e.lines if layer == SILK]
    for (layer, w, x, y, r, a0, sw) in e.arcs:
        if layer != SILK:
            continue
        total = 65536 if sw == 0 else sw
        steps = 32
        pts = [(x + r * math.cos(2 * math.pi * (a0 + total * i / steps) / 65536),
                y + r * math.sin(2 * math.pi * (a0 + total * i / steps) / 65536)) for i in range(steps + 1)]
        segs += [(w, p[0], p[1], q[0], q[1]) for p, q in zip(pts, pts[1:])]
    for (_, _, px, py, pw, ph, _, pin) in e.pads:
        for (w, x1, y1, x2, y2) in segs:
            d = _seg_rect_distance(x1, y1, x2, y2, px - pw / 2, py - ph / 2, px + pw / 2, py + ph / 2)
            assert d - w / 2 >= gap, "%s: silk within %.3f mm of pin %s" % (e.name, (d - w / 2) / 65536 * 25.4, pin)


# --- land patterns -----------------------------------------------------------------------------

def _ceil05(v):
    return Fr(math.ceil(v * 20 - 1e-6), 20)


def _floor05(v):
    return Fr(math.floor(v * 20 + 1e-6), 20)


def _round05(v):
    return Fr(math.floor(v * 20 + 0.5), 20)


def ipc_lands(lmin, lmax, tmin, tmax, wmin, wmax, form):
    """IPC-7351B land pattern for one pair of opposed terminals.

    L is the overall length across both terminals, T one terminal's length, W its width.  Returns the
    pad length (along L), the pad centre distance and the pad width, rounded to 0.05 mm the way the
    standard rounds (outer extent up, inner gap down, width to nearest).
    """
    jt, jh, js = (float(v) for v in dim.FILLETS[form])
    lmin, lmax, tmin, tmax, wmin, wmax = (float(v) for v in (lmin, lmax, tmin, tmax, wmin, wmax))
    f, p = float(dim.FAB_TOL), float(dim.PLACE_TOL)
    ltol, ttol, wtol = lmax - lmin, tmax - tmin, wmax - wmin
    z = lmin + 2 * jt + math.sqrt(ltol ** 2 + f ** 2 + p ** 2)
    smin, smax = lmin - 2 * tmax, lmax - 2 * tmin
    stol_rms = math.sqrt(ltol ** 2 + 2 * ttol ** 2)
    smax_rms = smax - ((smax - smin) - stol_rms) / 2
    g = smax_rms - 2 * jh - math.sqrt(stol_rms ** 2 + f ** 2 + p ** 2)
    x = wmin + 2 * js + math.sqrt(wtol ** 2 + f ** 2 + p ** 2)
    z, g, x = _ceil05(z), _floor05(g), _round05(x)
    assert g > 0 and z > g and x > 0
    return (z - g) / 2, (z + g) / 2, x


def drill(lead_w, lead_t=None):
    """Drill for a lead: its largest cross-section plus the allowance, to the nearest 0.05 mm."""
    w = float(lead_w)
    size = math.hypot(w, float(lead_t)) if lead_t is not None else w
    return _round05(size + float(dim.HOLE_ALLOWANCE))


def pad_size(hole, pitch):
    """Pad across and along a row of through-hole pads at this pitch."""
    d = max(Fr(math.ceil(float(hole + mm(dim.ANNULAR_TOTAL)) * 10 - 1e-6), 10), mm(dim.MIN_PAD))
    along = min(d, pitch - mm(dim.PAD_GAP))
    return d, along


# --- helpers shared by the footprints ----------------------------------------------------------

def footprint(name, ref):
    # Members are ordered by the layer numbers of the files' own table.
    return Entry(name, ref, {PAD_MASTER: 0, SILK: 1, COPPER: 4, DRAWING: 9}, "mm")


def half_line(unit_mils):
    return mils(unit_mils) / 2


def pads_top(e):
    """The highest pad edge, in mm."""
    return max((Fr(y) + Fr(h, 2)) * MM_PER_INCH / 65536 for (_, _, x, y, w, h, _, _) in e.pads)


def finish(e):
    """Reference above the part on silk, value in the middle of the drawing layer; checks the silk."""
    top = pads_top(e)
    for (layer, w, x1, y1, x2, y2) in e.lines:
        top = max(top, Fr(max(y1, y2)) * MM_PER_INCH / 65536)
    for (layer, w, x, y, r, a0, sw) in e.arcs:
        top = max(top, Fr(y + r) * MM_PER_INCH / 65536)
    y = _round05(float(top) + 0.5)
    e.text(SILK, REF_HEIGHT, 0, y, BOTTOM_CENTER, "&1")  # heights in mils
    e.text(DRAWING, VALUE_HEIGHT, 0, 0, CENTER, "&2")
    check_silk(e)
    return e


def body_outline(e, w, h, chamfer=Fr(0)):
    """Body on the drawing layer, the pin 1 corner (top left) cut off when asked."""
    x, y = w / 2, h / 2
    if chamfer:
        e.polyline(DRAWING, DRAWING_WIDTH, [(-x + chamfer, y), (x, y), (x, -y), (-x, -y), (-x, y - chamfer)],
                   closed=True)
    else:
        e.rect(DRAWING, DRAWING_WIDTH, -x, -y, x, y)


def chamfer_for(w, h):
    return min(mm(1), min(w, h) / 4)


def silk_edge(pad_edge, body_edge):
    """Where a silk stroke goes: on the body edge, or pushed out to clear the pads."""
    return max(body_edge + half_line(SILK_WIDTH), pad_edge + SILK_CLEARANCE_MM + half_line(SILK_WIDTH))


# --- surface-mount footprints ------------------------------------------------------------------

def chip(prefix, size):
    lmin, lmax, wmin, wmax, tmin, tmax = (mm(v) for v in dim.CHIPS[size])
    form = "chip_small" if lmax < mm("1.5") else "chip"
    plen, span, pw = ipc_lands(lmin, lmax, tmin, tmax, wmin, wmax, form)
    e = footprint(prefix + size, prefix + "?")
    for pin, sx in (("1", -1), ("2", 1)):
        e.pad(COPPER, S_RECT, sx * span / 2, 0, plen, pw, 0, pin)
    body_l, body_w = (lmin + lmax) / 2, (wmin + wmax) / 2
    # Strokes above and below the body, across the gap between the pads.
    y = silk_edge(pw / 2, body_w / 2)
    inner = max((span - plen) / 2, mm("0.2"))
    for sy in (-1, 1):
        e.line(SILK, SILK_WIDTH, -inner, sy * y, inner, sy * y)
    body_outline(e, body_l, body_w)
    return finish(e)


def dual_row(name):
    pins, pitch, emin, emax, e1, d, lmin, lmax, bmin, bmax = dim.DUAL_ROW[name]
    pitch, e1, d = mm(pitch), mm(e1), mm(d)
    form = "gull" if pitch > mm("0.625") else "gull_fine"
    plen, span, pw = ipc_lands(emin, emax, lmin, lmax, bmin, bmax, form)
    e = footprint(name, "U?")
    k = pins // 2
    for i in range(k):
        y = (Fr(k - 1, 2) - i) * pitch
        e.pad(COPPER, S_RECT, -span / 2, y, plen, pw, 0, i + 1)
        e.pad(COPPER, S_RECT, span / 2, -y, plen, pw, 0, k + i + 1)
    rows_top = Fr(k - 1, 2) * pitch + pw / 2
    y = silk_edge(rows_top, d / 2)
    # Top edge runs out over pin 1 to mark it; the bottom edge spans the body.
    e.line(SILK, SILK_WIDTH, -(span + plen) / 2, y, e1 / 2, y)
    e.line(SILK, SILK_WIDTH, -e1 / 2, -y, e1 / 2, -y)
    body_outline(e, e1, d, chamfer_for(e1, d))
    return finish(e)


def sot(name):
    left, right, pitch, emin, emax, e1, d, lmin, lmax, bmin, bmax, ref = dim.SOT[name]
    pitch, e1, d = mm(pitch), mm(e1), mm(d)
    plen, span, pw = ipc_lands(emin, emax, lmin, lmax, bmin, bmax, "gull")
    e = footprint(name, ref)
    for column, sx in ((left, -1), (right, 1)):
        n = len(column)
        for i, pin in enumerate(column):
            # Two leads on a side sit at the outer positions of the three-lead grid.
            y = (Fr(n - 1, 2) - i) * pitch * (2 if n == 2 else 1)
            e.pad(COPPER, S_RECT, sx * span / 2, y, plen, pw, 0, pin)
    y = silk_edge(pads_top(e), d / 2)
    e.line(SILK, SILK_WIDTH, -(span + plen) / 2, y, e1 / 2, y)
    e.line(SILK, SILK_WIDTH, -e1 / 2, -y, e1 / 2, -y)
    body_outline(e, e1, d, chamfer_for(e1, d))
    return finish(e)


def sot223():
    s = dim.SOT223
    pitch, e1, d = mm(s["pitch"]), mm(s["E1"]), mm(s["D"])
    plen, span, pw = ipc_lands(*s["E"], *s["L"], *s["b"], "gull")
    _, _, tab_w = ipc_lands(*s["E"], *s["L"], *s["b_tab"], "gull")
    e = footprint("SOT223", "U?")
    for i in range(3):
        e.pad(COPPER, S_RECT, -span / 2, (1 - i) * pitch, plen, pw, 0, i + 1)
    e.pad(COPPER, S_RECT, span / 2, 0, plen, tab_w, 0, 4)
    y = silk_edge(pads_top(e), d / 2)
    e.line(SILK, SILK_WIDTH, -(span + plen) / 2, y, e1 / 2, y)
    e.line(SILK, SILK_WIDTH, -e1 / 2, -y, e1 / 2, -y)
    body_outline(e, e1, d, chamfer_for(e1, d))
    return finish(e)


def diode_smd(name):
    lmin, lmax, body_l, body_w, tmin, tmax, wmin, wmax, form = dim.DIODES_SMD[name]
    body_l, body_w = mm(body_l), mm(body_w)
    plen, span, pw = ipc_lands(lmin, lmax, tmin, tmax, wmin, wmax, form)
    e = footprint(name, "D?")
    e.pad(COPPER, S_RECT, -span / 2, 0, plen, pw, 0, 1)  # cathode
    e.pad(COPPER, S_RECT, span / 2, 0, plen, pw, 0, 2)
    y = silk_edge(pw / 2, body_w / 2)
    # A bracket open to the anode side: the closed end marks the cathode.
    x0 = -(span + plen) / 2 - SILK_CLEARANCE_MM - half_line(SILK_WIDTH)
    x1 = body_l / 2
    e.polyline(SILK, SILK_WIDTH, [(x1, y), (x0, y), (x0, -y), (x1, -y)])
    body_outline(e, body_l, body_w)
    band = -body_l / 2 + body_l / 5
    e.line(DRAWING, DRAWING_WIDTH, band, body_w / 2, band, -body_w / 2)
    return finish(e)


def quad(name, pins, pitch, body, lands, exposed=None):
    plen, span, pw = lands
    e = footprint(name, "U?")
    k = pins // 4
    for i in range(k):
        t = (Fr(k - 1, 2) - i) * pitch
        # Left side downwards, bottom side to the right, right side upwards, top side to the left.
        e.pad(COPPER, S_RECT, -span / 2, t, plen, pw, 0, i + 1)
        e.pad(COPPER, S_RECT, -t, -span / 2, pw, plen, 0, k + i + 1)
        e.pad(COPPER, S_RECT, span / 2, -t, plen, pw, 0, 2 * k + i + 1)
        e.pad(COPPER, S_RECT, t, span / 2, pw, plen, 0, 3 * k + i + 1)
    if exposed is not None:
        e.pad(COPPER, S_RECT, 0, 0, exposed, exposed, 0, pins + 1)
    # Corner marks on the body outline, stopping short of the pad rows; pin 1's corner runs out over it.
    row_end = Fr(k - 1, 2) * pitch + pw / 2 + SILK_CLEARANCE_MM + half_line(SILK_WIDTH)
    c = body / 2 + half_line(SILK_WIDTH)
    assert c > row_end, name
    for sx in (-1, 1):
        for sy in (-1, 1):
            e.polyline(SILK, SILK_WIDTH, [(sx * row_end, sy * c), (sx * c, sy * c), (sx * c, sy * row_end)])
    e.line(SILK, SILK_WIDTH, -(span + plen) / 2, c, -c, c)
    body_outline(e, body, body, chamfer_for(body, body))
    return finish(e)


def tqfp(name):
    pins, pitch, body, smin, smax, lmin, lmax, bmin, bmax = dim.TQFP[name]
    form = "gull" if mm(pitch) > mm("0.625") else "gull_fine"
    return quad(name, pins, mm(pitch), mm(body), ipc_lands(smin, smax, lmin, lmax, bmin, bmax, form))


def qfn(name):
    pins, dmin, dmax, lmin, lmax, bmin, bmax, ep = dim.QFN[name]
    body = (mm(dmin) + mm(dmax)) / 2
    return quad(name, pins, mm(dim.QFN_PITCH), body, ipc_lands(dmin, dmax, lmin, lmax, bmin, bmax, "no_lead"),
                exposed=mm(ep))


# --- through-hole footprints -------------------------------------------------------------------

def thd_pad(e, pin, x, y, d, along, hole, row_along_x=True):
    w, h = (along, d) if row_along_x else (d, along)
    e.pad(PAD_MASTER, T_RECT if pin == 1 else T_OVAL, x, y, w, h, hole, pin)


def dip(pins, kind):
    row, body_w = mils(kind["row_mil"]), mils(kind["body_mil"])
    pitch = mils(dim.DIP_PITCH_MIL)
    hole = drill(*dim.DIP_LEAD)
    d, along = pad_size(hole, pitch)
    name = "DIP%d%s" % (pins, "W" if kind is dim.DIP_WIDE else "")
    e = footprint(name, "U?")
    k = pins // 2
    for i in range(k):
        y = (Fr(k - 1, 2) - i) * pitch
        thd_pad(e, i + 1, -row / 2, y, d, along, hole, row_along_x=False)
        thd_pad(e, k + i + 1, row / 2, -y, d, along, hole, row_along_x=False)
    length = k * pitch
    # Silk between the rows, clear of the pads, with the notch at the pin 1 end.
    x = min(body_w / 2, row / 2 - d / 2 - SILK_CLEARANCE_MM - half_line(SILK_WIDTH))
    y = length / 2
    notch = mm(1)
    e.polyline(SILK, SILK_WIDTH, [(-notch, y), (-x, y), (-x, -y), (x, -y), (x, y), (notch, y)])
    e.arc(SILK, SILK_WIDTH, 0, y, notch, 180, 180)
    body_outline(e, body_w, length, chamfer_for(body_w, length))
    return finish(e)


def header(columns, positions):
    """HDR1Xn: one column of n pins; HDR2Xn: two columns of n, pins 1 and 2 side by side in the top row."""
    pitch = mils(dim.HEADER_PITCH_MIL)
    hole = drill(*dim.HEADER_POST)
    d, along = pad_size(hole, pitch)
    e = footprint("HDR%dX%d" % (columns, positions), "J?")
    ncol, nrow = columns, positions
    for r in range(nrow):
        for c in range(ncol):
            pin = r * ncol + c + 1
            x = (c - Fr(ncol - 1, 2)) * pitch
            y = (Fr(nrow - 1, 2) - r) * pitch
            e.pad(PAD_MASTER, T_RECT if pin == 1 else T_OVAL, x, y, along, along, hole, pin)
    w, h = ncol * pitch, nrow * pitch
    e.rect(SILK, SILK_WIDTH, -w / 2, -h / 2, w / 2, h / 2)
    # An angle outside the corner at pin 1.
    o, leg = mm("0.5"), pitch / 2
    e.polyline(SILK, SILK_WIDTH, [(-w / 2 - o, h / 2 - leg), (-w / 2 - o, h / 2 + o), (-w / 2 + leg, h / 2 + o)])
    body_outline(e, w, h)
    return finish(e)


def to220():
    s = dim.TO220
    pitch = mils(s["pitch_mil"])
    hole = drill(*s["lead"])
    d, along = pad_size(hole, pitch)
    e = footprint("TO220", "Q?")
    for i in range(3):
        thd_pad(e, i + 1, (i - 1) * pitch, 0, d, along, hole)
    back = mm(s["lead_to_back"])
    front = back - mm(s["depth"])
    w = mm(s["width"])
    tab = back - mm(s["tab"])
    hw = half_line(SILK_WIDTH)
    front_silk = min(front - hw, -d / 2 - SILK_CLEARANCE_MM - hw)
    e.rect(SILK, SILK_WIDTH, -w / 2 - hw, front_silk, w / 2 + hw, back + hw)
    e.rect(DRAWING, DRAWING_WIDTH, -w / 2, front, w / 2, back)
    e.line(DRAWING, DRAWING_WIDTH, -w / 2, tab, w / 2, tab)
    return finish(e)


def to92():
    s = dim.TO92
    pitch = mils(s["pitch_mil"])
    hole = drill(*s["lead"])
    d, along = pad_size(hole, pitch)
    e = footprint("TO92", "Q?")
    for i in range(3):
        thd_pad(e, i + 1, (i - 1) * pitch, 0, d, along, hole)
    r = mm(s["diameter"]) / 2
    chord = r * Fr(7071, 10000)  # the flat face, 45 degrees below the lead row on both sides
    # Silk: the rounded back where it clears the pads, and the flat face.
    e.arc(SILK, SILK_WIDTH, 0, 0, r + half_line(SILK_WIDTH), 30, 120)
    y = -chord - half_line(SILK_WIDTH)
    e.line(SILK, SILK_WIDTH, -chord, y, chord, y)
    e.arc(DRAWING, DRAWING_WIDTH, 0, 0, r, 315, 270)
    e.line(DRAWING, DRAWING_WIDTH, -chord, -chord, chord, -chord)
    return finish(e)


def axial_part(name, ref, spacing_mil, body_l, body_d, lead, cathode_band):
    spacing = mils(spacing_mil)
    body_l, body_d = mm(body_l), mm(body_d)
    hole = drill(lead)
    d, along = pad_size(hole, spacing)
    e = footprint(name, ref)
    thd_pad(e, 1, -spacing / 2, 0, d, along, hole)
    thd_pad(e, 2, spacing / 2, 0, d, along, hole)
    hw = half_line(SILK_WIDTH)
    e.rect(SILK, SILK_WIDTH, -body_l / 2, -body_d / 2 - hw, body_l / 2, body_d / 2 + hw)
    lead_end = spacing / 2 - d / 2 - SILK_CLEARANCE_MM - hw
    if lead_end > body_l / 2 + mm("0.2"):
        e.line(SILK, SILK_WIDTH, -lead_end, 0, -body_l / 2, 0)
        e.line(SILK, SILK_WIDTH, body_l / 2, 0, lead_end, 0)
    body_outline(e, body_l, body_d)
    if cathode_band:
        band = -body_l / 2 + body_l / 6
        e.line(SILK, SILK_WIDTH, band, body_d / 2, band, -body_d / 2)
        e.line(DRAWING, DRAWING_WIDTH, band, body_d / 2, band, -body_d / 2)
    return finish(e)


def thd_library():
    entries = [dip(n, dim.DIP_NARROW) for n in dim.DIP_NARROW["pins"]]
    entries += [dip(n, dim.DIP_WIDE) for n in dim.DIP_WIDE["pins"]]
    entries += [header(1, n) for n in dim.HEADER_SINGLE]
    entries += [header(2, n) for n in dim.HEADER_DOUBLE]
    entries += [to92(), to220()]
    for spacing, (body_l, body_d, lead) in sorted(dim.AXIAL.items()):
        entries.append(axial_part("AXIAL%d" % spacing, "R?", spacing, body_l, body_d, lead, False))
    for name, (spacing, body_l, body_d, lead) in sorted(dim.DIODES_THD.items()):
        entries.append(axial_part(name, "D?", spacing, body_l, body_d, lead, True))
    return entries


def smd_library():
    entries = [chip("R", s) for s in dim.RESISTOR_CHIPS]
    entries += [chip("C", s) for s in dim.CAPACITOR_CHIPS]
    entries += [sot(n) for n in dim.SOT] + [sot223()]
    entries += [diode_smd(n) for n in dim.DIODES_SMD]
    entries += [dual_row(n) for n in dim.DUAL_ROW]
    entries += [tqfp(n) for n in dim.TQFP]
    entries += [qfn(n) for n in dim.QFN]
    return entries


# --- schematic symbols -------------------------------------------------------------------------
# Coordinates in thousandths of an inch; every pin end is on the 0.1 inch grid.

class Symbol(Entry):
    def __init__(self, name, ref):
        super().__init__(name, ref, {SYMBOLS: 1, SIGNALS: 2}, "mil")

    def pin(self, pin, x, y, to=None):
        """A pin at (x, y) on the grid, with its lead drawn to `to` when given."""
        assert x % 100 == 0 and y % 100 == 0, (self.name, pin)
        self.pad(SIGNALS, T_SCHEMATIC, x, y, 9, 9, 0, pin)
        if to is not None:
            self.line(SYMBOLS, SYMBOL_WIDTH, x, y, to[0], to[1])

    def draw(self, *points, closed=False):
        self.polyline(SYMBOLS, SYMBOL_WIDTH, list(points), closed)

    def circle(self, x, y, r, start=0, sweep=0):
        self.arc(SYMBOLS, SYMBOL_WIDTH, x, y, r, start, sweep)

    def labels(self, ref_at, value_at, value_anchor=TOP_CENTER):
        self.text(SYMBOLS, 60, ref_at[0], ref_at[1], BOTTOM_CENTER, "&1")
        self.text(SYMBOLS, 50, value_at[0], value_at[1], value_anchor, "&2")
        return self


def _arrow(s, tip, tail, size=30):
    """An open arrow head at `tip` pointing away from `tail`."""
    dx, dy = tip[0] - tail[0], tip[1] - tail[1]
    n = math.hypot(dx, dy)
    ux, uy = dx / n, dy / n
    for side in (-1, 1):
        s.draw(tip, (round(tip[0] - size * ux + side * size * 0.5 * -uy), round(tip[1] - size * uy + side * size * 0.5 * ux)))


def resistor(name="RES", wiper=False):
    s = Symbol(name, "R?")
    s.pin(1, -300, 0, (-200, 0))
    s.pin(3 if wiper else 2, 300, 0, (200, 0))
    zig = [(-200, 0)] + [(-175 + 50 * i, 50 if i % 2 == 0 else -50) for i in range(8)] + [(200, 0)]
    s.draw(*zig)
    if wiper:
        s.pin(2, 0, -200, (0, -70))
        _arrow(s, (0, -70), (0, -200))
        return s.labels((0, 130), (0, 70), BOTTOM_CENTER)
    return s.labels((0, 80), (0, -80))


def capacitor(polarised):
    s = Symbol("CAPPOL" if polarised else "CAP", "C?")
    s.pin(1, -200, 0, (-40, 0))
    s.draw((-40, 80), (-40, -80))
    if polarised:
        s.pin(2, 200, 0, (0, 0))
        s.circle(100, 0, 100, 126.87, 106.26)  # the curved plate, its middle at (0, 0)
        s.draw((-120, 50), (-80, 50))
        s.draw((-100, 30), (-100, 70))
    else:
        s.pin(2, 200, 0, (40, 0))
        s.draw((40, 80), (40, -80))
    return s.labels((0, 110), (0, -110))


def inductor():
    s = Symbol("IND", "L?")
    s.pin(1, -300, 0, (-200, 0))
    s.pin(2, 300, 0, (200, 0))
    for cx in (-150, -50, 50, 150):
        s.circle(cx, 0, 50, 0, 180)
    return s.labels((0, 80), (0, -40))


def diode(name):
    """Anode (pin 2) on the left, cathode (pin 1) on the right, as the footprints number them."""
    s = Symbol(name, "D?")
    s.pin(2, -200, 0, (-50, 0))
    s.pin(1, 200, 0, (50, 0))
    s.draw((-50, 60), (-50, -60), (50, 0), closed=True)
    s.draw((50, 60), (50, -60))
    if name == "ZENER":
        s.draw((50, 60), (30, 80))
        s.draw((50, -60), (70, -80))
    elif name == "SCHOTTKY":
        s.draw((50, 60), (75, 60), (75, 40))
        s.draw((50, -60), (25, -60), (25, -40))
    elif name == "LED":
        for x in (0, 40):
            s.draw((x, 70), (x + 40, 110))
            _arrow(s, (x + 40, 110), (x, 70), 20)
    return s.labels((0, 130 if name == "LED" else 90), (0, -90))


def bipolar(name):
    """SOT-23 pin order: 1 base, 2 emitter, 3 collector."""
    s = Symbol(name, "Q?")
    s.pin(1, -200, 0, (-40, 0))
    s.pin(3, 100, 200, (100, 100))
    s.pin(2, 100, -200, (100, -100))
    s.draw((-40, 70), (-40, -70))
    s.draw((-40, 30), (100, 100))
    s.draw((-40, -30), (100, -100))
    if name == "NPN":
        _arrow(s, (100, -100), (-40, -30))
    else:
        _arrow(s, (-4, -48), (100, -100))
    s.circle(30, 0, 150)
    return s.labels((0, 170), (0, -170))


def mosfet(name):
    """SOT-23 pin order: 1 gate, 2 source, 3 drain."""
    s = Symbol(name, "Q?")
    s.pin(1, -200, 0, (-60, 0))
    s.pin(3, 100, 200, (100, 60))
    s.pin(2, 100, -200, (100, -60))
    s.draw((-60, 60), (-60, -60))
    for y in (60, 0, -60):
        s.draw((-30, y + 20), (-30, y - 20))
    s.draw((-30, 60), (100, 60))
    s.draw((-30, -60), (100, -60))
    s.draw((-30, 0), (100, 0), (100, -60))
    if name == "NMOS":
        _arrow(s, (-30, 0), (100, 0))
    else:
        _arrow(s, (60, 0), (-30, 0))
    s.circle(30, 0, 150)
    return s.labels((0, 170), (0, -170))


def opamp():
    """Pins of a single op-amp in an 8-pin package: 2 inverting, 3 non-inverting, 6 out, 7 V+, 4 V-."""
    s = Symbol("OPAMP", "U?")
    s.pin(2, -300, 100, (-200, 100))
    s.pin(3, -300, -100, (-200, -100))
    s.pin(6, 300, 0, (200, 0))
    s.pin(7, 0, 300, (0, 100))
    s.pin(4, 0, -300, (0, -100))
    s.draw((-200, 200), (-200, -200), (200, 0), closed=True)
    s.draw((-170, 100), (-130, 100))
    s.draw((-170, -100), (-130, -100))
    s.draw((-150, -120), (-150, -80))
    return s.labels((100, 150), (100, -150))


def gate(name):
    """Two-input gates numbered as the first gate of the usual quad packages (NOR: 1 out, 2 and 3 in)."""
    s = Symbol(name, "U?")
    a, b, y = (2, 3, 1) if name == "NOR2" else (1, 2, 3)
    inverted = name in ("NAND2", "NOR2")
    out_x = 200 if inverted else 150
    if name in ("AND2", "NAND2"):
        s.pin(a, -300, 100, (-150, 100))
        s.pin(b, -300, -100, (-150, -100))
        s.draw((0, 150), (-150, 150), (-150, -150), (0, -150))
        s.circle(0, 0, 150, 270, 180)
    else:
        # Back curve: centre (-350, 0), radius 250, ending at (-150, +-150).
        s.circle(-350, 0, 250, 323.13, 73.74)
        s.circle(-150, -225, 375, 36.87, 53.13)
        s.circle(-150, 225, 375, 270, 53.13)
        lead_end = -121
        if name == "XOR2":
            s.circle(-390, 0, 250, 323.13, 73.74)
            lead_end = -161
        s.pin(a, -300, 100, (lead_end, 100))
        s.pin(b, -300, -100, (lead_end, -100))
    if inverted:
        s.circle(175, 0, 25)
    s.pin(y, 300, 0, (out_x, 0))
    return s.labels((0, 180), (0, -180))


def buffer(name):
    s = Symbol(name, "U?")
    s.pin(1, -200, 0, (-100, 0))
    s.draw((-100, 100), (-100, -100), (100, 0), closed=True)
    if name == "INV":
        s.circle(125, 0, 25)
        s.pin(2, 200, 0, (150, 0))
    else:
        s.pin(2, 200, 0, (100, 0))
    return s.labels((0, 130), (0, -130))


def crystal():
    s = Symbol("XTAL", "Y?")
    s.pin(1, -200, 0, (-60, 0))
    s.pin(2, 200, 0, (60, 0))
    s.draw((-60, 80), (-60, -80))
    s.draw((60, 80), (60, -80))
    s.draw((-30, 60), (30, 60), (30, -60), (-30, -60), closed=True)
    return s.labels((0, 110), (0, -110))


def fuse():
    s = Symbol("FUSE", "F?")
    s.pin(1, -200, 0, (-100, 0))
    s.pin(2, 200, 0, (100, 0))
    s.draw((-100, 40), (100, 40), (100, -40), (-100, -40), closed=True)
    s.draw((-100, 0), (100, 0))
    return s.labels((0, 70), (0, -70))


def switch():
    s = Symbol("SW", "SW?")
    s.pin(1, -200, 0, (-80, 0))
    s.pin(2, 200, 0, (80, 0))
    s.draw((-80, 0), (70, 60))
    s.circle(-80, 0, 10)
    s.circle(80, 0, 10)
    return s.labels((0, 90), (0, -40))


def battery():
    s = Symbol("BATT", "BT?")
    s.pin(1, -200, 0, (-30, 0))
    s.pin(2, 200, 0, (30, 0))
    s.draw((-30, 100), (-30, -100))
    s.draw((30, 50), (30, -50))
    s.draw((-100, 60), (-60, 60))
    s.draw((-80, 40), (-80, 80))
    return s.labels((0, 130), (0, -130))


def schematic_library():
    entries = [resistor(), resistor("POT", wiper=True), capacitor(False), capacitor(True), inductor()]
    entries += [diode(n) for n in ("DIODE", "ZENER", "SCHOTTKY", "LED")]
    entries += [bipolar("NPN"), bipolar("PNP"), mosfet("NMOS"), mosfet("PMOS"), opamp()]
    entries += [gate(n) for n in ("AND2", "NAND2", "OR2", "NOR2", "XOR2")]
    entries += [buffer("INV"), buffer("BUF"), crystal(), fuse(), switch(), battery()]
    return entries


# --- files -------------------------------------------------------------------------------------

def library_text(entries, layers, current):
    names = [e.name for e in entries]
    assert len(names) == len(set(names)), "duplicate pattern names"
    lines = [TITLE, "", "Layer/color/plot/type/sequence/name table:", "-y%d" % current]
    lines += ["-y%d:%s,00000000,%d,%d,%s" % (n, colour, t, n, name) for (n, colour, t, name) in layers]
    lines += [""] + CAPTIONS
    for e in sorted(entries, key=Entry.sort_key):
        lines += e.records()
    lines += ["", "END OF FILE"]
    return "".join(l + "\r\n" for l in lines).encode("latin-1")


def check_layer_symbols():
    """The symbolic forms used must name the layers they are sorted by, in our own table."""
    def resolve(sym):
        letter = {"S": 0, "M": 1, "C": 2, "P": 5, "D": 7}[sym[0]]
        same = [n for (n, _, t, name) in BOARD_LAYERS if n > 0 and t & 7 == letter]
        named = [n for n in same if BOARD_LAYERS[n][3][0] == sym[1]]
        return (named or same)[0]

    for sym, n in ((SILK, 1), (COPPER, 4), (DRAWING, 9)):
        assert resolve(sym) == n, sym


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: gen_libraries.py OUTDIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    check_layer_symbols()
    files = {
        "THD.LIB": library_text(thd_library(), BOARD_LAYERS, 1),
        "SMD.LIB": library_text(smd_library(), BOARD_LAYERS, 1),
        "SCHEM.LIB": library_text(schematic_library(), SCHEMATIC_LAYERS, 2),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
