#!/usr/bin/python3
"""The program as the package installs it, started from an unpacked copy of the package: under Xvfb, and on
a Wayland desktop (a headless Weston) driven through the accessibility bus, as a screen reader sees it.

Usage: package_cases.py {window,wayland} PROGRAM PIXMORPH_CONVERT
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
from contextlib import contextmanager
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from e2e_support import Skip, bmp_bytes, check_pngs, run_case, wait_for  # noqa: E402


def case_window(s):
    s.start()  # the main window's title is made from the program texts


@contextmanager
def weston():
    """A private session bus (which starts the accessibility bus when asked) and a headless Weston on it."""
    if not shutil.which("weston") or not shutil.which("dbus-daemon"):
        raise Skip("weston or dbus-daemon is not installed (scripts/setup.sh installs them)")
    runtime = Path(tempfile.mkdtemp(prefix="pictoria-wayland-"))
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"} | {"XDG_RUNTIME_DIR": str(runtime)}
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"], env=env, text=True,
                           stdout=subprocess.PIPE, start_new_session=True)
    env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
    compositor = subprocess.Popen(["weston", "--backend=headless-backend.so", "--socket=wayland-0", "--idle-time=0"],
                                  env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        try:
            wait_for((runtime / "wayland-0").exists, 15, "Weston's socket")
        except AssertionError as failure:
            raise Skip("Weston did not start: %s" % failure)
        a11y = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                               "org.a11y.Bus.GetAddress"], env=env, capture_output=True, text=True, timeout=30)
        if a11y.returncode != 0:
            raise Skip("the accessibility bus did not start: %s" % a11y.stderr.strip())
        yield {"WAYLAND_DISPLAY": str(runtime / "wayland-0"), "QT_QPA_PLATFORM": "wayland",
               "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "DBUS_SESSION_BUS_ADDRESS": env["DBUS_SESSION_BUS_ADDRESS"]}
    finally:
        for proc in (compositor, bus):  # the bus's group holds the accessibility bus it started
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait()
        shutil.rmtree(runtime, ignore_errors=True)


def find(atspi, role, name, node=None):
    """The first showing accessible with that role and name in the program, or None."""
    if node is None:
        desktop = atspi.get_desktop(0)
        node = next((app for app in map(desktop.get_child_at_index, range(desktop.get_child_count()))
                     if app and app.get_name() == "Pictoria"), None)
    if node is None or (node.get_role_name() == role and node.get_name() == name and
                        node.get_state_set().contains(atspi.StateType.SHOWING)):
        return node
    return next(filter(None, (find(atspi, role, name, child)
                              for child in map(node.get_child_at_index, range(node.get_child_count())))), None)


def case_wayland(s):
    """A JPG on the command line: the output formats dialog, PNG ticked, "Convert file", the PNG complete."""
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = s.env["DBUS_SESSION_BUS_ADDRESS"]  # before AT-SPI's first call
    try:
        import gi  # Debian's python3-gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi
    except (ImportError, ValueError) as reason:
        raise Skip("AT-SPI is missing (scripts/setup.sh installs gir1.2-atspi-2.0): %s" % reason)
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
    wait_for((s.work / "photo.png").exists, 20, "photo.png")
    check_pngs(s.work, {"photo.png": (40, 30)})  # written whole, then named


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in ("window", "wayland"):
        sys.exit("usage: package_cases.py {window,wayland} PROGRAM PIXMORPH_CONVERT")
    PIXMORPH_CONVERT = sys.argv[3]
    if sys.argv[1] == "window":
        sys.exit(run_case(case_window, sys.argv[2]))
    sys.exit(run_case(case_wayland, sys.argv[2], server=weston))
