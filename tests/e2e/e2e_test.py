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

import argparse
import configparser
import ctypes
import ctypes.util
import glob
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
TWIPS_PER_PIXEL = 15.0  # at 96 DPI, which the Xvfb screen is given

# Design places in twips (left, top, width, height), relative to each window's client area.
FORM1_SIZE = (8040, 4800)
FORM1_START = (120, 120, 7800, 405)
FORM2_SIZE = (9840, 9390)
FORM2_VIEWPORT = (120, 120, 9330, 7425)
FRAME1 = (120, 7860)
ZOOM_IN = (240, 300, 4440, 405)  # inside Frame1
ZOOM_OUT = (4800, 300, 4560, 405)  # inside Frame1
BACK = (120, 8850, 4680, 405)
SAVE = (4920, 8850, 4800, 405)

SAMPLES = [("Savings", 25000), ("401k", 55000), ("Stocks", 15000), ("House", 250000),
           ("Bonds", 11000), ("Car", 7500)]
ACCOUNTING = '_($* #,##0_);_($* (#,##0);_($* "-"??_);_(@_)'

WAIT = 15.0  # the longest any single wait for a window or a file may take
TOTAL = 150.0  # the whole run, kept below CTest's timeout


class Abort(Exception):
    """A step could not be carried out; the remaining steps make no sense."""


