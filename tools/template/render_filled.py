#!/usr/bin/python3
"""Renders the template and the template filled with entries by the engine, as LibreOffice
shows them, for docs/.

    /usr/bin/python3 tools/template/render_filled.py [--xlstool build/xlstool]

writes docs/template-libreoffice.png (the committed template) and
docs/nine-entries-libreoffice.png (the template filled with nine entries by `xlstool fill`, the
amounts in the program's accounting format), both through make_template.render().
"""

import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import make_template  # noqa: E402

NINE = (("Savings", 25000), ("401k", 55000), ("Stocks", 15000), ("House", 250000),
        ("Bonds", 11000), ("Car", 7500), ("Gold", 12000), ("Art", 8000), ("Cash", 9000))


def fill(xlstool, template, out, rows):
    args = [xlstool, "fill", template, out]
    for i, (label, amount) in enumerate(rows):
        args += ["A%d=%s" % (4 + i, label), "B%d=%s" % (4 + i, amount)]
    for i in range(len(rows)):
        args += ["--format", "B%d=%s" % (4 + i, make_template.AMOUNT_FORMAT)]
    subprocess.run(args, check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--xlstool", default=os.path.join(make_template.REPO, "build", "xlstool"))
    args = parser.parse_args()
    docs = os.path.join(make_template.REPO, "docs")
    make_template.render(make_template.DEFAULT_OUT, os.path.join(docs, "template-libreoffice.png"))
    with tempfile.TemporaryDirectory(prefix="morrowlin-nine-") as work:
        nine = os.path.join(work, "nine.xls")
        fill(args.xlstool, make_template.DEFAULT_OUT, nine, NINE)
        make_template.render(nine, os.path.join(docs, "nine-entries-libreoffice.png"))
    print("rendered docs/template-libreoffice.png and docs/nine-entries-libreoffice.png")


if __name__ == "__main__":
    main()
