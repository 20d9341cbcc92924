#!/usr/bin/python3
"""The engine as it ships and its plain build (every fast path, memo and cache left out) write
the same bytes.

    same_bytes_test.py XLSTOOL PLAIN_XLSTOOL SOURCE_DIR WORK_DIR

Both tools fill the same workbooks with the same cells and save them; the two files must be equal
byte for byte, and a workbook one refuses the other refuses with the same message. The workbooks:
every reference workbook of tests/data and tests/data/public (cells inside, beside and below what
they hold; and numbers only), and the program's template filled as the program fills it with 6, 1,000 and 10,000
entries, with the six sample entries (its shared strings written back as
they were read), then with entries some of which have another number format, other texts (non-ASCII,
repeated, long) and amounts, and saved as a template too.
"""
import glob
import os
import subprocess
import sys

AMOUNT_FORMAT = '_($* #,##0_);_($* (#,##0);_($* "-"??_);_(@_)'
OTHER_FORMATS = ["0.00", "#,##0", "0%", "[Red]0.0", "General"]


SAMPLES = [("Savings", "25000"), ("401k", "55000"), ("Stocks", "15000"), ("House", "250000"),
           ("Bonds", "11000"), ("Car", "7500")]


def program_fill(count, varied=False, samples=False):
    """The cells the program writes for `count` entries: the sample rows cleared, then a label in
    A and an amount in B from row 4 on, each amount given the accounting format."""
    cells = ["%s%d=" % (col, row) for col in "AB" for row in range(4, 10)]
    formats = []
    for i in range(count):
        row = 4 + i
        label = "Asset %d" % (i + 1)
        amount = str(1000 * (i + 1))
        if samples:
            label, amount = SAMPLES[i % len(SAMPLES)]
        if varied:
            label = ["Ünïcödé %d" % i, "Asset", "x" * (i % 300), label, "漢字 %d" % i][i % 5]
            amount = ["12.5", "-3", "1e3", amount, "0", "text", ""][i % 7]
        cells.append("A%d=%s" % (row, label))
        cells.append("B%d=%s" % (row, amount))
        fmt = OTHER_FORMATS[i % len(OTHER_FORMATS)] if varied and i % 3 == 0 else AMOUNT_FORMAT
        formats.append("B%d=%s" % (row, fmt))
    return cells + sum((["--format", f] for f in formats), [])


def run(tool, source, out, cells):
    done = subprocess.run([tool, "fill", source, out] + cells, capture_output=True, timeout=300)
    return done.returncode, done.stderr.decode("utf-8", "replace")


def main():
    xlstool, plain, source_dir, work = sys.argv[1:5]
    os.makedirs(work, exist_ok=True)
    template = os.path.join(source_dir, "resources", "Pie Chart.xlt")
    jobs = []
    for path in sorted(glob.glob(os.path.join(source_dir, "tests", "data", "*.xl[st]")) +
                       glob.glob(os.path.join(source_dir, "tests", "data", "public", "*.xl[st]"))):
        name = os.path.relpath(path, source_dir)
        cells = ["A1=first", "B2=2.5", "C3=", "D40=below", "A300=last", "IV2=edge"]
        jobs.append((name, path, ".xls", cells))
        # Numbers only: the shared strings are written back as they were read.
        jobs.append((name + ", numbers", path, ".xls", ["B2=2.5", "A300=7"]))
    jobs.append(("template, the six sample entries", template, ".xls",
                 program_fill(6, samples=True)))
    for count in (6, 1000, 10000):
        jobs.append(("template, %d entries" % count, template, ".xls", program_fill(count)))
    jobs.append(("template, 1000 varied entries", template, ".xls", program_fill(1000, True)))
    jobs.append(("template, 40 entries, as a template", template, ".xlt", program_fill(40)))
    failures = []
    for k, (name, path, ext, cells) in enumerate(jobs):
        fast_out = os.path.join(work, "fast%d%s" % (k, ext))
        plain_out = os.path.join(work, "plain%d%s" % (k, ext))
        fast = run(xlstool, path, fast_out, cells)
        slow = run(plain, path, plain_out, cells)
        if fast[0] != slow[0] or fast[0] not in (0, 1):
            failures.append("%s: exit %d against %d (%s | %s)" % (name, fast[0], slow[0],
                                                                  fast[1].strip(), slow[1].strip()))
        elif fast[0] == 1:
            if fast[1] != slow[1]:
                failures.append("%s: refused as %r against %r" % (name, fast[1], slow[1]))
        else:
            a = open(fast_out, "rb").read()
            b = open(plain_out, "rb").read()
            if a != b:
                diff = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]),
                            min(len(a), len(b)))
                failures.append("%s: %d bytes against %d, first difference at byte %d" %
                                (name, len(a), len(b), diff))
            os.remove(fast_out)
            os.remove(plain_out)
        print("%-60s %s" % (name, "refused" if fast[0] == 1 else "same" if not failures or
                            not failures[-1].startswith(name + ":") else "DIFFERENT"))
    for f in failures:
        print("FAIL", f)
    print("%d workbooks, %d differ" % (len(jobs), len(failures)))
    return 1 if failures or len(jobs) < 10 else 0


if __name__ == "__main__":
    sys.exit(main())
