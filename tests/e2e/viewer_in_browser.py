#!/usr/bin/python3
"""The viewer page of a real batch in headless Chromium: every image loads as the
file its caption names, also for a name with blanks, accents and "&".

Usage: viewer_in_browser.py PROGRAM
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
from e2e_support import SKIP, Skip, check, run_case, write_file  # noqa: E402
from program_cases import VIEWER_SIZES, batch_with_viewer, digits, quit_program  # noqa: E402

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
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium and os.geteuid() == 0 and shutil.which("apt-get"):
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        for command in (["apt-get", "update", "-qq"], ["apt-get", "install", "-y", "-qq", "chromium"]):
            subprocess.run(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
        chromium = shutil.which("chromium")
    if not chromium:
        raise Skip("chromium is not installed and cannot be installed here")
    return chromium


def browser_view(chromium, home, page):
    """The lines the check page wrote about `page`; raises Skip when Chromium does not run here."""
    check_page = os.path.join(home, "check.html")
    write_file(check_page, CHECK_PAGE.format(page_url=html.escape(Path(page).as_uri())).encode())
    command = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--allow-file-access-from-files", "--user-data-dir=" + tempfile.mkdtemp(dir=home),
               "--virtual-time-budget=5000", "--dump-dom", Path(check_page).as_uri()]
    env = {"HOME": home, "PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": "C.UTF-8"}
    try:
        dump = subprocess.run(command, env=env, capture_output=True, timeout=90).stdout.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        dump = ""
    match = re.search(r'<pre id="result">(.*?)</pre>', dump, re.S)
    if not match:
        raise Skip("chromium does not run here")
    return html.unescape(match.group(1)).split("\n")


def case_viewer_in_browser(s, chromium):
    s.start()
    source, target, page, names = batch_with_viewer(s)
    quit_program(s)
    lines = browser_view(chromium, s.home, page)
    fields = [line.split("\t") for line in lines]
    check(lines[-1] == "DONE" and [f[1] for f in fields if f[0] == "TITLE"] == [page],
          "the browser reads the page, titled with its own path", page, lines)

    # Per file in the run's order: the source, then its target.
    files = [path for name in names for path in (os.path.join(source, name), os.path.join(target, name[:-3] + "png"))]
    sources = [name for name in names for _ in (0, 1)]
    images = [f[1:] for f in fields if f[0] == "IMG"]
    captions = [f[1] for f in fields if f[0] == "TEXT"]
    check([unquote(urlsplit(image[3]).path) for image in images] == files and len(captions) == len(files),
          "an image and a caption for each file", files, lines)
    for (complete, width, height, _), caption, path, source_name in zip(images, captions, files, sources):
        check(complete == "true" and (int(width), int(height)) == VIEWER_SIZES[source_name],
              "the browser loads %s at its size" % path, VIEWER_SIZES[source_name], (complete, width, height))
        tail = "" if path.endswith(".bmp") else " (from %s)" % source_name
        match = re.fullmatch(re.escape(path) + r", ([\d,.\s]+) bytes" + re.escape(tail), caption)
        check(match and digits(match.group(1)) == os.path.getsize(path), "the caption of " + path,
              "%s, %d bytes%s" % (path, os.path.getsize(path), tail), caption)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: viewer_in_browser.py PROGRAM")
    try:
        chromium = find_chromium()
    except Skip as reason:
        print("SKIP: %s" % reason)
        return SKIP
    return run_case(lambda s: case_viewer_in_browser(s, chromium), sys.argv[1])


if __name__ == "__main__":
    sys.exit(main())
