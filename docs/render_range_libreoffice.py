#!/usr/bin/python3
"""LibreOffice's rendering of one range of a workbook's first sheet, at 100 % and 96 DPI, as a
PNG trimmed to the printed cells: the counterpart of `xlstool picture` for comparing by eye.

Run with /usr/bin/python3 (it needs python3-uno):
    /usr/bin/python3 render_range_libreoffice.py WORKBOOK RANGE OUT.png [--grid]
RANGE is an address such as A3:B19; --grid prints the gridlines (for a sheet that shows them).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def start_office():
    profile = tempfile.mkdtemp(prefix="lo-profile-")
    pipe = "rangerender%d" % os.getpid()
    proc = subprocess.Popen([
        "soffice", "--headless", "--invisible", "--norestore", "--nologo",
        "-env:UserInstallation=file://" + profile,
        "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % pipe])
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    for _ in range(120):
        try:
            ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
            break
        except Exception:
            time.sleep(0.5)
    else:
        raise RuntimeError("LibreOffice did not start")
    return proc, ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)


def main():
    workbook, address, out = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3])
    grid = "--grid" in sys.argv[4:]
    proc, desktop = start_office()
    work = tempfile.mkdtemp(prefix="range-render-")
    try:
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(workbook)),
                                           "_blank", 0, (prop("Hidden", True),))
        sheet = doc.Sheets.getByIndex(0)
        sheet.setPrintAreas((sheet.getCellRangeByName(address).RangeAddress,))
        style = doc.StyleFamilies.getByName("PageStyles").getByName(sheet.PageStyle)
        style.PageScale = 100
        style.PrintGrid = grid
        style.PrintHeaders = False
        style.PrintCharts = False
        style.PrintDrawing = False
        style.HeaderIsOn = False
        style.FooterIsOn = False
        pdf = os.path.join(work, "range.pdf")
        doc.storeToURL(uno.systemPathToFileUrl(pdf), (prop("FilterName", "calc_pdf_Export"),))
        doc.close(True)
        page = os.path.join(work, "page")
        subprocess.run(["pdftoppm", "-r", "96", "-png", "-singlefile", "-f", "1", pdf, page],
                       check=True)
        subprocess.run(["convert", page + ".png", "-trim", "+repage", out], check=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
        try:
            desktop.terminate()
        except Exception:
            pass
        proc.wait(timeout=60)


if __name__ == "__main__":
    main()
