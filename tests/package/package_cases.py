#!/usr/bin/python3
"""The program as the package installs it, started from an unpacked copy of the package: under Xvfb, and on
a Wayland desktop (a headless Weston) driven through the accessibility bus, as a screen reader sees it.

Usage: package_cases.py {window,wayland} PROGRAM PIXMORPH_CONVERT
"""

import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
from contextlib import contextmanager
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from e2e_support import Skip, bmp_bytes, check, run_case, wait_for  # noqa: E402


def case_window(s):
    s.start()  # the main window's title is made from the program texts


@contextmanager
def weston():
    """A private session bus (which starts the accessibility bus when asked) and a headless Weston."""
    if not shutil.which("weston") or not shutil.which("dbus-daemon"):
        raise Skip("weston or dbus-daemon is not installed (scripts/setup.sh installs them)")
    runtime = Path(tempfile.mkdtemp(prefix="pictoria-wayland-"))
    env = dict(os.environ, XDG_RUNTIME_DIR=str(runtime))
    env.pop("DISPLAY", None)
    started = []
    try:
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, start_new_session=True)
        started.append(bus)
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        started.append(subprocess.Popen(["weston", "--backend=headless-backend.so", "--socket=wayland-pictoria",
                                         "--idle-time=0"], env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True))
        socket = runtime / "wayland-pictoria"
        try:
            wait_for(socket.exists, 15, "Weston's socket")
        except AssertionError as failure:
            raise Skip("Weston did not start: %s" % failure)
        yield {"WAYLAND_DISPLAY": str(socket), "QT_QPA_PLATFORM": "wayland", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
               "DBUS_SESSION_BUS_ADDRESS": env["DBUS_SESSION_BUS_ADDRESS"]}
    finally:
        for proc in reversed(started):  # the bus's group holds the accessibility bus it started
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait()
        shutil.rmtree(runtime, ignore_errors=True)


def accessibility():
    """AT-SPI on the session's bus."""
    try:
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
    except (ImportError, ValueError) as reason:
        raise Skip("AT-SPI for Python is missing (scripts/setup.sh installs gir1.2-atspi-2.0): %s" % reason)
    return Atspi


def find(Atspi, role, name):
    """The first visible accessible of the program with that role and name, or None."""
    def walk(node):
        if node.get_role_name() == role and node.get_name() == name and \
                node.get_state_set().contains(Atspi.StateType.SHOWING):
            return node
        return next(filter(None, map(walk, (node.get_child_at_index(i) for i in range(node.get_child_count())))),
                    None)
    desktop = Atspi.get_desktop(0)
    apps = [desktop.get_child_at_index(i) for i in range(desktop.get_child_count())]
    return next(filter(None, (walk(app) for app in apps if app and app.get_name() == "Pictoria")), None)


def case_wayland(s):
    """A JPG on the command line: the output formats dialog, PNG ticked, "Convert file", the PNG complete."""
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = s.env["DBUS_SESSION_BUS_ADDRESS"]  # before AT-SPI's first call
    Atspi = accessibility()
    (s.work / "photo.bmp").write_bytes(bmp_bytes(40, 30))
    subprocess.run([PIXMORPH_CONVERT, s.work / "photo.bmp", s.work / "photo.jpg"], check=True, capture_output=True)
    with open(s.log_path, "ab") as log:
        s.proc = subprocess.Popen([s.program, s.work / "photo.jpg"], env=s.env, cwd=s.work, stdout=log,
                                  stderr=subprocess.STDOUT)
    wait_for(lambda: find(Atspi, "dialog", "Convert single file"), 30, "the output formats dialog")
    png = find(Atspi, "check box", "PNG")
    png.do_action(0)
    wait_for(lambda: png.get_state_set().contains(Atspi.StateType.CHECKED), 5, "PNG ticked")
    find(Atspi, "push button", "Convert file").do_action(0)
    wait_for(lambda: (s.work / "photo.png").exists(), 20, "photo.png")
    decoded = subprocess.run([PIXMORPH_CONVERT, s.work / "photo.png", s.work / "check.bmp"], capture_output=True)
    check(decoded.returncode == 0, "photo.png decodes", 0, decoded.stdout)
    size = struct.unpack("<ii", (s.work / "check.bmp").read_bytes()[18:26])
    check(size == (40, 30), "photo.png has the photo's size", (40, 30), size)


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in ("window", "wayland"):
        sys.exit("usage: package_cases.py {window,wayland} PROGRAM PIXMORPH_CONVERT")
    PIXMORPH_CONVERT = sys.argv[3]
    if sys.argv[1] == "window":
        sys.exit(run_case(case_window, sys.argv[2]))
    sys.exit(run_case(case_wayland, sys.argv[2], server=weston))
