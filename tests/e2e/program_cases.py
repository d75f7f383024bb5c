#!/usr/bin/python3
"""End-to-end cases of the real program: real X server, real keyboard and mouse.

Usage: program_cases.py CASE PROGRAM ARTEFACTS_DIR
"""

import os
import re
import sys
import time
from urllib.parse import unquote, urlsplit

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import (MAIN_TITLE, Failure, bmp_size, check, jpg_size, png_size, run_case, wait_for,  # noqa: E402
                         write_bmp, write_bmp_series, write_gif, write_png)

# Main window controls, in twips (left, top, width, height) inside the client area.
CONVERT_SINGLE = (105, 105, 2430, 360)
STOP = (9850, 105, 645, 285)
FOLDER_BOX = [(2625, 525, 7150, 360), (2625, 945, 7150, 360)]
FORMAT_BOX = [(1575, 1440, 960, 315), (6300, 1440, 1065, 315)]
VIEW_IN_BROWSER = (5355, 1785, 2115, 330)
CONVERT_FILES = (105, 2100, 1905, 360)
REPORT = (2100, 2110, 8415, 900)
SAVE_STATE = [(105, 2520, 1905, 360), (105, 2940, 1905, 360)]
QUIT = (1155, 3360, 855, 360)
SAVE_STATE_ON_QUIT = (105, 3780, 1905, 330)
CHECK_BOX_DX = 150  # a check box is clicked on its box, not in the middle of its caption

# Output formats dialog, after its load handler moved every control 50 twips down.
SINGLE_BMP = (105, 1205, 960, 330)
SINGLE_PNG = (105, 1520, 960, 330)
SINGLE_JPG = (105, 1835, 855, 330)
SINGLE_QUALITY = [(105 + 870, 2150, 500, 360), (105 + 1680, 2150, 500, 360)]

# Existing target dialog.
TARGET_PATH = (105, 105, 4845, 330)
TARGET_OVERWRITE = (105, 840, 4500, 435)
TARGET_OTHER_NAME = (105, 1260, 4500, 435)
TARGET_CANCEL_ALL = (105, 2100, 4500, 435)

CATALOGUE_TITLE = "Quorvane Systems Software"
TARGET_EXISTS_TITLE = "File exists"
SINGLE_DIALOG_TITLE = "Convert single file"
OPEN_FILE_TITLE = "Specify file to be converted"
RESTORE_TITLE = "Specify filename for state to restore"
SAVE_TITLE = "Specify filename for saved state"

FORMAT_LETTER = {"BMP": "b", "PNG": "p", "JPG": "j", "GIF": "g"}


# ---- Steps a user takes --------------------------------------------------------------

def set_folder(s, index, folder):
    s.click_twips(s.main, *FOLDER_BOX[index])
    s.key("ctrl+a")
    s.type(folder)
    s.key("Tab")


def choose_format(s, index, name):
    """Opens the format list with a click and picks the entry by its first letter."""
    s.click_twips(s.main, *FORMAT_BOX[index])
    time.sleep(0.3)
    s.key(FORMAT_LETTER[name])
    s.key("Return")
    time.sleep(0.2)


def tick(s, window, rect):
    s.click_twips(window, *rect, dx=CHECK_BOX_DX)


def file_dialog(s, title, path, shot):
    """Types `path` into Qt's own file dialog, which opens with its file name field focused."""
    dialog = s.wait_window(title)
    time.sleep(0.4)
    s.type(path)
    s.screenshot(shot, dialog)
    s.key("Return")
    s.wait_window_gone(title)


def quit_program(s, shot=None):
    """Quit, and close the catalogue window when the program shows one last
    (it may as well end at once)."""
    s.click_twips(s.main, *QUIT)

    def ended_or_catalogue():
        if s.proc.poll() is not None:
            return "ended"
        windows = s.find_windows(CATALOGUE_TITLE)
        return windows[-1] if windows else None

    outcome = wait_for(ended_or_catalogue, 15, "the program to end or show its catalogue window")
    if outcome != "ended":
        time.sleep(0.3)
        if shot:
            s.screenshot(shot, outcome)
        s.focus(outcome)
        s.key("Return")
    code = s.wait_exit(15)
    check(code == 0, "the program ends with exit code 0 after Quit", 0, code)


