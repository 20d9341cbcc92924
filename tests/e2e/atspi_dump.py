#!/usr/bin/python3
"""Prints an application's accessible tree as a screen reader sees it, over AT-SPI.

Finds the application named APP on the accessibility bus of the session bus in
DBUS_SESSION_BUS_ADDRESS (waiting up to --wait seconds for it and for a window titled --window),
optionally carries out one action on one object (--press ROLE:NAME, the object's first action,
e.g. a push button's "Press"), and prints every object under the application as one JSON list:
each object's place in the tree, role, name, description, actions, states, extents on the screen,
and for a table its column headers and the names of its cells.

The test scripts run it as a separate process, since pyatspi reads the bus address once, when it
is imported.

Exit status: 0 with the list printed, 2 when the application or window did not appear in time or
the object to press was not found (a message on standard error).
"""

import argparse
import json
import sys
import time

import pyatspi


def applications():
    desktop = pyatspi.Registry.getDesktop(0)
    return [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]


def find_application(name):
    for app in applications():
        try:
            if app is not None and app.name == name:
                return app
        except Exception:  # an application that ended while the list was read
            continue
    return None


def walk(node, path, out, limit):
    if node is None or len(out) >= limit:
        return
    entry = {"path": path, "role": node.getRoleName(), "name": node.name or "",
             "description": node.description or ""}
    try:
        action = node.queryAction()
        entry["actions"] = [action.getName(i) for i in range(action.nActions)]
    except NotImplementedError:
        entry["actions"] = []
    entry["states"] = sorted(pyatspi.stateToString(s) for s in node.getState().getStates())
    try:
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        entry["extents"] = [box.x, box.y, box.width, box.height]
    except NotImplementedError:
        pass
    try:
        table = node.queryTable()
        entry["columns"] = [table.getColumnDescription(c) or
                            (table.getColumnHeader(c).name if table.getColumnHeader(c) else "")
                            for c in range(table.nColumns)]
        entry["cells"] = [[(table.getAccessibleAt(r, c).name if table.getAccessibleAt(r, c)
                            else None) for c in range(table.nColumns)]
                          for r in range(min(table.nRows, 50))]
    except NotImplementedError:
        pass
    out.append(entry)
    # A table's cells are listed above; walking them as children too would only repeat them.
    if "cells" in entry:
        return
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), path + [i], out, limit)


def find(node, role, name):
    if node is None:
        return None
    if node.getRoleName() == role and node.name == name:
        return node
    for i in range(node.childCount):
        found = find(node.getChildAtIndex(i), role, name)
        if found is not None:
            return found
    return None


def has_window(app, title):
    return any(app.getChildAtIndex(i) is not None and app.getChildAtIndex(i).name == title
               for i in range(app.childCount))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("app", help="the application's name on the accessibility bus")
    parser.add_argument("--wait", type=float, default=15.0)
    parser.add_argument("--window", help="wait until a top-level window has this name")
    parser.add_argument("--press", help="ROLE:NAME of an object whose first action to do")
    parser.add_argument("--limit", type=int, default=2000, help="the most objects listed")
    args = parser.parse_args()

    end = time.monotonic() + args.wait
    app = None
    while time.monotonic() < end:
        app = find_application(args.app)
        if app is not None and (args.window is None or has_window(app, args.window)):
            break
        time.sleep(0.2)
    else:
        seen = []
        for a in applications():
            try:
                seen.append(a.name)
            except Exception:
                pass
        print("no application %r%s on the accessibility bus within %g s (there: %s)"
              % (args.app, " with a window %r" % args.window if args.window else "", args.wait,
                 seen), file=sys.stderr)
        return 2

    if args.press:
        role, _, name = args.press.partition(":")
        target = find(app, role, name)
        if target is None:
            print("no %s named %r in %r" % (role, name, args.app), file=sys.stderr)
            return 2
        target.queryAction().doAction(0)

    out = []
    walk(app, [], out, args.limit)
    json.dump(out, sys.stdout, indent=1)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
