"""Window benchmark for bench/window.sh, in three parts.

Batch: the window's batch of small JPGs to PNG, timed from the click on
"Convert files" to its last file by bench/window_batch.cpp (the real main
window, offscreen), against a one-at-a-time loop of pixmorph-convert and
ImageMagick's mogrify over the same files, and the engine alone two files at
a time in one process (bench/batch.cpp) for what the window adds; they take
turns, run by run, so that a change in the machine's load meets them all.

Single file: the window's single-file command (bench/window_single.cpp) on
a 24 MP JPG into BMP, PNG and JPG at qualities 100 to 10, from the click to
its last report line, with the window's peak memory, against the same
twelve conversions made one at a time by pixmorph-convert; then 20 photos of
2 MP handed over together into PNG and JPG 90 to 50, against the same 120
conversions one at a time; taking turns run by run, and checking that both
wrote the same bytes.

Answers: the real program in a private X server converts 24 MP BMPs to PNG
while another client pings its window (_NET_WM_PING, which Qt answers on
the window's thread) again and again and times each answer.
  window.py PICTORIA WINDOW_BATCH WINDOW_SINGLE PIXMORPH_BATCH PIXMORPH_CONVERT RUNS [PARTS]
PARTS is a comma-separated choice of batch, webp, single and answers (all
but webp when left out).

WebP: the batch's photos as WebP into JPG, the window against a loop of
pixmorph-convert and mogrify.
"""
import filecmp
import resource
import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
sys.dont_write_bytecode = True  # the modules borrowed here leave no caches in the source tree

import bench  # noqa: E402
from e2e_support import Session, png_size, xvfb  # noqa: E402
from program_cases import CONVERT_FILES  # noqa: E402

from Xlib import X, protocol  # noqa: E402
from Xlib import display as xdisplay  # noqa: E402

BMP, PNG, JPG = 1, 2, 3  # indices in the window's format lists
WEBP_IN = 5  # the input list's WEBP
BIG_FILES = 6
BIG_SIZE = (6000, 4000)
SINGLE_QUALITIES = list(range(100, 0, -10))
SEVERAL_FILES = 20
SEVERAL_SIZE = (1732, 1155)  # 2 MP
SEVERAL_QUALITIES = list(range(90, 40, -10))
PING_GAP = 0.02  # seconds between an answer and the next ping


def state_bytes(lines):
    """A state file of these seven lines, as the program writes one."""
    return "".join('"%s"\r\n' % line for line in lines).encode()


def private_env(work):
    """An environment whose home is a throw-away folder: no state of the user's is read or written."""
    home = os.path.join(work, "home")
    runtime = os.path.join(home, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    return dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_RUNTIME_DIR=runtime,
                QT_QPA_PLATFORM="offscreen")


def window_batch(window_program, src, out, env, formats=(JPG, PNG), name="JPG"):
    """Seconds from the click to the last file, checking that every file was converted."""
    p = subprocess.run([window_program, src + "/", out + "/", str(formats[0]), str(formats[1])], env=env,
                       capture_output=True, text=True, check=True)
    seconds, summary = p.stdout.splitlines()[:2]
    expected = "Number of %s files converted: %d (of %d input)" % (name, bench.BATCH_FILES, bench.BATCH_FILES)
    if summary != expected:
        sys.exit("the window's batch did not convert every file: %r" % summary)
    return float(seconds)


def webp_part(work, photo, window_program, runs):
    """The batch's small photos as WebP (cwebp -q 90) into JPG at quality
    80: the window against a one-at-a-time loop of pixmorph-convert and
    mogrify."""
    jpgs = bench.make_batch_files(work, photo)
    src = os.path.join(work, "webp")
    os.makedirs(src)
    for f in jpgs:
        subprocess.run(["cwebp", "-quiet", "-q", "90", f, "-o", os.path.join(src, os.path.basename(f)[:-4] + ".webp")],
                       check=True)
    files = sorted(os.path.join(src, n) for n in os.listdir(src))
    env = private_env(work)
    samples = {"window": [], "loop": [], "mogrify": []}
    for r in range(runs):
        outs = {name: os.path.join(work, "webp-%s-%d" % (name, r)) for name in samples}
        for out in outs.values():
            os.makedirs(out)
        samples["window"].append(window_batch(window_program, src, outs["window"], env, (WEBP_IN, JPG), "WEBP"))
        start = time.perf_counter()
        for f in files:
            subprocess.run([bench.OURS, f, os.path.join(outs["loop"], os.path.basename(f)[:-5] + ".jpg"), "80"],
                           check=True, stdout=subprocess.DEVNULL)
        samples["loop"].append(time.perf_counter() - start)
        start = time.perf_counter()
        subprocess.run(["mogrify", "-path", outs["mogrify"], "-format", "jpg", "-quality", "80"] + files, check=True)
        samples["mogrify"].append(time.perf_counter() - start)
    med = {name: statistics.median(s) for name, s in samples.items()}
    kb = lambda d: sum(os.path.getsize(os.path.join(d, n)) for n in os.listdir(d)) // 1024
    print("batch of %d 0.14MP webp>jpg q80, %d runs, median seconds (window: click to last file)" % (len(files), runs))
    for name, s in samples.items():
        print("  %-8s %7.2f   runs: %s" % (name, med[name], " ".join("%.2f" % v for v in s)))
    print("  window/loop %.2f, window/mogrify %.2f; output %d KB vs mogrify %d KB"
          % (med["window"] / med["loop"], med["window"] / med["mogrify"], kb(os.path.join(work, "webp-window-0")),
             kb(os.path.join(work, "webp-mogrify-0"))), flush=True)


