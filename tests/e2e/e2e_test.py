#!/usr/bin/python3
"""End-to-end test of Morrowlin in a real X window under Xvfb, driven by xdotool.

Does what a user does: starts the program, presses "Start Creating Template", zooms out and in,
drags the picture, saves the workbook to a path typed into the save dialog, goes back, builds
again and closes the Preview window. Then checks the saved workbook with xlrd, the temporary
folder, the stored list and the program's exit.

Usage: e2e_test.py MORROWLIN_EXECUTABLE [--keep] [--preview-shot FILE.png]

Exit status: 0 when every check passed, 1 when one failed, 77 when Xvfb, xdotool or ImageMagick's
`import` is missing (the test is skipped).
"""

import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import (FORM1_START, FRAME1, SAVE, TWIPS_PER_PIXEL, ZOOM_IN, ZOOM_OUT,  # noqa: E402
                      Session, arguments, missing_tools, run_session,
                      stored_assets)

# Design places in twips (left, top, width, height), relative to each window's client area;
# the places the other tests share are in xsession.
FORM1_SIZE = (8040, 4800)
FORM2_SIZE = (9840, 9390)
BACK = (120, 8850, 4680, 405)

SAMPLES = [("Savings", 25000), ("401k", 55000), ("Stocks", 15000), ("House", 250000),
           ("Bonds", 11000), ("Car", 7500)]
ACCOUNTING = '_($* #,##0_);_($* (#,##0);_($* "-"??_);_(@_)'


