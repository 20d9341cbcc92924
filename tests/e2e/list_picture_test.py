#!/usr/bin/python3
"""The list's and the Preview picture's keys, menus and clipboard in a real X window under Xvfb.

On the list: Delete, Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y, Insert with its two prompts, Ctrl+C (the
clipboard's text read back with xclip), Ctrl+V of a table with a header and a refused row (one
message), the context menu's "Sort by Amount (Largest First)"; then a close and the stored list.
In the Preview of a second start: Ctrl+plus and Ctrl+minus, Ctrl+C (the picture on the clipboard),
Ctrl+Shift+S to PNG (the picture pixel for pixel), SVG and PDF (the labels as text; pdftotext
finds them), Ctrl+P (the print dialog opens).

Usage: list_picture_test.py MORROWLIN_EXECUTABLE [--keep]

Exit status: 0 when every check passed, 1 when one failed, 77 when Xvfb, xdotool, ImageMagick's
`import`, xclip or pdftotext is missing (the test is skipped).
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import FORM1_START, Session, main, read_ppm  # noqa: E402

LIST = (120, 1140, 7800, 2535)  # the list, in the main window's client area (twips)
SAMPLES = [("Savings", "25000"), ("401k", "55000"), ("Stocks", "15000"), ("House", "250000"),
           ("Bonds", "11000"), ("Car", "7500")]


def as_text(entries):
    return "".join("%s\t%s\n" % e for e in entries)


class Run(Session):
    TOOL_LOCALE = "C.UTF-8"

    def key(self, *keys):
        self.xdo("key", "--clearmodifiers", *keys)
        time.sleep(0.3)

    def clipboard(self, *target):
        result = subprocess.run(["xclip", "-o", "-selection", "clipboard"] + list(target),
                                env=self.env(), stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=10)
        return result.stdout

    def copied(self):
        self.key("ctrl+c")
        return self.clipboard().decode("utf-8", "replace")

    def answer(self, title, text=None):
        """Types `text` (when given) into the box titled `title` and presses Return."""
        boxes = self.wait_for(lambda: self.visible(title))
        self.require(len(boxes) == 1, "a box \"%s\" appears" % title)
        self.xdo("windowfocus", "--sync", boxes[0])
        if text is not None:
            self.xdo("type", "--delay", "20", text)
        self.key("Return")
        self.wait_for(lambda: not self.visible(title), timeout=5.0)
        self.refocus()

    def refocus(self):
        """Without a window manager nothing gives the focus back when a box closes."""
        window = self.form2 if self.form2 else self.form1
        self.xdo("windowfocus", "--sync", window)
        time.sleep(0.2)

    def scenario(self):
        self.start_xvfb()
        self.start_app()
        ids = self.wait_for(lambda: self.visible("Morrowlin"))
        self.require(len(ids) == 1, "the main window appears")
        self.form1 = ids[0]
        self.click(self.form1, LIST, dy=150)  # the list's empty part: focus, no row
        self.key("Down")  # the first row is current but not selected: move away and back
        self.key("Home")
        self.check(self.copied() == as_text(SAMPLES), "Ctrl+C puts the list on the clipboard "
                   "as tab-separated text", repr(self.clipboard()))
        self.key("Delete")
        self.check(self.copied() == as_text(SAMPLES[1:]), "Delete removes the selected entry")
        self.key("ctrl+z")
        self.check(self.copied() == as_text(SAMPLES), "Ctrl+Z brings it back")
        self.key("ctrl+shift+z")
        self.check(self.copied() == as_text(SAMPLES[1:]), "Ctrl+Shift+Z removes it again")
        self.key("ctrl+z")
        self.key("ctrl+y")
        self.key("ctrl+z")
        self.check(self.copied() == as_text(SAMPLES), "Ctrl+Z, Ctrl+Y, Ctrl+Z: as it was")

        self.key("Insert")
        self.answer("Input Asset Type", "Van")
        self.answer("Input Amount", "900")
        added = SAMPLES + [("Van", "900")]
        self.check(self.copied() == as_text(added), "Insert asks for an entry and appends it")

        subprocess.run(["xclip", "-i", "-selection", "clipboard"], env=self.env(),
                       input=b"Asset;Amount\r\n\"Boat; old\";5\r\nKite;abc\r\n", timeout=10)
        time.sleep(0.3)
        self.key("ctrl+v")
        message = self.wait_for(lambda: [w for w in self.visible("Morrowlin") if w != self.form1])
        self.check(len(message) == 1, "Ctrl+V tells the refused row in one message box")
        for box in message:
            self.xdo("windowfocus", "--sync", box)
            self.key("Return")
        self.refocus()
        added.append(("Boat; old", "5"))
        self.check(self.copied() == as_text(added), "and adds the accepted row")

        x, y, _, _ = self.geometry(self.form1)
        self.xdo("mousemove", x + 200, y + 200)
        self.xdo("click", 3)
        time.sleep(0.8)
        self.key("Up")  # from below: the last item, then the one above it
        self.key("Up")
        self.key("Return")
        by_amount = sorted(added, key=lambda e: -float(e[1]))
        self.check(self.copied() == as_text(by_amount),
                   "the menu's \"Sort by Amount (Largest First)\" sorts the list",
                   repr(self.clipboard()))
        self.close_window(self.form1)
        self.check(self.wait_exit() == 0, "closing the main window ends the program")
        expected = "".join("%s||SEP1||%s||SEP2||" % e for e in by_amount)
        stored = self.stored() or ""
        if len(stored) > 1 and stored[0] == stored[-1] == '"':  # the INI file quotes a ";"
            stored = stored[1:-1]
        self.check(stored == expected, "the sorted list is stored", repr(self.stored()))

        self.picture_keys()

    def picture_keys(self):
        self.start_app()
        ids = self.wait_for(lambda: self.visible("Morrowlin"))
        self.require(len(ids) == 1, "the program starts again")
        self.form1 = ids[0]
        self.click(self.form1, FORM1_START)
        ids = self.wait_for(lambda: self.visible("Preview"))
        self.require(len(ids) == 1, "the build opens the Preview")
        self.form2 = ids[0]
        self.xdo("windowfocus", "--sync", self.form2)
        first = self.settled_viewport("preview")
        box = self.drawn_box(first)
        rows = self.viewport("before-zoom")
        self.key("ctrl+plus")
        zoomed = self.drawn_box(self.settled_viewport("ctrl-plus", rows))
        self.check(zoomed and abs(zoomed[2] - box[2] * 1.25) <= 2,
                   "Ctrl+plus zooms in as \"Zoom In\" does", "%s from %s" % (zoomed, box))
        self.key("ctrl+minus")
        self.check(self.settled_viewport("ctrl-minus", None) == first,
                   "Ctrl+minus zooms back out to the first view")

        self.key("ctrl+c")
        png = os.path.join(self.root, "clipboard.png")
        with open(png, "wb") as f:
            f.write(self.clipboard("-t", "image/png"))
        copied = self.pixels(png)
        # The picture at 100 % sits at the viewport's top-left corner.
        picture = [row[:len(copied[0])] for row in first[:len(copied)]] if copied else None
        self.check(copied is not None and copied == picture,
                   "Ctrl+C puts the picture on the clipboard, as shown at 100 %")

        for ending in ("png", "svg", "pdf"):
            path = os.path.join(self.root, "picture." + ending)
            self.key("ctrl+shift+s")
            self.answer("Save Picture As", path)
            self.check(self.wait_for(lambda: os.path.isfile(path), timeout=5.0),
                       "Ctrl+Shift+S saves picture." + ending)
        self.check(self.pixels(os.path.join(self.root, "picture.png")) == picture,
                   "the PNG is the picture, pixel for pixel")
        with open(os.path.join(self.root, "picture.svg"), encoding="utf-8") as f:
            svg = f.read()
        labels = ["Asset Type"] + [label for label, _ in SAMPLES]
        self.check(all(">%s<" % label in svg for label in labels), "the SVG holds the labels "
                   "as text")
        text = subprocess.run(["pdftotext", os.path.join(self.root, "picture.pdf"), "-"],
                              stdout=subprocess.PIPE, timeout=20).stdout.decode()
        self.check(all(label in text for label in labels), "pdftotext finds the labels in the "
                   "PDF", repr(text))

        self.key("ctrl+p")
        dialogs = self.wait_for(lambda: self.visible("Print"), timeout=8.0)
        self.check(len(dialogs) == 1, "Ctrl+P opens the print dialog")
        for dialog in dialogs:
            self.xdo("windowfocus", "--sync", dialog)
            self.key("Escape")
        self.refocus()
        self.chart_commands(first)
        self.close_window(self.form2)
        self.check(self.wait_exit() == 0, "closing the Preview ends the program")

    def menu_command(self, steps):
        """Opens the picture's context menu and runs the item `steps` items down (separators
        are skipped)."""
        x, y, _, _ = self.viewport_rect()
        # A place of its own for each item: "mousemove --sync" waits for the pointer to move.
        self.xdo("mousemove", "--sync", str(x + 20 + 3 * steps), str(y + 20 + 3 * steps))
        self.xdo("click", "3")
        time.sleep(0.5)
        self.key(*(["Down"] * steps + ["Return"]))

    def chart_commands(self, first):
        """The menu's chart items: the sheet with its chart, the used range again, and the
        chart alone saved as SVG."""
        fills = [bytes(c) for c in ((0, 69, 134), (255, 66, 14), (255, 211, 32),
                                    (87, 157, 28), (126, 0, 33), (131, 202, 255))]

        def slices(rows):
            return {f for row in rows for i in range(0, len(row), 3) for f in fills
                    if row[i:i + 3] == f}

        self.menu_command(4)  # after Copy Picture, Save Picture As..., Print...
        sheet = self.settled_viewport("sheet-with-chart", first)
        self.check(sheet != first and len(slices(sheet)) >= 3,
                   "\"Show Sheet With Chart\" shows the pie over the cells",
                   "%d slice colours seen" % len(slices(sheet)))
        self.menu_command(5)
        self.check(self.settled_viewport("used-range-again", sheet) == first,
                   "\"Show Used Range\" shows the used range again as at first")
        path = os.path.join(self.root, "chart.svg")
        self.menu_command(6)
        self.answer("Save Chart Picture As", path)
        self.check(self.wait_for(lambda: os.path.isfile(path), timeout=5.0),
                   "\"Save Chart Picture As...\" saves chart.svg")
        if os.path.isfile(path):
            with open(path, encoding="utf-8") as f:
                svg = f.read()
            self.check("<svg" in svg and "My Assets" in svg and "House" in svg,
                       "the chart's SVG holds its title and labels as text")

    def pixels(self, png):
        ppm = png + ".ppm"
        subprocess.run(["convert", png, "-depth", "8", "ppm:" + ppm], check=False, timeout=20)
        shot = read_ppm(ppm) if os.path.isfile(ppm) else None
        if shot is None:
            return None
        width, height, rgb = shot
        return [rgb[r * width * 3:(r + 1) * width * 3] for r in range(height)]


if __name__ == "__main__":
    sys.exit(main(__doc__, ("Xvfb", "xdotool", "import", "convert", "xclip", "pdftotext"),
                  "morrowlin-keys-", Run))