def wait_report(s, pattern, timeout):
    """Reads the report until it matches `pattern`; returns the text."""
    found = {}

    def matches():
        text = s.report(REPORT)
        if re.search(pattern, text, re.M):
            found["text"] = text
            return True
        return False

    try:
        wait_for(matches, timeout, "the report to show %r" % pattern, interval=0.5)
    except Failure:
        raise Failure("the report never showed %r; last report:\n%s" % (pattern, s.report(REPORT)))
    return found["text"]


def size_in_text(text):
    return int(re.sub(r"\D", "", text))


def page_opened(s, page):
    """True when the fake xdg-open was asked for `page`."""
    for line in s.opened_documents():
        url = urlsplit(line.strip())
        if url.scheme == "file" and unquote(url.path) == page:
            return True
    return False


def read_crlf_lines(path):
    with open(path, "rb") as f:
        data = f.read()
    check(b"\n" not in data.replace(b"\r\n", b""), "%s has only CR LF line ends" % path)
    return data.decode("utf-8").split("\r\n")


# ---- Cases ------------------------------------------------------------------------------

VIEWER_NAMES = ["alpha.bmp", "été & co.bmp", "zeta 2.bmp"]


def viewer_image_size(name):
    """Each file of the viewer batch has its own size, so a mix-up shows."""
    seed = VIEWER_NAMES.index(name)
    return 24 + seed * 8, 16 + seed * 4


def start_bmp_to_png_batch(s, source, target, shot=None):
    """Starts the program and a BMP to PNG batch from source to target with "View in browser"."""
    s.start()
    set_folder(s, 0, source)
    set_folder(s, 1, target)
    choose_format(s, 0, "BMP")
    choose_format(s, 1, "PNG")
    tick(s, s.main, VIEW_IN_BROWSER)
    if shot:
        s.screenshot(shot, s.main)
    s.click_twips(s.main, *CONVERT_FILES)


def batch_with_viewer(s):
    """BMP to PNG over a folder with "View in browser": every file converted, the
    report complete, the viewer page written beside the sources and opened.
    Returns (input folder, output folder, page path, file names in the run's order)."""
    names = VIEWER_NAMES
    source = os.path.join(s.work, "in")
    target = os.path.join(s.work, "out")
    os.makedirs(source)
    os.makedirs(target)
    for seed, name in enumerate(names):
        write_bmp(os.path.join(source, name), *viewer_image_size(name), seed)
    with open(os.path.join(source, "notes.txt"), "w") as f:
        f.write("not an image\n")

    start_bmp_to_png_batch(s, source, target, "main_before_batch")

    page = os.path.join(source, "viewer01.htm")
    wait_for(lambda: page_opened(s, page), 30, "the viewer page %s to be opened" % page)
    report = wait_report(s, r"^Number of BMP files converted:", 15)
    s.screenshot("main_after_batch", s.main)

    # Where a name with accents sorts is the collation's business; plain names keep their order.
    expected_lines = ["%s -> %s [OK]" % (n, n[:-3] + "png") for n in names]
    lines = [line for line in report.split("\n") if line][:len(names)]
    check(sorted(lines) == sorted(expected_lines), "one report line per file", expected_lines, lines)
    check(lines.index(expected_lines[0]) < lines.index(expected_lines[2]), "files in name order",
          expected_lines, lines)
    order = [line.split(" -> ")[0] for line in lines]
    check("Number of BMP files converted: %d (of %d input)" % (len(names), len(names)) in report,
          "the summary counts every file", "... converted: 3 (of 3 input)", report)
    check("Viewer file: " + page in report, "the report names the viewer page", page, report)
    for name in names:
        out = os.path.join(target, name[:-3] + "png")
        check(os.path.exists(out), "the target %s exists" % out)
        check(png_size(out) == viewer_image_size(name), "%s is a PNG of the source's size" % out,
              viewer_image_size(name), png_size(out))
    check(not os.path.exists(os.path.join(target, "notes.png")), "a file of another format is left alone")

    lines = read_crlf_lines(page)
    check(lines[0] == "<HTML><HEAD><TITLE>", "the page starts with its head", "<HTML><HEAD><TITLE>", lines[0])
    images = [line for line in lines if line.startswith("<IMG SRC=")]
    check(len(images) == 2 * len(names), "a source and a target image per file", 2 * len(names), len(images))
    check(lines[-3:] == ["</CENTER></BODY></HTML>", "", ""], "the page ends with its tail and an empty line",
          ["</CENTER></BODY></HTML>", "", ""], lines[-3:])
    opened = s.opened_documents()
    check(len(opened) == 1, "the desktop is asked to open exactly one document", 1, opened)
    return source, target, page, order


