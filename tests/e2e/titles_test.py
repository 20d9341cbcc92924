#!/usr/bin/python3
"""Window titles as the X server holds them, in a real X window under Xvfb, driven by xdotool.

Every window the program opens carries exactly the title it is given, with nothing appended:
the main window "Morrowlin", an error report "Application Error", the input prompts "Input Asset
Type", "Input Amount", "Input New Asset Type" and "Input New Amount", a message box without a title
of its own "Morrowlin", the Preview "Preview" and the save dialog "Save File". Both properties a
window manager reads are checked with xprop: _NET_WM_NAME and WM_NAME.

The program starts with a stored label of 100 KB that has no amount: the error report that names
it opens at once and fits on the screen.

Usage: titles_test.py MORROWLIN_EXECUTABLE [--keep]

Exit status: 0 when every check passed, 1 when one failed, 77 when Xvfb, xdotool or xprop is
missing (the test is skipped).
"""

import os
import re
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession  # noqa: E402  (the X server and xdotool helpers)
from xsession import ADD_NEW, FORM1_START, SAVE, SCREEN, Session  # noqa: E402

# Design places in twips (left, top, width, height) in each window's client area; the places
# the other tests share are in xsession.
LIST = (120, 1140, 7800, 2535)
SAMPLES = (4080, 630, 3840, 405)
HELP = (120, 630, 3840, 405)
EDIT = (120, 4290, 3840, 405)

LONG_LABEL = "Head" + "m" * 100000 + "Tail"


class Run(Session):
    SHOW_DISPLAY = False
    TOOL_LOCALE = "C.UTF-8"  # xprop writes UTF-8 names as they are, not as "?"

    def __init__(self, executable, root):
        super().__init__(executable, root)
        self.opener = "#!/bin/sh\nexit 0\n"

    def start_app(self):
        # The stored list: one label of 100 KB without its amount.
        with open(os.path.join(self.config, "Kestrune.ini"), "w", encoding="utf-8") as f:
            f.write("[Morrowlin]\nAssets=%s||SEP2||\n" % LONG_LABEL)
        super().start_app()

    # ---- the X server ------------------------------------------------------------------------

    def titles(self, window):
        """The window's _NET_WM_NAME and WM_NAME as the X server holds them (None if absent)."""
        _, out = self.tool("xprop", "-id", window, "-notype", "_NET_WM_NAME", "WM_NAME")
        found = {}
        for line in out.splitlines():
            match = re.fullmatch(r'(_NET_WM_NAME|WM_NAME) = "(.*)"', line.strip())
            if match:
                found[match.group(1)] = match.group(2).replace('\\"', '"')
        return found.get("_NET_WM_NAME"), found.get("WM_NAME")

    def named_windows(self):
        """Ids of the mapped windows that have a name."""
        _, out = self.xdo("search", "--onlyvisible", "--name", ".")
        return [int(w) for w in out.split()]

    def windows_titled(self, title):
        """Mapped windows whose title starts with `title` (so an appended name is still found)."""
        return [w for w in self.named_windows() if (self.titles(w)[0] or "").startswith(title)
                or (self.titles(w)[1] or "").startswith(title)]

    def key_into(self, window, *keys, text=None):
        self.xdo("windowfocus", "--sync", window)
        time.sleep(0.2)
        if text is not None:
            self.xdo("type", "--delay", "20", text)
        for key in keys:
            self.xdo("key", "--clearmodifiers", key)

    # ---- the checks --------------------------------------------------------------------------

    def expect_window(self, title, known=()):
        """Waits for a new window titled `title` and checks both of its names are exactly it."""
        ids = self.wait_for(lambda: [w for w in self.windows_titled(title) if w not in known])
        self.require(len(ids) == 1, "a window \"%s\" appears" % title, "windows: %s" % ids)
        window = ids[0]
        net_name, name = self.titles(window)
        self.check(net_name == title, "its _NET_WM_NAME is exactly \"%s\"" % title,
                   "it is %r" % net_name)
        self.check(name == title, "its WM_NAME is exactly \"%s\"" % title, "it is %r" % name)
        return window

    def closes(self, window, what):
        self.check(self.wait_for(lambda: window not in self.named_windows()), what + " closes")

    def scenario(self):
        self.start_xvfb()
        self.start_app()
        started = time.monotonic()

        # The stored 100 KB label without an amount gives an error report before the main
        # window shows; the box quotes only the label's head and tail.
        report = self.expect_window("Application Error")
        seconds = time.monotonic() - started
        self.check(seconds < 10.0, "the error report naming the huge label opens at once",
                   "it took %.1f s" % seconds)
        x, y, w, h = self.geometry(report)
        self.check(w <= SCREEN[0] and h <= SCREEN[1] // 2,
                   "the error report fits on the screen", "it is %dx%d" % (w, h))
        self.key_into(report, "Return")
        self.closes(report, "the error report")

        form1 = self.expect_window("Morrowlin")
        known = {form1}

        # A message box without a title of its own carries the application title.
        self.click(form1, HELP)
        box = self.expect_window("Morrowlin", known)
        self.key_into(box, "Return")
        self.closes(box, "the Help message")

        # The samples replace the huge label; then "Add New" asks twice.
        self.click(form1, SAMPLES)
        time.sleep(0.3)
        self.click(form1, ADD_NEW)
        prompt = self.expect_window("Input Asset Type")
        self.key_into(prompt, "Return", text="Car")
        self.closes(prompt, "the label prompt")
        prompt = self.expect_window("Input Amount")
        self.key_into(prompt, "Return", text="$5,000")
        self.closes(prompt, "the amount prompt")

        # "Edit Selected Entry" on a row: 70 pixels below the list's top lies below its header
        # and within its seven rows whatever the font's size.
        self.click(form1, LIST, dy=70)
        time.sleep(0.2)
        self.click(form1, EDIT)
        prompt = self.expect_window("Input New Asset Type")
        self.key_into(prompt, "Return")
        self.closes(prompt, "the new label prompt")
        prompt = self.expect_window("Input New Amount")
        self.key_into(prompt, "Return")
        self.closes(prompt, "the new amount prompt")

        # The Preview and its save dialog; cancelling the dialog still says "Done.".
        self.click(form1, FORM1_START)
        form2 = self.expect_window("Preview")
        known.add(form2)
        self.click(form2, SAVE)
        dialog = self.expect_window("Save File")
        self.key_into(dialog, "Escape")
        self.closes(dialog, "the save dialog")
        done = self.expect_window("Morrowlin", known)
        self.key_into(done, "Return")
        self.closes(done, "the \"Done.\" message")

        self.check(not self.windows_titled("Application Error"), "no error report came on the way")
        os.killpg(self.app.pid, signal.SIGTERM)
        self.wait_exit()
        with open(os.path.join(self.config, "Kestrune.ini"), encoding="utf-8") as f:
            stored = f.read()
        self.check("Car||SEP1||$5,000||SEP2||" in stored,
                   "the amount \"$5,000\" was taken and stored with its label",
                   "stored: %r" % stored[:300])


if __name__ == "__main__":
    sys.exit(xsession.main(__doc__, ("Xvfb", "xdotool", "xprop"), "morrowlin-titles-", Run,
                           check_program=False))
