#!/usr/bin/python3
"""Writes the reference workbooks of the xls engine's tests with LibreOffice (headless, UNO).

Run with /usr/bin/python3 (it needs python3-uno):
    /usr/bin/python3 make_workbooks.py [--only NAME ...] [out_dir]
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                os.pardir, os.pardir, "tools", "libreoffice"))

import uno  # noqa: E402
from com.sun.star.awt import Rectangle  # noqa: E402
from com.sun.star.table import CellRangeAddress  # noqa: E402

import lo_session  # noqa: E402
from lo_session import number_format, prop  # noqa: E402

ARGS = sys.argv[1:]
ONLY = [ARGS[i + 1] for i, a in enumerate(ARGS) if a == "--only" and i + 1 < len(ARGS)]
POSITIONAL = [a for i, a in enumerate(ARGS) if a != "--only" and (i == 0 or ARGS[i - 1] != "--only")]
OUT = os.path.abspath(POSITIONAL[0] if POSITIONAL else os.path.dirname(__file__))


def store(doc, name, filt="MS Excel 97", extra=()):
    lo_session.store(doc, os.path.join(OUT, name), filt, *extra)


ASSETS = [("Savings", 25000), ("401k", 55000), ("Stocks", 15000), ("House", 250000),
          ("Bonds", 11000), ("Car", 7500)]
ACCOUNTING = '_($* #,##0_);_($* (#,##0);_($* "-"_);_(@_)'


def make_chart(office, name, filt):
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Assets"
    sheet.getCellByPosition(0, 2).String = "Asset Type"
    sheet.getCellByPosition(1, 2).String = "Amount"
    fmt = number_format(doc, ACCOUNTING)
    for i, (label, amount) in enumerate(ASSETS):
        sheet.getCellByPosition(0, 3 + i).String = label
        cell = sheet.getCellByPosition(1, 3 + i)
        cell.Value = amount
        cell.NumberFormat = fmt
    for row in (16, 18):  # B17, B19: formatted, empty
        sheet.getCellByPosition(1, row).NumberFormat = fmt
    sheet.Columns.getByIndex(0).Width = 3000
    charts = sheet.Charts
    rect = Rectangle(3000, 700, 14000, 8000)
    ranges = (CellRangeAddress(0, 0, 3, 1, 8),)
    charts.addNewByName("Chart 1", rect, ranges, False, True)  # column A: categories
    chart = charts.getByName("Chart 1").EmbeddedObject
    chart.Diagram = chart.createInstance("com.sun.star.chart.PieDiagram")
    chart.HasMainTitle = True
    chart.Title.String = "My Assets"
    # Series name from B3: set the data sequences explicitly.
    model = charts.getByName("Chart 1").EmbeddedObject
    prov = model.getDataProvider()
    series = model.getFirstDiagram().CoordinateSystems[0].ChartTypes[0].DataSeries[0]
    seqs = series.DataSequences
    for lds in seqs:
        if lds.Values.Role == "values":
            lds.setLabel(prov.createDataSequenceByRangeRepresentation("$Assets.$B$3"))
    store(doc, name, filt)
    doc.close(True)


def make_kinds(office):
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Kinds"
    c = sheet.getCellByPosition
    c(0, 0).Value = 42            # integer: RK
    c(0, 1).Value = 3.14159       # float: NUMBER or RK
    c(0, 2).String = "text"       # shared string
    c(0, 3).Formula = "=TRUE()"   # boolean formula
    c(0, 4).Formula = "=1/0"      # error result
    c(0, 5).Formula = "=A1*2"     # number formula
    c(0, 6).Formula = '="ab"&"cd"'  # string formula
    for col in range(1, 6):       # a run of numbers on one row: MULRK
        c(col, 0).Value = col * 10
    for col in range(1, 6):       # a run of formatted blanks: MULBLANK
        c(col, 2).CellBackColor = 0xFFFF00
    c(1, 4).Value = 1234.5
    c(1, 4).NumberFormat = number_format(doc, "0.00")
    c(2, 4).Value = 0.25
    c(2, 4).NumberFormat = number_format(doc, "0%")
    c(3, 4).Value = 45000
    c(3, 4).NumberFormat = number_format(doc, "YYYY-MM-DD")
    c(1, 5).String = "wrapped text in a cell"
    c(1, 5).IsTextWrapped = True
    c(1, 6).String = "bold"
    c(1, 6).CharWeight = 150.0
    c(1, 7).String = "centered"
    c(1, 7).HoriJustify = uno.Enum("com.sun.star.table.CellHoriJustify", "CENTER")
    line = uno.createUnoStruct("com.sun.star.table.BorderLine2")
    line.OuterLineWidth = 35
    line.Color = 0xFF0000
    c(2, 7).TopBorder = line
    c(2, 7).BottomBorder = line
    sheet.getCellRangeByName("D8:E9").merge(True)
    c(3, 7).String = "merged"
    sheet.Columns.getByIndex(6).IsVisible = False
    sheet.Rows.getByIndex(10).Height = 1200
    c(0, 10).String = "tall row"
    c(7, 20).String = "far"       # H21: extends the used range
    doc.CurrentController.setActiveSheet(sheet)
    store(doc, "kinds.xls")
    doc.close(True)


GREEK = "Καλημέρα κόσμε"
CYRILLIC = "Съешь же ещё этих мягких французских булок"
CJK = "日本語のテキスト"


def make_strings(office):
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Strings"
    for i in range(1500):
        if i % 3 == 0:
            text = "%s %d" % (GREEK, i)
        elif i % 3 == 1:
            text = "%s %d" % (CYRILLIC, i)
        else:
            text = "latin text number %d %s" % (i, CJK if i % 2 else "")
        sheet.getCellByPosition(0, i).String = text
        sheet.getCellByPosition(1, i).Value = i
    store(doc, "strings.xls")
    doc.close(True)


def make_sheets(office):
    doc = office.new_calc()
    sheets = doc.Sheets
    sheets.getByIndex(0).Name = "First"
    sheets.insertNewByName("Second", 1)
    sheets.insertNewByName("Третий", 2)
    for i in range(3):
        sheets.getByIndex(i).getCellByPosition(0, 0).String = "sheet %d" % (i + 1)
    doc.CurrentController.setActiveSheet(sheets.getByIndex(1))
    store(doc, "sheets.xls")
    store(doc, "encrypted.xls", "MS Excel 97", (prop("Password", "secret"),))
    doc.close(True)


def make_formulas(office):
    """A column and a block of filled-down formulas, which are stored as shared formulas."""
    doc = office.new_calc()
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Formulas"
    for r in range(10):
        sheet.getCellByPosition(0, r).Value = r + 1
        sheet.getCellByPosition(1, r).Formula = "=A%d*2" % (r + 1)
        for c in (2, 3):
            sheet.getCellByPosition(c, r).Formula = "=A%d+%d" % (r + 1, c)
    store(doc, "formulas.xls")
    doc.close(True)


MAKERS = {
    "chart": lambda o: (make_chart(o, "chart.xls", "MS Excel 97"),
                        make_chart(o, "chart.xlt", "MS Excel 97 Vorlage/Template")),
    "kinds": make_kinds,
    "strings": make_strings,
    "sheets": make_sheets,
    "formulas": make_formulas,
}


def main():
    with lo_session.Office("xlsdata") as office:
        for name, make in MAKERS.items():
            if not ONLY or name in ONLY:
                make(office)


if __name__ == "__main__":
    main()