def case_batch_viewer(s):
    batch_with_viewer(s)
    quit_program(s, "catalogue")
    check(not os.path.exists(s.state_file), "no state is saved when \"Save state on quit\" is unticked")


def case_batch_stop(s):
    """Stop during a long batch with the viewer on: the file in hand is finished,
    the report says so, the summary counts exactly the files written, and the
    viewer page is either completed and shown or removed, and never left open."""
    source = os.path.join(s.work, "many")
    target = os.path.join(s.work, "done")
    os.makedirs(source)
    os.makedirs(target)
    count = 400
    write_bmp_series(source, count, 256, 192)

    start_bmp_to_png_batch(s, source, target)
    wait_for(lambda: len(os.listdir(target)) >= 3, 30, "the batch to write its first files")
    s.click_twips(s.main, *STOP)
    report = wait_report(s, r"^Number of BMP files converted:", 30)
    s.screenshot("main_after_stop", s.main)

    written = sorted(os.listdir(target))
    match = re.search(r"Operation stopped\.\n\nNumber of BMP files converted: (\d+) \(of (\d+) input\)", report)
    check(match is not None, "\"Operation stopped.\", an empty line and the summary end the report",
          "Operation stopped.\\n\\nNumber of BMP files converted: D (of %d input)" % count, report[-300:])
    converted, total = int(match.group(1)), int(match.group(2))
    check(total == count, "the summary counts every input file", count, total)
    check(0 < converted < count, "the run stopped early", "between 1 and %d" % (count - 1), converted)
    check(len(written) == converted, "the summary counts exactly the files written", converted, len(written))
    ok_lines = [line for line in report.split("\n") if line.endswith(" [OK]")]
    check(len(ok_lines) == converted, "one [OK] line per written file", converted, len(ok_lines))
    last = written[-1]
    check(png_size(os.path.join(target, last)) == (256, 192),
          "the file in hand when Stop came was finished, not left half-written", (256, 192),
          png_size(os.path.join(target, last)))

    open_pages = [link for link in s.open_files() if os.path.basename(link).startswith("viewer")]
    check(not open_pages, "no viewer page is left open by the program", [], open_pages)
    pages = sorted(name for name in os.listdir(source) if name.endswith(".htm"))
    page = os.path.join(source, "viewer01.htm")
    if pages:
        check(pages == ["viewer01.htm"], "one viewer page", ["viewer01.htm"], pages)
        lines = read_crlf_lines(page)
        images = [line for line in lines if line.startswith("<IMG SRC=")]
        check(len(images) == 2 * converted, "the page shows the files converted before Stop",
              2 * converted, len(images))
        check(lines[-3:] == ["</CENTER></BODY></HTML>", "", ""], "a kept page is complete",
              ["</CENTER></BODY></HTML>", "", ""], lines[-3:])
        wait_for(lambda: page_opened(s, page), 10, "the kept page to be opened")
    else:
        check(not s.opened_documents(), "nothing is opened when the page was removed", [], s.opened_documents())
    quit_program(s)


def answer_message(s, title, shot):
    """Closes the message box `title` with Enter, after a screenshot."""
    box = s.wait_window(title)
    time.sleep(0.3)
    s.screenshot(shot, box)
    s.focus(box)
    s.key("Return")
    s.wait_window_gone(title)


