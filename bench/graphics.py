"""Driver for bench/graphics.sh: the graphics set (bench/graphics.cpp) as BMP
converted to PNG and to BMP by pixmorph-convert and by ImageMagick's convert;
prints each picture's colours, output sizes and their ratio, and median wall
times of turns taken, then the totals. Every output is checked to hold the
input's pixels exactly."""
import glob
import os
import statistics
import subprocess
import sys
import tempfile

from bench import IM, measure

RUNS = 5


def colours(path):
    return int(subprocess.run([IM, path, "-format", "%k", "info:"], capture_output=True, text=True,
                              check=True).stdout)


def same_pixels(a, b):
    p = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True)
    return p.returncode == 0 and p.stderr.strip() == "0"


def main():
    ours, drawer = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else RUNS
    with tempfile.TemporaryDirectory(prefix="pixmorph-graphics-") as work:
        for scale in ("1", "2"):
            subprocess.run([drawer, work, scale], check=True, env=dict(os.environ, HOME=work))
        print("graphics set, BMP in; %d runs each, taking turns, median wall time" % runs)
        print("%-12s %9s %7s  %9s %9s %6s  %9s %9s %6s  %7s %7s" % (
            "picture", "size", "colours", "ourPNG", "imPNG", "ratio", "ourBMP", "imBMP", "ratio", "ours s", "im s"))
        totals = {"png": [0, 0], "bmp": [0, 0]}
        worst = 0.0
        for src in sorted(glob.glob(os.path.join(work, "*.bmp"))):
            name = os.path.basename(src)[:-4]
            sizes, secs = {}, {"ours": [], "im": []}
            for ext in ("png", "bmp"):
                outs = {tool: os.path.join(work, "out-%s-%s.%s" % (name, tool, ext)) for tool in ("ours", "im")}
                for _ in range(runs):
                    secs["ours"].append(measure([ours, src, outs["ours"]])[0])
                    secs["im"].append(measure([IM, src, outs["im"]])[0])
                for tool, out in outs.items():
                    if not same_pixels(src, out):
                        sys.exit("%s: %s's %s output has other pixels" % (name, tool, ext))
                sizes[ext] = [os.path.getsize(outs["ours"]), os.path.getsize(outs["im"])]
                totals[ext][0] += sizes[ext][0]
                totals[ext][1] += sizes[ext][1]
            worst = max(worst, sizes["png"][0] / sizes["png"][1])
            w, h = subprocess.run(["identify", "-format", "%w %h", src], capture_output=True, text=True,
                                  check=True).stdout.split()
            print("%-12s %9s %7d  %9d %9d %6.2f  %9d %9d %6.2f  %7.3f %7.3f" % (
                name, "%sx%s" % (w, h), colours(src), sizes["png"][0], sizes["png"][1],
                sizes["png"][0] / sizes["png"][1], sizes["bmp"][0], sizes["bmp"][1],
                sizes["bmp"][0] / sizes["bmp"][1], statistics.median(secs["ours"]), statistics.median(secs["im"])),
                flush=True)
        print("%-12s %9s %7s  %9d %9d %6.2f  %9d %9d %6.2f" % (
            "total", "", "", totals["png"][0], totals["png"][1], totals["png"][0] / totals["png"][1],
            totals["bmp"][0], totals["bmp"][1], totals["bmp"][0] / totals["bmp"][1]))
        print("largest PNG ratio %.2f" % worst)


if __name__ == "__main__":
    main()
