#!/usr/bin/env python3
"""Checks that the program's folders include downward only.

From the bottom: platform/ and xls/ (each includes only itself), common/ (the window-side helpers),
then entries/, chart/ and preview/ (none includes another of the three), and app/ on top. Every
include in a source file under these folders that reaches a header of a folder its own may not
include is printed as FILE:LINE with the header, and the exit status is 1.

Usage: check_includes.py [SOURCE_DIR]    (default: the folder above tests/)
"""
import os
import re
import sys

# The folders each folder may include, itself among them.
ALLOWED = {
    "platform": {"platform"},
    "xls": {"xls"},
    "common": {"platform", "xls", "common"},
    "entries": {"platform", "xls", "common", "entries"},
    "chart": {"platform", "xls", "common", "chart"},
    "preview": {"platform", "xls", "common", "preview"},
    "app": {"platform", "xls", "common", "entries", "chart", "preview", "app"},
}
SOURCES = (".h", ".hpp", ".cpp", ".cc", ".inl")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def folder_of(root, path):
    """The top folder of `path` inside `root`, or None when it lies outside."""
    relative = os.path.relpath(os.path.realpath(path), os.path.realpath(root))
    if relative.startswith(".."):
        return None
    return relative.split(os.sep)[0]


def resolve(root, source, quote, name):
    """The file an include names: beside the including file (quoted form), else from the root, as
    the build's include path has it. None for a header outside the tree (Qt, the library)."""
    candidates = [os.path.join(os.path.dirname(source), name)] if quote == '"' else []
    candidates.append(os.path.join(root, name))
    for candidate in candidates:
        if os.path.isfile(candidate):
            return candidate
    return None


def violations(root):
    """The lines that break the order, and how many includes of the tree's own headers were seen."""
    found = []
    seen = 0
    for folder in sorted(ALLOWED):
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for file in sorted(files):
                if not file.endswith(SOURCES):
                    continue
                source = os.path.join(directory, file)
                with open(source, encoding="utf-8", errors="replace") as text:
                    for number, line in enumerate(text, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = resolve(root, source, match.group(1), match.group(2))
                        if target is None:
                            continue
                        seen += 1
                        reached = folder_of(root, target)
                        if reached not in ALLOWED[folder]:
                            allowed = ", ".join(sorted(ALLOWED[folder]))
                            found.append("%s:%d: includes %s (%s/), but %s/ may include only %s"
                                         % (os.path.relpath(source, root), number,
                                            match.group(2), reached, folder, allowed))
    return found, seen


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    missing = [f for f in ALLOWED if not os.path.isdir(os.path.join(root, f))]
    if missing:
        print("no folder %s under %s" % (", ".join(missing), root))
        return 1
    found, seen = violations(root)
    if seen == 0:
        print("no include of the program's own headers found under %s" % root)
        return 1
    for line in found:
        print(line)
    if found:
        print("%d include(s) break the order of the folders" % len(found))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
