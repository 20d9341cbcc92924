#!/usr/bin/python3
"""The installed program: the Debian package, the install rules, and the program started from
where they put it.

    package_test.py BUILD_FOLDER            the package and an install into a temporary DESTDIR
    package_test.py BUILD_FOLDER --system   the package installed on this machine with apt,
                                            started as /usr/bin/morrowlin, then removed (root only)

Each run makes the package with `cpack -G DEB`, checks that `dpkg -I` lists its dependencies and
that it holds the files the install rules name, then starts the installed program in its own Xvfb
server and checks, as for the program in the build folder, that its window appears with no error
report, that the skin beside it is applied (the buttons' colour) and that its hand cursor is
found (the pointer over a button is the 32 x 32 hand with its hot spot at 5, 0). With --system the
package is removed afterwards and nothing it installed may be left.

Exit status: 0 when every check passed, 1 when one failed.
"""

import ctypes
import ctypes.util
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from xsession import (ADD_NEW, TWIPS_PER_PIXEL, program_env, start_xvfb,  # noqa: E402
                      stop_group, write_opener)

SKIN_BUTTON = (233, 238, 244)  # QPushButton background-color in x/o.cjs
HAND_SIZE = (32, 32)
HAND_HOT_SPOT = (5, 0)
WAIT = 20.0

# What the package and an install hold, below the prefix.
EXPECTED = [
    "bin/morrowlin",
    "lib/morrowlin/morrowlin",
    "lib/morrowlin/morrowlin-output.so",
    "lib/morrowlin/HAND-M.CUR",
    "lib/morrowlin/x/o.cjs",
    "share/applications/example.kestrune.Morrowlin.desktop",
    "share/metainfo/example.kestrune.Morrowlin.metainfo.xml",
    "share/icons/hicolor/48x48/apps/morrowlin.png",
    "share/icons/hicolor/128x128/apps/morrowlin.png",
    "share/icons/hicolor/256x256/apps/morrowlin.png",
    "share/icons/hicolor/scalable/apps/morrowlin.svg",
    "share/doc/morrowlin/fonts/fonts-liberation",
    "share/doc/morrowlin/fonts/fonts-liberation-GPL-2",
    "share/doc/morrowlin/fonts/fonts-crosextra-carlito",
    "share/doc/morrowlin/fonts/fonts-crosextra-caladea",
]
# The printing and SVG module's libraries too: the package's programs and module are scanned.
DEPENDENCIES = ["libc6", "libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6printsupport6",
                "libqt6svg6", "libstdc++6"]

failures = []


def check(ok, what, detail=""):
    print(("  ok   " if ok else "  FAIL ") + what + ("" if ok or not detail else ": " + detail),
          flush=True)
    if not ok:
        failures.append(what)
    return ok


def run(args, **kwargs):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          **kwargs)


def make_package(build, out):
    result = run(["cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"),
                  "-B", out])
    debs = [f for f in os.listdir(out) if f.endswith(".deb")]
    if not check(result.returncode == 0 and len(debs) == 1, "cpack -G DEB makes one package",
                 result.stdout[-2000:]):
        return None
    deb = os.path.join(out, debs[0])
    check(re.fullmatch(r"morrowlin_[0-9.]+_[a-z0-9]+\.deb", debs[0]) is not None,
          "the package is named morrowlin_<version>_<arch>.deb", debs[0])

    info = run(["dpkg", "-I", deb]).stdout
    depends = re.search(r"^ Depends: (.*)$", info, re.M)
    listed = [d.split()[0] for d in depends.group(1).split(",")] if depends else []
    check(depends is not None and all(d in listed for d in DEPENDENCIES),
          "dpkg -I lists the linked libraries' packages as dependencies",
          depends.group(0) if depends else info)
    check(re.search(r"^ Package: morrowlin$", info, re.M) is not None, "the package's name",
          info)

    contents = run(["dpkg", "-c", deb]).stdout
    held = {line.split()[5].lstrip("./") for line in contents.splitlines() if len(line.split()) > 5}
    missing = [p for p in EXPECTED if "usr/" + p not in held]
    check(not missing, "the package holds the program, its files, menu entry, icons, metadata and "
          "font licences", "missing " + ", ".join(missing))
    check("usr/bin/morrowlin -> ../lib/morrowlin/morrowlin" in contents,
          "usr/bin/morrowlin is a link to usr/lib/morrowlin/morrowlin")
    return deb


def cursor_image(display):
    """(width, height, xhot, yhot) of the pointer's current image, through XFixes."""
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    xfixes = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xfixes") or "libXfixes.so.3")

    class CursorImage(ctypes.Structure):
        _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                    ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                    ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                    ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.c_void_p),
                    ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]

    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    dpy = x11.XOpenDisplay(display.encode())
    if not dpy:
        return None
    try:
        image = xfixes.XFixesGetCursorImage(dpy)
        if not image:
            return None
        c = image.contents
        shape = (c.width, c.height, c.xhot, c.yhot)
        x11.XFree(image)
        return shape
    finally:
        x11.XCloseDisplay(dpy)


