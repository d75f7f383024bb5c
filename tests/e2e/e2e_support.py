"""Drives the real Pictoria program in a private X server.

Each case gets its own Xvfb, its own HOME (with XDG_CONFIG_HOME and
XDG_RUNTIME_DIR beneath it) and a fake xdg-open first on PATH that records
what the program asks the desktop to open, so no real browser starts and
nothing of the user's is touched.

Standard library only: the end-to-end tests run on Debian's /usr/bin/python3.
"""

import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import zlib
from contextlib import contextmanager

SKIP = 77  # ctest SKIP_RETURN_CODE
TWIPS_PER_PIXEL = 15
MAIN_TITLE = "Pictoria 1.00"


class Skip(Exception):
    """The environment cannot run the case (no X server, no browser)."""


class Failure(AssertionError):
    pass


def check(condition, what, expected=None, actual=None):
    if not condition:
        text = what
        if expected is not None or actual is not None:
            text += "\n  expected: %r\n  actual:   %r" % (expected, actual)
        raise Failure(text)


def wait_for(predicate, timeout, what, interval=0.1):
    """Polls until predicate() returns something true; fails with `what` at the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


# ---- Fixture images -----------------------------------------------------------

def pattern_pixel(x, y, seed):
    return ((x * 7 + seed * 31) & 0xFF, (y * 5 + seed * 17) & 0xFF, ((x ^ y) + seed * 3) & 0xFF)


def write_bmp(path, width, height, seed=0):
    """A 24-bit bottom-up BMP with a gradient pattern, so every file differs."""
    row_size = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pattern_pixel(x, y, seed)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        pixels += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def write_bmp_series(folder, count, width, height, stem="img"):
    """`count` BMP files of one size that differ in their first pixels;
    built from one pixel block, so hundreds are written in a blink."""
    write_bmp(os.path.join(folder, "%s%04d.bmp" % (stem, 0)), width, height)
    with open(os.path.join(folder, "%s%04d.bmp" % (stem, 0)), "rb") as f:
        base = bytearray(f.read())
    names = []
    for i in range(count):
        data = bytearray(base)
        data[54:58] = struct.pack("<I", i)
        name = "%s%04d.bmp" % (stem, i)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        names.append(name)
    return names


def write_png(path, width, height, seed=0):
    """An 8-bit RGB PNG with the same pattern as write_bmp."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw += bytes(pattern_pixel(x, y, seed))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                png_chunk(b"IDAT", zlib.compress(bytes(raw))) + png_chunk(b"IEND", b""))


def write_gif(path, width, height):
    """An 8-bit GIF87a whose LZW stream holds only literal codes (a clear code
    every 250 codes keeps the code width at 9 bits), which every decoder reads."""
    palette = bytearray()
    for i in range(256):
        palette += bytes(((i * 37) & 0xFF, (i * 91) & 0xFF, i))
    indices = [((x * 3) ^ (y * 5)) & 0xFF for y in range(height) for x in range(width)]
    clear, end = 256, 257
    codes = []
    for start in range(0, len(indices), 250):
        codes.append(clear)
        codes.extend(indices[start:start + 250])
    codes.append(end)
    bits, nbits, data = 0, 0, bytearray()
    for code in codes:
        bits |= code << nbits
        nbits += 9
        while nbits >= 8:
            data.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        data.append(bits & 0xFF)
    blocks = bytearray()
    for start in range(0, len(data), 255):
        chunk = data[start:start + 255]
        blocks += bytes((len(chunk),)) + chunk
    blocks += b"\0"
    out = b"GIF87a" + struct.pack("<HHBBB", width, height, 0xF7, 0, 0) + palette
    out += b"," + struct.pack("<HHHHB", 0, 0, width, height, 0) + b"\x08" + blocks + b";"
    with open(path, "wb") as f:
        f.write(out)


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", head[16:24])


def bmp_size(path):
    with open(path, "rb") as f:
        head = f.read(26)
    if head[:2] != b"BM":
        return None
    width, height = struct.unpack("<ii", head[18:26])
    return width, abs(height)


