"""What the real-window tests share: the program in its own Xvfb server, driven by xdotool.

An X server of its own on a free display (Xvfb -displayfd), the program's environment with its own
configuration, temporary and runtime folders, a stand-in for the browser, windows found and
clicked with xdotool at their design places (twips), closed as a window manager closes them,
screenshots taken with ImageMagick's `import`, the stored list read back from the settings file,
and the run of a scenario with its PASS/FAIL report and exit status.

The scripts beside this file and tests/package/package_test.py import it with their own folder
(or this one) on sys.path.
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
import tempfile
import time

SKIP = 77  # the exit status CTest counts as skipped
TWIPS_PER_PIXEL = 15.0  # at 96 DPI, which the Xvfb screen is given
SCREEN = (1024, 768)
WAIT = 15.0  # the longest any single wait for a window or a file may take
TOTAL = 150.0  # a whole run, kept below CTest's timeout

# Design places in twips (left, top, width, height), relative to each window's client area.
FORM1_START = (120, 120, 7800, 405)  # "Start Creating Template"
ADD_NEW = (120, 3780, 3840, 405)  # "Add New"
FORM2_VIEWPORT = (120, 120, 9330, 7425)  # the Preview's picture
FRAME1 = (120, 7860)  # the frame around the zoom buttons
ZOOM_IN = (240, 300, 4440, 405)  # inside Frame1
ZOOM_OUT = (4800, 300, 4560, 405)  # inside Frame1
SAVE = (4920, 8850, 4800, 405)  # "Save Results To Excel File"

# Variables of the caller's desktop that would change the program's window or scale.
DESKTOP_VARIABLES = ("WAYLAND_DISPLAY", "QT_QPA_PLATFORMTHEME", "QT_SCALE_FACTOR",
                     "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "SESSION_MANAGER")


class Abort(Exception):
    """A step could not be carried out; the remaining steps make no sense."""


# ---- processes -------------------------------------------------------------------------------


def start_xvfb(timeout=WAIT, screen=SCREEN):
    """Starts Xvfb on a display it picks itself; returns (process, ":N"), the display None when
    Xvfb names none within `timeout` seconds."""
    read_end, write_end = os.pipe()
    proc = None
    try:
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % screen,
             "-dpi", "96", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write_end)
        write_end = None
        number = b""
        end = time.monotonic() + timeout
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
    display = ":" + number.strip().decode() if number.strip().isdigit() else None
    return proc, display


def stop_group(proc):
    """Ends `proc` and its process group: SIGTERM, then SIGKILL after 5 s."""
    if proc is None or proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
        proc.wait(timeout=5)
    except (ProcessLookupError, subprocess.TimeoutExpired):
        try:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait(timeout=5)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            pass


def write_opener(fakebin, script):
    """Puts `script` in place of xdg-open: the program opens its maker's web site on one start
    in a hundred, which here only runs the stand-in."""
    path = os.path.join(fakebin, "xdg-open")
    with open(path, "w") as f:
        f.write(script)
    os.chmod(path, 0o755)
    return path


def program_env(display, config, temp, runtime, fakebin):
    """The environment the program runs in: this X server, no desktop scaling or theme, its own
    folders, and the stand-in for the browser first on PATH."""
    env = {k: v for k, v in os.environ.items() if k not in DESKTOP_VARIABLES}
    env.update({
        "DISPLAY": display or "",
        "QT_QPA_PLATFORM": "xcb",
        "QT_ENABLE_HIGHDPI_SCALING": "0",
        "QT_AUTO_SCREEN_SCALE_FACTOR": "0",
        "XDG_CONFIG_HOME": config,
        "XDG_RUNTIME_DIR": runtime,
        "TEMP": temp,
        "PATH": fakebin + os.pathsep + env.get("PATH", "/usr/bin:/bin"),
        "BROWSER": os.path.join(fakebin, "xdg-open"),
    })
    return env


def send_close(display, window):
    """Asks `window` to close as a window manager does (WM_DELETE_WINDOW); False when the
    display cannot be opened."""
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

    dpy = x11.XOpenDisplay(display.encode())
    if not dpy:
        return False
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
    return True


def read_ppm(path):
    """A binary PPM file (8 bits a channel) as (width, height, rgb bytes), or None when it is
    another format."""
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
        return None
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:pos + 1 + width * height * 3]


def stored_assets(path):
    """The [Morrowlin] Assets value of the settings file at `path`, read as QSettings keeps it,
    and the reader's complaint: (value, None) or (None, complaint)."""
    parser = configparser.RawConfigParser()
    parser.optionxform = str
    try:
        parser.read(path, encoding="utf-8")
        return parser.get("Morrowlin", "Assets"), None
    except (configparser.Error, OSError) as error:
        return None, str(error)


# ---- a run of the program in its own X server ------------------------------------------------


