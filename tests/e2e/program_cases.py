#!/usr/bin/python3
"""End-to-end flows of the real program, driven by real keyboard and mouse events.

Usage: program_cases.py {batches,single_file_and_state} PROGRAM
"""

import os
import re
import sys
import time
from urllib.parse import unquote

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (Failure, bmp_bytes, check, png_size, read_crlf_lines, read_file, run_case,  # noqa: E402
                         wait_for, write_file)

# Controls, in twips (left, top, width, height) inside their window's client area.
CONVERT_SINGLE = (105, 105, 2430, 360)
STOP = (9850, 105, 645, 285)
FOLDER_BOX = [(2625, 525, 7150, 360), (2625, 945, 7150, 360)]
FORMAT_BOX = [(1575, 1440, 960, 315), (6300, 1440, 1065, 315)]
VIEW_IN_BROWSER = (5355, 1785, 2115, 330)
CONVERT_FILES = (105, 2100, 1905, 360)
REPORT = (2100, 2110, 8415, 900)
SAVE_STATE = [(105, 2520, 1905, 360), (105, 2940, 1905, 360)]  # save, restore
QUIT = (1155, 3360, 855, 360)
SAVE_STATE_ON_QUIT = (105, 3780, 1905, 330)
CHECK_BOX_DX = 150  # a check box is clicked on its box, not in the middle of its caption
# The output formats dialog, after its load handler moved every control 50 twips down.
SINGLE_PNG = (105, 1520, 960, 330)
SINGLE_JPG = (105, 1835, 855, 330)
SINGLE_QUALITY = [(975, 2150, 500, 360), (1785, 2150, 500, 360)]
# The existing target dialog.
TARGET_PATH = (105, 105, 4845, 330)
TARGET_OVERWRITE = (105, 840, 4500, 435)
TARGET_OTHER_NAME = (105, 1260, 4500, 435)
TARGET_CANCEL_ALL = (105, 2100, 4500, 435)
TARGET_EXISTS_TITLE = "File exists"

# Each file of the viewer batch has its own size, so a mix-up shows.
VIEWER_SIZES = {"alpha.bmp": (24, 16), "été & co.bmp": (32, 20), "zeta 2.bmp": (40, 24)}


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


def answer_message(s, title):
    s.xdo("windowfocus", "--sync", s.wait_window(title))
    s.key("Return")
    s.wait_window_gone(title)


def file_dialog(s, title, path):
    """Qt's own file dialog opens with its file name field focused."""
    s.wait_window(title)
    s.type(path)
    s.key("Return")
    s.wait_window_gone(title)


def quit_program(s):
    """Quit, and close the catalogue window when the program shows one last."""
    s.click(s.main, *QUIT)
    catalogue = []
    wait_for(lambda: s.proc.poll() is not None or catalogue.extend(s.find_windows("Quorvane Systems Software"))
             or catalogue, 15, "the program to end or show its catalogue window")
    if catalogue:
        time.sleep(0.3)
        s.xdo("windowfocus", "--sync", catalogue[-1])
        s.key("Return")
    check(s.wait_exit(15) == 0, "the program ends with exit code 0 after Quit", 0, s.proc.returncode)


def wait_report(s, pattern):
    """Reads the report until it matches `pattern`; returns the text."""
    texts = [""]
    try:
        wait_for(lambda: texts.append(s.text_of(REPORT)) or re.search(pattern, texts[-1], re.M), 30,
                 "the report", interval=0.5)
    except Failure:
        raise Failure("the report never showed %r; last report:\n%s" % (pattern, texts[-1]))
    return texts[-1]


def opened_pages(s):
    return [unquote(line[len("file://"):]) for line in s.opened_documents() if line.startswith("file://")]


def digits(text):
    return int(re.sub(r"\D", "", text))


def quoted(lines):
    return ['"%s"' % line for line in lines] + [""]


