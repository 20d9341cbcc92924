#!/usr/bin/python3
"""End-to-end test under a headless Wayland compositor (weston).

Starts weston with its headless backend on a socket of its own, logging every request its clients
send (the "proto" log scope), a private D-Bus session with the accessibility bus, and the program
on Qt's wayland platform. Wayland lets no client click into another's window, so the build is
started the way a screen reader's user starts it: the "Start Creating Template" button's action
over AT-SPI. The run checks what the compositor itself received: each top-level window's title
with the application id, which must be the name of the program's desktop entry; the build
reaches the Preview, whose picture is drawn although the compositor offers no seat and so no
clipboard, and the workbook is in the temporary folder. A SIGTERM then ends the program as a
close does.

Usage: wayland_test.py MORROWLIN_EXECUTABLE DESKTOP_FILE [--keep]

Exit status: 0 when every check passed, 1 when one failed, 77 (skipped, with the reason) when
weston, Qt's wayland platform, D-Bus or AT-SPI is missing or the compositor cannot start.
"""

import glob
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi  # noqa: E402  (the private session bus and the AT-SPI reader)
import xsession  # noqa: E402  (folders, processes, the PASS/FAIL report)
from xsession import SKIP, WAIT, Abort, Session  # noqa: E402

WAYLAND_PLUGINS = "/usr/lib/*/qt6/plugins/platforms/libqwayland-*.so"
# A request as weston's "proto" scope logs it: ... rq xdg_toplevel@14.set_app_id("...")
REQUEST = re.compile(r'client (\S+) rq xdg_toplevel@(\d+)\.(set_title|set_app_id)\("(.*)"\)$')


class CompositorMissing(Exception):
    """The compositor cannot run here: the test is skipped, with this reason."""


