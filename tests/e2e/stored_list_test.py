#!/usr/bin/python3
"""End-to-end test of the stored list in a real X window under Xvfb, driven by xdotool.

Starts the real program several times over hostile settings files and ends it in several ways:
a settings file holding only its header, labels that meet the separators of the stored form typed
into "Add New", a folder where the settings file should be, and SIGTERM with an edited list and
with the Preview open. Checks the settings file, the built workbooks (with xlrd) and the
temporary folder.

Usage: stored_list_test.py MORROWLIN_EXECUTABLE [--keep]

Exit status: 0 when every check passed, 1 when one failed, 77 when Xvfb, xdotool or ImageMagick's
`import` is missing (the test is skipped).
"""

import glob
import os
import shutil
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession  # noqa: E402  (the Xvfb, xdotool and window helpers)
from xsession import ADD_NEW, FORM1_START, WAIT, Session  # noqa: E402

FORM1_PIXELS = (536, 320)  # the main window's client area, 8040 x 4800 twips
S1, S2 = "||SEP1||", "||SEP2||"
SAMPLES = [("Savings", "25000"), ("401k", "55000"), ("Stocks", "15000"), ("House", "250000"),
           ("Bonds", "11000"), ("Car", "7500")]

# Labels that meet a separator: each must come back exactly or be refused.
TRICKY = ["Car||SEP1", "Bonds||SEP2|", "x||SEP1|", "|", "||", "x|", "|x", "SEP2||x", "y||SEP2",
          "z||S", "a||SEP1||b"]


def encode(entries):
    return "".join(label + S1 + amount + S2 for label, amount in entries)


