#!/usr/bin/python3
"""The engine's sources stay readable: no file of xls/ longer than 500 lines, no function longer
than 80 lines, and the format's magic numbers (sheet limits, the longest string, compound-file
sector sentinels, the mini-stream cutoff) written only in the headers that name them.

    check_engine_layout.py SOURCE_DIR

Prints each breach as FILE:LINE: what, and exits 1 when there is one.
"""
import os
import re
import sys

MAX_FILE_LINES = 500
MAX_FUNCTION_LINES = 80
FORMAT_HEADERS = {"xls/BiffFormat.h", "xls/CompoundFileFormat.h"}
# Numbers that mean one thing of the format wherever they stand in the engine (the last row, the
# longest string), and in the compound file's code (its sector sentinels, the mini-stream cutoff).
MAGIC = re.compile(r"\b(65535|32767)\b")
COMPOUND_MAGIC = re.compile(r"\b(0x[fF]{7}[cdefCDEF]|4096)\b")
NOT_A_FUNCTION = re.compile(r"^\s*(if|for|while|switch|catch|do|else|try|return|case|namespace|"
                            r"class|struct|union|enum|extern)\b|=\s*$|\]\s*(\(.*\))?\s*"
                            r"(mutable\s*)?(->\s*[\w:<>]+\s*)?$")


def code_only(text):
    """The text with comments, string and character literals blanked, lines kept."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(" " * (j - i))
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c == 'R' and text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append(re.sub(r"[^\n]", " ", text[i:j]))
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * (j - i - 1) + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def long_functions(path, text):
    """(line, name, length) of each function body longer than the limit."""
    code = code_only(text)
    found = []
    stack = []  # per open brace: (is_function, start line, name)
    header_from = 0
    for m in re.finditer(r"[{};]", code):
        ch, at = m.group(), m.start()
        if ch == "{":
            header = code[header_from:at]
            inside_function = any(f for f, _, _ in stack)
            is_function = (not inside_function and ")" in header and
                           not NOT_A_FUNCTION.search(header.strip()))
            if is_function:
                name = re.search(r"([~\w:]+)\s*\(", header)
                first = header_from + len(header) - len(header.lstrip())
                stack.append((True, code.count("\n", 0, first) + 1,
                              name.group(1) if name else "?"))
            else:
                stack.append((False, 0, ""))
            header_from = at + 1
        elif ch == "}":
            if stack:
                is_function, start, name = stack.pop()
                if is_function:
                    length = code.count("\n", 0, at) + 1 - start + 1
                    if length > MAX_FUNCTION_LINES:
                        found.append((start, name, length))
            header_from = at + 1
        else:
            header_from = at + 1
    return found


def main():
    root = sys.argv[1]
    breaches = []
    files = 0
    for folder, _, names in os.walk(os.path.join(root, "xls")):
        for name in sorted(names):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            text = open(path, encoding="utf-8").read()
            files += 1
            lines = text.count("\n")
            if lines > MAX_FILE_LINES:
                breaches.append("%s:1: %d lines (at most %d)" % (rel, lines, MAX_FILE_LINES))
            for start, fn, length in long_functions(path, text):
                breaches.append("%s:%d: %s is %d lines long (at most %d)" %
                                (rel, start, fn, length, MAX_FUNCTION_LINES))
            if rel not in FORMAT_HEADERS:
                for number, line in enumerate(code_only(text).split("\n"), 1):
                    magic_here = MAGIC.findall(line)
                    if name.startswith("CompoundFile") and "static_assert" not in line:
                        magic_here += COMPOUND_MAGIC.findall(line)
                    for magic in magic_here:
                        breaches.append("%s:%d: bare %s (name it in a format header)" %
                                        (rel, number, magic))
    for b in breaches:
        print(b)
    print("%d engine files, %d breaches" % (files, len(breaches)))
    return 1 if breaches or files < 20 else 0


if __name__ == "__main__":
    sys.exit(main())
