#!/usr/bin/python3
"""The viewer page of a real batch, opened in headless Chromium: every image
loads and every caption reads as the file is named, also for a name with
blanks, non-ASCII letters and "&".

Usage: viewer_in_browser.py PROGRAM ARTEFACTS_DIR
"""

import html
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path
from urllib.parse import unquote, urlsplit

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import SKIP, Skip, check, run_case  # noqa: E402
from program_cases import batch_with_viewer, quit_program, viewer_image_size  # noqa: E402

CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--allow-file-access-from-files",
]

# Loads the page in a frame and writes what the browser made of it into its own DOM.
CHECK_PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"></head><body>
<pre id="result">PENDING</pre>
<iframe id="page" src="{page_url}" width="800" height="600"></iframe>
<script>
window.addEventListener("load", function () {{
  var out = [];
  try {{
    var doc = document.getElementById("page").contentDocument;
    out.push("TITLE\\t" + doc.title.trim());
    for (var i = 0; i < doc.images.length; ++i) {{
      var img = doc.images[i];
      out.push("IMG\\t" + img.complete + "\\t" + img.naturalWidth + "\\t" + img.naturalHeight + "\\t" + img.src);
    }}
    var walker = doc.createTreeWalker(doc.body, NodeFilter.SHOW_TEXT);
    while (walker.nextNode()) {{
      var text = walker.currentNode.nodeValue.trim();
      if (text) out.push("TEXT\\t" + text);
    }}
  }} catch (e) {{
    out.push("ERROR\\t" + e);
  }}
  out.push("DONE");
  document.getElementById("result").textContent = out.join("\\n");
}});
</script></body></html>
"""


def find_chromium():
    """Chromium, installed here when missing and allowed; raises Skip otherwise."""
    for name in ("chromium", "chromium-browser"):
        if shutil.which(name):
            return shutil.which(name)
    if os.geteuid() != 0 or not shutil.which("apt-get"):
        raise Skip("chromium is not installed and cannot be installed here")
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    install = ["apt-get", "install", "-y", "-qq", "chromium"]
    for attempt in ([install], [["apt-get", "update", "-qq"], install]):
        for command in attempt:
            subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
        if shutil.which("chromium"):
            return shutil.which("chromium")
    raise Skip("chromium could not be installed")


def run_chromium(chromium, home, *args, timeout=90):
    profile = tempfile.mkdtemp(prefix="profile-", dir=home)
    env = {"HOME": home, "PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C.UTF-8"}
    try:
        return subprocess.run([chromium, *CHROMIUM_FLAGS, "--user-data-dir=" + profile, *args], env=env,
                              capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def browser_view(chromium, home, check_page):
    """What the browser reports about the page: the lines the check page wrote."""
    result = run_chromium(chromium, home, "--virtual-time-budget=5000", "--dump-dom", Path(check_page).as_uri())
    check(result is not None, "chromium finishes within its time limit")
    match = re.search(r'<pre id="result">(.*?)</pre>', result.stdout.decode("utf-8", "replace"), re.S)
    check(match is not None, "chromium dumps the check page", "<pre id=\"result\">...", result.stdout[-500:])
    lines = html.unescape(match.group(1)).split("\n")
    check(lines[-1] == "DONE", "the check page ran to its end", "DONE", lines)
    return lines


def chromium_works(chromium, home):
    probe = os.path.join(home, "probe.html")
    with open(probe, "w") as f:
        f.write("<html><body><p id=x>probe-ok</p></body></html>")
    result = run_chromium(chromium, home, "--dump-dom", Path(probe).as_uri(), timeout=60)
    return result is not None and b"probe-ok" in result.stdout


def digits(text):
    return int(re.sub(r"\D", "", text))


def case_viewer_in_browser(s, chromium):
    source, target, page, names = batch_with_viewer(s)
    quit_program(s)
    if not chromium_works(chromium, s.home):
        raise Skip("chromium does not run here")

    check_page = os.path.join(s.root, "check.html")
    with open(check_page, "w", encoding="utf-8") as f:
        f.write(CHECK_PAGE.format(page_url=html.escape(Path(page).as_uri())))
    lines = browser_view(chromium, s.home, check_page)
    errors = [line for line in lines if line.startswith("ERROR")]
    check(not errors, "the check page can read the viewer page", [], errors)

    title = [line.split("\t", 1)[1] for line in lines if line.startswith("TITLE\t")]
    check(title == [page], "the page's title is its own path", [page], title)

    images = [line.split("\t")[1:] for line in lines if line.startswith("IMG\t")]
    check(len(images) == 2 * len(names), "a source and a target image per file",
          2 * len(names), images)
    for complete, width, height, src in images:
        check(complete == "true" and int(width) > 0 and int(height) > 0,
              "the browser loaded the image %s" % src, "complete, naturalWidth > 0", (complete, width, height))

    # The captions in the run's order: source, then its target, per file.
    texts = [line.split("\t", 1)[1] for line in lines if line.startswith("TEXT\t")]
    folder_in = source.rstrip("/") + "/"
    folder_out = target.rstrip("/") + "/"
    check(len(texts) == 2 * len(names), "one caption per image", 2 * len(names), texts)
    for index, name in enumerate(names):
        png = name[:-3] + "png"
        source_caption, target_caption = texts[2 * index], texts[2 * index + 1]
        match = re.fullmatch(re.escape(folder_in + name) + r", ([\d,.\s]+) bytes", source_caption)
        check(match is not None, "the source caption names %s" % name, folder_in + name + ", N bytes",
              source_caption)
        check(digits(match.group(1)) == os.path.getsize(folder_in + name), "the source caption's size",
              os.path.getsize(folder_in + name), match.group(1))
        match = re.fullmatch(re.escape(folder_out + png) + r", ([\d,.\s]+) bytes \(from " + re.escape(name) + r"\)",
                             target_caption)
        check(match is not None, "the target caption names %s and its source" % png,
              folder_out + png + ", N bytes (from " + name + ")", target_caption)
        check(digits(match.group(1)) == os.path.getsize(folder_out + png), "the target caption's size",
              os.path.getsize(folder_out + png), match.group(1))
        # Each image is the file its caption names, at the size it was made.
        size = tuple(str(n) for n in viewer_image_size(name))
        for (complete, width, height, src), path in ((images[2 * index], folder_in + name),
                                                      (images[2 * index + 1], folder_out + png)):
            shown = urlsplit(src)
            check(shown.scheme == "file" and unquote(shown.path) == path,
                  "the image shown under the caption is %s" % path, Path(path).as_uri(), src)
            check((width, height) == size, "the browser's size of %s" % path, size, (width, height))

    os.makedirs(s.artefacts, exist_ok=True)
    run_chromium(chromium, s.home, "--window-size=900,1000",
                 "--screenshot=" + os.path.join(s.artefacts, "viewer_in_browser_page.png"), Path(page).as_uri())


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: viewer_in_browser.py PROGRAM ARTEFACTS_DIR")
    try:
        chromium = find_chromium()
    except Skip as reason:
        print("SKIP: %s" % reason)
        return SKIP
    return run_case(lambda s: case_viewer_in_browser(s, chromium), sys.argv[1], sys.argv[2], "viewer_in_browser")


if __name__ == "__main__":
    sys.exit(main())