def existing_targets(s):
    """Targets that exist, with the warning on: one overwritten, one written under a new
    name (after a refused extension), and the third clash cancels the rest. No old
    file is lost unless the user chose to overwrite it."""
    source, target = s.folder("src"), s.folder("dst")
    for seed, name in enumerate("abcd"):
        write_file(os.path.join(source, name + ".bmp"), bmp_bytes(10 + seed, 8, seed))
    old = b"old contents, not an image"
    for name in "abc":
        write_file(os.path.join(target, name + ".png"), old)
    run_batch(s, source, target)

    for choice, new_names, written, size in ((TARGET_OVERWRITE, [], "a.png", (10, 8)),
                                             (TARGET_OTHER_NAME, ["b new.jpg", "b new.png"], "b new.png", (11, 8)),
                                             (TARGET_CANCEL_ALL, [], None, None)):
        dialog = s.wait_window(TARGET_EXISTS_TITLE)
        tick(s, dialog, choice)
        for new_name in new_names:
            enter_text(s, dialog, TARGET_PATH, os.path.join(target, new_name))
            s.key("Return")
            if new_name.endswith(".jpg"):
                answer_message(s, "Error")
                check(s.find_windows(TARGET_EXISTS_TITLE), "the dialog stays open after a refused name")
        if not new_names:
            s.key("Return")
        if written:
            wait_for(lambda: png_size(os.path.join(target, written)) == size, 15, written + " to be written")

    report = wait_report(s, r"^Number of BMP files converted:")
    expected = ("a.bmp -> a.png [OK]\nb.bmp -> b new.png [OK]\n"
                "c.bmp -- Existing PNG file not overwritten.\n\nOperation cancelled.\n\n"
                "\nNumber of BMP files converted: 2 (of 4 input)\n")
    check(report == expected, "the report of the clashes", expected, report)
    check([read_file(os.path.join(target, name)) for name in ("b.png", "c.png")] == [old, old],
          "the targets not chosen for overwriting keep their contents")
    check(sorted(os.listdir(target)) == ["a.png", "b new.png", "b.png", "c.png"],
          "nothing converted after \"cancel all\", nothing under the refused name")


def batch_with_viewer(s):
    """BMP to PNG over a folder with "View in browser": every file converted, the report
    complete, the viewer page written beside the sources and opened.
    Returns (input folder, output folder, page, file names in the run's order)."""
    source, target = s.folder("in"), s.folder("out")
    for seed, (name, size) in enumerate(VIEWER_SIZES.items()):
        write_file(os.path.join(source, name), bmp_bytes(*size, seed))
    write_file(os.path.join(source, "notes.txt"), b"not an image\n")
    tick(s, s.main, VIEW_IN_BROWSER)
    run_batch(s, source, target)

    page = os.path.join(source, "viewer01.htm")
    wait_for(lambda: page in opened_pages(s), 30, "the viewer page %s to be opened" % page)
    lines = [line for line in wait_report(s, "^Viewer file: " + re.escape(page)).split("\n") if line]
    expected = ["%s -> %spng [OK]" % (name, name[:-3]) for name in VIEWER_SIZES]
    expected += ["Number of BMP files converted: 3 (of 3 input)", "Viewer file: " + page]
    # Where a name with accents sorts is the collation's business; plain names keep their order.
    check(sorted(lines) == sorted(expected) and lines[3:] == expected[3:] and
          lines.index(expected[0]) < lines.index(expected[2]), "the report of the batch", expected, lines)
    for name, size in VIEWER_SIZES.items():
        target_file = os.path.join(target, name[:-3] + "png")
        check(png_size(target_file) == size, "%s is a PNG of its source's size" % target_file, size,
              png_size(target_file))
    check(len(os.listdir(target)) == 3, "a file of another format is left alone", 3, os.listdir(target))
    check(len(s.opened_documents()) == 1, "the desktop is asked to open one document", 1, s.opened_documents())
    return source, target, page, [line.split(" -> ")[0] for line in lines[:3]]


