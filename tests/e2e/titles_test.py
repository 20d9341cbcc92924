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

import argparse
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
SCREEN = (1024, 768)

# Design places in twips (left, top, width, height) in each window's client area.
START = (120, 120, 7800, 405)
LIST = (120, 1140, 7800, 2535)
SAMPLES = (4080, 630, 3840, 405)
HELP = (120, 630, 3840, 405)
ADD_NEW = (120, 3780, 3840, 405)
EDIT = (120, 4290, 3840, 405)
SAVE = (4920, 8850, 4800, 405)

WAIT = 15.0  # the longest any single wait for a window may take
TOTAL = 150.0  # the whole run, kept below CTest's timeout
LONG_LABEL = "Head" + "m" * 100000 + "Tail"


class Abort(Exception):
    """A step could not be carried out; the remaining steps make no sense."""


class Run:
    def __init__(self, executable, root):
        self.executable = executable
        self.root = root
        self.config = os.path.join(root, "config")
        self.temp = os.path.join(root, "temp")
        self.runtime = os.path.join(root, "runtime")
        self.fakebin = os.path.join(root, "bin")
        for d in (self.config, self.temp, self.fakebin):
            os.makedirs(d)
        os.makedirs(self.runtime, mode=0o700)
        self.deadline = time.monotonic() + TOTAL
        self.xvfb = self.app = self.app_log = self.display = None
        self.passed = self.failed = 0

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

    def remaining(self):
        left = self.deadline - time.monotonic()
        if left <= 0:
            raise Abort("the test ran out of its %d s" % TOTAL)
        return left

    # ---- processes ---------------------------------------------------------------------------

    def env(self):
        env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "QT_QPA_PLATFORMTHEME", "QT_SCALE_FACTOR",
                     "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "SESSION_MANAGER"):
            env.pop(name, None)
        env.update({
            "DISPLAY": self.display or "",
            "QT_QPA_PLATFORM": "xcb",
            "QT_ENABLE_HIGHDPI_SCALING": "0",
            "XDG_CONFIG_HOME": self.config,
            "XDG_RUNTIME_DIR": self.runtime,
            "TEMP": self.temp,
            # On one start in a hundred the program opens its maker's web site; here that
            # only runs this harmless stand-in.
            "PATH": self.fakebin + os.pathsep + env.get("PATH", "/usr/bin:/bin"),
            "BROWSER": os.path.join(self.fakebin, "xdg-open"),
        })
        return env

    def start_xvfb(self):
        read_end, write_end = os.pipe()
        try:
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                 "%dx%dx24" % SCREEN, "-dpi", "96", "-nolisten", "tcp", "-noreset"],
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
        self.require(number.strip().isdigit(), "Xvfb started on a free display")
        self.display = ":" + number.strip().decode()

    def start_app(self):
        with open(os.path.join(self.fakebin, "xdg-open"), "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(os.path.join(self.fakebin, "xdg-open"), 0o755)
        # The stored list: one label of 100 KB without its amount.
        with open(os.path.join(self.config, "Kestrune.ini"), "w", encoding="utf-8") as f:
            f.write("[Morrowlin]\nAssets=%s||SEP2||\n" % LONG_LABEL)
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

    # ---- the X server ------------------------------------------------------------------------

    def run(self, *command):
        env = self.env()
        env["LC_ALL"] = "C.UTF-8"  # xprop writes UTF-8 names as they are, not as "?"
        result = subprocess.run([str(c) for c in command], env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                timeout=min(10.0, self.remaining()))
        return result.stdout.decode("utf-8", "replace")

    def titles(self, window):
        """The window's _NET_WM_NAME and WM_NAME as the X server holds them (None if absent)."""
        out = self.run("xprop", "-id", window, "-notype", "_NET_WM_NAME", "WM_NAME")
        found = {}
        for line in out.splitlines():
            match = re.fullmatch(r'(_NET_WM_NAME|WM_NAME) = "(.*)"', line.strip())
            if match:
                found[match.group(1)] = match.group(2).replace('\\"', '"')
        return found.get("_NET_WM_NAME"), found.get("WM_NAME")

    def visible(self):
        """Ids of the mapped windows that have a name."""
        out = self.run("xdotool", "search", "--onlyvisible", "--name", ".")
        return [int(w) for w in out.split()]

    def windows_titled(self, title):
        """Mapped windows whose title starts with `title` (so an appended name is still found)."""
        return [w for w in self.visible() if (self.titles(w)[0] or "").startswith(title)
                or (self.titles(w)[1] or "").startswith(title)]

    def wait_for(self, predicate, timeout=WAIT):
        end = time.monotonic() + min(timeout, self.remaining())
        while True:
            value = predicate()
            if value or time.monotonic() >= end:
                return value
            time.sleep(0.1)

    def geometry(self, window):
        out = self.run("xdotool", "getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def click(self, window, rect, dy=None):
        """Clicks the middle of `rect` (twips in the window's client area), or `dy` pixels
        below its top."""
        x, y, _, _ = self.geometry(window)
        left, top, width, height = rect
        px = x + round((left + width / 2) / TWIPS_PER_PIXEL)
        py = y + (round(top / TWIPS_PER_PIXEL) + dy if dy is not None
                  else round((top + height / 2) / TWIPS_PER_PIXEL))
        self.run("xdotool", "mousemove", px, py)
        time.sleep(0.1)
        self.run("xdotool", "click", 1)

    def key_into(self, window, *keys, text=None):
        self.run("xdotool", "windowfocus", "--sync", window)
        time.sleep(0.2)
        if text is not None:
            self.run("xdotool", "type", "--delay", "20", text)
        for key in keys:
            self.run("xdotool", "key", "--clearmodifiers", key)

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
        self.check(self.wait_for(lambda: window not in self.visible()), what + " closes")

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
        self.click(form1, START)
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
        try:
            self.app.wait(timeout=min(WAIT, self.remaining()))
        except subprocess.TimeoutExpired:
            pass
        with open(os.path.join(self.config, "Kestrune.ini"), encoding="utf-8") as f:
            stored = f.read()
        self.check("Car||SEP1||$5,000||SEP2||" in stored,
                   "the amount \"$5,000\" was taken and stored with its label",
                   "stored: %r" % stored[:300])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("executable")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()

    missing = [tool for tool in ("Xvfb", "xdotool", "xprop") if not shutil.which(tool)]
    if missing:
        print("SKIP: %s not found" % ", ".join(missing))
        return SKIP
    root = tempfile.mkdtemp(prefix="morrowlin-titles-")
    run = Run(os.path.abspath(args.executable), root)
    try:
        try:
            run.scenario()
        except Abort as stop:
            print("       stopped: " + str(stop), flush=True)
        except subprocess.TimeoutExpired as error:
            run.check(False, "every step finishes in time", str(error))
        finally:
            run.stop()
    finally:
        run.stop()
        if args.keep or run.failed:
            print("       files kept in " + root)
        else:
            shutil.rmtree(root, ignore_errors=True)
    print("%d checks passed, %d failed" % (run.passed, run.failed))
    return 0 if run.failed == 0 and run.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
