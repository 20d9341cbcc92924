#!/usr/bin/python3
"""What a screen reader is told: the program's accessible tree over AT-SPI, under Xvfb.

Starts the program in its own X server with a private D-Bus session and accessibility bus, and
reads its tree with pyatspi (atspi_dump.py) as a screen reader does. The main window: a window
with the list and every button named by its caption; the list read row by row, each cell with
its column's name ("Label: Savings"), its columns headed "Label" and "Number (Value)". The build
is started with the button's action; the Preview: a window; its picture an image named by what it
shows, described with its size and zoom, the same size it has on the screen; the scroll bars and
the zoom frame named and described; the buttons named by their captions. "Zoom In" pressed over
AT-SPI: the picture's description then tells the new zoom and its size on the screen follows.

Usage: atspi_test.py MORROWLIN_EXECUTABLE [--keep]

Exit status: 0 when every check passed, 1 when one failed, 77 when Xvfb, D-Bus, AT-SPI or pyatspi
is missing (the test is skipped).
"""

import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi  # noqa: E402  (the private session bus and the AT-SPI reader)
import xsession  # noqa: E402  (the Xvfb, folders and the PASS/FAIL report)
from xsession import SKIP, WAIT, Session  # noqa: E402

FORM1_BUTTONS = ["Start Creating Template", "Help", "Load Sample/Example Data", "Add New",
                 "Delete Selected Entry", "Edit Selected Entry", "Clear List"]
FORM2_BUTTONS = ["Zoom In", "Zoom Out", "< Back", "Save Results To Excel File"]
# The list a first start shows (the sample data), as a screen reader reads its rows.
SAMPLE_ROWS = [["Label: " + label, "Number (Value): " + amount]
               for label, amount in [("Savings", "25000"), ("401k", "55000"), ("Stocks", "15000"),
                                     ("House", "250000"), ("Bonds", "11000"), ("Car", "7500")]]
# "Picture of ..., 205 x 340 pixels, shown at 100 % zoom."
SIZE_AND_ZOOM = re.compile(r", (\d+) x (\d+) pixels, shown at (\d+) % zoom\.")