def stopped_batch(s):
    """Stop during a long batch with the viewer on: the files in flight are finished, the
    summary counts exactly the files written, and the page is completed and shown."""
    source, target = s.folder("many"), s.folder("done")
    count = 400
    image = bmp_bytes(256, 192)
    for i in range(count):
        write_file(os.path.join(source, "img%04d.bmp" % i), image[:54] + i.to_bytes(4, "little") + image[58:])
    run_batch(s, source, target)
    wait_for(lambda: len(os.listdir(target)) >= 3, 30, "the batch to write its first files")
    s.click(s.main, *STOP)

    page = os.path.join(source, "viewer01.htm")
    report = wait_report(s, "^Viewer file: " + re.escape(page))
    match = re.search(r"\[OK\]\nOperation stopped\.\n\nNumber of BMP files converted: (\d+) \(of %d input\)\n"
                      r"Viewer file: %s\n$" % (count, re.escape(page)), report)
    check(match, "\"Operation stopped.\", the summary and the page end the report", "...", report[-300:])
    converted, written = int(match.group(1)), os.listdir(target)
    check(0 < converted < count and len(written) == converted == report.count(" [OK]\n"),
          "the run stopped early, and the summary counts exactly the files written", converted,
          (len(written), report.count(" [OK]\n")))
    unfinished = [name for name in written if png_size(os.path.join(target, name)) != (256, 192)]
    check(not unfinished, "the files in flight at Stop are finished, not half-written", [], unfinished)
    open_pages = [link for link in s.open_files() if os.path.basename(link).startswith("viewer")]
    check(not open_pages, "the program leaves no page open", [], open_pages)
    text = read_file(page).decode()
    check(text.count("<IMG SRC=") == 2 * converted and text.rstrip().endswith("</HTML>"),
          "the page shows the files converted before Stop and is complete", 2 * converted, text[-200:])
    wait_for(lambda: page in opened_pages(s), 10, "the page of the stopped run to be opened")


def case_batches(s):
    s.start()
    s.click(s.main, *CONVERT_FILES)
    answer_message(s, "Need more input")
    existing_targets(s)
    batch_with_viewer(s)
    stopped_batch(s)
    quit_program(s)
    check(not os.path.exists(s.state_file), "no state is saved when \"Save state on quit\" is unticked")


def save_state(s, path, restore=False):
    s.click(s.main, *SAVE_STATE[restore])
    file_dialog(s, "Specify filename for state to restore" if restore else "Specify filename for saved state", path)


