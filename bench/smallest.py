"""The automatic quality over a batch of small photos (bench/smallest.sh):
for JPG, WebP and AVIF, the files written at quality 80 and 90 against the
files written at the lowest quality that scores at least the target (90 unless given):
total bytes, the lowest score among the outputs, and the wall time of the
batch, two conversions at a time as the window runs them on two cores. The
photos are cut once as JPG quality 90 and once as PNG, which no lossy
encoder has touched."""
import concurrent.futures
import os
import subprocess
import sys
import tempfile
import time

import bench



def run_batch(files, out, ext, quality_args):
    """Converts every file into out/NAME.ext, two at a time; returns the seconds."""
    os.makedirs(out)

    def one(f):
        dst = os.path.join(out, os.path.splitext(os.path.basename(f))[0] + "." + ext)
        args = [bench.OURS] + (quality_args[:2] if quality_args[0] == "--target" else []) + [f, dst]
        if quality_args[0] != "--target":
            args += quality_args
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)

    start = time.perf_counter()
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        list(pool.map(one, files))
    return time.perf_counter() - start


def lowest_score(files, out, ext):
    def score(f):
        dst = os.path.join(out, os.path.splitext(os.path.basename(f))[0] + "." + ext)
        p = subprocess.run([bench.OURS, "--score", f, dst], check=True, capture_output=True, text=True)
        return float(p.stdout)
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        return min(pool.map(score, files))


def main():
    bench.OURS = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else bench.BATCH_FILES
    bench.BATCH_FILES = count
    target = sys.argv[3] if len(sys.argv) > 3 else "90"
    photo = bench.find_photo()
    print("%d photos of 432x324 cut from %s; two conversions at a time; target score %s" % (count, photo, target))
    with tempfile.TemporaryDirectory(prefix="pixmorph-smallest-") as work:
        for kind in ("jpg", "png"):
            files = bench.make_batch_files(work, photo, kind)
            print("== cut as %s" % ("JPG quality 90" if kind == "jpg" else "PNG"))
            print("%-5s %-9s %8s %10s %9s %8s" % ("fmt", "quality", "seconds", "KB", "lowest", "time/q90"))
            for ext in ("jpg", "webp", "avif"):
                rows = {}
                for name, args in (("80", ["80"]), ("90", ["90"]), ("target", ["--target", target])):
                    out = os.path.join(work, "%s-%s-%s" % (kind, ext, name))
                    secs = run_batch(files, out, ext, args)
                    kb = sum(os.path.getsize(os.path.join(out, n)) for n in os.listdir(out)) / 1024
                    rows[name] = (secs, kb, lowest_score(files, out, ext))
                for name, (secs, kb, low) in rows.items():
                    print("%-5s %-9s %8.2f %10.0f %9.2f %8.2f" % (ext, name, secs, kb, low, secs / rows["90"][0]))
                print("%-5s target bytes against quality 90: %.2f" % (ext, rows["target"][1] / rows["90"][1]),
                      flush=True)

if __name__ == "__main__":
    main()
