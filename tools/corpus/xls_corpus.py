#!/usr/bin/python3
"""The engine over real-world workbooks: the .xls test files of public spreadsheet libraries.

    xls_corpus.py manifest MIRROR...          rewrite manifest.tsv from local git mirrors
    xls_corpus.py run [--xlstool PATH] [--mirrors DIR] [--cache DIR] [--report FILE] [--only RE]

`manifest` lists every .xls/.xlt file of each mirror (a bare or working git repository of
owner/name, e.g. /work/.mirror/python-excel+xlrd/repo) with the repository, commit, path and
the file's sha256. The files themselves stay out of this repository: `run` takes each from the
cache folder (default $XDG_CACHE_HOME/morrowlin-xls-corpus), else from a mirror below --mirrors
(folders named owner+name), else from raw.githubusercontent.com, checks its sha256 and keeps it
in the cache.

For each file `run` does what the program does with a template, and checks it:
  1. `xlstool dump`: every cell; compared with python3-xlrd's reading of the same file.
  2. `xlstool fill`: overwrites the first cell of the active sheet's used range, adds two cells
     below it ("Corpus", 1234.5) and saves; the result is read again by `xlstool dump` and by
     xlrd, and every other cell must read as before.
  3. The checks of tests/xls/public_workbooks_test.py: two fills, after which every stream,
     record and cell the engine does not own must be as it was.
Each file ends in one class: "read" (all checks pass), "refused" (a clear one-line error from
xlstool, grouped by its text), or a defect: crash or hang, a refusal that is not one line
naming the file, a value that differs from xlrd's, a fill that fails, or a filled workbook that
reads differently. Run with /usr/bin/python3 (it needs python3-xlrd).
"""
import argparse
import collections
import hashlib
import math
import os
import re
import resource
import subprocess
import sys
import tempfile
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, os.pardir, "tests", "xls"))
import public_workbooks_test  # noqa: E402  (the checks of the suite's public workbooks)
MANIFEST = os.path.join(HERE, "manifest.tsv")
EXTENSIONS = (".xls", ".xlt")
TIMEOUT = 60


def git(repo, *args, binary=False):
    out = subprocess.run(["git", "-C", repo] + list(args), check=True, capture_output=True).stdout
    return out if binary else out.decode()


def make_manifest(mirrors):
    rows = []
    for mirror in mirrors:
        repo_dir = mirror.rstrip("/")
        name = os.path.basename(os.path.dirname(repo_dir)) if repo_dir.endswith("/repo") else \
            os.path.basename(repo_dir)
        repo = name.replace("+", "/", 1)
        commit = git(repo_dir, "rev-parse", "HEAD").strip()
        for line in git(repo_dir, "ls-tree", "-r", "HEAD").splitlines():
            meta, path = line.split("\t", 1)
            if not path.lower().endswith(EXTENSIONS):
                continue
            blob = meta.split()[2]
            try:
                data = git(repo_dir, "cat-file", "blob", blob, binary=True)
            except subprocess.CalledProcessError:
                continue  # not in the snapshot (large files may be absent)
            if data.startswith(b"version https://git-lfs"):
                continue
            rows.append((repo, commit, path, hashlib.sha256(data).hexdigest()))
    with open(MANIFEST, "w") as f:
        f.write("# repository\tcommit\tpath\tsha256 -- written by xls_corpus.py manifest\n")
        for row in sorted(rows):
            f.write("\t".join(row) + "\n")
    print("%d files from %d repositories" % (len(rows), len(mirrors)))


def read_manifest():
    with open(MANIFEST) as f:
        return [line.rstrip("\n").split("\t") for line in f if not line.startswith("#")]


def obtain(entry, cache, mirrors):
    repo, commit, path, sha = entry
    cached = os.path.join(cache, sha[:16] + "-" + os.path.basename(path))
    if os.path.exists(cached):
        return cached
    data = None
    mirror = os.path.join(mirrors, repo.replace("/", "+", 1), "repo") if mirrors else None
    if mirror and os.path.isdir(mirror):
        try:
            data = git(mirror, "show", "%s:%s" % (commit, path), binary=True)
        except subprocess.CalledProcessError:
            data = None
    if data is None:
        url = "https://raw.githubusercontent.com/%s/%s/%s" % (repo, commit, path)
        try:
            with urllib.request.urlopen(url, timeout=60) as r:
                data = r.read()
        except Exception:
            return None
    if hashlib.sha256(data).hexdigest() != sha:
        return None
    os.makedirs(cache, exist_ok=True)
    with open(cached, "wb") as f:
        f.write(data)
    return cached


def limit_memory():
    resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))


def xlstool(tool, *args):
    try:
        p = subprocess.run([tool] + list(args), capture_output=True, timeout=TIMEOUT,
                           preexec_fn=limit_memory)
        return p.returncode, p.stdout.decode("utf-8", "replace"), \
            p.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return "timeout", "", ""


# ---- reading `xlstool dump` ------------------------------------------------------------------

