"""Drives the real program in a private Xvfb with a throw-away HOME and a fake xdg-open that
records what the program asks the desktop to open. Standard library only (Debian's /usr/bin/python3)."""

import os
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time
from contextlib import contextmanager
from pathlib import Path
from urllib.parse import unquote

TWIPS_PER_PIXEL = 15
CASE_DEADLINE = 200  # seconds; below the tests' own time limit, so the cleanup still runs


class Skip(Exception):
    """The environment cannot run the case (no X server)."""


def check(condition, what, expected=None, actual=None):
    if not condition:
        raise AssertionError("%s\n  expected: %r\n  actual:   %r" % (what, expected, actual))


def wait_for(predicate, timeout, what, interval=0.1, seen=lambda: None):
    """Polls until predicate() is true; the failure shows what seen() returns then."""
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s; last seen: %r" % (timeout, what, seen()))
        time.sleep(interval)


def wait_file(path, expected, what):
    wait_for(lambda: path.exists() and path.read_bytes() == expected, 10, what,
             seen=lambda: path.exists() and path.read_bytes())


def png_size(path):
    """(width, height) of a complete PNG file (one that ends with its IEND chunk), else None."""
    data = Path(path).read_bytes()
    whole = data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR" and data.endswith(b"IEND\xaeB`\x82")
    return struct.unpack(">II", data[16:24]) if whole else None


def check_pngs(folder, sizes):
    """The PNG files named in `sizes` are complete (each ends with its IEND chunk), each of its size."""
    actual = {name: png_size(folder / name) for name in sizes}
    check(actual == sizes, "complete PNG files of their sources' sizes in %s" % folder, sizes, actual)


def bmp_bytes(width, height):
    """A 24-bit bottom-up BMP with a gradient."""
    pad = b"\0" * (-width * 3 % 4)
    pixels = b"".join(b"".join(bytes((x * 7 & 255, y * 5 & 255, (x ^ y) & 255)) for x in range(width)) + pad
                      for y in range(height))
    return (struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)


@contextmanager
def xvfb():
    """A private Xvfb on a free display, as the program's environment; raises Skip when there is none."""
    if not shutil.which("Xvfb") or not shutil.which("xdotool"):
        raise Skip("Xvfb or xdotool is not installed (scripts/setup.sh installs them)")
    read_fd, write_fd = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                             "-noreset"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    try:
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip() if select.select([pipe], [], [], 15)[0] else ""
        if not number:
            raise Skip("Xvfb did not start")
        yield {"DISPLAY": ":" + number, "QT_QPA_PLATFORM": "xcb"}
    finally:
        proc.kill()
        proc.wait()


class Session:
    """The program in a private X server with a throw-away home; it may be started more than once."""

    def __init__(self, program, display_env):
        self.program = os.path.abspath(program)
        self.root = Path(tempfile.mkdtemp(prefix="pictoria-e2e-"))
        self.home, self.work, fakebin = self.root / "home", self.root / "work", self.root / "fakebin"
        for folder in (self.home, self.work, fakebin, self.root / "runtime"):
            folder.mkdir(mode=0o700)
        self.open_log = self.root / "xdg-open.log"
        (fakebin / "xdg-open").write_text('#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s"\n' % self.open_log)
        (fakebin / "xdg-open").chmod(0o755)
        self.env = {"PATH": "%s:%s" % (fakebin, os.environ.get("PATH", "/usr/bin:/bin")), "HOME": str(self.home),
                    "XDG_CONFIG_HOME": str(self.home / ".config"), "XDG_RUNTIME_DIR": str(self.root / "runtime"),
                    "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", "QT_LOGGING_RULES": "qt.qpa.*=false", **display_env}
        self.state_file = self.home / ".config" / "Quorvane Systems" / "pxfm.sta"
        self.log_path = self.root / "program.log"
        self.proc = None

    def folder(self, name):
        (self.work / name).mkdir()
        return self.work / name

    def start(self):
        with open(self.log_path, "ab") as log:
            self.proc = subprocess.Popen([self.program], env=self.env, cwd=self.work, stdout=log,
                                         stderr=subprocess.STDOUT)
        self.main = self.wait_window("Pictoria 1.00", 20)
        self.xdo("windowfocus", "--sync", self.main)

    def opened_pages(self):
        """What the program asked the desktop to open, file addresses as paths."""
        lines = self.open_log.read_text().splitlines() if self.open_log.exists() else []
        return [Path(unquote(url[len("file://"):])) if url.startswith("file://") else url for url in lines]

    def xdo(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True, text=True,
                              timeout=60).stdout

    def find_windows(self, title):
        """Visible windows whose whole title is `title`."""
        pattern = "^%s$" % "".join("\\" + c if c in ".^$*+?()[]{}|\\" else c for c in title)
        return self.xdo("search", "--onlyvisible", "--name", pattern).split()

    def wait_window(self, title, timeout=15):
        found = []

        def shown():
            check(self.proc.poll() is None, "the program is running", None, self.proc.returncode)
            found.extend(self.find_windows(title))
            return found

        wait_for(shown, timeout, 'the window "%s"' % title)
        time.sleep(0.3)  # let it take its focus
        return found[-1]

    def click(self, window, left, top, width, height, dx=None):
        """Clicks a control given by its twips rectangle in `window`'s client area: in its
        middle, or `dx` twips from its left edge."""
        x = (left + (width // 2 if dx is None else dx)) // TWIPS_PER_PIXEL
        self.xdo("mousemove", "--window", window, x, (top + height // 2) // TWIPS_PER_PIXEL, "click", "1")
        time.sleep(0.15)

    def key(self, *keys):
        self.xdo("key", "--delay", "40", *keys)
        time.sleep(0.1)

    def type(self, text):
        self.xdo("type", "--delay", "15", "--", str(text))
        time.sleep(0.1)


def _deadline_passed(signum, frame):
    raise AssertionError("the case did not finish within %d s" % CASE_DEADLINE)


def run_case(case_function, program, server=xvfb):
    """Runs one case in its own display server (an X server unless told) and session; returns the
    exit code. A failed case's files are kept."""
    signal.signal(signal.SIGALRM, _deadline_passed)
    signal.alarm(CASE_DEADLINE)
    session = None
    try:
        with server() as display_env:
            session = Session(program, display_env)
            try:
                case_function(session)
            finally:
                if session.proc and session.proc.poll() is None:
                    session.proc.kill()
                    session.proc.wait()
                if session.log_path.exists():
                    print(session.log_path.read_text(errors="replace"))
        shutil.rmtree(session.root, ignore_errors=True)
    except Skip as reason:
        print("SKIP: %s" % reason)
        return 77  # the tests' SKIP_RETURN_CODE
    except AssertionError as failure:
        print("FAIL: %s\nthe case's files are kept in %s" % (failure, session and session.root))
        return 1
    finally:
        signal.alarm(0)
    print("PASS")
    return 0
