#!/usr/bin/python3
"""Compares the engine's drawing of the template's pie with LibreOffice's drawing of the same
workbook, for the template filled with the first 6, 9 and 40 entries of
tests/data/chart-entries.tsv.

    /usr/bin/python3 tests/draw/chart_agreement.py --xlstool build/xlstool [--keep DIR]

For each workbook (filled by `xlstool fill` as the program fills it):
  * the expected slices come from the workbook itself: the amounts give each slice's angle
    (360 * amount / total), the chart's DATAFORMAT/AREAFORMAT records each point's fill colour;
  * both pictures are measured the same way: LibreOffice's (converted to PDF, then to a 96-DPI
    PNG with pdftoppm, the page cut right of the table) and ours (`xlstool picture --chart`).
    A program may light the top faces: the one factor (0.80..1.00) under which most pixels take
    a slice's fill colour is found first (LibreOffice 0.95, ours 1.00). The pixels of a slice's
    lit colour (within 3 per channel) with a like pixel beside and one above or below are its
    top face; pixels in the boxes of the words the PDF draws are hidden (LibreOffice writes
    labels over the faces).
    The pie's geometry is fitted to the outer rims of the top faces (the last face pixel along
    rays from the middle of all faces): its centre, radius, squeeze (a top face's height over
    its width) and the pull of every slice along its middle, by least squares with the rim
    points farther than 2.5 pixels from the fit left out step by step.
    Angles come from the boundaries between the colour areas: 27 ellipses of that squeeze
    round that centre, from a quarter to nine tenths of the radius, are walked clockwise a
    quarter pixel at a time; where a slice's face begins and ends on each (a face runs on
    across hidden text and across gaps of up to 5 pixels, lines; an edge next to hidden text
    is not taken) are points of its two straight edges. A least-squares line through each
    edge's points (the point farthest from it left out while over a pixel away; at least 5
    points, three tenths of the radius apart) gives the edge's direction, unsqueezed to the
    circle: degrees clockwise from 12 o'clock. Directions do not depend on how far a slice is
    pulled out, which moves its edges but does not turn them. The boundary after a slice is
    the mean of its end edge and the next slice's start edge (parallel edges); a slice too
    thin to show edges of its own takes its neighbours' facing edges. Each slice's colour
    must be found (slices under 1.5 degrees may be a pixel wide), neighbours' facing edges
    must meet within 2 degrees and the rings meet the slices in the series' order (slices
    out of order); and the two programs' start edge, end edge and angle of each slice must be
    within 2 degrees of each other. Each program's widest difference to the amounts' own
    angles (the first slice at 210 degrees) is printed, to show the measure is sound;
  * every label's text: the words drawn in the chart, read from each program's PDF with
    `pdftotext -bbox` (ours through `xlstool picture --chart OUT.pdf`), split into labels after
    each word that ends in "%", must be the expected "<category> <percent>%" labels.
Prints one line per workbook and program, and exits 1 when anything disagrees.
"""

import argparse
import collections
import html
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "data"))
sys.path.insert(0, os.path.join(ROOT, "tools", "template"))

import compound_file  # noqa: E402
from png_pixels import raw_pixels  # noqa: E402

TEMPLATE = os.path.join(ROOT, "resources", "Pie Chart.xlt")
ENTRIES = os.path.join(ROOT, "tests", "data", "chart-entries.tsv")
AMOUNT_FORMAT = '_($* #,##0_);_($* (#,##0);_($* "-"??_);_(@_)'
FIRST_SLICE = 210.0
TOLERANCE_DEGREES = 2.0