def case_existing_targets(s):
    """A batch into a folder that holds some targets already, with the warning on:
    a missing parameter is asked for first; then one target is overwritten, one
    written under a new name (after a refused extension), and the third clash
    cancels the rest. No old file is lost unless the user chose to overwrite it."""
    source = os.path.join(s.work, "src")
    target = os.path.join(s.work, "dst")
    os.makedirs(source)
    os.makedirs(target)
    for seed, name in enumerate(["a", "b", "c", "d"]):
        write_bmp(os.path.join(source, name + ".bmp"), 10 + seed, 8, seed)
    old = b"old contents, not an image"
    for name in ("a", "b", "c"):
        with open(os.path.join(target, name + ".png"), "wb") as f:
            f.write(old)

    s.start()
    s.click_twips(s.main, *CONVERT_FILES)
    answer_message(s, "Need more input", "need_more_input_message")
    set_folder(s, 0, source)
    set_folder(s, 1, target)
    choose_format(s, 0, "BMP")
    choose_format(s, 1, "PNG")
    s.click_twips(s.main, *CONVERT_FILES)

    # a.png: overwrite.
    dialog = s.wait_window(TARGET_EXISTS_TITLE)
    time.sleep(0.3)
    s.screenshot("file_exists_dialog", dialog)
    tick(s, dialog, TARGET_OVERWRITE)
    s.key("Return")
    wait_for(lambda: png_size(os.path.join(target, "a.png")) == (10, 8), 15, "a.png to be overwritten")

    # b.png: another name; a name with another extension is refused first.
    dialog = s.wait_window(TARGET_EXISTS_TITLE)
    time.sleep(0.3)
    tick(s, dialog, TARGET_OTHER_NAME)
    s.click_twips(dialog, *TARGET_PATH)
    s.key("ctrl+a")
    s.type(os.path.join(target, "b new.jpg"))
    s.key("Return")
    answer_message(s, "Error", "new_name_refused_message")
    check(s.find_windows(TARGET_EXISTS_TITLE), "the dialog stays open after a refused name")
    s.click_twips(dialog, *TARGET_PATH)
    s.key("ctrl+a")
    s.type(os.path.join(target, "b new.png"))
    s.key("Return")
    wait_for(lambda: png_size(os.path.join(target, "b new.png")) == (11, 8), 15, "b new.png to be written")

    # c.png: cancel the operation on all files.
    dialog = s.wait_window(TARGET_EXISTS_TITLE)
    time.sleep(0.3)
    tick(s, dialog, TARGET_CANCEL_ALL)
    s.key("Return")
    report = wait_report(s, r"^Number of BMP files converted:", 15)
    s.screenshot("main_after_cancel", s.main)

    expected = ("a.bmp -> a.png [OK]\nb.bmp -> b new.png [OK]\n"
                "c.bmp -- Existing PNG file not overwritten.\n\nOperation cancelled.\n\n"
                "\nNumber of BMP files converted: 2 (of 4 input)\n")
    check(report == expected, "the report of the clashes", expected, report)
    for name in ("b.png", "c.png"):
        with open(os.path.join(target, name), "rb") as f:
            check(f.read() == old, "%s, not chosen for overwriting, keeps its contents" % name)
    check(not os.path.exists(os.path.join(target, "d.png")), "nothing is converted after \"cancel all\"")
    check(not os.path.exists(os.path.join(target, "b new.jpg")), "the refused name is not written")
    quit_program(s)


