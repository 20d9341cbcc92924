#!/usr/bin/python3
"""End-to-end test of one copy per user and of the clipboard around a build, under Xvfb.

Starts the program, puts a text on the clipboard with xclip, starts the program a second time
(it must end at once, with status 0, leaving one main window and the stored list untouched),
builds the chart and reads the clipboard back with xclip: the text must be there again. Then
closes the Preview and checks the list the first copy stored.

Usage: second_copy_test.py MORROWLIN_EXECUTABLE [--keep]

Exit status: 0 when every check passed, 1 when one failed, 77 when Xvfb, xdotool or xclip is
missing (the test is skipped).
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession  # noqa: E402  (the Xvfb, xdotool and window helpers)
from xsession import FORM1_START, WAIT, Session  # noqa: E402

FORM1_PIXELS = (536, 320)  # the main window's client area, 8040 x 4800 twips
SAMPLES = [("Savings", "25000"), ("401k", "55000"), ("Stocks", "15000"), ("House", "250000"),
           ("Bonds", "11000"), ("Car", "7500")]
COPIED = "DE89 3704 0044 0532 0130 00"  # what the user had copied: an account number


class Run(Session):
    TOTAL = 120.0

    def main_windows(self):
        return [w for w in self.visible("Morrowlin") if self.geometry(w)[2:] == FORM1_PIXELS]

    def clipboard(self):
        status, out = self.tool("xclip", "-selection", "clipboard", "-o")
        return out if status == 0 else None

    def scenario(self):
        self.start_xvfb()
        self.start_app()
        ids = self.wait_for(self.main_windows)
        self.require(len(ids) == 1, "the main window \"Morrowlin\" appears", "windows: %s" % ids)
        self.form1 = ids[0]

        # xclip keeps serving the text in the background until another program takes the
        # clipboard; it is stopped with the X server.
        subprocess.run(["xclip", "-selection", "clipboard", "-i"], input=COPIED.encode(),
                       env=self.env(), timeout=10, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.require(self.wait_for(lambda: self.clipboard() == COPIED, timeout=5),
                     "xclip put a text on the clipboard")

        ini = os.path.join(self.config, "Kestrune.ini")
        before = os.stat(ini).st_mtime_ns if os.path.exists(ini) else None
        with open(os.path.join(self.root, "second.log"), "w") as log:
            second = subprocess.Popen([self.executable], env=self.env(), cwd=self.root,
                                      stdout=log, stderr=subprocess.STDOUT)
            try:
                code = second.wait(timeout=WAIT)
            except subprocess.TimeoutExpired:
                second.kill()
                code = None
        self.check(code == 0, "a second start ends at once with status 0", "status %s" % code)
        time.sleep(1.0)
        self.check(self.main_windows() == [self.form1],
                   "one main window stays: the first copy's", "windows: %s" % self.main_windows())
        after = os.stat(ini).st_mtime_ns if os.path.exists(ini) else None
        self.check(after == before, "the second start left the settings file alone")

        self.click(self.form1, FORM1_START)
        ids = self.wait_for(lambda: self.visible("Preview"))
        self.require(len(ids) == 1, "\"Start Creating Template\" opens the Preview window")
        self.form2 = ids[0]
        self.check(self.wait_for(lambda: self.clipboard() == COPIED, timeout=5),
                   "the text copied before the build is on the clipboard after it",
                   "the clipboard holds %r" % (self.clipboard() or "")[:80])

        self.close_window(self.form2)
        code = self.wait_exit()
        self.check(code == 0, "closing the Preview ends the program", "status %s" % code)
        stored = "".join(label + "||SEP1||" + amount + "||SEP2||" for label, amount in SAMPLES)
        self.check(self.stored() == stored, "the first copy's list is stored intact",
                   "stored: %s" % self.stored())


if __name__ == "__main__":
    sys.exit(xsession.main(__doc__, ("Xvfb", "xdotool", "xclip"), "morrowlin-second-copy-", Run))
