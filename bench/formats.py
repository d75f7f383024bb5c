"""Benchmark driver for bench/formats.sh: the newer formats (WebP, AVIF,
HEIC, TIFF) in and out, at 0.5 and 12 megapixels, against ImageMagick,
GraphicsMagick and libvips where they handle the format, and against each
format's own Debian tool at the same settings. The tools take turns within
each run; medians of wall time and peak memory, and the output's size."""
import os
import subprocess
import sys
import tempfile

import bench

IM = bench.IM
QUALITY = bench.QUALITY
# Quality our AVIF writer takes by default, and avifenc's quantisers for it
# (see src/engine/README.md: quality q gives quantiser ((100 - q) * 63 + 50) / 100).
AVIF_QUALITY = "80"
AVIF_QUANTISER = str(((100 - int(AVIF_QUALITY)) * 63 + 50) // 100)


def bare_tool(src, dst, quality):
    """The format's own Debian tool for src -> dst, or None."""
    s, d = os.path.splitext(src)[1][1:], os.path.splitext(dst)[1][1:]
    if s == "webp" and d == "png":
        return ["dwebp", src, "-o", dst]
    if s == "png" and d == "webp":
        return ["cwebp", "-quiet"] + (["-lossless"] if quality == "100" else ["-q", quality]) + [src, "-o", dst]
    if s == "heic" and d in ("jpg", "png"):
        return ["heif-convert", "-q", quality, src, dst]
    if s == "avif" and d in ("jpg", "png"):
        return ["avifdec", "-j", "2"] + (["-q", quality] if d == "jpg" else []) + [src, dst]
    if d == "avif" and s in ("jpg", "png"):
        return ["avifenc", "-j", "2", "-s", "6", "-y", "420", "-d", "8", "-r", "full", "--min", AVIF_QUANTISER,
                "--max", AVIF_QUANTISER, "--minalpha", "0", "--maxalpha", "0", src, dst]
    if s == "tiff" and d == "tiff":
        return ["tiffcp", "-c", "zip:p2", src, dst]
    if s == "jpg" and d == "webp":
        return ["cwebp", "-quiet", "-q", quality, src, "-o", dst]
    return None


def commands(src, dst, quality):
    d = os.path.splitext(dst)[1][1:]
    q = ["-quality", quality] if d in ("jpg", "webp", "avif") else []
    if d == "webp" and quality == "100":
        q = ["-define", "webp:lossless=true"]
    zip_ = ["-compress", "zip"] if d == "tiff" else []
    vq = {"jpg": "[Q=%s]" % quality, "webp": "[Q=%s]" % quality if quality != "100" else "[lossless]",
          "avif": "[Q=%s]" % quality, "tiff": "[compression=deflate,predictor=horizontal]"}.get(d, "")
    tools = {
        "pixmorph": [bench.OURS, src, dst, quality],
        "magick": [IM, src] + q + zip_ + [dst],
        "gm": ["gm", "convert", src] + q + zip_ + [dst],
        "vips": ["vips", "copy", src, dst + vq],
        "bare": bare_tool(src, dst, quality),
    }
    return {name: cmd for name, cmd in tools.items() if cmd}


# (source, target, quality): the conversions people ask for most.
ROWS = [("webp", "jpg", QUALITY), ("webp", "png", QUALITY), ("jpg", "webp", QUALITY), ("png", "webp", "100"),
        ("heic", "jpg", QUALITY), ("avif", "jpg", QUALITY), ("avif", "png", QUALITY),
        ("jpg", "avif", AVIF_QUALITY), ("tiff", "png", QUALITY), ("tiff", "jpg", QUALITY),
        ("png", "tiff", QUALITY), ("jpg", "tiff", QUALITY)]


def make_inputs(work, photo, width, height, tag):
    base = os.path.join(work, "%s.png" % tag)
    subprocess.run([IM, photo, "-resize", "%dx%d!" % (width, height), base], check=True)
    inputs = {"png": base}
    jpg = os.path.join(work, "%s.jpg" % tag)
    subprocess.run([IM, base, "-quality", "90", jpg], check=True)
    inputs["jpg"] = jpg
    made = {"webp": ["cwebp", "-quiet", "-q", "90", base, "-o"],
            "heic": ["heif-enc", "-q", "90", base, "-o"],
            "avif": ["avifenc", "-j", "2", "--min", "10", "--max", "10", base],
            "tiff": [IM, base, "-compress", "lzw"]}
    for ext, cmd in made.items():
        path = os.path.join(work, "%s.%s" % (tag, ext))
        subprocess.run(cmd + [path], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        inputs[ext] = path
    return inputs


def main():
    bench.OURS = sys.argv[1]
    bench.RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    only = sys.argv[3].split(",") if len(sys.argv) > 3 else None  # "png>webp,jpg>webp"
    photo = bench.find_photo()
    names = ["pixmorph", "magick", "gm", "vips", "bare"]
    print("photo: %s, %d runs each, taking turns; median seconds, peak MB, output KB" % (photo, bench.RUNS))
    print("%-6s %-10s %-3s " % ("size", "conv", "q") + " ".join("%9s" % n for n in names) + "  " +
          " ".join("%9s" % ("/" + n) for n in names[1:]) + "  " + " ".join("%8s" % (n + "KB") for n in names) +
          "  " + " ".join("%7s" % (n + "MB") for n in names))
    with tempfile.TemporaryDirectory(prefix="pixmorph-formats-") as work:
        for tag, w, h in (("0.5MP", 816, 612), ("12MP", 4000, 3000)):
            inputs = make_inputs(work, photo, w, h, tag)
            for s, d, quality in ROWS:
                if only and s + ">" + d not in only:
                    continue
                cmds = {n: (c, os.path.join(work, "out-%s.%s" % (n, d)))
                        for n, c in commands(inputs[s], os.path.join(work, "out-{}.%s" % d), quality).items()}
                cmds = {n: ([a.replace("out-{}", "out-" + n) for a in c], dst) for n, (c, dst) in cmds.items()}
                r = bench.measure_turns(cmds)
                cell = lambda n, i, f, wdt: (f % r[n][i]) if r.get(n) else "%*s" % (wdt, "-")
                row = "%-6s %-10s %-3s " % (tag, s + ">" + d, quality)
                row += " ".join(cell(n, 0, "%9.3f", 9) for n in names) + "  "
                row += " ".join(("%9.2f" % (r["pixmorph"][0] / r[n][0])) if r.get(n) and r.get("pixmorph")
                                else "%9s" % "-" for n in names[1:]) + "  "
                row += " ".join(cell(n, 2, "%8d", 8) for n in names) + "  "
                row += " ".join(cell(n, 1, "%7.1f", 7) for n in names)
                print(row, flush=True)


if __name__ == "__main__":
    main()