def jpg_size(path):
    """Width and height from the first start-of-frame marker."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"\xff\xd8":
        return None
    i = 2
    while i + 9 < len(data):
        if data[i] != 0xFF:
            return None
        marker = data[i + 1]
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            height, width = struct.unpack(">HH", data[i + 5:i + 9])
            return width, height
        i += 2 + length
    return None


# ---- Screenshots ----------------------------------------------------------------

def xwd_to_png(xwd_bytes, png_path):
    """Converts a ZPixmap true-colour XWD dump (what xwd writes for Xvfb) to PNG."""
    fields = struct.unpack(">25I", xwd_bytes[:100])
    header_size, _, pixmap_format, depth, width, height = fields[:6]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    ncolors = fields[19]
    if pixmap_format != 2 or bits_per_pixel not in (24, 32) or depth < 24:
        return False
    offset = header_size + ncolors * 12
    step = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"

    def shift_of(mask):
        return (mask & -mask).bit_length() - 1

    shifts = [shift_of(m) for m in (red_mask, green_mask, blue_mask)]
    raw = bytearray()
    for y in range(height):
        line = xwd_bytes[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        raw.append(0)
        for x in range(0, width * step, step):
            value = int.from_bytes(line[x:x + step], order)
            raw += bytes(((value >> shifts[0]) & 0xFF, (value >> shifts[1]) & 0xFF, (value >> shifts[2]) & 0xFF))

    png = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += png_chunk(b"IDAT", zlib.compress(bytes(raw), 6)) + png_chunk(b"IEND", b"")
    with open(png_path, "wb") as f:
        f.write(png)
    return True


# ---- The X server ----------------------------------------------------------------

@contextmanager
def xvfb():
    """Starts a private Xvfb on a free display; raises Skip when it cannot."""
    if not shutil.which("Xvfb") or not shutil.which("xdotool"):
        raise Skip("Xvfb or xdotool is not installed")
    read_fd, write_fd = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    deadline = time.monotonic() + 15
    try:
        os.set_blocking(read_fd, False)
        while not number.endswith(b"\n"):
            if proc.poll() is not None or time.monotonic() > deadline:
                raise Skip("Xvfb did not start")
            try:
                piece = os.read(read_fd, 16)
            except BlockingIOError:
                piece = None
            if piece == b"":
                raise Skip("Xvfb did not start")
            if piece:
                number += piece
            else:
                time.sleep(0.05)
        yield ":" + number.decode().strip()
    finally:
        os.close(read_fd)
        if proc.poll() is None:
            proc.terminate()
            try:
                proc.wait(5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


# ---- One program session ----------------------------------------------------------

FAKE_XDG_OPEN = """#!/bin/sh
# Records what the program asks the desktop to open; opens nothing.
printf '%s\\n' "$*" >> "{log}"
exit 0
"""


class Session:
    """The program running in a private X server with a throw-away home."""

    def __init__(self, program, display, artefacts, case):
        self.program = program
        self.display = display
        self.artefacts = artefacts
        self.case = case
        self.root = tempfile.mkdtemp(prefix="pictoria-e2e-%s-" % case)
        self.home = os.path.join(self.root, "home")
        self.work = os.path.join(self.root, "work")
        runtime = os.path.join(self.root, "runtime")
        fakebin = os.path.join(self.root, "fakebin")
        for d in (self.home, self.work, runtime, fakebin):
            os.makedirs(d)
        os.chmod(runtime, 0o700)
        self.open_log = os.path.join(self.root, "xdg-open.log")
        script = os.path.join(fakebin, "xdg-open")
        with open(script, "w") as f:
            f.write(FAKE_XDG_OPEN.format(log=self.open_log))
        os.chmod(script, 0o755)
        self.env = {
            "PATH": fakebin + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.home,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_RUNTIME_DIR": runtime,
            "DISPLAY": display,
            "QT_QPA_PLATFORM": "xcb",
            "LANG": "C.UTF-8",
            "LC_ALL": "C.UTF-8",
            "QT_LOGGING_RULES": "qt.qpa.*=false",
        }
        self.proc = None
        self.main = None
        self.log_path = os.path.join(self.root, "program.log")

    @property
    def state_file(self):
        return os.path.join(self.home, ".config", "Quorvane Systems", "pxfm.sta")

    # -- process --

    def start(self):
        self.log = open(self.log_path, "ab")
        self.proc = subprocess.Popen([self.program], env=self.env, cwd=self.work,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        self.main = self.wait_window(MAIN_TITLE, 20)
        self.focus(self.main)
        return self.main

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within %.0f s" % timeout)

    def close(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if self.proc:
            self.log.close()

    def program_output(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def check_running(self):
        if self.proc.poll() is not None:
            raise Failure("the program ended unexpectedly (exit code %s); its output:\n%s"
                          % (self.proc.returncode, self.program_output()))

    def open_files(self):
        """The files the program holds open (Linux /proc)."""
        fd_dir = "/proc/%d/fd" % self.proc.pid
        links = []
        for fd in os.listdir(fd_dir):
            try:
                links.append(os.readlink(os.path.join(fd_dir, fd)))
            except OSError:
                pass
        return links

    # -- xdotool --

    def xdo(self, *args, timeout=15):
        result = subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True,
                                text=True, timeout=timeout)
        return result

    def find_windows(self, title):
        """Visible top-level windows whose whole title is `title`."""
        result = self.xdo("search", "--onlyvisible", "--name", "^%s$" % regex_escape(title))
        return [w for w in result.stdout.split() if w]

    def visible_titles(self):
        result = self.xdo("search", "--onlyvisible", "--name", ".")
        titles = []
        for window in result.stdout.split():
            name = self.xdo("getwindowname", window).stdout.strip()
            if name:
                titles.append(name)
        return titles

    def wait_window(self, title, timeout=15):
        def found():
            self.check_running()
            windows = self.find_windows(title)
            return windows[-1] if windows else None
        return wait_for(found, timeout, 'the window "%s"' % title)

    def wait_window_gone(self, title, timeout=15):
        wait_for(lambda: not self.find_windows(title), timeout, 'the window "%s" to close' % title)

    def focus(self, window):
        self.xdo("windowfocus", "--sync", window)

    def click_twips(self, window, left, top, width, height, dx=None):
        """Clicks a control given by its twips rectangle inside `window`'s client area
        (in the middle, or `dx` twips from its left edge)."""
        x = (left + (width // 2 if dx is None else dx)) // TWIPS_PER_PIXEL
        y = (top + height // 2) // TWIPS_PER_PIXEL
        self.xdo("mousemove", "--window", window, x, y)
        self.xdo("click", "1")
        time.sleep(0.15)

    def key(self, *keys):
        self.xdo("key", "--delay", "40", *keys)
        time.sleep(0.1)

    def type(self, text):
        self.xdo("type", "--delay", "15", "--", text, timeout=60)
        time.sleep(0.1)

    # -- what the program shows --

    def clipboard(self):
        try:
            result = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env,
                                    capture_output=True, timeout=5)
        except subprocess.TimeoutExpired:
            return None
        return result.stdout.decode("utf-8", "replace") if result.returncode == 0 else None

    def report(self, report_rect):
        """The report window's text, through select all and copy."""
        # A click that lands while the window is busy may be lost: try again.
        for _ in range(5):
            self.check_running()
            self.click_twips(self.main, *report_rect)
            self.key("ctrl+a")
            self.key("ctrl+c")
            deadline = time.monotonic() + 1.5
            while time.monotonic() < deadline:
                text = self.clipboard()
                if text is not None:
                    return text.replace("\r\n", "\n")
                time.sleep(0.1)
        raise Failure("the report could not be copied to the clipboard")

    def screenshot(self, name, window=None):
        """Saves the window (or the whole screen) as PNG into the artefacts folder;
        keeps the raw .xwd when it cannot be converted. Never fails the case."""
        os.makedirs(self.artefacts, exist_ok=True)
        target = ["-id", str(window)] if window else ["-root"]
        try:
            dump = subprocess.run(["xwd", "-silent", *target], env=self.env, capture_output=True,
                                  timeout=15).stdout
        except (OSError, subprocess.TimeoutExpired):
            return None
        if not dump:
            return None
        png = os.path.join(self.artefacts, "%s_%s.png" % (self.case, name))
        try:
            if xwd_to_png(dump, png):
                return png
        except (struct.error, ValueError, IndexError):
            pass
        raw = os.path.join(self.artefacts, "%s_%s.xwd" % (self.case, name))
        with open(raw, "wb") as f:
            f.write(dump)
        return raw

    def opened_documents(self):
        try:
            with open(self.open_log, encoding="utf-8") as f:
                return [line.rstrip("\n") for line in f]
        except OSError:
            return []


def regex_escape(text):
    return "".join("\\" + c if c in ".^$*+?()[]{}|\\" else c for c in text)


CASE_DEADLINE = 100  # seconds; below the tests' own time limit, so the cleanup still runs


def _deadline_passed(signum, frame):
    raise Failure("the case did not finish within %d s" % CASE_DEADLINE)


def run_case(case_function, program, artefacts, name):
    """Runs one case in its own X server and session; returns the exit code."""
    if not shutil.which("xclip"):
        print("SKIP: xclip is not installed (scripts/setup.sh installs it)")
        return SKIP
    signal.signal(signal.SIGALRM, _deadline_passed)
    signal.alarm(CASE_DEADLINE)
    try:
        with xvfb() as display:
            session = Session(program, display, artefacts, name)
            try:
                case_function(session)
            except Skip:
                raise
            except BaseException:
                session.screenshot("failure")
                print("the case's files are kept in " + session.root)
                raise
            finally:
                session.close()
                output = session.program_output().strip()
                if output:
                    print("program output:\n" + output)
            shutil.rmtree(session.root, ignore_errors=True)
    except Skip as reason:
        print("SKIP: %s" % reason)
        return SKIP
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        signal.alarm(0)
    print("PASS")
    return 0
