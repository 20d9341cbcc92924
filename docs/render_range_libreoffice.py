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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                os.pardir, "tools", "libreoffice"))

import lo_session  # noqa: E402


def main():
    workbook, address, out = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3])
    grid = "--grid" in sys.argv[4:]
    work = tempfile.mkdtemp(prefix="range-render-")
    try:
        with lo_session.Office("rangerender") as office:
            doc = office.load(workbook)
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
            lo_session.store(doc, pdf, "calc_pdf_Export")
            doc.close(True)
        page = os.path.join(work, "page")
        lo_session.pdf_page_to_png(pdf, page)
        subprocess.run(["convert", page + ".png", "-trim", "+repage", out], check=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