def load_average():
    return "%.1f" % os.getloadavg()[0]


def batch_part(work, photo, window_program, engine_batch, runs):
    files = bench.make_batch_files(work, photo)
    src = os.path.dirname(files[0])
    env = private_env(work)
    samples = {"window": [], "engine": [], "loop": [], "mogrify": []}
    loads = [load_average()]
    for r in range(runs):
        outs = {name: os.path.join(work, "%s-%d" % (name, r)) for name in samples}
        for out in outs.values():
            os.makedirs(out)
        samples["window"].append(window_batch(window_program, src, outs["window"], env))
        for name, action in (("engine", lambda out: subprocess.run([engine_batch, out] + files, check=True)),
                             ("loop", lambda out: bench.convert_one_by_one(bench.OURS, files, out)),
                             ("mogrify", lambda out: subprocess.run(bench.mogrify_command(files, out), check=True))):
            start = time.perf_counter()
            action(outs[name])
            samples[name].append(time.perf_counter() - start)
        loads.append(load_average())
    med = {name: statistics.median(s) for name, s in samples.items()}
    print("batch of %d 0.14MP jpg>png, %d runs, median seconds (window: click to last file); "
          "load average %s" % (bench.BATCH_FILES, runs, " -> ".join(loads)))
    for name, s in samples.items():
        print("  %-8s %7.2f   runs: %s" % (name, med[name], " ".join("%.2f" % v for v in s)))
    print("  window/loop %.2f (target <= 0.60), window/mogrify %.2f (target <= 0.25), window/engine %.2f; "
          "output %d KB vs mogrify %d KB"
          % (med["window"] / med["loop"], med["window"] / med["mogrify"], med["window"] / med["engine"],
             bench.png_kb(os.path.join(work, "window-0")), bench.png_kb(os.path.join(work, "mogrify-0"))),
          flush=True)


def single_targets(stem, formats, qualities):
    """(name, quality) of each output of a single-file run, in the order the run writes them."""
    targets = [(stem + "." + f.lower(), 80) for f in ("BMP", "PNG") if f in formats]
    if "JPG" in formats:
        tag = len(qualities) > 1
        targets += [(stem + ("_q%d" % q if tag else "") + ".jpg", q) for q in qualities]
    return targets


def window_single(program, formats, qualities, paths, env):
    """Seconds from the click to the last report line, that line, the window's peak MB and its processor seconds."""
    step = abs(qualities[1] - qualities[0]) if len(qualities) > 1 else 10
    p = subprocess.run([program, formats, str(qualities[0]), str(qualities[-1]), str(step)] + paths, env=env,
                       capture_output=True, text=True, check=True)
    seconds, line, peak, processor = p.stdout.splitlines()[:4]
    return float(seconds), line, float(peak), float(processor)


def children_processor_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def one_at_a_time(sources, targets, out):
    """Every target of every source by pixmorph-convert, one after another."""
    for src in sources:
        stem = os.path.splitext(os.path.basename(src))[0]
        for name, quality in targets:
            subprocess.run([bench.OURS, src, os.path.join(out, name.replace("photo", stem, 1)), str(quality)],
                           check=True, stdout=subprocess.DEVNULL)


def same_files(a, b):
    names = sorted(os.listdir(b))
    if sorted(n for n in os.listdir(a) if n in names) != names:
        return False
    return all(filecmp.cmp(os.path.join(a, n), os.path.join(b, n), shallow=False) for n in names)


