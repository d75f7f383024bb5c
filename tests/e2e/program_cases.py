#!/usr/bin/python3
"""End-to-end flows of the real program, driven by real keyboard and mouse events.

Usage: program_cases.py {single_file_and_state,outside_ends} PROGRAM
"""

import os
import re
import signal
import struct
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import bmp_bytes, check, check_pngs, run_case, wait_file, wait_for  # noqa: E402

# Controls, in twips (left, top, width, height) inside their window's client area.
CONVERT_SINGLE = (105, 105, 2430, 360)
FOLDER_BOX = [(2625, 525, 7150, 360), (2625, 945, 7150, 360)]
FORMAT_BOX = [(1575, 1440, 960, 315), (6300, 1440, 1065, 315)]
CONVERT_FILES = (105, 2100, 1905, 360)
SAVE_STATE = (105, 2520, 1905, 360)
QUIT = (1155, 3360, 855, 360)
SAVE_STATE_ON_QUIT = (105, 3780, 1905, 330)
CHECK_BOX_DX = 150  # a check box is clicked on its box, not in the middle of its caption
# The output formats dialog, after its load handler moved every control 50 twips down.
SINGLE_PNG = (105, 1520, 960, 330)
SINGLE_JPG = (105, 1835, 855, 330)
SINGLE_QUALITY = [(975, 2150, 500, 360), (1785, 2150, 500, 360)]


def tick(s, window, rect):
    s.click(window, *rect, dx=CHECK_BOX_DX)


def enter_text(s, window, rect, text):
    s.click(window, *rect)
    s.key("ctrl+a")
    s.type(text)


def run_batch(s, source, target):
    """A BMP to PNG batch from source to target."""
    for index, folder in enumerate((source, target)):
        enter_text(s, s.main, FOLDER_BOX[index], folder)
        s.key("Tab")
    for index, letter in enumerate("bp"):  # the format list opens on a click and is searched by letter
        s.click(s.main, *FORMAT_BOX[index])
        time.sleep(0.3)
        s.key(letter)
        s.key("Return")
        time.sleep(0.2)
    s.click(s.main, *CONVERT_FILES)


def answer(s, title, text=None):
    """Answers the window `title` with Enter, after typing `text` (into a file dialog's name field)."""
    s.xdo("windowfocus", "--sync", s.wait_window(title))
    if text:
        s.type(text)
    s.key("Return")
    wait_for(lambda: not s.find_windows(title), 15, 'the window "%s" to close' % title)


def quit_program(s):
    s.click(s.main, *QUIT)
    check(s.proc.wait(15) == 0, "the program ends with exit code 0 after Quit", 0, s.proc.returncode)


def case_single_file_and_state(s):
    """One file into PNG and a JPG range; Quit with "Save state on quit" keeps the window as that
    left it, and the next start reads it."""
    s.start()
    folder = s.folder("pics")
    (folder / "photo.bmp").write_bytes(bmp_bytes(40, 30))
    s.click(s.main, *CONVERT_SINGLE)
    answer(s, "Specify file to be converted", folder / "photo.bmp")
    dialog = s.wait_window("Convert single file")
    tick(s, dialog, SINGLE_PNG)
    tick(s, dialog, SINGLE_JPG)
    time.sleep(0.3)
    s.key("shift+Tab", "space")  # the option before "Convert file", which has the focus: "View in browser"
    enter_text(s, dialog, SINGLE_QUALITY[0], "60")
    enter_text(s, dialog, SINGLE_QUALITY[1], "80")
    s.key("Return")  # from a quality box, Enter presses "Convert file"
    page = folder / "viewer01.htm"
    wait_for(lambda: page in s.opened_pages(), 30, "the single file's viewer page")
    outputs = ["photo.png"] + ["photo_q%d.jpg" % q for q in (60, 70, 80)]
    shown = re.findall(r"^.*/(\S+), .* \(from photo\.bmp\)<BR>$", page.read_text(), re.M)
    check(shown == outputs, "the outputs on the page, PNG first", outputs, shown)
    check(sorted(os.listdir(folder)) == sorted(outputs + ["photo.bmp", "viewer01.htm"]),
          "nothing else is written: no untagged JPG for a quality range", None, os.listdir(folder))

    tick(s, s.main, SAVE_STATE_ON_QUIT)
    quit_program(s)
    expected = "".join('"%s"\r\n' % v for v in ["%s/" % folder] * 2 + [" 1", " 3", "1", "0", "1", "90"]).encode()
    wait_file(s.state_file, expected, "the folder and formats the single file left, saved on quit")
    s.start()
    (s.work / "after restart.sta").write_bytes(b"older state")  # the program asks; the file dialog does not
    s.click(s.main, *SAVE_STATE)
    answer(s, "Specify filename for saved state", s.work / "after restart.sta")
    answer(s, "Confirm overwrite of file")
    wait_file(s.work / "after restart.sta", expected, "the state read at start-up, saved over an older file")
    quit_program(s)


