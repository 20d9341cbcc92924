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
    top face; pixels in the boxes of the words the PDF draws belong to no face, and a face's row
    runs on across them and across gaps of up to 6 pixels that no other slice owns (glyphs,
    leader lines). A face's antialiased rim takes no slice's colour: one pixel along its edge is
    counted back. A slice's angle is its share of all faces' area times 360 (a parallel
    projection and a pull along the slice's middle keep the shares of areas). The order is the
    clockwise order of the faces' centroids around the middle of all faces, squeezed back to a
    circle. Each slice's colour must be found, the order be the series' order, and the two
    programs' angles of each slice be within 2 degrees of each other (slices under 1.5 degrees,
    a pixel or two wide, are not measured);
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

import compound_file  # noqa: E402

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
                    "middle": (at + sweep / 2) % 360.0,
                    "label": "%s %s" % (label, percent_text(abs(amount) / total))})
        at += sweep
    return out


def pixels(png):
    size = subprocess.run(["identify", "-format", "%w %h", png], check=True,
                          capture_output=True, text=True).stdout.split()
    width, height = int(size[0]), int(size[1])
    raw = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    return width, height, raw


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


def measure(png, slices, left_px=0, words=()):
    """Each slice's face: area, centroid; None where its colour is not found. Pixels inside
    `words` (boxes of text) belong to no slice, but a face's row runs on across them."""
    width, height, raw = pixels(png)
    hidden = set()
    for x0, y0, x1, y1 in words:
        for y in range(max(0, y0), min(height, y1)):
            for x in range(max(0, x0), min(width, x1)):
                hidden.add((x, y))
    factor = lighting(raw, width, left_px, [s["colour"] for s in slices])
    colours = [tuple(round(v * factor) for v in s["colour"]) for s in slices]
    owner = {}
    lookup = {c: k for k, c in enumerate(colours)}
    seen = {}  # pixel colour -> slice or None
    faces = [{"area": 0, "sx": 0.0, "sy": 0.0, "edge": 0, "n": 0} for _ in slices]
    for y in range(height):
        row = y * width * 3
        for x in range(left_px, width):
            at = row + x * 3
            key = (raw[at], raw[at + 1], raw[at + 2])
            if key not in seen:
                seen[key] = next((kk for c, kk in lookup.items() if near(key, c)), None)
            if seen[key] is not None and (x, y) not in hidden:
                owner[(x, y)] = seen[key]
    # A face's pixel has a pixel of the same face beside it and one above or below it: the
    # stray pixels of a glyph's edge that take a slice's colour are not counted.
    runs = collections.defaultdict(list)
    for (x, y), k in owner.items():
        if ((owner.get((x - 1, y)) == k or owner.get((x + 1, y)) == k)
                and (owner.get((x, y - 1)) == k or owner.get((x, y + 1)) == k)):
            runs[(y, k)].append(x)
    for (y, k), xs in runs.items():
        xs.sort()
        face = faces[k]
        counted = list(xs)
        for a, b in zip(xs, xs[1:]):
            # A short gap inside the face (a glyph, a leader line) is the face's own,
            # unless a pixel of it belongs to another slice.
            gap = range(a + 1, b)
            if b - a > 1 and all(owner.get((g, y)) is None for g in gap) and (
                    b - a <= 7 or all((g, y) in hidden for g in gap)):
                counted.extend(range(a + 1, b))
        face["area"] += len(counted)
        face["n"] += len(counted)
        face["sx"] += sum(counted)
        face["sy"] += y * len(counted)
        face["edge"] += sum(1 for x in xs if not all(
            owner.get(n) == k for n in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1))))
    found = [f for f in faces if f["area"] > 0]
    if not found:
        return None
    xs = [x for (y, k), row in runs.items() for x in (min(row), max(row))]
    ys = [y for (y, k) in runs]
    box = (min(xs), min(ys), max(xs), max(ys))
    return faces, box, factor


EDGE = float(os.environ.get("EDGE", "1.0"))
THIN = 1.5  # degrees: a slice this thin is a sliver of a pixel or two, not measured


def compare(name, program, png, pdf, slices, left_pt=0.0):
    """Measures one program's picture: (problems, {slice index: measured angle})."""
    problems = []
    result = measure(png, slices, int(left_pt * 96 / 72), word_boxes(pdf))
    if result is None:
        return ["%s %s: no slice colour found" % (name, program)], {}
    faces, box, factor = result
    for s, f in zip(slices, faces):
        if f["area"] == 0 and s["sweep"] >= THIN:
            problems.append("slice %d (%s): colour %s not found" % (s["index"] + 1, s["label"],
                                                                   s["colour"]))
    # The antialiased rim of a face takes no slice's colour: about one pixel along its edge,
    # counted back.
    for f in faces:
        f["area"] += EDGE * f["edge"]
    total = sum(f["area"] for f in faces)
    cx, cy = (box[0] + box[2]) / 2.0, (box[1] + box[3]) / 2.0
    squeeze = (box[3] - box[1]) / float(box[2] - box[0])
    sweeps, middles, worst = {}, [], 0.0
    for s, f in zip(slices, faces):
        if f["area"] == 0 or s["sweep"] < THIN:
            continue
        sweeps[s["index"]] = 360.0 * f["area"] / total
        worst = max(worst, abs(sweeps[s["index"]] - s["sweep"]))
        mx, my = f["sx"] / f["n"] - cx, (f["sy"] / f["n"] - cy) / squeeze
        middles.append((math.degrees(math.atan2(mx, -my)) % 360.0, s["index"]))
    # The order: clockwise from the first slice's middle.
    if middles:
        first = middles[0][0]
        order = [i for _, i in sorted(middles, key=lambda mi: (mi[0] - first + 1e-9) % 360.0)]
        if order != [i for _, i in middles]:
            problems.append("slice order %s" % [i + 1 for i in order])
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
    print("%s %-12s fill colours found %d of %d (faces lit %.2f), widest difference to the "
          "amounts' angles %.2f degrees, %s%s" % (
              name, program + ":", sum(1 for f in faces if f["area"]), len(slices), factor, worst,
              note, "" if not problems else " -- " + "; ".join(problems)))
    if os.environ.get("VERBOSE"):
        for s in slices:
            if s["index"] in sweeps:
                print("  slice %d %s: %.2f measured, %.2f from the amounts" % (
                    s["index"] + 1, s["label"], sweeps[s["index"]], s["sweep"]))
    return problems, sweeps


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
            ours, our_sweeps = compare(name, "ours", ours_png, ours_pdf, slices)
            theirs, lo_sweeps = compare(name, "LibreOffice", lo_png, lo_pdf, slices,
                                        table_right(lo_pdf))
            both = sorted(set(our_sweeps) & set(lo_sweeps))
            apart = [(abs(our_sweeps[i] - lo_sweeps[i]), i) for i in both]
            worst = max(apart) if apart else (0.0, -1)
            far = [i + 1 for d, i in apart if d > TOLERANCE_DEGREES]
            thin = sum(1 for s in slices if s["sweep"] < THIN)
            print("%s ours against LibreOffice: %d slices measured in both (%d too thin), widest "
                  "angle difference %.2f degrees (slice %d)%s" % (
                      name, len(both), thin, worst[0], worst[1] + 1,
                      "" if not far else " -- over %g degrees: slices %s" % (TOLERANCE_DEGREES, far)))
            failed = failed or bool(ours) or bool(theirs) or bool(far) or len(both) + thin < len(slices)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
