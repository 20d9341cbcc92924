"""A private, headless LibreOffice driven over UNO, for the developer scripts that write the
test workbooks, the template and the reference renderings.

Needs python3-uno, so run the scripts with /usr/bin/python3. A script puts this folder on
sys.path from its own location and then:

    with lo_session.Office("xlsdata") as office:
        doc = office.new_calc()
        ...
        lo_session.store(doc, path, "MS Excel 97")
        doc.close(True)
"""
import os
import shutil
import subprocess
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue

# How long soffice may take to accept the UNO connection, and to exit once told to, in seconds.
START_TIMEOUT = 60
EXIT_TIMEOUT = 60


def prop(name, value):
    """A PropertyValue, the name/value pair of UNO's media descriptors."""
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


class Office:
    """One soffice process with a throw-away user profile, reachable over a named pipe.

    `name` tells the pipe apart from those of other scripts running at the same time; the
    process id is appended. close() (or leaving a with block) ends soffice and removes the
    profile.
    """

    def __init__(self, name):
        self.desktop = None
        self.profile = tempfile.mkdtemp(prefix="lo-profile-")
        self.pipe = "%s%d" % (name, os.getpid())
        self.proc = subprocess.Popen(
            ["soffice", "--headless", "--invisible", "--norestore", "--nologo", "--nodefault",
             "-env:UserInstallation=file://" + self.profile,
             "--accept=pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.desktop = self._connect()
        except BaseException:
            self.close()
            raise

    def _connect(self):
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        url = "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe
        deadline = time.time() + START_TIMEOUT
        while True:
            try:
                ctx = resolver.resolve(url)
                break
            except Exception:
                if time.time() > deadline or self.proc.poll() is not None:
                    raise RuntimeError("LibreOffice did not start")
                time.sleep(0.5)
        return ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)

    def new_calc(self):
        """A new, hidden, empty spreadsheet document."""
        return self.desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                                 (prop("Hidden", True),))

    def load(self, path):
        """The document at `path`, opened hidden."""
        return self.desktop.loadComponentFromURL(
            uno.systemPathToFileUrl(os.path.abspath(path)), "_blank", 0, (prop("Hidden", True),))

    def close(self):
        try:
            if self.desktop is not None:
                self.desktop.terminate()
        except Exception:
            pass  # the bridge drops while soffice exits
        try:
            self.proc.wait(timeout=EXIT_TIMEOUT)
        except subprocess.TimeoutExpired:
            self.proc.terminate()
            self.proc.wait(timeout=10)
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def store(doc, path, filter_name, *extra):
    """Stores a copy of `doc` at `path` through the export filter `filter_name` (such as
    "MS Excel 97" or "calc_pdf_Export"); `extra` are further prop() values."""
    doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(path)),
                   (prop("FilterName", filter_name),) + tuple(extra))


def number_format(doc, code, language="", country=""):
    """The key of the number format `code` in `doc`, added if the document lacks it."""
    locale = uno.createUnoStruct("com.sun.star.lang.Locale")
    locale.Language, locale.Country = language, country
    formats = doc.NumberFormats
    key = formats.queryKey(code, locale, False)
    if key == -1:
        key = formats.addNew(code, locale)
    return key


def pdf_page_to_png(pdf, stem, timeout=None):
    """Writes the first page of `pdf` as `stem`.png at 96 DPI, i.e. at 100 % on screen."""
    subprocess.run(["pdftoppm", "-r", "96", "-png", "-singlefile", "-f", "1", pdf, stem],
                   check=True, timeout=timeout)