def single_runs(work, tag, sources, formats, qualities, window_program, runs):
    """The window on @p sources (handed over together) against pixmorph-convert one conversion at a time."""
    env = private_env(work)
    targets = single_targets("photo", formats, qualities)
    last = os.path.splitext(os.path.basename(sources[-1]))[0]
    samples = {"window": [], "loop": []}
    processor = {"window": [], "loop": []}
    peaks, loads = [], [load_average()]
    for r in range(runs):
        window_dir, loop_dir = (os.path.join(work, "%s-%s-%d" % (tag, name, r)) for name in samples)
        os.makedirs(window_dir)
        os.makedirs(loop_dir)
        copies = [shutil.copy(src, window_dir) for src in sources]

        def window():
            seconds, line, peak, cpu = window_single(window_program, formats, qualities, copies, env)
            name, quality = targets[-1]
            if not line.startswith(name.replace("photo", last, 1) + " (") or not line.endswith(" %d." % quality):
                sys.exit("the window's single-file run did not end with its last output: %r" % line)
            samples["window"].append(seconds)
            processor["window"].append(cpu)
            peaks.append(peak)

        def loop():
            start, cpu = time.perf_counter(), children_processor_seconds()
            one_at_a_time(sources, targets, loop_dir)
            samples["loop"].append(time.perf_counter() - start)
            processor["loop"].append(children_processor_seconds() - cpu)

        for action in ((window, loop) if r % 2 == 0 else (loop, window)):
            action()
        if not same_files(window_dir, loop_dir):
            sys.exit("the window's outputs differ from pixmorph-convert's")
        shutil.rmtree(window_dir)
        shutil.rmtree(loop_dir)
        loads.append(load_average())
    med = {name: statistics.median(s) for name, s in samples.items()}
    cpu = {name: statistics.median(s) for name, s in processor.items()}
    for name, s in samples.items():
        print("  %-8s %7.2f s, processor %5.2f s   runs: %s"
              % (name, med[name], cpu[name], " ".join("%.2f" % v for v in s)))
    print("  window/one-at-a-time %.2f (target <= 0.40), processor %.2f; window peak memory median %.0f MB, "
          "max %.0f MB; outputs byte for byte the same; load average %s"
          % (med["window"] / med["loop"], cpu["window"] / cpu["loop"], statistics.median(peaks), max(peaks),
             " -> ".join(loads)), flush=True)