def entries(count):
    with open(ENTRIES, encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    return [(label, float(amount)) for label, amount in rows[:count]]


def fill(xlstool, rows, out):
    args = [xlstool, "fill", TEMPLATE, out]
    for row in range(4, 10):
        args += ["A%d=" % row, "B%d=" % row]
    for i, (label, amount) in enumerate(rows):
        args += ["A%d=%s" % (4 + i, label), "B%d=%g" % (4 + i, amount)]
    for i in range(len(rows)):
        args += ["--format", "B%d=%s" % (4 + i, AMOUNT_FORMAT)]
    subprocess.run(args, check=True)


def point_colours(path):
    """Each point's fill colour (AREAFORMAT rgb of its DATAFORMAT group), by point index."""
    streams = dict(compound_file.read_streams(path))
    colours, point, in_chart = {}, None, False
    for rtype, data in compound_file.records(streams["Workbook"]):
        if rtype == 0x0809:
            in_chart = len(data) >= 4 and data[2] | data[3] << 8 == 0x20
        if not in_chart:
            continue
        if rtype == 0x1006:
            point = data[0] | data[1] << 8
        elif rtype == 0x100A and point is not None:
            colours.setdefault(point, tuple(data[0:3]))
            point = None
    return colours


def percent_text(share):
    # Half away from zero, as the "0%" format rounds.
    return "%d%%" % math.floor(share * 100 + 0.5)


def expected_slices(rows, colours):
    total = sum(abs(a) for _, a in rows if a)
    out, at = [], FIRST_SLICE
    for i, (label, amount) in enumerate(rows):
        if not amount:
            continue
        sweep = 360.0 * abs(amount) / total
        out.append({"index": i, "colour": colours.get(i, colours.get(0xFFFF)), "sweep": sweep,
                    "start": at % 360.0, "end": (at + sweep) % 360.0,
                    "label": "%s %s" % (label, percent_text(abs(amount) / total))})
        at += sweep
    return out


def near(a, b, tolerance=3):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def lighting(raw, width, left_px, colours):
    """The factor (0.80 to 1.00) by which a program darkens every top face: the one under which
    most pixels take a slice's colour. 1.00 for flat faces."""
    counts = collections.Counter()
    for y in range(len(raw) // (3 * width)):
        row = raw[(y * width + left_px) * 3:(y + 1) * width * 3]
        counts.update(zip(row[0::3], row[1::3], row[2::3]))
    best, factor = -1, 1.0
    for step in range(80, 101):
        t = step / 100.0
        targets = [tuple(round(v * t) for v in c) for c in colours]
        found = sum(n for colour, n in counts.items() if any(near(colour, c) for c in targets))
        if found > best:
            best, factor = found, t
    return factor


def word_boxes(pdf):
    """The boxes of the words a PDF draws, in pixels at 96 DPI, a pixel wider on each side."""
    out = subprocess.run(["pdftotext", "-bbox", pdf, "-"], check=True, capture_output=True,
                         text=True).stdout
    boxes = []
    for m in re.finditer(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" '
                         r'yMax="([\d.]+)">', out):
        x0, y0, x1, y1 = (float(m.group(k)) * 96 / 72 for k in range(1, 5))
        boxes.append((int(x0) - 1, int(y0) - 1, int(math.ceil(x1)) + 1, int(math.ceil(y1)) + 1))
    return boxes


class Picture:
    """A picture's pixels sorted into the slices' top faces: `owner[y * width + x]` is the
    slice whose lit fill colour the pixel has (within 3 per channel) with a like pixel beside it
    and one above or below it (the stray pixels of a glyph's edge are no face), NOTHING for
    any other pixel and TEXT for a pixel in the box of a word the PDF draws."""

    NOTHING, TEXT = -1, -2

    def __init__(self, png, slices, left_px=0, words=()):
        width, height, raw = raw_pixels(png)
        self.width, self.height = width, height
        colours = [s["colour"] for s in slices]
        self.factor = lighting(raw, width, left_px, colours)
        lit = [tuple(round(v * self.factor) for v in c) for c in colours]
        seen = {}
        kind = [self.NOTHING] * (width * height)
        for y in range(height):
            row = y * width
            for x in range(left_px, width):
                at = (row + x) * 3
                key = raw[at:at + 3]
                k = seen.get(key)
                if k is None:
                    k = next((i for i, c in enumerate(lit) if near(key, c)), self.NOTHING)
                    seen[key] = k
                kind[row + x] = k
        owner = [self.NOTHING] * (width * height)
        for y in range(1, height - 1):
            row = y * width
            for x in range(max(1, left_px), width - 1):
                k = kind[row + x]
                if k >= 0 and (kind[row + x - 1] == k or kind[row + x + 1] == k) and (
                        kind[row + x - width] == k or kind[row + x + width] == k):
                    owner[row + x] = k
        for x0, y0, x1, y1 in words:
            for y in range(max(0, y0), min(height, y1)):
                for x in range(max(0, x0), min(width, x1)):
                    owner[y * width + x] = self.TEXT
        self.owner = owner
        self.found = collections.Counter(k for k in kind if k >= 0)
        faces = [i for i, k in enumerate(owner) if k >= 0]
        self.box = None
        if faces:
            xs = [i % width for i in faces]
            self.box = (min(xs), faces[0] // width, max(xs) + 1, faces[-1] // width + 1)

    def at(self, x, y):
        xi, yi = int(math.floor(x)), int(math.floor(y))
        if 0 <= xi < self.width and 0 <= yi < self.height:
            return self.owner[yi * self.width + xi]
        return self.NOTHING


def rim_points(picture, centre, squeeze, reach, skip):
    """Points on the outer rims of the slices' top faces, by slice: along rays from `centre`
    (every quarter degree, on an ellipse of `squeeze`), the last face pixel before the
    background, where the rays a two degrees either side end on the same slice (not at a
    slice's edge) and no text covers the rim. Slices in `skip` (so dark that their walls take
    their top face's colour) give none."""
    ends = {}
    for i in range(1440):
        phi = math.radians(i / 4.0)
        dx, dy = math.sin(phi), -squeeze * math.cos(phi)
        n = math.hypot(dx, dy)
        dx, dy = dx / n, dy / n
        t, last, run, run_from = 0.0, None, None, 0.0
        while t < reach:
            k = picture.at(centre[0] + t * dx, centre[1] + t * dy)
            if k >= 0:
                if k != run:
                    run, run_from = k, t
                last = (k, t, run_from)
            elif k == Picture.TEXT and last is not None and t - last[1] < 2:
                last, run = None, None
            t += 0.5
        if last is None or last[1] - last[2] < 3 or last[0] in skip:
            continue
        ends[i] = (last[0], centre[0] + (last[1] + 0.25) * dx, centre[1] + (last[1] + 0.25) * dy)
    points = collections.defaultdict(list)
    for i, (k, x, y) in ends.items():
        if all(ends.get((i + d) % 1440, (None,))[0] == k for d in (-8, 8)):
            points[k].append((x, y))
    return points


def rim_distance(x, y, cx, cy, radius, squeeze):
    """How far (pixels, outward positive) the point lies from the ellipse of half axes
    `radius` and `radius * squeeze` round (cx, cy), to first order."""
    dx, dy = x - cx, (y - cy) / squeeze
    d = math.hypot(dx, dy) or 1e-9
    return (d - radius) / math.sqrt((dx / d) ** 2 + (dy / d) ** 2 / squeeze ** 2)


LEAVE_OUT = {6: 20.0, 12: 10.0, 18: 5.0, 24: 2.5}  # fitting round: farthest rim point kept


def fit_pie(rims, middles, guess):
    """The pie's centre, radius (pixels across), squeeze (height over width of a top face) and
    explosion (the slices' pull along their middles, as a fraction of the radius), fitted by
    Gauss-Newton to the slices' rim points: slice k's top face is the ellipse round
    centre + explosion * radius * (sin m, -squeeze cos m), m its middle."""
    points = [(x, y, math.radians(middles[k])) for k, pts in rims.items() if k in middles
              for x, y in pts]

    def residuals(p):
        cx, cy, radius, squeeze, pull = p
        return [rim_distance(x, y, cx + pull * radius * math.sin(m),
                             cy - pull * radius * squeeze * math.cos(m), radius, squeeze)
                for x, y, m in points]

    p = list(guess)
    steps = (0.01, 0.01, 0.01, 0.0001, 0.0001)
    for rounds in range(32):
        if rounds in LEAVE_OUT:
            # Rays that ended inside a face (a wall's colour, a gap) are no rim points.
            points = [pt for pt, r in zip(points, residuals(p)) if abs(r) <= LEAVE_OUT[rounds]]
        if len(points) < 20:
            return guess
        r0 = residuals(p)
        columns = []
        for j, h in enumerate(steps):
            q = list(p)
            q[j] += h
            columns.append([(a - b) / h for a, b in zip(residuals(q), r0)])
        normal = [[sum(a * b for a, b in zip(ci, cj)) for cj in columns] for ci in columns]
        rhs = [-sum(a * b for a, b in zip(ci, r0)) for ci in columns]
        delta = solve(normal, rhs)
        if delta is None:
            break
        p = [a + b for a, b in zip(p, delta)]
    return tuple(p)


def solve(matrix, rhs):
    """Gaussian elimination with partial pivoting; None for a singular system."""
    n = len(rhs)
    a = [row[:] + [v] for row, v in zip(matrix, rhs)]
    for i in range(n):
        p = max(range(i, n), key=lambda r: abs(a[r][i]))
        a[i], a[p] = a[p], a[i]
        if abs(a[i][i]) < 1e-12:
            return None
        for r in range(n):
            if r != i:
                f = a[r][i] / a[i][i]
                a[r] = [x - f * y for x, y in zip(a[r], a[i])]
    return [a[i][n] / a[i][i] for i in range(n)]


def ring(picture, centre, squeeze, radius):
    """The faces met along an ellipse round `centre` (every quarter pixel, clockwise from 12
    o'clock): (the slices in the order met, {slice: (start point, end point)}) where a point is
    None when text hides that edge. A face runs on across text and across gaps of up to 5
    pixels (lines) inside it; a run of a slice's colour under a pixel long is no face."""
    n = int(math.ceil(2 * math.pi * radius / 0.25))
    spots, kinds, lengths = [], [], []
    for j in range(n):
        th = 2 * math.pi * j / n
        x, y = centre[0] + radius * math.sin(th), centre[1] - squeeze * radius * math.cos(th)
        spots.append((x, y))
        kinds.append(picture.at(x, y))
        lengths.append(radius * 2 * math.pi / n * math.hypot(math.cos(th), squeeze * math.sin(th)))
    first = next((j for j in range(n) if kinds[j] != kinds[j - 1]), None)
    if first is None:
        return [], {}
    runs = []  # [kind, first sample, last sample, length in pixels], samples counted from 0
    for jj in range(first, first + n):
        j = jj % n
        if runs and runs[-1][0] == kinds[j]:
            runs[-1][2] = jj
            runs[-1][3] += lengths[j]
        else:
            runs.append([kinds[j], jj, jj, lengths[j]])
    for r in runs:
        if r[0] >= 0 and r[3] < 1.0:
            r[0] = Picture.NOTHING

    def joined(runs):
        out = []
        for r in runs:
            if out and out[-1][0] == r[0]:
                out[-1][2], out[-1][3] = r[2], out[-1][3] + r[3]
            else:
                out.append(list(r))
        if len(out) > 1 and out[0][0] == out[-1][0]:
            last = out.pop()
            out[0][1], out[0][3] = last[1] - n, out[0][3] + last[3]
        return out

    runs = joined(runs)
    bridged = True
    while bridged and len(runs) >= 3:
        bridged = False
        for i in range(len(runs)):
            a, gap, b = runs[i - 2], runs[i - 1], runs[i]
            if a[0] >= 0 and a[0] == b[0] and gap[0] < 0 and (gap[3] <= 5 or
                                                               gap[0] == Picture.TEXT):
                gap[0] = a[0]
                runs = joined(runs)
                bridged = True
                break
    edges, longest = {}, {}
    for i, r in enumerate(runs):
        k = r[0]
        if k < 0 or longest.get(k, 0) >= r[3]:
            continue
        before, after = runs[i - 1], runs[(i + 1) % len(runs)]
        start = end = None
        if before[0] != Picture.TEXT:
            a, b = spots[(r[1] - 1) % n], spots[r[1] % n]
            start = ((a[0] + b[0]) / 2, (a[1] + b[1]) / 2)
        if after[0] != Picture.TEXT:
            a, b = spots[r[2] % n], spots[(r[2] + 1) % n]
            end = ((a[0] + b[0]) / 2, (a[1] + b[1]) / 2)
        edges[k], longest[k] = (start, end), r[3]
    return [r[0] for r in runs if r[0] >= 0], edges


def edge_angle(points, squeeze):
    """The direction (degrees clockwise from 12 o'clock, on the unsqueezed circle) of the
    straight edge through `points` (x, y, ring; from the innermost ring out), how many points
    it keeps and how far apart their rings are:
    a least-squares line, dropping the point farthest from it while that is over a pixel
    away."""
    pts = list(points)
    while True:
        mx = sum(p[0] for p in pts) / len(pts)
        my = sum(p[1] for p in pts) / len(pts)
        sxx = sum((p[0] - mx) ** 2 for p in pts)
        syy = sum((p[1] - my) ** 2 for p in pts)
        sxy = sum((p[0] - mx) * (p[1] - my) for p in pts)
        a = 0.5 * math.atan2(2 * sxy, sxx - syy)
        u = (math.cos(a), math.sin(a))
        off = [abs((p[0] - mx) * u[1] - (p[1] - my) * u[0]) for p in pts]
        if max(off) <= 1.0 or len(pts) <= MIN_POINTS:
            break
        pts.pop(off.index(max(off)))
    if (pts[-1][0] - pts[0][0]) * u[0] + (pts[-1][1] - pts[0][1]) * u[1] < 0:
        u = (-u[0], -u[1])
    return (math.degrees(math.atan2(u[0], -u[1] / squeeze)) % 360.0, len(pts),
            pts[-1][2] - pts[0][2])


MIN_POINTS = 5  # rings that must find an edge for its direction to count
MIN_SPAN = 0.3  # how far apart (a fraction of the radius) its innermost and outermost points
RINGS = [0.25 + 0.025 * i for i in range(27)]  # ring radii, fractions of the pie's radius


def turn(a, b):
    """The signed difference a - b of two directions, -180..180 degrees."""
    return (a - b + 180.0) % 360.0 - 180.0


def edges_of(picture, centre, squeeze, radius):
    """Each slice's measured edges, {slice: [start or None, end or None]} as (angle, points),
    and the orders in which the rings meet the slices."""
    sides = collections.defaultdict(lambda: ([], []))
    orders = []
    for f in RINGS:
        order, edges = ring(picture, centre, squeeze, f * radius)
        orders.append(order)
        for k, (a, b) in edges.items():
            if a:
                sides[k][0].append(a + (f,))
            if b:
                sides[k][1].append(b + (f,))
    out = {}
    for k, (starts, ends) in sides.items():
        out[k] = [edge_angle(pts, squeeze) if len(pts) >= MIN_POINTS else None
                  for pts in (starts, ends)]
        out[k] = [e if e and e[2] >= MIN_SPAN else None for e in out[k]]
    return out, orders


def measure(png, slices, left_px=0, words=()):
    """One picture's pie: {"boundary": {k: angle between slice k and the next}, ...}; None
    when no slice's colour is found."""
    picture = Picture(png, slices, left_px, words)
    if picture.box is None:
        return None
    x0, y0, x1, y1 = picture.box
    centre = ((x0 + x1) / 2.0, (y0 + y1) / 2.0)
    squeeze, radius = (y1 - y0) / float(x1 - x0), (x1 - x0) / 2.0
    skip = {k for k, s in enumerate(slices) if max(s["colour"]) < 40}
    rims = rim_points(picture, centre, squeeze, 1.6 * radius, skip)
    fit = (centre[0], centre[1], radius / 1.1, squeeze, 0.0)
    for _ in range(3):
        edges, orders = edges_of(picture, fit[:2], fit[3], fit[2])
        middles = {k: (e[0][0] + (e[1][0] - e[0][0]) % 360.0 / 2) % 360.0
                   for k, e in edges.items() if e[0] and e[1]}
        fit = fit_pie(rims, middles, fit)
    edges, orders = edges_of(picture, fit[:2], fit[3], fit[2])
    return {"picture": picture, "fit": fit, "edges": edges, "orders": orders}


THIN = 1.5  # degrees: a slice this thin may be a pixel wide; its colour need not be found
MEET = 2.0  # degrees: how far apart two neighbours' facing edges may lie (parallel in a pie)


def boundaries(slices, edges):
    """The boundary after each slice (degrees clockwise from 12 o'clock), from the slice's own
    end edge and the next slice's start edge (the two are parallel however far the slices are
    pulled apart): their mean weighted by their points, or the one measured; and the problems
    found (neighbours' edges that do not meet: slices out of order)."""
    out, problems = {}, []
    for i in range(len(slices)):
        j = (i + 1) % len(slices)
        end = edges.get(i, [None, None])[1]
        start = edges.get(j, [None, None])[0]
        if end and start:
            apart = turn(start[0], end[0])
            if abs(apart) > MEET:
                problems.append("slices %d and %d do not meet (%.2f degrees apart)" % (
                    slices[i]["index"] + 1, slices[j]["index"] + 1, apart))
            out[i] = (end[0] + apart * start[1] / (start[1] + end[1])) % 360.0
        elif end or start:
            out[i] = (end or start)[0]
    return out, problems


def in_order(order):
    """Whether the slices met along a ring come in the series' order (round the ring)."""
    drops = sum(1 for a, b in zip(order, order[1:] + order[:1]) if b <= a)
    return drops <= 1


def compare(name, program, png, pdf, slices, left_pt=0.0):
    """Measures one program's picture: (problems, {slice: (start, end)} in degrees)."""
    problems = []
    result = measure(png, slices, int(left_pt * 96 / 72), word_boxes(pdf))
    if result is None:
        return ["%s %s: no slice colour found" % (name, program)], {}
    picture, fit = result["picture"], result["fit"]
    for k, s in enumerate(slices):
        if picture.found[k] == 0 and s["sweep"] >= THIN:
            problems.append("slice %d (%s): colour %s not found" % (s["index"] + 1, s["label"],
                                                                   s["colour"]))
    after, apart = boundaries(slices, result["edges"])
    problems += apart
    out_of_order = sum(1 for order in result["orders"] if not in_order(order))
    if out_of_order * 4 > len(result["orders"]):
        problems.append("slices out of order on %d of %d rings" % (out_of_order,
                                                                   len(result["orders"])))
    angles, worst = {}, 0.0
    for k, s in enumerate(slices):
        before = after.get((k - 1) % len(slices))
        if before is None or after.get(k) is None:
            problems.append("slice %d (%s): edges not measured" % (s["index"] + 1, s["label"]))
            continue
        angles[k] = (before, after[k])
        sweep = (after[k] - before) % 360.0
        worst = max(worst, abs(turn(before, s["start"])), abs(turn(after[k], s["end"])),
                    abs(sweep - s["sweep"]))
    labels = pdf_labels(pdf, left_pt)
    wanted = sorted(s["label"] for s in slices)
    if sorted(labels) == wanted:
        note = "all %d labels" % len(wanted)
    elif sorted(w for l in labels for w in l.split()) == sorted(w for l in wanted for w in l.split()):
        note = "labels' words all there, %d of %d labels read whole (overlapping labels)" % (
            len(set(labels) & set(wanted)), len(wanted))
    else:
        problems.append("labels %s, expected %s" % (sorted(set(labels) - set(wanted)),
                                                   sorted(set(wanted) - set(labels))))
        note = "labels differ"
    print("%s %-12s faces lit %.2f, top face %.3f as high as wide, slices pulled out %.3f of "
          "the radius; widest difference to the amounts' angles %.2f degrees, %s%s" % (
              name, program + ":", picture.factor, fit[3], fit[4], worst, note,
              "" if not problems else " -- " + "; ".join(problems)))
    if os.environ.get("VERBOSE"):
        for k, s in enumerate(slices):
            if k in angles:
                a, b = angles[k]
                print("  slice %d %s: %.2f..%.2f measured, %.2f..%.2f from the amounts" % (
                    s["index"] + 1, s["label"], a, b, s["start"], s["end"]))
    return problems, angles


def pdf_labels(pdf, left_pt):
    """The texts ending in '%' drawn right of `left_pt`, grouped word by word along lines."""
    out = subprocess.run(["pdftotext", "-bbox", pdf, "-"], check=True, capture_output=True,
                         text=True).stdout
    words = []
    for m in re.finditer(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" '
                         r'yMax="([\d.]+)">(.*?)</word>', out):
        x0, y0, x1, y1 = (float(m.group(k)) for k in range(1, 5))
        if x0 >= left_pt:
            words.append((round(y1), x0, x1, html.unescape(m.group(5))))
    words.sort()
    labels, current, last = [], [], None
    for y, x0, x1, text in words:
        if last is not None and (y != last[0] or x0 - last[2] > 12):
            if current:
                labels.append(" ".join(current))
            current = []
        current.append(text)
        last = (y, x0, x1)
        if text.endswith("%"):
            labels.append(" ".join(current))
            current = []
    return [l for l in labels if l.endswith("%")]


def table_right(pdf):
    """The right edge (points) of the table's amounts in LibreOffice's page."""
    out = subprocess.run(["pdftotext", "-bbox", pdf, "-"], check=True, capture_output=True,
                         text=True).stdout
    right = 0.0
    for m in re.finditer(r'xMax="([\d.]+)" yMax="[\d.]+">(\d{1,3}(?:,\d{3})*|Amount)</word>',
                         out):
        right = max(right, float(m.group(1)))
    return right + 2


def libreoffice(xls, work):
    profile = os.path.join(work, "profile")
    subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + profile,
                    "--convert-to", "pdf", "--outdir", work, xls], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=240)
    pdf = os.path.splitext(os.path.join(work, os.path.basename(xls)))[0] + ".pdf"
    stem = pdf[:-4] + "-lo"
    subprocess.run(["pdftoppm", "-r", "96", "-png", "-f", "1", "-l", "1", "-singlefile", pdf,
                    stem], check=True)
    return stem + ".png", pdf


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--xlstool", default=os.path.join(ROOT, "build", "xlstool"))
    parser.add_argument("--counts", default="6,9,40")
    parser.add_argument("--keep", help="keep the workbooks and pictures in this folder")
    args = parser.parse_args()
    work = args.keep or tempfile.mkdtemp(prefix="morrowlin-chart-agreement-")
    os.makedirs(work, exist_ok=True)
    failed = False
    try:
        for count in (int(c) for c in args.counts.split(",")):
            rows = entries(count)
            xls = os.path.join(work, "chart-%d.xls" % count)
            fill(args.xlstool, rows, xls)
            slices = expected_slices(rows, point_colours(xls))
            if len(set(s["colour"] for s in slices)) != len(slices):
                print("chart-%d: two slices share a fill colour" % count)
                failed = True
            ours_png, ours_pdf = xls[:-4] + "-ours.png", xls[:-4] + "-ours.pdf"
            for out in (ours_png, ours_pdf):
                subprocess.run([args.xlstool, "picture", xls, out, "--chart"], check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            lo_png, lo_pdf = libreoffice(xls, work)
            name = "chart-%d" % count
            ours, our_angles = compare(name, "ours", ours_png, ours_pdf, slices)
            theirs, lo_angles = compare(name, "LibreOffice", lo_png, lo_pdf, slices,
                                        table_right(lo_pdf))
            both = sorted(set(our_angles) & set(lo_angles))
            apart = []
            for k in both:
                (a0, a1), (b0, b1) = our_angles[k], lo_angles[k]
                sweeps = (a1 - a0) % 360.0 - (b1 - b0) % 360.0
                apart.append((max(abs(turn(a0, b0)), abs(turn(a1, b1)), abs(sweeps)),
                              slices[k]["index"] + 1))
            worst = max(apart) if apart else (0.0, 0)
            far = [i for d, i in apart if d > TOLERANCE_DEGREES]
            print("%s ours against LibreOffice: %d of %d slices measured in both, widest "
                  "difference of a slice's edges or angle %.2f degrees (slice %d)%s" % (
                      name, len(both), len(slices), worst[0], worst[1],
                      "" if not far else " -- over %g degrees: slices %s" % (TOLERANCE_DEGREES,
                                                                            far)))
            failed = failed or bool(ours) or bool(theirs) or bool(far) or len(both) < len(slices)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