def start_and_check(executable, where):
    """Starts `executable` in its own X server and checks its window, skin and cursor."""
    work = tempfile.mkdtemp(prefix="morrowlin-installed-")
    xvfb = app = None
    try:
        xvfb, display = start_xvfb(WAIT)
        if display is None:
            raise RuntimeError("Xvfb did not start")
        fakebin = os.path.join(work, "bin")
        os.makedirs(fakebin)
        write_opener(fakebin, "#!/bin/sh\nexit 0\n")
        for name in ("config", "temp", "runtime"):
            os.makedirs(os.path.join(work, name), mode=0o700)
        env = program_env(display, os.path.join(work, "config"), os.path.join(work, "temp"),
                          os.path.join(work, "runtime"), fakebin)
        log = open(os.path.join(work, "morrowlin.log"), "w")
        app = subprocess.Popen([executable], env=env, cwd=work, stdout=log,
                               stderr=subprocess.STDOUT, start_new_session=True)

        def xdo(*args):
            return run(["xdotool"] + [str(a) for a in args], env=env, timeout=10).stdout

        def windows(title):
            return xdo("search", "--onlyvisible", "--name", "^" + re.escape(title) + "$").split()

        end = time.monotonic() + WAIT
        while not windows("Morrowlin") and time.monotonic() < end and app.poll() is None:
            time.sleep(0.1)
        found = windows("Morrowlin")
        if not check(bool(found), where + ": the main window appears",
                     "exit status %s" % app.poll()):
            return
        time.sleep(1.0)  # the first paint
        check(not windows("Application Error"), where + ": no error report at start")
        window = found[0]
        geometry = xdo("getwindowgeometry", "--shell", window)
        pos = dict(line.split("=") for line in geometry.split() if "=" in line)
        left, top = int(pos["X"]), int(pos["Y"])

        x, y, w, h = (int(round(v / TWIPS_PER_PIXEL)) for v in ADD_NEW)
        shot = os.path.join(work, "shot.png")
        run(["import", "-display", display, "-window", "root", shot], env=env, timeout=20)
        colour = run(["convert", shot, "-format", "%%[pixel:p{%d,%d}]" % (left + x + 4, top + y + 4),
                      "info:"]).stdout.strip()
        rgb = tuple(int(v) for v in re.findall(r"\d+", colour)[:3])
        check(len(rgb) == 3 and all(abs(a - b) <= 2 for a, b in zip(rgb, SKIN_BUTTON)),
              where + ": the skin x/o.cjs is applied (button colour %s)" % (SKIN_BUTTON,),
              "found " + colour)

        xdo("mousemove", left + x + w // 2, top + y + h // 2)
        time.sleep(0.5)
        xdo("mousemove", left + x + w // 2 + 3, top + y + h // 2)
        time.sleep(0.5)
        shape = cursor_image(display)
        check(shape == HAND_SIZE + HAND_HOT_SPOT,
              where + ": the hand cursor HAND-M.CUR is used over a button",
              "pointer image (width, height, hot x, hot y) %s" % (shape,))
    finally:
        stop_group(app)
        stop_group(xvfb)
        shutil.rmtree(work, ignore_errors=True)


def destdir_install(build, root):
    env = dict(os.environ, DESTDIR=root)
    result = run(["cmake", "--install", build, "--prefix", "/usr"], env=env)
    check(result.returncode == 0, "cmake --install into a DESTDIR", result.stdout[-2000:])
    missing = [p for p in EXPECTED if not os.path.lexists(os.path.join(root, "usr", p))]
    check(not missing, "the install holds what the package holds", ", ".join(missing))
    check(os.readlink(os.path.join(root, "usr/bin/morrowlin")) == "../lib/morrowlin/morrowlin",
          "bin/morrowlin links to lib/morrowlin/morrowlin")
    # The program loads its printing and SVG module from its own folder when first needed.
    module, detail = os.path.join(root, "usr/lib/morrowlin/morrowlin-output.so"), ""
    try:
        entry = getattr(ctypes.CDLL(module), "morrowlinOutputDevices", None)
    except OSError as e:
        entry, detail = None, str(e)
    check(entry is not None, "the printing and SVG module loads and offers its devices", detail)
    start_and_check(os.path.join(root, "usr/bin/morrowlin"), "installed in DESTDIR")


def system_install(deb):
    installed = run(["apt-get", "install", "-y", "-qq", "-o", "DPkg::Lock::Timeout=300",
                     "--no-install-recommends", deb],
                    env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    if not check(installed.returncode == 0, "apt-get installs the package",
                 installed.stdout[-2000:]):
        return
    files = run(["dpkg", "-L", "morrowlin"]).stdout.split()
    start_and_check("/usr/bin/morrowlin", "installed with apt")
    removed = run(["apt-get", "purge", "-y", "-qq", "-o", "DPkg::Lock::Timeout=300", "morrowlin"],
                  env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
    check(removed.returncode == 0, "apt-get purge removes the package", removed.stdout[-2000:])
    left = [f for f in files if os.path.lexists(f) and not os.path.isdir(f)]
    left += [d for d in ("/usr/lib/morrowlin", "/usr/share/doc/morrowlin") if os.path.lexists(d)]
    check(not left, "removing it leaves nothing behind", ", ".join(left))
    status = run(["dpkg-query", "-W", "-f=${Status}", "morrowlin"]).stdout
    check("installed" not in status.split() or "not-installed" in status,
          "dpkg no longer knows the package as installed", status)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    system = "--system" in sys.argv[2:]
    if system and os.geteuid() != 0:
        print("--system needs root")
        return 1
    work = tempfile.mkdtemp(prefix="morrowlin-package-")
    try:
        deb = make_package(build, os.path.join(work, "package"))
        if deb and system:
            system_install(deb)
        elif deb:
            destdir_install(build, os.path.join(work, "root"))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d check(s) failed" % len(failures) if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
