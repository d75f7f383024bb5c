"""Benchmark driver for bench/run.sh: makes the inputs, runs every tool,
prints median wall time, ratios, output size and peak memory."""
import os
import re
import statistics
import subprocess
import sys
import tempfile

OURS = sys.argv[1]
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 3
QUALITY = "80"
IM = "/usr/bin/convert"  # the real ImageMagick, not a wrapper earlier on PATH

PHOTO_DIRS = ["/usr/lib/python3/dist-packages/skimage/data", "/usr/share/python3-skimage/data"]


def find_photo():
    for d in PHOTO_DIRS:
        for name in ("astronaut.png", "chelsea.png", "coffee.png"):
            p = os.path.join(d, name)
            if os.path.exists(p):
                return p
    sys.exit("no sample photograph found (python3-skimage)")


def tool_commands(src, dst):
    jpg = dst.endswith(".jpg")
    return {
        "pixmorph": [OURS, src, dst, QUALITY],
        "magick": [IM, src] + (["-quality", QUALITY] if jpg else []) + [dst],
        "gm": ["gm", "convert", src] + (["-quality", QUALITY] if jpg else []) + [dst],
        "vips": ["vips", "copy", src, dst + ("[Q=%s]" % QUALITY if jpg else "")],
    }


def measure(cmd):
    """Returns (seconds, peak KB) of one run via /usr/bin/time -v."""
    p = subprocess.run(["/usr/bin/time", "-v"] + cmd, capture_output=True, text=True)
    if p.returncode != 0:
        return None, None
    wall = re.search(r"Elapsed \(wall clock\) time.*: (?:(\d+):)?(\d+):([\d.]+)", p.stderr)
    h = float(wall.group(1) or 0)
    secs = h * 3600 + float(wall.group(2)) * 60 + float(wall.group(3))
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", p.stderr).group(1))
    return secs, rss


def make_inputs(work, photo, width, height, tag):
    base = os.path.join(work, "%s.png" % tag)
    subprocess.run([IM, photo, "-resize", "%dx%d!" % (width, height), base], check=True)
    inputs = {"png": base}
    for ext in ("bmp", "jpg", "gif"):
        path = os.path.join(work, "%s.%s" % (tag, ext))
        extra = ["-quality", "90"] if ext == "jpg" else []
        if ext == "bmp":
            path_arg = "BMP3:" + path
        else:
            path_arg = path
        subprocess.run([IM, base] + extra + [path_arg], check=True)
        inputs[ext] = path
    return inputs


def main():
    photo = find_photo()
    tools = ["pixmorph", "magick", "gm", "vips"]
    print("photo: %s, %d runs each, median wall time; JPG quality %s" % (photo, RUNS, QUALITY))
    with tempfile.TemporaryDirectory(prefix="pixmorph-bench-") as work:
        sizes = [("0.5MP", 816, 612), ("12MP", 4000, 3000)]
        header = "%-6s %-9s " % ("size", "conv") + " ".join("%9s" % t for t in tools) + \
            "  " + " ".join("%8s" % ("/" + t) for t in tools[1:]) + "  " + \
            " ".join("%9s" % (t + "KB") for t in tools) + "  " + " ".join("%8s" % (t + "MB") for t in tools)
        print(header)
        for tag, w, h in sizes:
            inputs = make_inputs(work, photo, w, h, tag)
            for src_ext in ("bmp", "gif", "jpg", "png"):
                for dst_ext in ("bmp", "jpg", "png"):
                    if src_ext == dst_ext:
                        continue
                    times, outs, mems = {}, {}, {}
                    for t in tools:
                        dst = os.path.join(work, "out-%s.%s" % (t, dst_ext))
                        cmd = tool_commands(inputs[src_ext], dst)[t]
                        samples = [measure(cmd) for _ in range(RUNS)]
                        ok = [s for s in samples if s[0] is not None]
                        if not ok:
                            times[t] = mems[t] = outs[t] = None
                            continue
                        times[t] = statistics.median(s[0] for s in ok)
                        mems[t] = max(s[1] for s in ok) / 1024.0
                        outs[t] = os.path.getsize(dst) // 1024
                    fmt = lambda v, f: (f % v) if v is not None else "%9s" % "-"
                    row = "%-6s %-9s " % (tag, src_ext + ">" + dst_ext)
                    row += " ".join(fmt(times[t], "%9.3f") for t in tools) + "  "
                    row += " ".join(("%8.2f" % (times["pixmorph"] / times[t])) if times[t] else "%8s" % "-"
                                    for t in tools[1:]) + "  "
                    row += " ".join(fmt(outs[t], "%9d") for t in tools) + "  "
                    row += " ".join(fmt(mems[t], "%8.1f") for t in tools)
                    print(row, flush=True)
        # Peak memory of the streaming path on a large baseline JPG.
        big = os.path.join(work, "24MP.jpg")
        subprocess.run([IM, photo, "-resize", "6000x4000!", "-quality", "90", "-interlace", "none", big], check=True)
        secs, rss = measure([OURS, big, os.path.join(work, "24MP.png")])
        print("24MP baseline jpg>png: pixmorph %.3f s, peak %.1f MB" % (secs, rss / 1024.0))


if __name__ == "__main__":
    main()