class Run(Session):
    TOTAL = 120.0

    def __init__(self, executable, root):
        super().__init__(executable, root)
        self.bus = None
        self.bus_address = None

    def env(self):
        env = super().env()
        return atspi.accessibility_env(env, self.bus_address) if self.bus_address else env

    def described(self, objects, role, name, what):
        found = atspi.named(objects, role, name)
        self.check(found is not None and found["description"] != "",
                   "%s: a %s named %r with a description" % (what, role, name),
                   "found %s" % ({k: found[k] for k in ("role", "name", "description")}
                                 if found else [(o["role"], o["name"]) for o in objects]))
        return found

    def picture(self, objects):
        pictures = [o for o in objects if o["name"].startswith("Picture of ")]
        return pictures[0] if len(pictures) == 1 else None

    def scenario(self):
        self.start_xvfb()
        self.bus, self.bus_address = atspi.start_session_bus()
        self.require(self.bus_address is not None, "a private D-Bus session started")
        self.start_app()

        objects, complaint = atspi.dump(self.env(), window="Morrowlin", wait=WAIT)
        self.require(objects is not None, "the program is on the accessibility bus",
                     complaint or "")
        form1 = atspi.window(objects, "Morrowlin")
        self.check(form1[0]["role"] == "frame", "the main window is a window (frame)",
                   "role %r" % form1[0]["role"])
        buttons = [o["name"] for o in form1 if o["role"] == "push button"]
        self.check(sorted(buttons) == sorted(FORM1_BUTTONS),
                   "the main window's buttons are named by their captions", "%s" % buttons)
        tables = [o for o in form1 if "cells" in o]
        self.require(len(tables) == 1, "the main window has one list", "%s" % tables)
        table = tables[0]
        self.check(table["name"] == "Assets" and table["description"] != "",
                   "the list is named \"Assets\" and described",
                   "%r, %r" % (table["name"], table["description"]))
        self.check(table["columns"] == ["Label", "Number (Value)"],
                   "the list's columns are headed \"Label\" and \"Number (Value)\"",
                   "%s" % table["columns"])
        self.check(table["cells"] == SAMPLE_ROWS,
                   "every row is read with its column names", "%s" % table["cells"])

        objects, complaint = atspi.dump(self.env(), press="push button:Start Creating Template",
                                        wait=WAIT)
        self.require(objects is not None, "\"Start Creating Template\" pressed over AT-SPI",
                     complaint or "")
        objects, complaint = atspi.dump(self.env(), window="Preview", wait=WAIT)
        self.require(objects is not None, "the build opens the Preview", complaint or "")
        form2 = atspi.window(objects, "Preview")
        self.check(form2[0]["role"] == "frame", "the Preview is a window (frame)",
                   "role %r" % form2[0]["role"])
        buttons = [o["name"] for o in form2 if o["role"] == "push button"]
        self.check(sorted(buttons) == sorted(FORM2_BUTTONS),
                   "the Preview's buttons are named by their captions", "%s" % buttons)
        self.described(form2, "scroll bar", "Scroll the picture sideways", "the horizontal bar")
        self.described(form2, "scroll bar", "Scroll the picture up and down", "the vertical bar")
        self.described(form2, "panel", "Zoom", "the zoom frame")
        self.described(form2, "panel", "Picture area", "the picture's area")

        picture = self.picture(form2)
        self.require(picture is not None, "one picture object in the Preview",
                     "%s" % [(o["role"], o["name"]) for o in form2])
        self.check(picture["role"] == "image" and
                   picture["name"] == 'Picture of the cells A3:B19 of the sheet "Assets"',
                   "the picture is an image named by what it shows",
                   "%r %r" % (picture["role"], picture["name"]))
        size = SIZE_AND_ZOOM.search(picture["description"])
        self.require(size is not None, "the picture's description tells its size and zoom",
                     picture["description"][:200])
        width, height, zoom = (int(v) for v in size.groups())
        self.check(zoom == 100 and picture["extents"][2:] == [width, height],
                   "at 100 %% zoom it is %d x %d pixels on the screen too" % (width, height),
                   "zoom %d, extents %s" % (zoom, picture["extents"]))
        self.check("Savings: $25,000" in picture["description"]
                   and "Total: $363,500 in 6 entries." in picture["description"],
                   "the description reads the entries and the total",
                   picture["description"][:300])

        atspi.dump(self.env(), press="push button:Zoom In", wait=WAIT)

        def zoomed():
            objects, _ = atspi.dump(self.env(), window="Preview", wait=WAIT)
            found = self.picture(objects or [])
            match = SIZE_AND_ZOOM.search(found["description"]) if found else None
            return (found, match) if match and match.group(3) != "100" else None

        after = self.wait_for(zoomed, timeout=10)
        self.require(after is not None, "after \"Zoom In\" the description tells a new zoom")
        found, match = after
        self.check(match.group(3) == "125" and [int(match.group(1)), int(match.group(2))] ==
                   [width, height],
                   "after \"Zoom In\" it says 125 % zoom, the picture's own size unchanged",
                   found["description"][:120])
        self.check(found["extents"][2:] == [round(width * 1.25), round(height * 1.25)],
                   "and on the screen it is 1.25 times as large",
                   "extents %s" % found["extents"])

        os.kill(self.app.pid, 15)
        status = self.wait_exit()
        self.check(status == 0, "SIGTERM ends the program with status 0", "status %s" % status)

    def stop(self):
        super().stop()
        xsession.stop_group(self.bus)


def main():
    args = xsession.arguments(__doc__).parse_args()
    status = xsession.missing_tools(["Xvfb"], args.executable)
    if status is not None:
        return status
    lacking = atspi.missing()
    if lacking:
        print("SKIP: " + lacking)
        return SKIP
    root = tempfile.mkdtemp(prefix="morrowlin-atspi-")
    return xsession.run_session(Run(os.path.abspath(args.executable), root), args.keep)


if __name__ == "__main__":
    sys.exit(main())