class Run(Session):
    TOTAL = 120.0

    def __init__(self, executable, root, app_id):
        super().__init__(executable, root)
        self.app_id = app_id
        self.weston = None
        self.bus = None
        self.bus_address = None
        self.socket = "morrowlin-test-%d" % os.getpid()
        self.weston_log = os.path.join(root, "weston.log")

    def env(self):
        env = xsession.program_env(None, self.config, self.temp, self.runtime, self.fakebin)
        for name in ("DISPLAY", "XAUTHORITY"):
            env.pop(name, None)
        env.update({"QT_QPA_PLATFORM": "wayland", "WAYLAND_DISPLAY": self.socket})
        return atspi.accessibility_env(env, self.bus_address) if self.bus_address else env

    def start_weston(self):
        command = ["weston", "--backend=headless-backend.so", "--socket=" + self.socket,
                   "--shell=desktop-shell.so", "--idle-time=0", "--width=1024", "--height=768",
                   "--log=" + self.weston_log, "--logger-scopes=log,proto"]
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "DISPLAY")}
        env["XDG_RUNTIME_DIR"] = self.runtime
        self.weston = subprocess.Popen(command, env=env, cwd=self.root,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                       start_new_session=True)
        socket = os.path.join(self.runtime, self.socket)
        end = time.monotonic() + WAIT
        while not os.path.exists(socket) and self.weston.poll() is None:
            if time.monotonic() > end:
                break
            time.sleep(0.1)
        if not os.path.exists(socket):
            tail = ""
            if os.path.exists(self.weston_log):
                with open(self.weston_log, errors="replace") as f:
                    tail = f.read()[-600:]
            raise CompositorMissing("weston did not open its socket within %d s (status %s): %s"
                                    % (WAIT, self.weston.poll(), tail.strip()))

    def toplevels(self):
        """Each top-level window the compositor was told of, in order: {"title", "app_id"}."""
        windows = {}
        try:
            with open(self.weston_log, errors="replace") as f:
                for line in f:
                    match = REQUEST.search(line.rstrip("\n"))
                    if match:
                        client, number, request, value = match.groups()
                        key = (client, number)
                        windows.setdefault(key, {})["title" if request == "set_title"
                                                    else "app_id"] = value
        except OSError:
            pass
        return list(windows.values())

    def titled(self, title):
        return [w for w in self.toplevels() if w.get("title") == title]

    def scenario(self):
        self.start_weston()
        print("       weston on " + self.socket, flush=True)
        self.bus, self.bus_address = atspi.start_session_bus()
        self.require(self.bus_address is not None, "a private D-Bus session started")
        self.start_app()

        main = self.wait_for(lambda: self.titled("Morrowlin"))
        self.require(len(main) == 1, "the compositor got the main window \"Morrowlin\"",
                     "top-level windows: %s" % self.toplevels())
        self.check(main[0].get("app_id") == self.app_id,
                   "the main window's app id is the desktop entry's name %r" % self.app_id,
                   "app id %r" % main[0].get("app_id"))

        objects, complaint = atspi.dump(self.env(), press="push button:Start Creating Template",
                                        wait=WAIT)
        self.require(objects is not None, "\"Start Creating Template\" pressed over AT-SPI",
                     complaint or "")
        preview = self.wait_for(lambda: self.titled("Preview"))
        self.require(len(preview) == 1, "the build opens the Preview window",
                     "top-level windows: %s" % self.toplevels())
        self.check(preview[0].get("app_id") == self.app_id,
                   "the Preview's app id is the desktop entry's name too",
                   "app id %r" % preview[0].get("app_id"))
        others = [w for w in self.toplevels() if w.get("app_id") != self.app_id]
        self.check(not others, "every window the program opened carries the app id",
                   "windows: %s" % others)

        objects, complaint = atspi.dump(self.env(), window="Preview", wait=WAIT)
        self.require(objects is not None, "the Preview's accessible tree is read", complaint or "")
        pictures = [o for o in atspi.window(objects, "Preview")
                    if o["name"].startswith("Picture of ")]
        self.check(len(pictures) == 1 and "(none)" not in pictures[0]["name"]
                   and "pixels" in pictures[0]["description"],
                   "the Preview shows the picture the build drew, with no clipboard to pass",
                   "picture objects: %s" % [(o["name"], o["description"][:80]) for o in pictures])
        books = glob.glob(os.path.join(glob.escape(self.temp), "tkvane*.xls"))
        self.check(len(books) == 1 and os.path.getsize(books[0]) > 0,
                   "the build saved its workbook in the temporary folder", "files: %s" % books)

        os.kill(self.app.pid, 15)
        status = self.wait_exit()
        self.check(status == 0, "SIGTERM ends the program with status 0", "status %s" % status)

    def stop(self):
        super().stop()
        for proc in (self.bus, self.weston):
            xsession.stop_group(proc)


def main():
    parser = xsession.arguments(__doc__)
    parser.add_argument("desktop_file")
    args = parser.parse_args()
    status = xsession.missing_tools(["weston"], args.executable)
    if status is not None:
        return status
    lacking = atspi.missing()
    if lacking is None and not glob.glob(WAYLAND_PLUGINS):
        lacking = "Qt's wayland platform plugin (qt6-wayland) not found"
    if lacking:
        print("SKIP: " + lacking)
        return SKIP
    app_id = os.path.basename(args.desktop_file)
    if not app_id.endswith(".desktop") or not os.path.isfile(args.desktop_file):
        print("FAIL: %s is not a desktop entry" % args.desktop_file)
        return 1
    app_id = app_id[:-len(".desktop")]
    root = tempfile.mkdtemp(prefix="morrowlin-wayland-")
    run = Run(os.path.abspath(args.executable), root, app_id)
    try:
        return xsession.run_session(run, args.keep)
    except CompositorMissing as reason:
        run.stop()
        print("SKIP: the compositor cannot start on this machine: %s" % reason)
        return SKIP


if __name__ == "__main__":
    sys.exit(main())