class Run:
    def __init__(self, executable, root, preview_shot):
        self.executable = executable
        self.root = root
        self.preview_shot = preview_shot
        self.config = os.path.join(root, "config")
        self.temp = os.path.join(root, "temp")
        self.shots = os.path.join(root, "shots")
        self.saved_dir = os.path.join(root, "saved results")
        self.saved = os.path.join(self.saved_dir, "My Assets.xls")
        self.fakebin = os.path.join(root, "bin")
        self.runtime = os.path.join(root, "runtime")
        for d in (self.config, self.temp, self.shots, self.saved_dir, self.fakebin):
            os.makedirs(d)
        os.makedirs(self.runtime, mode=0o700)
        self.opened_urls = os.path.join(root, "opened-urls.txt")
        self.deadline = time.monotonic() + TOTAL
        self.xvfb = None
        self.app = None
        self.app_log = None
        self.display = None
        self.passed = 0
        self.failed = 0
        self.shot_count = 0
        self.form1 = None
        self.form2 = None

    # ---- reporting ---------------------------------------------------------------------------

    def check(self, ok, what, detail=""):
        if ok:
            self.passed += 1
            print("PASS: " + what, flush=True)
        else:
            self.failed += 1
            print("FAIL: " + what + (" (" + detail + ")" if detail else ""), flush=True)
        return ok

    def require(self, ok, what, detail=""):
        if not self.check(ok, what, detail):
            raise Abort(what)

    # ---- processes ---------------------------------------------------------------------------

    def remaining(self):
        left = self.deadline - time.monotonic()
        if left <= 0:
            raise Abort("the test ran out of its %d s" % TOTAL)
        return left

    def env(self):
        env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORMTHEME", "QT_SCALE_FACTOR",
                     "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "SESSION_MANAGER"):
            env.pop(name, None)
        env.update({
            "DISPLAY": self.display,
            "QT_QPA_PLATFORM": "xcb",
            "QT_ENABLE_HIGHDPI_SCALING": "0",
            "QT_AUTO_SCREEN_SCALE_FACTOR": "0",
            "XDG_CONFIG_HOME": self.config,
            "XDG_RUNTIME_DIR": self.runtime,
            "TEMP": self.temp,
            # The program opens its maker's web site on one start in a hundred; here that only
            # leaves a line in a file.
            "PATH": self.fakebin + os.pathsep + env.get("PATH", "/usr/bin:/bin"),
            "BROWSER": os.path.join(self.fakebin, "xdg-open"),
        })
        return env

    def start_xvfb(self):
        read_end, write_end = os.pipe()
        try:
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-dpi", "96",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                start_new_session=True)
            os.close(write_end)
            write_end = None
            number = b""
            end = time.monotonic() + WAIT
            while not number.endswith(b"\n"):
                ready, _, _ = select.select([read_end], [], [], max(0.0, end - time.monotonic()))
                if not ready:
                    break
                chunk = os.read(read_end, 64)
                if not chunk:
                    break
                number += chunk
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)
        self.require(number.strip().isdigit(), "Xvfb started on a free display",
                     "no display number within %d s" % WAIT)
        self.display = ":" + number.strip().decode()
        print("       display " + self.display, flush=True)

    def start_app(self):
        with open(os.path.join(self.fakebin, "xdg-open"), "w") as f:
            f.write('#!/bin/sh\necho "$@" >> "%s"\n' % self.opened_urls)
        os.chmod(os.path.join(self.fakebin, "xdg-open"), 0o755)
        self.app_log = open(os.path.join(self.root, "morrowlin.log"), "w")
        self.app = subprocess.Popen([self.executable], env=self.env(), cwd=self.root,
                                    stdout=self.app_log, stderr=subprocess.STDOUT,
                                    start_new_session=True)

    def stop(self):
        for proc in (self.app, self.xvfb):
            if proc is None or proc.poll() is not None:
                continue
            try:
                os.killpg(proc.pid, signal.SIGTERM)
                proc.wait(timeout=5)
            except (ProcessLookupError, subprocess.TimeoutExpired):
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                    proc.wait(timeout=5)
                except (ProcessLookupError, subprocess.TimeoutExpired):
                    pass
        if self.app_log:
            self.app_log.close()

    # ---- xdotool -----------------------------------------------------------------------------

    def xdo(self, *args):
        result = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env(),
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                timeout=min(10.0, self.remaining()), text=True)
        return result.returncode, result.stdout

    def visible(self, title):
        """Ids of the mapped top-level windows whose title is exactly `title`."""
        _, out = self.xdo("search", "--onlyvisible", "--name", "^" + re.escape(title) + "$")
        return [int(w) for w in out.split()]

    def wait_for(self, predicate, timeout=WAIT):
        end = time.monotonic() + min(timeout, self.remaining())
        while True:
            value = predicate()
            if value or time.monotonic() >= end:
                return value
            time.sleep(0.1)

    def geometry(self, window):
        _, out = self.xdo("getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def click(self, window, rect, origin=(0, 0)):
        """Clicks the middle of `rect` (twips, relative to `origin` in the window's client area)."""
        x, y, _, _ = self.geometry(window)
        left, top, width, height = rect
        px = x + round((origin[0] + left + width / 2) / TWIPS_PER_PIXEL)
        py = y + round((origin[1] + top + height / 2) / TWIPS_PER_PIXEL)
        self.xdo("mousemove", px, py)
        time.sleep(0.1)
        self.xdo("click", 1)

    def drag(self, start, end, steps=10):
        self.xdo("mousemove", *start)
        time.sleep(0.1)
        self.xdo("mousedown", 1)
        time.sleep(0.1)
        for i in range(1, steps + 1):
            x = start[0] + (end[0] - start[0]) * i // steps
            y = start[1] + (end[1] - start[1]) * i // steps
            self.xdo("mousemove", x, y)
            time.sleep(0.03)
        time.sleep(0.1)
        self.xdo("mouseup", 1)

    def close_window(self, window):
        """Asks the window to close as a window manager does (WM_DELETE_WINDOW)."""
        x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                   ctypes.c_void_p]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

        class ClientMessage(ctypes.Structure):
            _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                        ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                        ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                        ("format", ctypes.c_int), ("data", ctypes.c_long * 5),
                        ("pad", ctypes.c_long * 24)]  # an XEvent is 24 longs; keep room

        dpy = x11.XOpenDisplay(self.display.encode())
        if not dpy:
            raise Abort("cannot open display " + self.display)
        try:
            event = ClientMessage()
            event.type = 33  # ClientMessage
            event.window = window
            event.message_type = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
            event.format = 32
            event.data[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
            event.data[1] = 0  # CurrentTime
            x11.XSendEvent(dpy, window, 0, 0, ctypes.byref(event))
            x11.XFlush(dpy)
        finally:
            x11.XCloseDisplay(dpy)

    # ---- screenshots -------------------------------------------------------------------------

    def screenshot(self, name):
        """The whole screen as (width, height, rgb bytes); also kept as a file in the temp folder."""
        self.shot_count += 1
        path = os.path.join(self.shots, "%02d-%s.ppm" % (self.shot_count, name))
        subprocess.run(["import", "-display", self.display, "-window", "root", "-depth", "8",
                        "ppm:" + path], env=self.env(), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=min(20.0, self.remaining()))
        with open(path, "rb") as f:
            data = f.read()
        fields = []
        pos = 0
        while len(fields) < 4:  # magic, width, height, maximum
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            start = pos
            while not data[pos:pos + 1].isspace():
                pos += 1
            fields.append(data[start:pos])
        if fields[0] != b"P6" or fields[3] != b"255":
            raise Abort("unexpected screenshot format in " + path)
        width, height = int(fields[1]), int(fields[2])
        return width, height, data[pos + 1:pos + 1 + width * height * 3]

    @staticmethod
    def region(shot, rect):
        """The rows of pixels (bytes) of `rect` (x, y, w, h in screen pixels) in `shot`."""
        width, _, rgb = shot
        x, y, w, h = rect
        return [rgb[((y + row) * width + x) * 3:((y + row) * width + x + w) * 3]
                for row in range(h)]

    @staticmethod
    def drawn_box(rows):
        """Bounding box (x, y, w, h) of the pixels that are not white, or None."""
        left = top = None
        right = bottom = -1
        for r, row in enumerate(rows):
            for i in range(0, len(row), 3):
                if row[i] < 240 or row[i + 1] < 240 or row[i + 2] < 240:
                    c = i // 3
                    left = c if left is None else min(left, c)
                    right = max(right, c)
                    top = r if top is None else top
                    bottom = r
        if left is None:
            return None
        return left, top, right - left + 1, bottom - top + 1

    @staticmethod
    def same_pixels(rows_a, rows_b):
        if len(rows_a) != len(rows_b):
            return 0.0
        total = same = 0
        for a, b in zip(rows_a, rows_b):
            n = min(len(a), len(b)) // 3
            total += n
            same += sum(1 for i in range(n) if a[3 * i:3 * i + 3] == b[3 * i:3 * i + 3])
        return same / total if total else 0.0

    def viewport_rect(self):
        """The Preview's viewport (Picture2) in screen pixels."""
        x, y, _, _ = self.geometry(self.form2)
        left, top, width, height = FORM2_VIEWPORT
        return (x + round(left / TWIPS_PER_PIXEL), y + round(top / TWIPS_PER_PIXEL),
                round(width / TWIPS_PER_PIXEL), round(height / TWIPS_PER_PIXEL))

    def viewport(self, name):
        return self.region(self.screenshot(name), self.viewport_rect())

    def settled_viewport(self, name, before=None, timeout=5.0):
        """The viewport once it differs from `before` and two shots in a row agree (bounded)."""
        end = time.monotonic() + min(timeout, self.remaining())
        last = self.viewport(name)
        while time.monotonic() < end:
            time.sleep(0.15)
            rows = self.viewport(name)
            if rows == last and rows != before:
                return rows
            last = rows
        return last

    def after_click(self, name, before, window, rect, origin=(0, 0)):
        """Clicks, then waits (bounded) for the viewport to change and settle."""
        self.click(window, rect, origin)
        return self.settled_viewport(name, before)

    # ---- the temporary folder ----------------------------------------------------------------

    def temp_files(self):
        return sorted(os.listdir(self.temp))

    def workbooks(self):
        return sorted(glob.glob(os.path.join(glob.escape(self.temp), "tkvane*.xls")))

    def leftovers(self):
        names = self.temp_files()
        return [n for n in names
                if re.fullmatch(r"tkvane.*\.xls", n) or n in ("temp.bmp", "Pie Chart.xlt")]

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
        try:
            code = self.app.wait(timeout=min(WAIT, self.remaining()))
        except subprocess.TimeoutExpired:
            code = None
        self.check(code == 0, "closing the Preview ends the program with status 0",
                   "status %s" % code)
        self.check(not self.leftovers(),
                   "after closing TEMP holds no tkvane*.xls, temp.bmp or Pie Chart.xlt",
                   "TEMP: %s" % self.temp_files())

    # ---- checks on files ---------------------------------------------------------------------

    def check_settings(self):
        path = os.path.join(self.config, "Kestrune.ini")
        parser = configparser.RawConfigParser()
        parser.optionxform = str
        try:
            parser.read(path, encoding="utf-8")
            stored = parser.get("Morrowlin", "Assets")
        except (configparser.Error, OSError) as error:
            stored = None
            detail = str(error)
        else:
            detail = stored
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
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("executable")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    parser.add_argument("--preview-shot", help="also save a picture of the Preview window here")
    args = parser.parse_args()

    missing = [tool for tool in ("Xvfb", "xdotool", "import") if not shutil.which(tool)]
    if missing:
        print("SKIP: %s not found" % ", ".join(missing))
        return SKIP
    if not os.access(args.executable, os.X_OK):
        print("FAIL: the program %s is not there" % args.executable)
        return 1
    preview_shot = os.path.abspath(args.preview_shot) if args.preview_shot else None

    root = tempfile.mkdtemp(prefix="morrowlin-e2e-")
    run = Run(os.path.abspath(args.executable), root, preview_shot)
    try:
        try:
            run.scenario()
        except Abort as stop:
            print("       stopped: " + str(stop), flush=True)
        except subprocess.TimeoutExpired as error:
            run.check(False, "every step finishes in time", str(error))
        finally:
            run.stop()
        if os.path.isfile(run.saved):
            run.check_workbook()
        else:
            run.check(False, "a saved workbook to read with xlrd")
        run.check_settings()
        if os.path.exists(run.opened_urls):
            with open(run.opened_urls) as f:
                print("       note: the program asked to open %s" % f.read().strip())
    finally:
        run.stop()
        keep = args.keep or run.failed
        if keep:
            print("       files kept in " + root)
        else:
            shutil.rmtree(root, ignore_errors=True)
    print("%d checks passed, %d failed" % (run.passed, run.failed))
    return 0 if run.failed == 0 and run.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