def case_outside_ends(s):
    # Ends from outside in a batch of large files. SIGTERM does what Quit does (the files in flight
    # finish, the state is saved, exit code 0); a second signal ends it at once with 128 + its number;
    # then, and after SIGKILL, only whole outputs are left beside what was there. A state that cannot
    # be saved then is reported on standard error.
    source, target = s.folder("big"), s.folder("out")
    noise = struct.pack("<2sIHHIIiiHHIIiiII", b"BM", 9000054, 0, 0, 54, 40, 2000, 1500, 1, 24, 0, 9000000, 0, 0, 0, 0) + \
        (os.urandom(1 << 16) * 138)[:9000000]  # 2000 by 1500, slow to deflate
    for i in range(12):
        (source / ("f%02d.bmp" % i)).write_bytes(noise)
    (target / "kept.png").write_bytes(b"there before")
    for signals, code in (([signal.SIGTERM], 0), ([signal.SIGTERM, signal.SIGINT], 130), ([signal.SIGKILL], -9)):
        s.start()
        if code == 0:
            tick(s, s.main, SAVE_STATE_ON_QUIT)
        run_batch(s, source, target)
        wait_for(lambda: len(os.listdir(target)) > 1, 60, "the batch to write its first file")
        for signo in signals:
            s.proc.send_signal(signo)
            # Signals pending together are taken lowest number first, so the next one waits until this
            # one is taken: the program hides its window then (a killed one loses it).
            wait_for(lambda: s.main not in s.find_windows("Pictoria 1.00"), 30, "the window to go after %s" % signo,
                     interval=0.02)
        check(s.proc.wait(60) == code, "the exit code after %s" % signals, code, s.proc.returncode)
        written = set(os.listdir(target)) - {"kept.png"}
        check_pngs(target, dict.fromkeys(written, (2000, 1500)))
        for name in written:
            (target / name).unlink()
    check((target / "kept.png").read_bytes() == b"there before", "what was there before is left alone")
    check(s.state_file.read_bytes().endswith(b'"1"\r\n"90"\r\n'), "the state saved on SIGTERM", None, s.state_file.read_bytes())
    s.start()  # reads the state, with "Save state on quit" ticked
    s.state_file.unlink()
    s.state_file.mkdir()
    s.proc.send_signal(signal.SIGTERM)
    check(s.proc.wait(30) == 0 and "Error when attempting to save the state: " in s.log_path.read_text(),
          "a state that cannot be saved after a signal is reported on standard error")


CASES = {"single_file_and_state": case_single_file_and_state, "outside_ends": case_outside_ends}

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in CASES:
        sys.exit("usage: program_cases.py {%s} PROGRAM" % ",".join(CASES))
    sys.exit(run_case(CASES[sys.argv[1]], sys.argv[2]))