def case_single_file(s):
    """One GIF into BMP, PNG and a JPG range 60 to 80 (step 10), with the viewer."""
    folder = os.path.join(s.work, "pics")
    os.makedirs(folder)
    source = os.path.join(folder, "photo.gif")
    write_gif(source, 40, 30)

    s.start()
    s.click_twips(s.main, *CONVERT_SINGLE)
    file_dialog(s, OPEN_FILE_TITLE, source, "open_file_dialog")

    dialog = s.wait_window(SINGLE_DIALOG_TITLE)
    time.sleep(0.4)
    tick(s, dialog, SINGLE_BMP)
    tick(s, dialog, SINGLE_PNG)
    tick(s, dialog, SINGLE_JPG)
    time.sleep(0.3)
    # Ticking a format leaves the focus on "Convert file"; the option before it is "View in browser".
    s.key("shift+Tab")
    s.key("space")
    s.click_twips(dialog, *SINGLE_QUALITY[0])
    s.key("ctrl+a")
    s.type("60")
    s.click_twips(dialog, *SINGLE_QUALITY[1])
    s.key("ctrl+a")
    s.type("80")
    s.screenshot("formats_dialog", dialog)
    s.key("Return")  # from a quality box, Enter presses "Convert file"
    s.wait_window_gone(SINGLE_DIALOG_TITLE)

    page = os.path.join(folder, "viewer01.htm")
    wait_for(lambda: page_opened(s, page), 30, "the viewer page %s to be opened" % page)
    report = wait_report(s, r"^Viewer file: ", 10)
    s.screenshot("main_after_single", s.main)

    targets = ["photo.bmp", "photo.png", "photo_q60.jpg", "photo_q70.jpg", "photo_q80.jpg"]
    readers = {"bmp": bmp_size, "png": png_size, "jpg": jpg_size}
    for name in targets:
        path = os.path.join(folder, name)
        check(os.path.exists(path), "the target %s exists" % path)
        size = readers[name[-3:]](path)
        check(size == (40, 30), "%s is a valid image of the source's size" % name, (40, 30), size)
    check(not os.path.exists(os.path.join(folder, "photo.jpg")), "a quality range writes no untagged JPG")

    entries = re.findall(r"^photo\.gif \(([\d.,\s]+) bytes\) converted to\n(\S+) \(([\d.,\s]+) bytes\)(.*)\.$",
                         report, re.M)
    check([e[1] for e in entries] == targets, "one report entry per target, in the order BMP, PNG, JPG range",
          targets, report)
    for _, name, size_text, quality in entries:
        check(size_in_text(size_text) == os.path.getsize(os.path.join(folder, name)),
              "the report gives %s's real size" % name, os.path.getsize(os.path.join(folder, name)), size_text)
        expected_quality = " with quality " + name[7:9] if name.endswith(".jpg") else ""
        check(quality == expected_quality, "the quality note of %s" % name, expected_quality, quality)
    check(size_in_text(entries[0][0]) == os.path.getsize(source), "the report gives the source's real size",
          os.path.getsize(source), entries[0][0])

    lines = read_crlf_lines(page)
    images = [line for line in lines if line.startswith("<IMG SRC=")]
    check(len(images) == 1 + len(targets), "one source image and one per target on the page",
          1 + len(targets), images)
    check(images[0] == '<IMG SRC="photo.gif" BORDER="1"><P>', "the source comes first, by its bare name",
          '<IMG SRC="photo.gif" BORDER="1"><P>', images[0])
    quit_program(s)


def write_state(path, lines):
    with open(path, "wb") as f:
        f.write("".join('"%s"\r\n' % line for line in lines).encode("utf-8"))