def single_part(work, photo, window_program, runs):
    os.makedirs(os.path.join(work, "single"))
    big = os.path.join(work, "single", "photo.jpg")
    subprocess.run([bench.IM, photo, "-resize", "%dx%d!" % BIG_SIZE, "-quality", "90", big], check=True)
    print("single file: %d MP jpg into BMP, PNG and JPG 100 to 10 (12 outputs), %d runs, median seconds "
          "(window: click to last report line; peak memory target < 320 MB)"
          % (BIG_SIZE[0] * BIG_SIZE[1] // 1000000, runs))
    single_runs(work, "single", [big], "BMP,PNG,JPG", SINGLE_QUALITIES, window_program, runs)

    os.makedirs(os.path.join(work, "several"))
    photos = []
    for i in range(SEVERAL_FILES):
        photos.append(os.path.join(work, "several", "p%02d.jpg" % i))
        x, y = (i * 23) % 120, (i * 17) % 160
        subprocess.run([bench.IM, photo, "-crop", "%dx%d+%d+%d" % (512 - 120, 512 - 160, x, y), "+repage", "-resize",
                        "%dx%d!" % SEVERAL_SIZE, "-quality", "90", photos[-1]], check=True)
    print("several files: %d photos of 2 MP handed over together into PNG and JPG 90 to 50 (%d outputs), %d runs"
          % (SEVERAL_FILES, SEVERAL_FILES * (1 + len(SEVERAL_QUALITIES)), runs))
    single_runs(work, "several", photos, "PNG,JPG", SEVERAL_QUALITIES, window_program, runs)


class Pinger:
    """Pings a top-level window the way a desktop asks whether a program is
    alive. Qt sends the answer to the root window for the clients that watch
    its structure (a window manager watches its substructure as well)."""

    def __init__(self, display_name, window_id):
        self.display = xdisplay.Display(display_name)
        self.root = self.display.screen().root
        self.root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
        self.protocols = self.display.intern_atom("WM_PROTOCOLS")
        self.ping_atom = self.display.intern_atom("_NET_WM_PING")
        self.window = self.display.create_resource_object("window", int(window_id))
        self.serial = 0

    def ping(self, timeout=30.0):
        """Seconds until the window answers."""
        self.serial += 1
        event = protocol.event.ClientMessage(window=self.window, client_type=self.protocols,
                                             data=(32, [self.ping_atom, self.serial, self.window.id, 0, 0]))
        self.window.send_event(event, event_mask=0)
        self.display.flush()
        sent = time.perf_counter()
        while time.perf_counter() - sent < timeout:
            while self.display.pending_events():
                e = self.display.next_event()
                if e.type == X.ClientMessage and e.client_type == self.protocols and \
                        e.data[1][0] == self.ping_atom and e.data[1][1] == self.serial:
                    return time.perf_counter() - sent
            select.select([self.display], [], [], 0.005)
        sys.exit("the window did not answer a ping within %.0f s" % timeout)

    def close(self):
        self.display.close()


def probe_until(pinger, done):
    """Ping after ping until done() holds; the answer times."""
    answers = []
    while not done():
        answers.append(pinger.ping())
        time.sleep(PING_GAP)
    return answers


def answers_part(work, photo, program, runs):
    src = os.path.join(work, "big")
    dst = os.path.join(work, "big-out")
    os.makedirs(src)
    os.makedirs(dst)
    first = os.path.join(src, "big0.bmp")
    subprocess.run([bench.IM, photo, "-resize", "%dx%d!" % BIG_SIZE, "BMP3:" + first], check=True)
    for i in range(1, BIG_FILES):
        shutil.copy(first, os.path.join(src, "big%d.bmp" % i))
    targets = [os.path.join(dst, "big%d.png" % i) for i in range(BIG_FILES)]

    with xvfb() as display:
        s = Session(program, display)
        try:
            # The saved state fills the folders and formats at start-up: BMP to
            # PNG, no overwrite question, no viewer.
            s.state_file.parent.mkdir(parents=True)
            s.state_file.write_bytes(state_bytes([src + "/", dst + "/", " %d" % BMP, " %d" % PNG, "0", "0", "0"]))
            s.start()
            time.sleep(1.0)
            pinger = Pinger(display["DISPLAY"], s.main)
            idle = [pinger.ping() for _ in range(20)]
            busy, seconds, loads = [], [], [load_average()]
            for _ in range(runs):
                for t in targets:
                    if os.path.exists(t):
                        os.remove(t)
                start = time.perf_counter()
                s.click(s.main, *CONVERT_FILES)
                busy += probe_until(pinger, lambda: all(os.path.exists(t) for t in targets))
                seconds.append(time.perf_counter() - start)
                loads.append(load_average())
                if s.proc.poll() is not None:
                    sys.exit("the program ended during the batch")
                for t in targets:
                    if png_size(t) != BIG_SIZE:
                        sys.exit("%s was not converted whole" % t)
                time.sleep(0.5)
            pinger.close()
        finally:
            if s.proc and s.proc.poll() is None:
                s.proc.kill()
                s.proc.wait()
            shutil.rmtree(s.root, ignore_errors=True)
    ms = lambda v: v * 1000.0
    busy.sort()
    print("window answers while %d BMPs of %d MP convert to PNG in one batch (%d runs, %s s each; "
          "load average %s):\n  %d pings, median %.1f ms, 99th percentile %.1f ms, max %.1f ms (target <= 250 ms); "
          "idle: median %.1f ms, max %.1f ms"
          % (BIG_FILES, BIG_SIZE[0] * BIG_SIZE[1] // 1000000, runs, " ".join("%.1f" % v for v in seconds),
             " -> ".join(loads), len(busy), ms(statistics.median(busy)), ms(busy[len(busy) * 99 // 100]),
             ms(busy[-1]), ms(statistics.median(idle)), ms(max(idle))),
          flush=True)


def main():
    if len(sys.argv) not in (7, 8):
        sys.exit(__doc__)
    program, window_program, single_program, engine_batch, bench.OURS = sys.argv[1:6]
    runs = int(sys.argv[6])
    parts = sys.argv[7].split(",") if len(sys.argv) == 8 else ["batch", "single", "answers"]
    photo = bench.find_photo()
    with tempfile.TemporaryDirectory(prefix="pictoria-window-bench-") as work:
        if "batch" in parts:
            batch_part(work, photo, window_program, engine_batch, runs)
        if "webp" in parts:
            webp_part(work, photo, window_program, runs)
        if "single" in parts:
            single_part(work, photo, single_program, runs)
        if "answers" in parts:
            answers_part(work, photo, program, runs)


if __name__ == "__main__":
    main()