SHEET_RE = re.compile(r'^sheet (\d+) "((?:[^"\\]|\\.)*)"( \(active\))? used (\S+)$')
CELL_RE = re.compile(r'^([A-Z]+)(\d+) (\w+)(?:\((\w+)\))?(?: (.*?))? format "(?:[^"\\]|\\.)*"$')


def unquote(s):
    out, i = [], 1
    while i < len(s) - 1:
        if s[i] == "\\" and i + 1 < len(s) - 1:
            out.append("\n" if s[i + 1] == "n" else s[i + 1])
            i += 2
        else:
            out.append(s[i])
            i += 1
    return "".join(out)


def col_index(letters):
    n = 0
    for ch in letters:
        n = n * 26 + ord(ch) - 64
    return n - 1


def col_letters(c):
    s = ""
    c += 1
    while c:
        c, r = divmod(c - 1, 26)
        s = chr(65 + r) + s
    return s


def parse_dump(text):
    """{sheet name: {(row, col): value}}, the active sheet's name and its used range."""
    sheets, active, used, current = {}, None, {}, None
    for line in text.split("\n"):  # a cell's text may hold a carriage return
        m = SHEET_RE.match(line)
        if m:
            current = unquote('"%s"' % m.group(2))
            sheets[current] = {}
            if m.group(3):
                active = current
            used[current] = m.group(4)
            continue
        m = CELL_RE.match(line)
        if not m or current is None:
            continue
        r, c = int(m.group(2)) - 1, col_index(m.group(1))
        kind = m.group(4) or m.group(3)
        value = m.group(5) or ""
        if kind == "number":
            v = float(value)
        elif kind == "string":
            v = unquote(value)
        elif kind == "boolean":
            v = value == "TRUE"
        elif kind == "error":
            v = ("error", int(value.split()[1]))
        else:
            v = None  # blank, or a formula without a cached value
        sheets[current][(r, c)] = v
    return sheets, active, used


# ---- reading with xlrd -----------------------------------------------------------------------

def xlrd_cells(path):
    import xlrd
    book = xlrd.open_workbook(path, logfile=open(os.devnull, "w"), on_demand=False)
    out = {}
    for sheet in book.sheets():
        cells = {}
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                if cell.ctype in (xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_DATE):
                    v = float(cell.value)
                elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                    v = bool(cell.value)
                elif cell.ctype == xlrd.XL_CELL_ERROR:
                    v = ("error", cell.value)
                else:
                    v = cell.value
                cells[(r, c)] = v
        out[sheet.name] = cells
    return out


def same(a, b):
    if isinstance(a, float) and isinstance(b, float):
        return a == b or (math.isnan(a) and math.isnan(b)) or \
            abs(a - b) <= 1e-12 * max(abs(a), abs(b))
    return a == b


def compare(ours, theirs, skip=()):
    """The cells where two readings differ (xlrd's empty strings count as empty)."""
    diffs = []
    for name, cells in theirs.items():
        mine = ours.get(name)
        if mine is None:
            continue  # a sheet xlrd reads that the dump lists otherwise (chart sheets)
        for key, v in cells.items():
            if key in skip or (v == "" and mine.get(key) in (None, "")):
                continue
            if key not in mine or not same(mine[key], v):
                diffs.append((name, key, mine.get(key, "<missing>"), v))
        for key, v in mine.items():
            if key not in cells and key not in skip and v not in (None, ""):
                diffs.append((name, key, v, "<missing>"))
    return diffs


def cell_name(key):
    return "%s%d" % (col_letters(key[1]), key[0] + 1)


# ---- one file --------------------------------------------------------------------------------

