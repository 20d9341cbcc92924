#!/usr/bin/python3
"""Writes picture.xls, the workbook of the range-picture tests, with LibreOffice (headless, UNO),
and LibreOffice's own rendering of its sheet as a PNG for comparing by eye.

Run with /usr/bin/python3 (it needs python3-uno):
    /usr/bin/python3 make_picture_workbook.py [out_dir] [rendering.png]
"""
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                os.pardir, os.pardir, "tools", "libreoffice"))

import uno  # noqa: E402
from com.sun.star.table import BorderLine2  # noqa: E402

import lo_session  # noqa: E402
from lo_session import number_format  # noqa: E402

OUT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(__file__))
RENDERING = sys.argv[2] if len(sys.argv) > 2 else None


def line(style, width, color=0):
    b = BorderLine2()
    b.LineStyle = style
    b.LineWidth = width
    b.Color = color
    return b


ACCOUNTING = '_($* #,##0_);_($* (#,##0);_($* "-"_);_(@_)'


def fill_sheet(doc, sheet):
    c = sheet.getCellByPosition
    c(0, 0).String = "Left text running on"              # A1 runs on over B1 and C1
    c(0, 1).Value = 1234.5                               # A2 General number: right
    c(1, 1).Value = 0.25                                 # B2 0%
    c(1, 1).NumberFormat = number_format(doc, "0%")
    c(2, 1).Value = -1500                                # C2 accounting, negative
    c(2, 1).NumberFormat = number_format(doc, ACCOUNTING)
    c(3, 1).Value = 0                                    # D2 accounting zero: "-"
    c(3, 1).NumberFormat = number_format(doc, ACCOUNTING)
    c(0, 2).Formula = "=TRUE()"                          # A3 logical: centred
    c(1, 2).Formula = "=1/0"                             # B3 error: centred
    c(2, 2).Value = 123456789                            # C3 too wide: ###
    c(2, 2).NumberFormat = number_format(doc, "#,##0.00")
    c(3, 2).Value = 42                                   # D3 red by format
    c(3, 2).NumberFormat = number_format(doc, "[Red]0.0")
    c(0, 3).String = "Centre"                            # A4 centred
    c(0, 3).HoriJustify = uno.Enum("com.sun.star.table.CellHoriJustify", "CENTER")
    c(1, 3).String = "Right"                             # B4 right
    c(1, 3).HoriJustify = uno.Enum("com.sun.star.table.CellHoriJustify", "RIGHT")
    c(2, 3).String = "Wrapped text in a tall cell"       # C4 wrapped, top
    c(2, 3).IsTextWrapped = True
    c(2, 3).VertJustify = 1                              # com.sun.star.table.CellVertJustify2.TOP
    c(3, 3).String = "Mid"                               # D4 vertically centred
    c(3, 3).VertJustify = 2
    sheet.Rows.getByIndex(3).Height = 1300               # row 4 is tall (1/100 mm)
    merged = sheet.getCellRangeByName("B5:C6")           # merged, filled, centred
    merged.merge(True)
    c(1, 4).String = "Merged"
    c(1, 4).HoriJustify = uno.Enum("com.sun.star.table.CellHoriJustify", "CENTER")
    c(1, 4).VertJustify = 2
    merged.CellBackColor = 0xFFFF99
    c(0, 5).CellBackColor = 0x4F81BD                     # A6 solid fill, white bold text
    c(0, 5).String = "Filled"
    c(0, 5).CharColor = 0xFFFFFF
    c(0, 5).CharWeight = 150.0
    c(0, 6).TopBorder = line(0, 35)                      # A7..D7 borders of four kinds
    c(0, 6).BottomBorder = line(0, 35)
    c(1, 6).BottomBorder = line(0, 88, 0xFF0000)
    c(2, 6).BottomBorder = line(2, 35)
    c(3, 6).BottomBorder = line(3, 106)
    c(3, 6).RightBorder = line(0, 141)
    c(0, 7).String = "Italic Arial"                      # A8..D8 fonts
    c(0, 7).CharFontName = "Arial"
    c(0, 7).CharPosture = uno.Enum("com.sun.star.awt.FontSlant", "ITALIC")
    c(1, 7).String = "Underlined"
    c(1, 7).CharUnderline = 1
    c(2, 7).String = "Struck"
    c(2, 7).CharStrikeout = 1
    c(2, 7).CharColor = 0xC00000
    c(3, 7).String = "Courier"
    c(3, 7).CharFontName = "Courier New"
    c(3, 7).CharHeight = 12
    c(4, 0).String = "hidden column"                     # E hidden
    sheet.Columns.getByIndex(4).IsVisible = False
    c(0, 8).String = "hidden row"                        # row 9 hidden
    sheet.Rows.getByIndex(8).IsVisible = False
    c(5, 9).String = "End"                               # F10: the used range is A1:F10
    c(0, 9).Value = 3.5                                  # A10 fill alignment
    c(0, 9).NumberFormat = number_format(doc, "0.0")
    c(0, 9).HoriJustify = uno.Enum("com.sun.star.table.CellHoriJustify", "REPEAT")
    c(3, 9).String = "Runs on to the left"               # D10 right-aligned, runs into C10
    c(3, 9).HoriJustify = uno.Enum("com.sun.star.table.CellHoriJustify", "RIGHT")
    c(3, 5).String = "Indented"                          # D6 indented (left)
    c(3, 5).HoriJustify = uno.Enum("com.sun.star.table.CellHoriJustify", "LEFT")
    c(3, 5).ParaIndent = 400
    c(5, 3).String = "Turned"                            # F4 turned 90 degrees
    c(5, 3).RotateAngle = 9000
    c(5, 3).HoriJustify = uno.Enum("com.sun.star.table.CellHoriJustify", "CENTER")
    sheet.Columns.getByIndex(0).Width = 3200
    sheet.Columns.getByIndex(2).Width = 2000


def main():
    with lo_session.Office("pictdata") as office:
        doc = office.new_calc()
        sheet = doc.Sheets.getByIndex(0)
        sheet.Name = "Look"
        fill_sheet(doc, sheet)
        lo_session.store(doc, os.path.join(OUT, "picture.xls"), "MS Excel 97")
        if RENDERING:
            style = doc.StyleFamilies.getByName("PageStyles").getByName(sheet.PageStyle)
            style.PrintGrid = True
            style.PrintHeaders = False
            style.HeaderIsOn = False
            style.FooterIsOn = False
            work = tempfile.mkdtemp(prefix="picture-render-")
            pdf = os.path.join(work, "picture.pdf")
            lo_session.store(doc, pdf, "calc_pdf_Export")
            lo_session.pdf_page_to_png(pdf, os.path.splitext(os.path.abspath(RENDERING))[0])
            shutil.rmtree(work)
        doc.close(True)


if __name__ == "__main__":
    main()