class Run(Session):
    def __init__(self, executable, root, preview_shot):
        super().__init__(executable, root)
        self.preview_shot = preview_shot
        self.saved_dir = os.path.join(root, "saved results")
        self.saved = os.path.join(self.saved_dir, "My Assets.xls")
        os.makedirs(self.saved_dir)

    # ---- the scenario ------------------------------------------------------------------------

    def scenario(self):
        self.start_xvfb()
        self.start_app()

        # The main window.
        ids = self.wait_for(lambda: self.visible("Morrowlin"))
        self.require(len(ids) == 1, "the main window \"Morrowlin\" appears", "windows: %s" % ids)
        self.form1 = ids[0]
        _, _, w, h = self.geometry(self.form1)
        expected = tuple(round(t / TWIPS_PER_PIXEL) for t in FORM1_SIZE)
        self.require((w, h) == expected, "the main window is %dx%d pixels" % expected,
                     "it is %dx%d" % (w, h))
        x, y, w, h = self.geometry(self.form1)
        rows = self.region(self.screenshot("main-window"), (x, y, w, h))
        colours = {row[i:i + 3] for row in rows for i in range(0, len(row), 3)}
        self.check(len(colours) > 10, "the main window is drawn (buttons, list, captions)",
                   "%d colours in it" % len(colours))

        # First build.
        self.click(self.form1, FORM1_START)
        ids = self.wait_for(lambda: self.visible("Preview"))
        self.require(len(ids) == 1, "\"Start Creating Template\" opens the Preview window")
        self.form2 = ids[0]
        self.check(self.wait_for(lambda: not self.visible("Morrowlin"), timeout=5.0),
                   "the main window is hidden while the Preview shows")
        _, _, w, h = self.geometry(self.form2)
        expected = tuple(round(t / TWIPS_PER_PIXEL) for t in FORM2_SIZE)
        self.require((w, h) == expected, "the Preview window is %dx%d pixels" % expected,
                     "it is %dx%d" % (w, h))
        books = self.workbooks()
        self.check(len(books) == 1 and re.fullmatch(r"tkvane[1-9]{8}\.xls",
                                                    os.path.basename(books[0])),
                   "TEMP holds the built workbook tkvane + eight digits 1-9 + .xls",
                   "TEMP: %s" % self.temp_files())
        self.check(self.temp_files() == [os.path.basename(b) for b in books],
                   "TEMP holds nothing else (no temp.bmp, no Pie Chart.xlt)",
                   "TEMP: %s" % self.temp_files())

        first = self.settled_viewport("preview")
        if self.preview_shot:
            subprocess.run(["import", "-display", self.display, "-window", str(self.form2),
                            self.preview_shot], env=self.env(), check=True,
                           timeout=min(20.0, self.remaining()))
            print("       Preview window saved to " + self.preview_shot, flush=True)
        box = self.drawn_box(first)
        self.require(box is not None and box[0] <= 2 and box[1] <= 2 and box[2] > 100
                     and box[3] > 60,
                     "the Preview shows the sheet's picture at the viewport's top-left corner",
                     "drawn box %s" % (box,))
        has_header = any(row[i + 2] > row[i] + 60 for row in first[:box[3]]
                         for i in range(0, len(row), 3))
        self.check(has_header, "the picture has the blue header cells of the template")
        full = box

        # Zoom in first: the picture grows by a quarter; out again: the first view exactly.
        vx, vy, vw, vh = self.viewport_rect()
        rows = self.after_click("zoom-in-first", first, self.form2, ZOOM_IN, FRAME1)
        box = self.drawn_box(rows)
        print("       drawn box at 100%%: %s; after one Zoom In: %s" % (full, box), flush=True)
        self.check(box is not None and abs(box[2] - full[2] * 1.25) <= 2
                   and (abs(box[3] - full[3] * 1.25) <= 2 or full[3] * 1.25 >= vh),
                   "Zoom In from the first view makes the picture 1.25 times as wide",
                   "drawn box %s, at 100%% %s" % (box, full))
        rows = self.after_click("zoom-out-0", rows, self.form2, ZOOM_OUT, FRAME1)
        self.check(rows == first, "Zoom Out brings back the first view exactly",
                   "%.4f of the viewport's pixels the same" % self.same_pixels(rows, first))

        # Zoom out twice, in twice.
        rows = self.after_click("zoom-out-1", first, self.form2, ZOOM_OUT, FRAME1)
        box = self.drawn_box(rows)
        self.check(box is not None and abs(box[2] - full[2] * 0.75) <= 3
                   and abs(box[3] - full[3] * 0.75) <= 3,
                   "Zoom Out shrinks the picture to 75%",
                   "drawn box %s, at 100%% %s" % (box, full))
        rows = self.after_click("zoom-out-2", rows, self.form2, ZOOM_OUT, FRAME1)
        box = self.drawn_box(rows)
        self.check(box is not None and abs(box[2] - full[2] * 0.5) <= 3
                   and abs(box[3] - full[3] * 0.5) <= 3,
                   "a second Zoom Out shrinks it to 50%",
                   "drawn box %s, at 100%% %s" % (box, full))
        half_rows = rows
        rows = self.after_click("zoom-in-1", half_rows, self.form2, ZOOM_IN, FRAME1)
        box = self.drawn_box(rows)
        self.check(rows != half_rows and box is not None and abs(box[2] - full[2] * 0.75) <= 3,
                   "Zoom In changes the pixels and grows the picture to 75%",
                   "drawn box %s" % (box,))
        rows = self.after_click("zoom-in-2", rows, self.form2, ZOOM_IN, FRAME1)
        self.check(self.same_pixels(rows, first) == 1.0,
                   "a second Zoom In shows the picture at 100% exactly as first drawn",
                   "%.4f of the viewport's pixels the same" % self.same_pixels(rows, first))

        # Drag the picture, which is smaller than the viewport both ways: there is nothing to pan,
        # so a drag up and left, or down and right, leaves it where it is.
        self.require(full[2] < vw and full[3] < vh,
                     "the picture of the sample entries fits inside the viewport",
                     "drawn box %s in a viewport of %dx%d" % (full, vw, vh))
        grab = (vx + full[2] // 2, vy + full[3] // 2)
        for name, (dx, dy) in (("up and left", (-10, -10)), ("down and right", (40, 30))):
            self.drag(grab, (grab[0] + dx, grab[1] + dy))
            time.sleep(0.3)
            rows = self.settled_viewport("dragged")
            self.check(rows == first, "a drag %s by %d pixels leaves the picture in place"
                       % (name, abs(dx)), "drawn box %s, before %s" % (self.drawn_box(rows), full))

        # Save to a typed path.
        self.click(self.form2, SAVE)
        dialogs = self.wait_for(lambda: self.visible("Save File"))
        self.require(len(dialogs) == 1, "\"Save Results To Excel File\" opens the \"Save File\" "
                     "dialog")
        dialog = dialogs[0]
        self.xdo("windowfocus", "--sync", dialog)
        time.sleep(0.3)
        self.screenshot("save-dialog")
        self.xdo("key", "--clearmodifiers", "ctrl+a")
        self.xdo("type", "--delay", "20", self.saved)
        time.sleep(0.2)
        self.screenshot("save-dialog-typed")
        self.xdo("key", "Return")
        self.check(self.wait_for(lambda: not self.visible("Save File")),
                   "the dialog closes on Enter")
        known = {self.form1, self.form2, dialog}
        boxes = self.wait_for(
            lambda: [w for w in self.visible("Morrowlin") if w not in known])
        self.check(len(boxes) == 1, "a message box follows the save",
                   "new windows: %s" % boxes)
        self.check(not self.visible("Application Error"), "no error report is shown")
        self.screenshot("done-box")
        for box_id in boxes:
            self.xdo("windowfocus", "--sync", box_id)
            time.sleep(0.2)
            self.xdo("key", "Return")
        self.check(boxes and self.wait_for(lambda: not [w for w in self.visible("Morrowlin")
                                                        if w in boxes]),
                   "Enter closes the message box")
        self.check(os.path.isfile(self.saved), "the workbook is saved where typed: " + self.saved,
                   "saved folder holds %s" % os.listdir(self.saved_dir))
        self.check(os.path.isfile(self.saved) and books and
                   open(self.saved, "rb").read() == open(books[0], "rb").read(),
                   "the saved file is a byte copy of the built workbook")

        # Leave the Preview zoomed out, then go back and build again: the new picture must come
        # at 100% again.
        rows = self.after_click("zoom-out-before-back", first, self.form2, ZOOM_OUT, FRAME1)
        box = self.drawn_box(rows)
        self.check(box is not None and abs(box[2] - full[2] * 0.75) <= 3,
                   "Zoom Out before going back shrinks the picture to 75%",
                   "drawn box %s" % (box,))
        self.click(self.form2, BACK)
        self.check(self.wait_for(lambda: self.visible("Morrowlin") == [self.form1]),
                   "\"< Back\" shows the main window again")
        self.check(self.wait_for(lambda: not self.visible("Preview")), "and hides the Preview")
        self.check(self.wait_for(lambda: not self.leftovers(), timeout=5.0),
                   "after going back TEMP holds no workbook", "TEMP: %s" % self.temp_files())
        self.screenshot("back")

        self.click(self.form1, FORM1_START)
        self.require(self.wait_for(lambda: self.visible("Preview") == [self.form2]),
                     "a second build shows the Preview again")
        self.check(self.wait_for(lambda: not self.visible("Morrowlin"), timeout=5.0),
                   "the main window is hidden again")
        self.check(len(self.workbooks()) == 1, "the second build left one workbook in TEMP",
                   "TEMP: %s" % self.temp_files())
        again = self.wait_for(lambda: self.same_pixels(self.viewport("second-build"), first)
                              == 1.0, timeout=5.0)
        self.check(again, "the new picture shows at 100% at the corner, exactly as the first did")

        # Close the Preview: the program ends.
        self.close_window(self.form2)
        code = self.wait_exit()
        self.check(code == 0, "closing the Preview ends the program with status 0",
                   "status %s" % code)
        self.check(not self.leftovers(),
                   "after closing TEMP holds no tkvane*.xls, temp.bmp or Pie Chart.xlt",
                   "TEMP: %s" % self.temp_files())

    # ---- checks on files ---------------------------------------------------------------------

    def check_settings(self):
        stored, error = stored_assets(os.path.join(self.config, "Kestrune.ini"))
        detail = error if stored is None else stored
        expected = "".join("%s||SEP1||%d||SEP2||" % entry for entry in SAMPLES)
        self.check(stored == expected, "Kestrune.ini holds the list under [Morrowlin] Assets",
                   detail)

    def check_workbook(self):
        try:
            import xlrd
        except ImportError:
            self.check(False, "xlrd is available to read the saved workbook")
            return
        try:
            book = xlrd.open_workbook(self.saved, formatting_info=True)
        except Exception as error:  # xlrd raises several kinds
            self.check(False, "xlrd reads the saved workbook", str(error))
            return
        self.check(True, "xlrd reads the saved workbook")
        sheet = book.sheet_by_index(0)
        self.check(book.sheet_names()[0] == "Assets", "its sheet is \"Assets\"",
                   "sheets %s" % book.sheet_names())

        def text(r, c):
            return sheet.cell_value(r, c) if r < sheet.nrows and c < sheet.ncols else None

        def fmt(r, c):
            if r >= sheet.nrows or c >= sheet.ncols:
                return None
            xf = book.xf_list[sheet.cell_xf_index(r, c)]
            return book.format_map[xf.format_key].format_str

        self.check(text(2, 0) == "Asset Type", "A3 is \"Asset Type\"", repr(text(2, 0)))
        for i, (label, amount) in enumerate(SAMPLES):
            r = 3 + i
            ok = (text(r, 0) == label and sheet.cell_type(r, 1) == xlrd.XL_CELL_NUMBER
                  and text(r, 1) == amount and fmt(r, 1) == ACCOUNTING)
            self.check(ok, "row %d: %s, the number %d, accounting format" % (r + 1, label, amount),
                       "%r, %r, %r" % (text(r, 0), text(r, 1), fmt(r, 1)))



def main():
    parser = arguments(__doc__)
    parser.add_argument("--preview-shot", help="also save a picture of the Preview window here")
    args = parser.parse_args()
    status = missing_tools(("Xvfb", "xdotool", "import"), args.executable)
    if status is not None:
        return status
    preview_shot = os.path.abspath(args.preview_shot) if args.preview_shot else None

    root = tempfile.mkdtemp(prefix="morrowlin-e2e-")
    run = Run(os.path.abspath(args.executable), root, preview_shot)

    def check_files():
        if os.path.isfile(run.saved):
            run.check_workbook()
        else:
            run.check(False, "a saved workbook to read with xlrd")
        run.check_settings()
        if os.path.exists(run.opened_urls):
            with open(run.opened_urls) as f:
                print("       note: the program asked to open %s" % f.read().strip())

    return run_session(run, args.keep, check_files)


if __name__ == "__main__":
    sys.exit(main())
