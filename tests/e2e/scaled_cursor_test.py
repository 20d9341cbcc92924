#!/usr/bin/python3
"""End-to-end test of the hand cursor on a scaled screen, under Xvfb.

Starts the program at scale factors 1, 1.25 and 2, puts the pointer on "Start Creating Template"
and reads the pointer's image from the X server (XFixes): the hand is drawn at the scale (32, 40
and 64 pixels) with its hot spot scaled with it.

Usage: scaled_cursor_test.py MORROWLIN_EXECUTABLE [--keep]

Exit status: 0 when every check passed, 1 when one failed, 77 when Xvfb or xdotool is missing
(the test is skipped).
"""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "package"))
import xsession  # noqa: E402  (the Xvfb, xdotool and window helpers)
from package_test import cursor_image  # noqa: E402  (the pointer's image through XFixes)
from xsession import Session  # noqa: E402

HAND = (32, 32, 5, 0)  # HAND-M.CUR: width, height, hot spot


class Run(Session):
    TOTAL = 90.0
    scale = "1"

    def env(self):
        env = super().env()
        env.pop("QT_ENABLE_HIGHDPI_SCALING", None)
        env["QT_SCALE_FACTOR"] = self.scale
        return env

    def scenario(self):
        self.start_xvfb()
        for scale in ("1", "1.25", "2"):
            self.scale = scale
            factor = float(scale)
            self.start_app()
            ids = self.wait_for(lambda: self.visible("Morrowlin"))
            self.require(len(ids) == 1, "the main window appears at scale %s" % scale)
            x, y, _, _ = self.geometry(ids[0])
            # "Start Creating Template": 120, 120 twips from the corner, 8 pixels a logical one.
            self.xdo("mousemove", x + int(60 * factor), y + int(16 * factor))
            expected = tuple(int(round(v * factor)) if i < 2 else int(v * factor)
                             for i, v in enumerate(HAND))
            shape = self.wait_for(lambda: cursor_image(self.display) == expected, timeout=5)
            self.check(shape, "at scale %s the hand is %dx%d pixels, hot spot %d,%d"
                       % ((scale,) + expected), "the pointer is %s" % (cursor_image(self.display),))
            xsession.stop_group(self.app)
            self.app.wait()
            time.sleep(0.3)


if __name__ == "__main__":
    sys.exit(xsession.main(__doc__, ("Xvfb", "xdotool"), "morrowlin-scaled-cursor-", Run))
