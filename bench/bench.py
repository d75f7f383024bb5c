"""Benchmark driver for bench/run.sh: makes the inputs, runs every tool,
prints median wall time, ratios, output size and peak memory; then a batch of
small photos converted in one process against ImageMagick's mogrify. The
tools take turns within each run, so a change in the machine's load falls on
all of them. BASELINE (another build's pixmorph-convert) adds it as the tool
"before"; BENCH_PEERS (names, comma-separated) keeps only those peers."""
import glob
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

OURS = BATCH = BASELINE = None  # set from the command line in main(); bench/window.py borrows the rest
RUNS = 3
BATCH_FILES = 200
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
        "before": [BASELINE, src, dst, QUALITY],
        "magick": [IM, src] + (["-quality", QUALITY] if jpg else []) + [dst],
        "gm": ["gm", "convert", src] + (["-quality", QUALITY] if jpg else []) + [dst],
        "vips": ["vips", "copy", src, dst + ("[Q=%s]" % QUALITY if jpg else "")],
    }


def measure_turns(commands):
    """Runs each of @p commands (name: (command, output)) RUNS times, taking
    turns; returns name: (median seconds, median peak MB, output KB), None
    where the tool failed."""
    samples = {name: [] for name in commands}
    for _ in range(RUNS):
        for name, (cmd, _) in commands.items():
            samples[name].append(measure(cmd))
    results = {}
    for name, (_, dst) in commands.items():
        ok = [s for s in samples[name] if s[0] is not None]
        results[name] = (statistics.median(s[0] for s in ok), statistics.median(s[1] for s in ok) / 1024.0,
                         os.path.getsize(dst) // 1024) if ok else None
    return results


def measure(cmd):
    """Returns (seconds, peak KB) of one run; /usr/bin/time -v gives the peak."""
    start = time.perf_counter()
    p = subprocess.run(["/usr/bin/time", "-v"] + cmd, capture_output=True, text=True)
    secs = time.perf_counter() - start
    if p.returncode != 0:
        return None, None
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", p.stderr).group(1))
    return secs, rss


def make_inputs(work, photo, width, height, tag, crop):
    """The photo resized (or, with @p crop, cut) to width x height, in every format."""
    base = os.path.join(work, "%s.png" % tag)
    shape = ["-crop", "%dx%d+40+60" % (width, height), "+repage"] if crop else \
        ["-resize", "%dx%d!" % (width, height)]
    subprocess.run([IM, photo] + shape + [base], check=True)
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


def make_batch_files(work, photo, ext="jpg"):
    """BATCH_FILES different 432x324 cuts of the photo in work/batch, as JPG
    quality 90 or as @p ext; their paths."""
    src = os.path.join(work, "batch-" + ext)
    os.makedirs(src)
    for i in range(BATCH_FILES):
        x, y = (i * 37) % 80, (i * 53) % 188
        subprocess.run([IM, photo, "-crop", "432x324+%d+%d" % (x, y), "+repage"] +
                       (["-quality", "90"] if ext == "jpg" else []) + [os.path.join(src, "%03d.%s" % (i, ext))],
                       check=True)
    return sorted(glob.glob(os.path.join(src, "*." + ext)))


def convert_one_by_one(tool, files, out):
    """Each file to out/NAME.png by its own run of our tool, as a shell loop does."""
    for f in files:
        subprocess.run([tool, f, os.path.join(out, os.path.basename(f)[:-4] + ".png")], check=True,
                       stdout=subprocess.DEVNULL)


def mogrify_command(files, out):
    return ["mogrify", "-path", out, "-format", "png"] + files


def png_kb(folder):
    return sum(os.path.getsize(p) for p in glob.glob(os.path.join(folder, "*.png"))) // 1024


def batch(work, photo):
    """The batch files to PNG: our engine two at a time in one process, our
    tool one file at a time, and ImageMagick's mogrify. Returns the three
    wall times."""
    files = make_batch_files(work, photo)
    runs = {}
    for name, cmd in (("engine", lambda out: [BATCH, out] + files),
                      ("mogrify", lambda out: mogrify_command(files, out))):
        samples = []
        for r in range(RUNS):
            out = os.path.join(work, "batch-%s-%d" % (name, r))
            os.makedirs(out)
            start = time.perf_counter()
            subprocess.run(cmd(out), check=True)
            samples.append(time.perf_counter() - start)
        runs[name] = statistics.median(samples)
    out = os.path.join(work, "batch-loop")
    os.makedirs(out)
    start = time.perf_counter()
    convert_one_by_one(OURS, files, out)
    runs["loop"] = time.perf_counter() - start
    return runs, png_kb(os.path.join(work, "batch-engine-0")), png_kb(os.path.join(work, "batch-mogrify-0"))


def main():
    global OURS, BATCH, RUNS, BASELINE
    OURS, BATCH = sys.argv[1], sys.argv[2]
    RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    BASELINE = sys.argv[4] if len(sys.argv) > 4 else None
    photo = find_photo()
    peers = ["magick", "gm", "vips"]
    if os.environ.get("BENCH_PEERS") is not None:
        peers = [p for p in os.environ["BENCH_PEERS"].split(",") if p]
    tools = ["pixmorph"] + (["before"] if BASELINE else []) + peers
    print("photo: %s, %d runs each, taking turns, median wall time and peak memory; JPG quality %s"
          % (photo, RUNS, QUALITY))
    with tempfile.TemporaryDirectory(prefix="pixmorph-bench-") as work:
        # The small photo is cut, not resized, so it keeps a photo's detail.
        sizes = [("0.14MP", 432, 324, True), ("0.5MP", 816, 612, False), ("12MP", 4000, 3000, False)]
        header = "%-6s %-9s " % ("size", "conv") + " ".join("%9s" % t for t in tools) + \
            "  " + " ".join("%8s" % ("/" + t) for t in tools[1:]) + "  " + \
            " ".join("%9s" % (t + "KB") for t in tools) + "  " + " ".join("%8s" % (t + "MB") for t in tools)
        print(header)
        for tag, w, h, crop in sizes:
            inputs = make_inputs(work, photo, w, h, tag, crop)
            for src_ext in ("bmp", "gif", "jpg", "png"):
                for dst_ext in ("bmp", "jpg", "png"):
                    if src_ext == dst_ext:
                        continue
                    commands = {}
                    for t in tools:
                        dst = os.path.join(work, "out-%s.%s" % (t, dst_ext))
                        commands[t] = (tool_commands(inputs[src_ext], dst)[t], dst)
                    results = measure_turns(commands)
                    times = {t: results[t] and results[t][0] for t in tools}
                    mems = {t: results[t] and results[t][1] for t in tools}
                    outs = {t: results[t] and results[t][2] for t in tools}
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
        big_tools = {"pixmorph": OURS, "before": BASELINE}
        results = measure_turns({name: ([tool, big, os.path.join(work, "24MP-%s.png" % name)],
                                        os.path.join(work, "24MP-%s.png" % name))
                                 for name, tool in big_tools.items() if tool})
        print("24MP baseline jpg>png: " + ", ".join("%s %.3f s, peak %.1f MB, %d KB" % (name, *results[name])
                                                    for name in results))
        if os.environ.get("BENCH_PEERS") is not None:
            return
        runs, ours_kb, magick_kb = batch(work, photo)
        print("batch of %d 0.14MP jpg>png: engine two at a time in one process %.2f s, "
              "pixmorph-convert one by one %.2f s, mogrify %.2f s; engine/mogrify %.2f, "
              "engine/one-by-one %.2f; output %d KB vs mogrify %d KB"
              % (BATCH_FILES, runs["engine"], runs["loop"], runs["mogrify"], runs["engine"] / runs["mogrify"],
                 runs["engine"] / runs["loop"], ours_kb // 1024, magick_kb // 1024))


if __name__ == "__main__":
    main()