def case_single_file_and_state(s):
    """A restored state drives a batch and is saved back as it was; a broken one resets the
    window silently; one file into PNG and a JPG range; Quit with "Save state on quit"
    keeps where that left the window, and the next start reads it back."""
    source, target = s.folder("state in") + "/", s.folder("state out") + "/"
    write_file(source + "one.bmp", bmp_bytes(30, 20, 1))
    write_file(source + "two.bmp", bmp_bytes(20, 30, 2))
    write_file(target + "two.png", b"old contents")  # with the warning off, replaced without a question
    state_lines = [source, target, " 1", " 2", "0", "1", "0"]
    write_file(os.path.join(s.work, "saved.sta"), "\r\n".join(quoted(state_lines)).encode())
    write_file(os.path.join(s.work, "broken.sta"), "\r\n".join(quoted(state_lines[:6])).encode())
    copy = os.path.join(s.work, "copy.sta")

    s.start()
    save_state(s, os.path.join(s.work, "saved.sta"), restore=True)
    s.click(s.main, *CONVERT_FILES)
    wait_for(lambda: source + "viewer01.htm" in opened_pages(s), 30, "the viewer page of the restored run")
    wait_report(s, r"^Number of BMP files converted: 2 \(of 2 input\)")
    for name, size in (("one.png", (30, 20)), ("two.png", (20, 30))):
        check(png_size(target + name) == size, "%s written from the restored state" % name, size,
              png_size(target + name))
    save_state(s, copy)
    wait_for(lambda: os.path.exists(copy), 10, "the saved state file")
    check(read_crlf_lines(copy) == quoted(state_lines), "saving writes back the restored values",
          quoted(state_lines), read_crlf_lines(copy))

    save_state(s, os.path.join(s.work, "broken.sta"), restore=True)
    time.sleep(0.5)
    check(s.find_windows() == [s.main], "a state file that cannot be read gives no message")
    save_state(s, copy)
    answer_message(s, "Confirm overwrite of file")  # Enter answers Yes
    defaults = quoted(["", "", " 0", " 0", "1", "0", "0"])
    wait_for(lambda: read_crlf_lines(copy) == defaults, 10, "the defaults saved after a failed restore")

    folder = s.folder("pics") + "/"
    write_file(folder + "photo.bmp", bmp_bytes(40, 30))
    s.click(s.main, *CONVERT_SINGLE)
    file_dialog(s, "Specify file to be converted", folder + "photo.bmp")
    dialog = s.wait_window("Convert single file")
    tick(s, dialog, SINGLE_PNG)
    tick(s, dialog, SINGLE_JPG)
    time.sleep(0.3)
    s.key("shift+Tab", "space")  # the option before "Convert file", which has the focus: "View in browser"
    enter_text(s, dialog, SINGLE_QUALITY[0], "60")
    enter_text(s, dialog, SINGLE_QUALITY[1], "80")
    s.key("Return")  # from a quality box, Enter presses "Convert file"
    wait_for(lambda: folder + "viewer01.htm" in opened_pages(s), 30, "the single file's viewer page")

    report = wait_report(s, "^Viewer file: " + re.escape(folder + "viewer01.htm"))
    targets = ["photo.png", "photo_q60.jpg", "photo_q70.jpg", "photo_q80.jpg"]
    size_pattern = r" \(([\d.,\s]+) bytes\)"
    entries = re.findall(r"^photo\.bmp%s converted to\n(\S+)%s(.*)\.$" % (size_pattern, size_pattern), report, re.M)
    check([entry[1] for entry in entries] == targets, "one report entry per target, PNG before the JPG range",
          targets, report)
    for source_size, name, size, quality in entries:
        data = read_file(folder + name)
        check((digits(source_size), digits(size)) == (len(read_file(folder + "photo.bmp")), len(data)),
              "the report gives the real sizes of photo.bmp and " + name, None, report)
        check(quality == (" with quality " + name[7:9] if name.endswith(".jpg") else ""),
              "the quality note of " + name, None, quality)
        complete = data[:2] + data[-2:] == b"\xff\xd8\xff\xd9" or png_size(folder + name) == (40, 30)
        check(complete, name + " is a complete image")
    check(not os.path.exists(folder + "photo.jpg"), "a quality range writes no untagged JPG")
    check(read_file(folder + "viewer01.htm").count(b"<IMG SRC=") == 1 + len(targets),
          "the page shows the source once and each target")

    tick(s, s.main, SAVE_STATE_ON_QUIT)
    quit_program(s)
    expected = quoted([folder, folder, " 1", " 3", "1", "0", "1"])
    check(os.path.exists(s.state_file) and read_crlf_lines(s.state_file) == expected,
          "Quit saves the folder and formats the single file left", expected,
          os.path.exists(s.state_file) and read_crlf_lines(s.state_file))
    s.start()
    after_restart = os.path.join(s.work, "after restart.sta")
    save_state(s, after_restart)
    wait_for(lambda: os.path.exists(after_restart), 10, "the state saved after the restart")
    check(read_crlf_lines(after_restart) == expected, "the state read at start-up is the one saved on quit",
          expected, read_crlf_lines(after_restart))
    quit_program(s)


CASES = {"batches": case_batches, "single_file_and_state": case_single_file_and_state}

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in CASES:
        sys.exit("usage: program_cases.py {%s} PROGRAM" % ",".join(CASES))
    sys.exit(run_case(CASES[sys.argv[1]], sys.argv[2]))
