#!/usr/bin/python3
"""Builds resources/Pie Chart.xlt, the workbook template that the program carries inside itself.

Run with the system Python that has the UNO bridge:  /usr/bin/python3 tools/template/make_template.py
It starts a private, headless LibreOffice, builds the sheet, the table look and the 3-D pie chart
through UNO, stores the document as an Excel 97-2003 template, ends LibreOffice, and then makes two
edits LibreOffice cannot make itself (template record, hidden gridlines) in the BIFF8 stream.
Last, the chart drawn by the program's own painter (`xlstool picture --chart`, hence --xlstool)
becomes the summary's thumbnail, the picture file managers show (see thumbnail.py).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, os.pardir, "libreoffice"))

import uno  # noqa: E402,F401  (makes com.sun.star importable)
from com.sun.star.awt import Rectangle  # noqa: E402
from com.sun.star.table import BorderLine2  # noqa: E402

import biff_patch  # noqa: E402
import cfb  # noqa: E402
import property_set  # noqa: E402
import lo_session  # noqa: E402
import thumbnail  # noqa: E402
from lo_session import prop  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_OUT = os.path.join(REPO, "resources", "Pie Chart.xlt")

FONT = "Constantia"
SHEET = "Assets"
TITLE = "21st century pie chart"
APPLICATION = "Microsoft Excel"
TABLE_NAME = "Table1"
TABLE_STYLE = "TableStyleMedium9"
CHART_TEXT_TWIPS = 200  # other chart text: 10 points
HEADINGS = ("Asset Type", "Amount")
ROWS = (
    ("Savings", 25000),
    ("401k", 55000),
    ("Stocks", 15000),
    ("House", 250000),
    ("Bonds", 11000),
    ("Car", 7500),
)
AMOUNT_FORMAT = '_($* #,##0_);_($* (#,##0);_($* "-"??_);_(@_)'

# Lengths in 1/100 mm. Column widths are given in characters of the default font's digit
# width; the factor below turns them into LibreOffice's lengths so that the stored column
# records carry exactly width * 256 (checked after every run).
POINT = 2540.0 / 72.0
ROW_HEIGHT = round(15 * POINT)
DEFAULT_COLUMN = round(54 * POINT)  # 72 pixels: Excel's 8.43 characters of an 8-pixel digit
CHART_SIZE = (round(648.75 * POINT), round(348.75 * POINT))

# Table look: a blue heading row with white bold text and two alternating blue bands.
HEADING_FILL = 0x4F81BD
BAND_FILLS = (0xB8CCE4, 0xDBE5F1)
WHITE = 0xFFFFFF


# ---------------------------------------------------------------- the sheet
def set_fonts(doc):
    """Constantia in every cell style, so every font record of the workbook names it."""
    styles = doc.StyleFamilies.getByName("CellStyles")
    for i in range(styles.Count):
        style = styles.getByIndex(i)
        for p in ("CharFontName", "CharFontNameAsian", "CharFontNameComplex"):
            style.setPropertyValue(p, FONT)
        style.CharHeight = 11


def number_format(doc, code):
    return lo_session.number_format(doc, code, "en", "US")


def fill_cells(doc, sheet):
    sheet.getCellByPosition(0, 2).String = HEADINGS[0]
    sheet.getCellByPosition(1, 2).String = HEADINGS[1]
    amount = number_format(doc, AMOUNT_FORMAT)
    for i, (label, value) in enumerate(ROWS):
        sheet.getCellByPosition(0, 3 + i).String = label
        cell = sheet.getCellByPosition(1, 3 + i)
        cell.Value = value
        cell.NumberFormat = amount
    # Two empty cells that carry a format of their own: the stored used range ends at row 19.
    for name in ("B17", "B19"):
        sheet.getCellRangeByName(name).NumberFormat = amount


def set_geometry(sheet):
    rest = sheet.getCellRangeByName("C1:AMJ1").Columns
    rest.Width = DEFAULT_COLUMN
    sheet.Rows.Height = ROW_HEIGHT
    sheet.Rows.OptimalHeight = False


def set_column_widths(sheet, char_unit):
    sheet.Columns.getByIndex(0).Width = round(15.25 * char_unit)
    sheet.Columns.getByIndex(1).Width = round(10.375 * char_unit)


def white_line(width=26):
    line = BorderLine2()
    line.Color = WHITE
    line.OuterLineWidth = width
    line.LineWidth = width
    return line


def table_look(doc, sheet):
    """The look of a medium blue table style on A3:B9, baked into the cells' formats so that
    readers that know no tables show it too (the table itself is added to the records later)."""
    heading = sheet.getCellRangeByName("A3:B3")
    heading.CellBackColor = HEADING_FILL
    heading.CharColor = WHITE
    heading.CharWeight = 150.0  # bold
    for i in range(len(ROWS)):
        row = sheet.getCellRangeByName("A%d:B%d" % (4 + i, 4 + i))
        row.CellBackColor = BAND_FILLS[i % 2]
    table = sheet.getCellRangeByName("A3:B9")
    for side in ("TopBorder", "BottomBorder", "LeftBorder", "RightBorder"):
        table.setPropertyValue(side, white_line())
    # Inner horizontal lines between the bands.
    inner = table.TableBorder2
    inner.HorizontalLine = white_line()
    inner.IsHorizontalLineValid = True
    table.TableBorder2 = inner


def page_setup(doc, sheet):
    """Landscape, one page, no header or footer: the sheet prints (and renders) as shown."""
    style = doc.StyleFamilies.getByName("PageStyles").getByName(sheet.PageStyle)
    size = style.Size
    if size.Width < size.Height:
        size.Width, size.Height = size.Height, size.Width
    style.IsLandscape = True
    style.Size = size
    style.HeaderIsOn = False
    style.FooterIsOn = False
    style.ScaleToPages = 1


# ---------------------------------------------------------------- the chart
def set_chars(obj, height, bold):
    obj.CharFontName = FONT
    obj.CharHeight = height
    obj.CharWeight = 150.0 if bold else 100.0
    for suffix in ("Asian", "Complex"):
        try:
            obj.setPropertyValue("CharFontName" + suffix, FONT)
            obj.setPropertyValue("CharHeight" + suffix, height)
            obj.setPropertyValue("CharWeight" + suffix, 150.0 if bold else 100.0)
        except Exception:
            pass


def add_chart(sheet):
    origin = sheet.getCellRangeByName("C3").Position
    rect = Rectangle(origin.X, origin.Y, CHART_SIZE[0], CHART_SIZE[1])
    data = sheet.getCellRangeByName("A3:B9").RangeAddress
    charts = sheet.Charts
    charts.addNewByName("Chart 1", rect, (data,), True, True)
    chart = charts.getByName("Chart 1").EmbeddedObject

    diagram = chart.createInstance("com.sun.star.chart.PieDiagram")
    chart.setDiagram(diagram)
    diagram.Dim3D = True
    chart.HasLegend = False
    chart.HasMainTitle = True
    chart.Title.String = "My Assets"
    set_chars(chart.Title, 18, True)

    # Rotation and elevation: LibreOffice's first-slice angle 240 combined with a horizontal
    # rotation of -60 is stored as the rotation 210.
    first = chart.getFirstDiagram()
    first.StartingAngle = 240
    diagram.RotationHorizontal = -60
    diagram.RotationVertical = 30

    # Series: name B3, values B4:B9, categories A4:A9 (set up by addNewByName from A3:B9).
    series = first.CoordinateSystems[0].ChartTypes[0].DataSeries[0]
    label = series.Label
    label.ShowNumber = False
    label.ShowNumberInPercent = True
    label.ShowCategoryName = True
    label.ShowLegendSymbol = False
    series.Label = label
    set_chars(series, 13, True)
    try:
        series.ShowCustomLeaderLines = True
    except Exception:
        pass
    for i in range(len(ROWS)):
        point = series.getDataPointByIndex(i)
        point.Offset = 0.1
        point.Label = label
        set_chars(point, 13, True)
    return chart


# ---------------------------------------------------------------- build and store
def build(office, out_path, char_unit):
    doc = office.new_calc()
    try:
        doc.DocumentProperties.Title = TITLE
        sheets = doc.Sheets
        sheet = sheets.getByIndex(0)
        sheet.Name = SHEET
        while sheets.Count > 1:
            sheets.removeByName(sheets.getByIndex(1).Name)
        set_fonts(doc)
        fill_cells(doc, sheet)
        set_geometry(sheet)
        set_column_widths(sheet, char_unit)
        table_look(doc, sheet)
        page_setup(doc, sheet)
        doc.CurrentController.setActiveSheet(sheet)
        add_chart(sheet)
        lo_session.store(doc, out_path, "MS Excel 97 Vorlage/Template", prop("Overwrite", True))
    finally:
        doc.close(True)


def colinfo_widths(data):
    """Column widths (1/256 character) of columns A and B as stored, from the raw file."""
    import struct

    stream = cfb.CompoundFile(data).stream("Workbook")
    widths = {}
    for rec in biff_patch.read_records(stream):
        if rec.type == 0x007D:
            first, last, width = struct.unpack_from("<HHH", rec.data, 0)
            for c in range(first, min(last, 1) + 1):
                widths[c] = width
    return widths.get(0), widths.get(1)


def patch(path):
    with open(path, "rb") as f:
        compound = cfb.CompoundFile(f.read())
    stream = compound.stream("Workbook")
    table = dict(name=TABLE_NAME, first_row=2, last_row=2 + len(ROWS), first_col=0,
                 columns=HEADINGS, style=TABLE_STYLE)
    compound.set_stream("Workbook", biff_patch.patch_workbook_stream(
        stream, FONT, table=table, chart_text_twips=CHART_TEXT_TWIPS))
    summary = "\x05SummaryInformation"
    compound.set_stream(summary, property_set.set_texts(compound.stream(summary), {
        property_set.PIDSI_TITLE: TITLE, property_set.PIDSI_APPNAME: APPLICATION}))
    data = compound.to_bytes()
    with open(path, "wb") as f:
        f.write(data)


def render(path, png):
    """LibreOffice's own rendering of the template, as a PNG (through PDF and pdftoppm)."""
    work = tempfile.mkdtemp(prefix="morrowlin-render-")
    try:
        subprocess.run(
            ["soffice", "--headless", "--invisible", "-env:UserInstallation=file://%s/profile" % work,
             "--convert-to", "pdf", "--outdir", work, path],
            check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=180,
        )
        pdf = os.path.join(work, os.path.splitext(os.path.basename(path))[0] + ".pdf")
        stem = os.path.splitext(os.path.abspath(png))[0]
        lo_session.pdf_page_to_png(pdf, stem, timeout=120)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=DEFAULT_OUT, help="where to write the template")
    parser.add_argument("--render", metavar="PNG", help="also write LibreOffice's rendering")
    parser.add_argument("--xlstool", default=os.path.join(REPO, "build", "xlstool"),
                        help="the engine's tool that draws the chart for the thumbnail")
    args = parser.parse_args()

    targets = (round(15.25 * 256), round(10.375 * 256))
    office = lo_session.Office("morrowlin_tpl_")
    try:
        # The column records depend on LibreOffice's idea of the default font's digit width:
        # build once, measure, and rebuild with the corrected unit until both widths are exact.
        char_unit = 190.0
        for _ in range(4):
            build(office, args.out, char_unit)
            with open(args.out, "rb") as f:
                a, b = colinfo_widths(f.read())
            if (a, b) == targets:
                break
            char_unit *= targets[0] / float(a)
        else:
            raise RuntimeError("column widths came out as %s, %s" % (a, b))
    finally:
        office.close()
    patch(args.out)
    width, height = thumbnail.add_thumbnail(args.out, args.xlstool)
    print("wrote %s (%d bytes, a thumbnail of %dx%d pixels)" % (
        args.out, os.path.getsize(args.out), width, height))
    if args.render:
        render(args.out, args.render)
        print("rendered %s" % args.render)


if __name__ == "__main__":
    main()
