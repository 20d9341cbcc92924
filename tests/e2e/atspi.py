"""A private D-Bus session with the accessibility bus, and the program's tree read over AT-SPI.

The session bus is a dbus-daemon of the test's own; the accessibility bus (at-spi-bus-launcher
and the registry) is started by that bus on first use, as on a desktop. Nothing of the caller's
desktop session is seen or changed. The tree is read by atspi_dump.py in a process of its own.
"""

import json
import os
import select
import shutil
import subprocess
import time

DUMP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "atspi_dump.py")
PYTHON = "/usr/bin/python3"  # the system's, which has pyatspi
APP_NAME = "Morrowlin"  # the program's name on the accessibility bus


def missing():
    """What this machine lacks for an AT-SPI run, as a sentence, or None."""
    if not shutil.which("dbus-daemon"):
        return "dbus-daemon not found"
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        return "at-spi-bus-launcher (at-spi2-core) not found"
    probe = subprocess.run([PYTHON, "-c", "import pyatspi"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    if probe.returncode != 0:
        return "python3-pyatspi not found"
    return None


def start_session_bus(timeout=10.0):
    """Starts a dbus-daemon for a session of the test's own: (process, address), the address
    None when the daemon names none in time."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                             "--print-address=%d" % write_end],
                            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_end)
    address = b""
    end = time.monotonic() + timeout
    try:
        while not address.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, end - time.monotonic()))
            if not ready:
                break
            chunk = os.read(read_end, 256)
            if not chunk:
                break
            address += chunk
    finally:
        os.close(read_end)
    address = address.strip().decode()
    return proc, (address or None)


def accessibility_env(env, bus_address):
    """`env` with the private session bus and Qt's accessibility bridge switched on."""
    env = dict(env)
    env["DBUS_SESSION_BUS_ADDRESS"] = bus_address
    env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    env.pop("NO_AT_BRIDGE", None)
    return env


def dump(env, window=None, press=None, wait=15.0):
    """The program's accessible objects as atspi_dump.py lists them, once a top-level window
    named `window` is there (and after pressing `press`, "ROLE:NAME"): (objects, complaint)."""
    command = [PYTHON, DUMP, APP_NAME, "--wait", str(wait)]
    if window:
        command += ["--window", window]
    if press:
        command += ["--press", press]
    try:
        result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                timeout=wait + 20)
    except subprocess.TimeoutExpired:
        return None, "the AT-SPI reader did not answer within %d s" % (wait + 20)
    if result.returncode != 0:
        return None, result.stderr.decode("utf-8", "replace").strip()[-400:]
    return json.loads(result.stdout.decode("utf-8")), None


def window(objects, name):
    """The objects under the top-level window named `name` (its own first)."""
    top = [o for o in objects if len(o["path"]) == 1 and o["name"] == name]
    if not top:
        return []
    root = top[0]["path"]
    return [o for o in objects if o["path"][:1] == root]


def named(objects, role, name):
    """The first object with this role and name, or None."""
    return next((o for o in objects if o["role"] == role and o["name"] == name), None)
