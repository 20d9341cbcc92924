#!/usr/bin/python3
"""End-to-end test of the Preview's zoom, scroll bars, wheel and dragging on a tall picture.

Starts Morrowlin in a real X window under Xvfb with forty stored entries, builds, and measures on
screenshots what the user sees: "Zoom Out" makes the picture 0.75 times as wide, an arrow click on
the vertical bar moves it by one sheet row (20 pixels), a notch of the wheel by three rows, and a
drag moves it along the axis where it is larger than the viewport only.

Usage: preview_scroll_test.py MORROWLIN_EXECUTABLE [--keep]

Exit status: 0 when every check passed, 1 when one failed, 77 when Xvfb, xdotool or ImageMagick's
`import` is missing (the test is skipped).
"""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession  # noqa: E402  (the X server, xdotool and screenshot helpers)
from xsession import FORM1_START, FRAME1, TWIPS_PER_PIXEL, ZOOM_IN, ZOOM_OUT, Session  # noqa: E402

ENTRIES = 40
ROW_PIXELS = 20  # one row of the sheet at 96 dots per inch
WHEEL_LINES = 3  # Qt's wheel lines a notch where no desktop sets them
VSCROLL1 = (9450, 120, 255, 7425)  # twips, in the Preview's client area


def shift_between(before, after, most=120):
    """How far the picture moved up between two viewports (rows of pixels): the s for which
    after[y] == before[y + s] on every row both show, or None when no such shift exists."""
    height = len(before)
    for s in range(0, most + 1):
        if height - s < height // 2:
            break
        if after[:height - s] == before[s:]:
            return s
    return None


class ScrollRun(Session):
    def store_entries(self):
        text = "".join("Asset %d||SEP1||%d||SEP2||" % (i, 1000 * i + i)
                       for i in range(1, ENTRIES + 1))
        with open(os.path.join(self.config, "Kestrune.ini"), "w", encoding="utf-8") as f:
            f.write("[Morrowlin]\nAssets=%s\n" % text)

    def vscroll_arrow(self, down):
        """The screen point of the vertical bar's arrow (lower one when `down`)."""
        x, y, _, _ = self.geometry(self.form2)
        left, top, width, height = VSCROLL1
        px = x + round((left + width / 2) / TWIPS_PER_PIXEL)
        inset = round(width / 2 / TWIPS_PER_PIXEL)  # the arrow buttons are as tall as the bar
        edge = (top + height) if down else top
        py = y + round(edge / TWIPS_PER_PIXEL) + (-inset if down else inset)
        return px, py

    def moved_by(self, name, before, act):
        """Carries out `act`, then returns how far the picture moved up (pixels) or None."""
        act()
        after = self.settled_viewport(name, before)
        return shift_between(before, after), after

    def scenario(self):
        self.store_entries()
        self.start_xvfb()
        self.start_app()
        ids = self.wait_for(lambda: self.visible("Morrowlin"))
        self.require(len(ids) == 1, "the main window appears", "windows: %s" % ids)
        self.form1 = ids[0]
        self.click(self.form1, FORM1_START)
        ids = self.wait_for(lambda: self.visible("Preview"))
        self.require(len(ids) == 1, "a build of %d entries opens the Preview window" % ENTRIES)
        self.form2 = ids[0]

        first = self.settled_viewport("preview")
        vx, vy, vw, vh = self.viewport_rect()
        full = self.drawn_box(first)
        self.require(full is not None and full[0] <= 2 and full[1] <= 2 and full[2] > 100,
                     "the picture shows at the viewport's top-left corner", "box %s" % (full,))
        self.require(full[3] >= vh - 2 and full[2] < vw - 20,
                     "the picture of %d entries is taller than the viewport and narrower"
                     % ENTRIES, "drawn box %s in a viewport of %dx%d" % (full, vw, vh))

        # Zoom: one step out and back.
        rows = self.after_click("zoom-out", first, self.form2, ZOOM_OUT, FRAME1)
        box = self.drawn_box(rows)
        print("       drawn box at 100%%: %s; after one Zoom Out: %s" % (full, box), flush=True)
        self.check(box is not None and abs(box[2] - full[2] * 0.75) <= 2,
                   "Zoom Out makes the picture 0.75 times as wide",
                   "drawn box %s, at 100%% %s" % (box, full))
        rows = self.after_click("zoom-in", rows, self.form2, ZOOM_IN, FRAME1)
        self.require(rows == first, "Zoom In brings back the first view exactly")

        # Scroll bar: one arrow click down moves one sheet row; one up brings it back.
        shift, rows = self.moved_by("arrow-down", first,
                                    lambda: self.xdo_click(self.vscroll_arrow(True)))
        self.check(shift == ROW_PIXELS,
                   "an arrow click on the vertical bar moves the picture up %d pixels"
                   % ROW_PIXELS, "moved %s" % shift)
        self.xdo_click(self.vscroll_arrow(False))
        back = self.settled_viewport("arrow-up", rows)
        self.check(back == first, "an arrow click up brings it back",
                   "%.4f of the viewport's pixels as first" % self.same_pixels(back, first))

        # Wheel: one notch towards the user scrolls down three rows; with Shift nothing moves,
        # the picture being narrower than the viewport.
        grab = (vx + full[2] // 2, vy + vh // 2)
        self.xdo("mousemove", *grab)
        time.sleep(0.1)
        shift, rows = self.moved_by("wheel-down", first, lambda: self.xdo("click", 5))
        self.check(shift == WHEEL_LINES * ROW_PIXELS,
                   "a notch of the wheel over the picture moves it %d pixels"
                   % (WHEEL_LINES * ROW_PIXELS), "moved %s" % shift)
        self.xdo("click", 4)
        back = self.settled_viewport("wheel-up", rows)
        self.check(back == first, "a notch back brings it back",
                   "%.4f of the viewport's pixels as first" % self.same_pixels(back, first))
        self.xdo("keydown", "shift")
        self.xdo("click", 5)
        self.xdo("keyup", "shift")
        time.sleep(0.5)
        self.check(self.viewport("wheel-shift") == first,
                   "with Shift the wheel scrolls sideways: nothing to scroll on this picture")

        # Drag: up and left by 30 pixels moves the tall picture up only (the release puts it on
        # the bar's grid, within a few pixels), never sideways.
        self.drag(grab, (grab[0] - 30, grab[1] - 30))
        dragged = self.settled_viewport("dragged", first)
        shift = shift_between(first, dragged)
        self.check(shift is not None and 20 <= shift <= 40,
                   "dragging up and left moves the tall picture up, not sideways",
                   "moved up %s" % shift)
        self.drag(grab, (grab[0] + 30, grab[1] + vh))
        self.check(self.wait_for(lambda: self.viewport("dragged-back") == first, timeout=5.0),
                   "dragging down brings it back to the top")

        self.close_window(self.form2)
        code = self.wait_exit()
        self.check(code == 0, "closing the Preview ends the program", "status %s" % code)

    def xdo_click(self, point):
        self.xdo("mousemove", *point)
        time.sleep(0.1)
        self.xdo("click", 1)


if __name__ == "__main__":
    sys.exit(xsession.main(__doc__, ("Xvfb", "xdotool", "import"), "morrowlin-scroll-",
                           ScrollRun))