def case_restore_state(s):
    """A restored state drives the next batch: folders, formats, no overwrite warning
    and the viewer; saving it again writes the same seven lines."""
    source = os.path.join(s.work, "state in") + "/"
    target = os.path.join(s.work, "state out") + "/"
    os.makedirs(source)
    os.makedirs(target)
    write_png(os.path.join(source, "one.png"), 30, 20, 1)
    write_png(os.path.join(source, "two.png"), 20, 30, 2)
    # An existing target: with the warning off it is replaced without a question.
    with open(os.path.join(target, "two.bmp"), "wb") as f:
        f.write(b"old contents")
    state = os.path.join(s.work, "saved.sta")
    state_lines = [source, target, " 2", " 1", "0", "1", "0"]
    write_state(state, state_lines)

    s.start()
    s.click_twips(s.main, *SAVE_STATE[1])
    file_dialog(s, RESTORE_TITLE, state, "restore_state_dialog")
    s.screenshot("main_after_restore", s.main)
    s.click_twips(s.main, *CONVERT_FILES)

    page = os.path.join(source, "viewer01.htm")
    wait_for(lambda: page_opened(s, page), 30, "the viewer page of the restored run to be opened")
    report = wait_report(s, r"^Number of PNG files converted:", 10)
    check("Number of PNG files converted: 2 (of 2 input)" in report, "both PNG files converted",
          "Number of PNG files converted: 2 (of 2 input)", report)
    for name, size in (("one.bmp", (30, 20)), ("two.bmp", (20, 30))):
        check(bmp_size(os.path.join(target, name)) == size, "%s written as BMP" % name,
              size, bmp_size(os.path.join(target, name)))
    check(not s.find_windows("File exists"), "no overwrite question with the warning unticked")

    copy = os.path.join(s.work, "copy.sta")
    s.click_twips(s.main, *SAVE_STATE[0])
    file_dialog(s, SAVE_TITLE, copy, "save_state_dialog")
    wait_for(lambda: os.path.exists(copy), 10, "the saved state file")
    check(read_crlf_lines(copy) == ['"%s"' % line for line in state_lines] + [""],
          "saving writes back the seven restored values", state_lines, read_crlf_lines(copy))

    # A file one line short resets every parameter, silently; saving over the
    # earlier copy asks first.
    broken = os.path.join(s.work, "broken.sta")
    write_state(broken, state_lines[:6])
    s.click_twips(s.main, *SAVE_STATE[1])
    file_dialog(s, RESTORE_TITLE, broken, "restore_broken_state_dialog")
    time.sleep(0.5)
    check(s.visible_titles() == [MAIN_TITLE], "a state file that cannot be read gives no message",
          [MAIN_TITLE], s.visible_titles())
    s.click_twips(s.main, *SAVE_STATE[0])
    file_dialog(s, SAVE_TITLE, copy, "save_over_state_dialog")
    answer_message(s, "Confirm overwrite of file", "confirm_overwrite_message")  # Enter answers Yes
    defaults = ['""', '""', '" 0"', '" 0"', '"1"', '"0"', '"0"', ""]
    wait_for(lambda: read_crlf_lines(copy) == defaults, 10, "the saved defaults after a failed restore")
    quit_program(s)


def case_quit_saves_state(s):
    """"Save state on quit" writes the default state file, and the next start reads it."""
    folder = os.path.join(s.work, "quit folder") + "/"
    os.makedirs(folder)

    s.start()
    set_folder(s, 0, folder)
    choose_format(s, 0, "PNG")
    choose_format(s, 1, "JPG")
    tick(s, s.main, SAVE_STATE_ON_QUIT)
    s.screenshot("main_before_quit", s.main)
    check(not os.path.exists(s.state_file), "no default state file before quitting")
    quit_program(s)

    expected = ['"%s"' % folder, '""', '" 2"', '" 3"', '"1"', '"0"', '"1"', ""]
    check(os.path.exists(s.state_file), "Quit writes " + s.state_file)
    check(read_crlf_lines(s.state_file) == expected, "the default state file holds the window's parameters",
          expected, read_crlf_lines(s.state_file))

    # The next start reads it back: saving the state then writes the same lines.
    s.start()
    copy = os.path.join(s.work, "after restart.sta")
    s.click_twips(s.main, *SAVE_STATE[0])
    file_dialog(s, SAVE_TITLE, copy, "save_state_after_restart")
    wait_for(lambda: os.path.exists(copy), 10, "the saved state file")
    check(read_crlf_lines(copy) == expected, "the state read at start-up is the one saved on quit",
          expected, read_crlf_lines(copy))
    quit_program(s)


CASES = {
    "batch_viewer": case_batch_viewer,
    "batch_stop": case_batch_stop,
    "existing_targets": case_existing_targets,
    "single_file": case_single_file,
    "restore_state": case_restore_state,
    "quit_saves_state": case_quit_saves_state,
}


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in CASES:
        sys.exit("usage: program_cases.py {%s} PROGRAM ARTEFACTS_DIR" % ",".join(CASES))
    sys.exit(run_case(CASES[sys.argv[1]], sys.argv[2], sys.argv[3], sys.argv[1]))
