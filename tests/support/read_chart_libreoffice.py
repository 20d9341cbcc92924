#!/usr/bin/python3
"""Prints, as JSON, how LibreOffice (through UNO, not our engine) reads the pie chart and the
table rows of each workbook given: for every file its first sheet's first chart's first series
(point count, each point's fill colour and explosion) and the fill colour of column A from row 4
down to the last point's row.

    /usr/bin/python3 read_chart_libreoffice.py FILE...

Exit status 2 when LibreOffice or its Python bridge is missing, 1 when a file cannot be read.
"""
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir,
                                "tools", "libreoffice"))
try:
    import lo_session  # noqa: E402
except ImportError as e:
    print("no LibreOffice bridge: %s" % e, file=sys.stderr)
    sys.exit(2)

FIRST_ROW = 3  # row 4, 0-based


def read(office, path):
    doc = office.load(path)
    if doc is None:
        raise RuntimeError("LibreOffice cannot open %s" % path)
    try:
        sheet = doc.Sheets.getByIndex(0)
        chart = sheet.Charts.getByIndex(0).EmbeddedObject
        series = chart.getFirstDiagram().CoordinateSystems[0].ChartTypes[0].DataSeries[0]
        values = [s for s in series.DataSequences if s.Values.Role == "values-y"][0]
        count = len(values.Values.Data)
        points = [series.getDataPointByIndex(i) for i in range(count)]
        return {
            "path": path,
            "points": count,
            "values": list(values.Values.Data),
            "colors": [p.Color for p in points],
            "offsets": [p.Offset for p in points],
            "fillA": [sheet.getCellByPosition(0, FIRST_ROW + i).CellBackColor
                      for i in range(count)],
            "labelsA": [sheet.getCellByPosition(0, FIRST_ROW + i).String for i in range(count)],
        }
    finally:
        doc.close(True)


def main(paths):
    try:
        office = lo_session.Office("morrowlin_read_")
    except (OSError, RuntimeError) as e:
        print("LibreOffice does not start: %s" % e, file=sys.stderr)
        return 2
    try:
        out = [read(office, p) for p in paths]
    except Exception as e:  # a UNO failure names the file in its message
        print(str(e), file=sys.stderr)
        return 1
    finally:
        office.close()
    json.dump(out, sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