class StoredListRun(Session):
    TOTAL = 170.0

    def __init__(self, executable, root):
        super().__init__(executable, root)
        self.ini = os.path.join(self.config, "Kestrune.ini")

    # ---- the program -------------------------------------------------------------------------

    def launch(self):
        self.start_app()
        found = self.wait_for(lambda: self.visible("Morrowlin"))
        self.require(found, "the program shows a window")

    def main_window(self):
        ids = self.wait_for(lambda: [w for w in self.visible("Morrowlin")
                                     if self.geometry(w)[2:] == FORM1_PIXELS])
        self.require(len(ids) == 1, "the main window \"Morrowlin\" is shown", "windows: %s" % ids)
        self.form1 = ids[0]
        return ids[0]

    def boxes(self):
        """Message boxes: windows titled with the application title that are not the main window."""
        return [w for w in self.visible("Morrowlin") if self.geometry(w)[2:] != FORM1_PIXELS]

    def press_return(self, window):
        self.xdo("windowfocus", "--sync", window)
        time.sleep(0.2)
        self.xdo("key", "--clearmodifiers", "Return")

    def answer_prompt(self, title, text):
        ids = self.wait_for(lambda: self.visible(title))
        if len(ids) != 1:
            return False
        self.xdo("windowfocus", "--sync", ids[0])
        time.sleep(0.2)
        self.xdo("key", "--clearmodifiers", "ctrl+a")
        self.xdo("type", "--clearmodifiers", "--delay", "30", text)
        time.sleep(0.2)
        self.xdo("key", "--clearmodifiers", "Return")
        return self.wait_for(lambda: not self.visible(title), timeout=5.0)

    def reset_config(self):
        if os.path.isdir(self.ini):
            shutil.rmtree(self.ini)
        for path in glob.glob(os.path.join(glob.escape(self.config), "Kestrune.ini*")):
            os.remove(path)

    def workbook_labels(self, count):
        """(label, amount) of the first `count` entry rows (from row 4) of the one workbook in
        TEMP, read with xlrd."""
        books = self.workbooks()
        if len(books) != 1:
            return None
        import xlrd
        sheet = xlrd.open_workbook(books[0]).sheet_by_index(0)
        rows = []
        for r in range(3, min(sheet.nrows, 3 + count)):
            amount = sheet.cell_value(r, 1)
            rows.append((sheet.cell_value(r, 0),
                         str(int(amount)) if isinstance(amount, float) else amount))
        return rows

    def build(self, what):
        self.click(self.form1, FORM1_START)
        ids = self.wait_for(lambda: self.visible("Preview"))
        self.require(len(ids) == 1, what + ": \"Start Creating Template\" opens the Preview")
        self.form2 = ids[0]
        return ids[0]

    # ---- the scenarios -----------------------------------------------------------------------

    def header_only(self):
        with open(self.ini, "w") as f:
            f.write("[Morrowlin]\n")
        self.launch()
        self.main_window()
        self.check(not self.boxes(), "a header-only settings file starts without a message")
        self.close_window(self.form1)
        self.check(self.wait_exit() == 0, "closing the main window ends the program")
        self.check(self.stored() == encode(SAMPLES),
                   "the six samples are stored on close", repr(self.stored()))

    def tricky_labels(self):
        self.reset_config()
        start = [("Car", "7500")]
        with open(self.ini, "w") as f:
            f.write("[Morrowlin]\nAssets=" + encode(start) + "\n")
        self.launch()
        self.main_window()
        expected = list(start)
        for i, label in enumerate(TRICKY):
            amount = str(101 + i)
            self.click(self.form1, ADD_NEW)
            if not self.check(self.answer_prompt("Input Asset Type", label),
                              "\"%s\" is typed into the asset type prompt" % label):
                continue
            deadline = time.monotonic() + WAIT
            refused = asked = False
            while time.monotonic() < deadline and not (refused or asked):
                refused = bool(self.boxes())
                asked = bool(self.visible("Input Amount"))
                time.sleep(0.1)
            if refused:
                self.check(not self.visible("Input Amount"),
                           "\"%s\" is refused with a message, before the amount" % label)
                for box in self.boxes():
                    self.press_return(box)
                self.wait_for(lambda: not self.boxes(), timeout=5.0)
            else:
                self.check(asked and self.answer_prompt("Input Amount", amount),
                           "\"%s\" is taken and its amount %s typed" % (label, amount))
                expected.append((label, amount))
        self.check(len(expected) > 4 and len(expected) < len(TRICKY) + 1,
                   "some tricky labels are taken and some refused",
                   "taken: %s" % [e[0] for e in expected[1:]])

        self.build("first build")
        self.check(self.stored() == encode(expected),
                   "the build stores exactly the labels taken; the refused ones left the list "
                   "unchanged", "%r != %r" % (self.stored(), encode(expected)))
        self.check(self.workbook_labels(len(expected)) == expected,
                   "the first workbook holds every label taken exactly as typed",
                   repr(self.workbook_labels(len(expected))))
        self.close_window(self.form2)
        self.check(self.wait_exit() == 0, "closing the Preview ends the program")

        self.launch()
        self.main_window()
        self.check(not self.boxes(), "the restart shows no message")
        self.build("second build, after a restart")
        self.check(self.workbook_labels(len(expected)) == expected,
                   "after a restart the second workbook holds the same labels exactly",
                   repr(self.workbook_labels(len(expected))))
        self.close_window(self.form2)
        self.check(self.wait_exit() == 0, "closing the Preview ends the program again")
        self.check(not self.workbooks(), "no workbook is left in TEMP", repr(self.temp_files()))

    def folder_in_place(self):
        self.reset_config()
        os.makedirs(os.path.join(self.ini, "inside"))
        self.launch()
        boxes = self.wait_for(self.boxes)
        self.check(len(boxes) == 1, "a folder named Kestrune.ini gives a message at start")
        self.check(not [w for w in self.visible("Morrowlin") if w not in boxes],
                   "the message comes before the main window")
        for box in boxes:
            self.press_return(box)
        self.main_window()
        self.close_window(self.form1)
        boxes = self.wait_for(self.boxes)
        self.check(len(boxes) == 1, "closing says the list could not be stored")
        for box in boxes:
            self.press_return(box)
        self.check(self.wait_exit() == 0, "and the program then ends")
        self.check(os.path.isdir(os.path.join(self.ini, "inside")), "the folder is left as it was")
        shutil.rmtree(self.ini)

    def sigterm(self):
        self.reset_config()
        self.launch()
        self.main_window()
        self.click(self.form1, ADD_NEW)
        self.check(self.answer_prompt("Input Asset Type", "Signal")
                   and self.answer_prompt("Input Amount", "77"), "an entry is added")
        self.app.send_signal(signal.SIGTERM)
        code = self.wait_exit()
        self.check(code == 0, "SIGTERM ends the program as a close does", "status %s" % code)
        self.check(self.stored() == encode(SAMPLES + [("Signal", "77")]),
                   "SIGTERM stores the edited list", repr(self.stored()))

        self.launch()
        self.main_window()
        self.build("a build before SIGTERM")
        self.check(len(self.workbooks()) == 1, "the Preview's workbook is in TEMP")
        self.app.send_signal(signal.SIGTERM)
        code = self.wait_exit()
        self.check(code == 0, "SIGTERM with the Preview open ends the program",
                   "status %s" % code)
        self.check(not self.leftovers(), "and deletes the Preview's workbook",
                   repr(self.temp_files()))

    def scenario(self):
        self.start_xvfb()
        for part in (self.header_only, self.tricky_labels, self.folder_in_place, self.sigterm):
            try:
                part()
            finally:
                if self.app is not None and self.app.poll() is None:
                    os.killpg(self.app.pid, signal.SIGKILL)
                    self.app.wait(timeout=5)
                if self.app_log:
                    self.app_log.close()
                    self.app_log = None


if __name__ == "__main__":
    sys.exit(xsession.main(__doc__, ("Xvfb", "xdotool", "import"), "morrowlin-stored-list-",
                           StoredListRun))