class Session:
    """One test's X server, program, folders under `root`, and its PASS/FAIL count."""

    TOTAL = TOTAL
    SHOW_DISPLAY = True  # print the display's name once Xvfb has started
    TOOL_LOCALE = None  # LC_ALL for xdotool and the other X tools, when set

    def __init__(self, executable, root):
        self.executable = executable
        self.root = root
        self.config = os.path.join(root, "config")
        self.temp = os.path.join(root, "temp")
        self.shots = os.path.join(root, "shots")
        self.fakebin = os.path.join(root, "bin")
        self.runtime = os.path.join(root, "runtime")
        for d in (self.config, self.temp, self.fakebin):
            os.makedirs(d)
        os.makedirs(self.runtime, mode=0o700)
        self.opened_urls = os.path.join(root, "opened-urls.txt")
        self.opener = '#!/bin/sh\necho "$@" >> "%s"\n' % self.opened_urls
        self.deadline = time.monotonic() + self.TOTAL
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
            raise Abort("the test ran out of its %d s" % self.TOTAL)
        return left

    def env(self):
        return program_env(self.display, self.config, self.temp, self.runtime, self.fakebin)

    def start_xvfb(self):
        self.xvfb, display = start_xvfb()
        self.require(display is not None, "Xvfb started on a free display",
                     "no display number within %d s" % WAIT)
        self.display = display
        if self.SHOW_DISPLAY:
            print("       display " + self.display, flush=True)

    def start_app(self):
        write_opener(self.fakebin, self.opener)
        self.app_log = open(os.path.join(self.root, "morrowlin.log"), "w")
        self.app = subprocess.Popen([self.executable], env=self.env(), cwd=self.root,
                                    stdout=self.app_log, stderr=subprocess.STDOUT,
                                    start_new_session=True)

    def wait_exit(self):
        """The program's exit status, or None when it is still running after WAIT seconds."""
        try:
            return self.app.wait(timeout=min(WAIT, self.remaining()))
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        for proc in (self.app, self.xvfb):
            stop_group(proc)
        if self.app_log:
            self.app_log.close()

    # ---- xdotool -----------------------------------------------------------------------------

    def tool(self, *command):
        """Runs an X tool against this server: (exit status, standard output)."""
        env = self.env()
        if self.TOOL_LOCALE:
            env["LC_ALL"] = self.TOOL_LOCALE
        result = subprocess.run([str(c) for c in command], env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                timeout=min(10.0, self.remaining()))
        return result.returncode, result.stdout.decode("utf-8", "replace")

    def xdo(self, *args):
        return self.tool("xdotool", *args)

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

    def click(self, window, rect, origin=(0, 0), dy=None):
        """Clicks the middle of `rect` (twips, relative to `origin` in the window's client area),
        or `dy` pixels below its top."""
        x, y, _, _ = self.geometry(window)
        left, top, width, height = rect
        px = x + round((origin[0] + left + width / 2) / TWIPS_PER_PIXEL)
        py = y + (round((origin[1] + top) / TWIPS_PER_PIXEL) + dy if dy is not None
                  else round((origin[1] + top + height / 2) / TWIPS_PER_PIXEL))
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
        if not send_close(self.display, window):
            raise Abort("cannot open display " + self.display)

    # ---- screenshots -------------------------------------------------------------------------

    def screenshot(self, name):
        """The whole screen as (width, height, rgb bytes); kept as a file in the run's folder."""
        self.shot_count += 1
        os.makedirs(self.shots, exist_ok=True)
        path = os.path.join(self.shots, "%02d-%s.ppm" % (self.shot_count, name))
        subprocess.run(["import", "-display", self.display, "-window", "root", "-depth", "8",
                        "ppm:" + path], env=self.env(), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=min(20.0, self.remaining()))
        shot = read_ppm(path)
        if shot is None:
            raise Abort("unexpected screenshot format in " + path)
        return shot

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

    def stored(self):
        """The list as stored in the settings file, or None when it cannot be read."""
        return stored_assets(os.path.join(self.config, "Kestrune.ini"))[0]


# ---- a test script's main ----------------------------------------------------------------------


def arguments(doc):
    """The command line every script takes: the program and --keep; add more, then parse."""
    parser = argparse.ArgumentParser(description=doc.split("\n")[0])
    parser.add_argument("executable")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    return parser


def missing_tools(tools, executable=None):
    """The exit status when the run cannot go on (a tool missing: skipped; the program missing:
    failed), or None."""
    missing = [tool for tool in tools if not shutil.which(tool)]
    if missing:
        print("SKIP: %s not found" % ", ".join(missing))
        return SKIP
    if executable is not None and not os.access(executable, os.X_OK):
        print("FAIL: the program %s is not there" % executable)
        return 1
    return None


def run_session(run, keep, after=None):
    """Runs `run.scenario()`, then `after()` (checks on the files left), stops the processes,
    keeps or removes the run's folder and prints the count; returns the exit status."""
    try:
        try:
            run.scenario()
        except Abort as stop:
            print("       stopped: " + str(stop), flush=True)
        except subprocess.TimeoutExpired as error:
            run.check(False, "every step finishes in time", str(error))
        finally:
            run.stop()
        if after is not None:
            after()
    finally:
        run.stop()
        if keep or run.failed:
            print("       files kept in " + run.root)
        else:
            shutil.rmtree(run.root, ignore_errors=True)
    print("%d checks passed, %d failed" % (run.passed, run.failed))
    return 0 if run.failed == 0 and run.passed > 0 else 1


def main(doc, tools, prefix, make_run, check_program=True):
    """A whole script: reads the command line, skips when one of `tools` is missing, runs
    `make_run(executable, root)`'s scenario in a fresh folder named `prefix`..., and returns the
    exit status."""
    args = arguments(doc).parse_args()
    status = missing_tools(tools, args.executable if check_program else None)
    if status is not None:
        return status
    root = tempfile.mkdtemp(prefix=prefix)
    return run_session(make_run(os.path.abspath(args.executable), root), args.keep)