def check(tool, path, work):
    """(class, detail) for one workbook."""
    base = os.path.basename(path)
    rc, out, err = xlstool(tool, "dump", path)
    if rc == "timeout":
        return "defect: hang", "dump took over %d s" % TIMEOUT
    if rc not in (0, 1):
        return "defect: crash", "dump exit %s: %s" % (rc, err.strip()[-300:])
    try:
        theirs = xlrd_cells(path)
    except Exception as e:
        theirs = None
        xlrd_error = "%s: %s" % (type(e).__name__, str(e).splitlines()[0] if str(e) else "")
    if rc == 1:
        lines = err.strip().splitlines()
        if len(lines) != 1 or not lines[0].startswith("xlstool: %s: " % base):
            return "defect: unclear refusal", err.strip()[:300]
        fault = lines[0][len("xlstool: %s: " % base):]
        fault = re.sub(r"\d+", "N", fault)
        return "refused", fault + ("" if theirs is None else "  [xlrd reads it]")
    ours, active, used = parse_dump(out)
    if theirs is not None:
        diffs = compare(ours, theirs)
        if diffs:
            d = diffs[0]
            return "defect: dump differs from xlrd", "%d cells, first %s!%s ours %r xlrd %r" % (
                len(diffs), d[0], cell_name(d[1]), d[2], d[3])
    if active is None:
        return "read (no worksheet to fill)", ""
    # Fill: the first used cell, and two cells below the used range.
    rng = used[active]
    if rng == "none":
        first, below = (0, 0), 1
    else:
        m = re.match(r"([A-Z]+)(\d+):([A-Z]+)(\d+)", rng)
        first = (int(m.group(2)) - 1, col_index(m.group(1)))
        below = min(int(m.group(4)) + 1, 65534)
    fills = {first: "Filled", (below, 0): "Corpus", (below, 1): 1234.5}
    if first in ((below, 0), (below, 1)):
        del fills[first]
    out_path = os.path.join(work, "filled.xls")
    args = ["%s=%s" % (cell_name(k), v) for k, v in fills.items()]
    rc, _, err = xlstool(tool, "fill", path, out_path, *args)
    if rc == "timeout":
        return "defect: hang", "fill took over %d s" % TIMEOUT
    if rc != 0:
        if rc == 1 and err.startswith("xlstool: ") and "array formula" in err:
            return "read (fill refused: a cell of an array formula)", ""
        if rc == 1 and err.strip().endswith(": the sheet is not a worksheet"):
            return "read (the active sheet is a chart sheet: not filled)", ""
        return "defect: fill fails", ("exit %s: " % rc) + err.strip()[-300:]
    rc, out2, err = xlstool(tool, "dump", out_path)
    if rc != 0:
        return "defect: filled file unreadable by xlstool", err.strip()[-300:]
    again, _, _ = parse_dump(out2)
    expected = {k: v for k, v in fills.items()}
    for k, v in expected.items():
        got = again.get(active, {}).get(k)
        if not same(got, v):
            return "defect: filled value lost", "%s: %r" % (cell_name(k), got)
    diffs = [d for d in compare(again, {active: ours[active]}, skip=fills.keys())]
    if diffs:
        d = diffs[0]
        return "defect: fill changed other cells", "%d cells, first %s ours %r before %r" % (
            len(diffs), cell_name(d[1]), d[2], d[3])
    kept = os.path.join(work, "kept")
    os.makedirs(kept, exist_ok=True)
    outcome, faults = public_workbooks_test.check(path, tool, None, kept)
    if outcome == "defect":
        return "defect: a stream, record or cell not kept", "; ".join(faults)[:300]
    if theirs is None:
        return "read (xlrd refuses the original: %s)" % xlrd_error.split(":")[0], ""
    try:
        theirs2 = xlrd_cells(out_path)
    except Exception as e:
        return "defect: xlrd cannot read the filled file", "%s: %s" % (
            type(e).__name__, str(e).splitlines()[0] if str(e) else "")
    diffs = compare(theirs2, theirs, skip=fills.keys())
    for k, v in fills.items():
        if not same(theirs2.get(active, {}).get(k), v):
            diffs.append((active, k, theirs2.get(active, {}).get(k), v))
    if diffs:
        d = diffs[0]
        return "defect: xlrd reads the filled file differently", \
            "%d cells, first %s!%s now %r before %r" % (len(diffs), d[0], cell_name(d[1]), d[2],
                                                       d[3])
    return "read", ""


def run(args):
    cache = args.cache or os.path.join(
        os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")), "morrowlin-xls-corpus")
    entries = read_manifest()
    if args.only:
        entries = [e for e in entries if re.search(args.only, e[0] + "/" + e[2])]
    tally = collections.Counter()
    details = collections.defaultdict(list)
    missing = 0
    work = tempfile.mkdtemp(prefix="xls-corpus-")
    report = open(args.report, "w") if args.report else None
    seen = set()
    for entry in entries:
        path = obtain(entry, cache, args.mirrors)
        if path is None:
            missing += 1
            continue
        if entry[3] in seen:  # the same file under two names is counted once
            continue
        seen.add(entry[3])
        cls, detail = check(args.xlstool, path, work)
        key = cls.split(" (")[0]
        tally[key] += 1
        details[cls if not cls.startswith("refused") else "refused: " + detail].append(entry)
        line = "%s\t%s/%s\t%s\t%s" % (cls, entry[0], entry[2], entry[3][:12], detail)
        if report:
            report.write(line + "\n")
        if cls.startswith("defect"):
            print(line, flush=True)
    total = sum(tally.values())
    print("\nfiles: %d distinct (%d listed, %d not obtainable)" % (total, len(entries), missing))
    for key, n in sorted(tally.items(), key=lambda kv: -kv[1]):
        print("  %-45s %d" % (key, n))
    print("\nby class:")
    for cls, es in sorted(details.items(), key=lambda kv: -len(kv[1])):
        print("  %4d  %s" % (len(es), cls))
    return 1 if any(k.startswith("defect") for k in tally) else 0


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = p.add_subparsers(dest="cmd", required=True)
    m = sub.add_parser("manifest")
    m.add_argument("mirrors", nargs="+")
    r = sub.add_parser("run")
    r.add_argument("--xlstool", default=os.path.join(HERE, os.pardir, os.pardir, "build",
                                                     "xlstool"))
    r.add_argument("--mirrors", default="/work/.mirror")
    r.add_argument("--cache")
    r.add_argument("--report")
    r.add_argument("--only")
    args = p.parse_args()
    if args.cmd == "manifest":
        make_manifest(args.mirrors)
        return 0
    return run(args)


if __name__ == "__main__":
    sys.exit(main())
