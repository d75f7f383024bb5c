#!/usr/bin/env python3
"""Mutation check of the test suite: how many small faults planted in src/
the tests catch.

   tools/mutate.py [--repo DIR] [--build DIR] [--count N] [--seed S] [--out FILE]
                   [--against EARLIER_OUT]

Sites are found in every .cpp file under src/ (flipped comparisons, && and
|| swapped, true and false swapped, integer constants changed by one,
statements dropped, if conditions negated) and a fixed random sample of
them is taken, so the same sources give the same mutants. Each mutant is
built; one that does not compile is not viable and not counted. The fast
tests run first and stop at the first failure; the end-to-end tests run only
for a mutant they did not kill. The source is restored after each mutant.
The result is one line per mutant in --out and the counts on stdout.

With --against, the result of an earlier run on the same sources (for
example of the suite before a cut): only the mutants it killed are tried,
and the count says how many of those this suite kills.
"""
import argparse
import pathlib
import random
import re
import subprocess
import sys

MUTATIONS = [
    ("flip ==", re.compile(r"(?<=[\w)\] ])==(?=[ \w(])"), "!="),
    ("flip !=", re.compile(r"(?<=[\w)\] ])!=(?=[ \w(])"), "=="),
    ("flip <=", re.compile(r"(?<= )<=(?= )"), ">"),
    ("flip >=", re.compile(r"(?<= )>=(?= )"), "<"),
    ("flip <", re.compile(r"(?<= )<(?= [\w(])"), ">="),
    ("flip >", re.compile(r"(?<=[\w)] )>(?= [\w(])"), "<="),
    ("swap &&", re.compile(r" && "), " || "),
    ("swap ||", re.compile(r" \|\| "), " && "),
    ("swap true", re.compile(r"\btrue\b"), "false"),
    ("swap false", re.compile(r"\bfalse\b"), "true"),
    ("constant +1", re.compile(r"(?<![\w.])([1-9]\d{0,5})(?![\w.'])"), None),
]
STATEMENT = re.compile(r"^\s*[\w.>\[\]-]+(?:\([^;]*\)|\s*(?:=|\+=|-=|\|=)\s*[^;]+|\+\+|--);\s*$")
IF_LINE = re.compile(r"^(\s*(?:\} else )?if \()(.*)(\)\s*\{?\s*)$")


def code_lines(text):
    """Line numbers that hold code: not comments, includes, asserts or strings only."""
    for number, line in enumerate(text.splitlines(), 1):
        stripped = line.strip()
        if not stripped or stripped.startswith(("//", "#", "*", "/*", "static_assert", "Q_")):
            continue
        yield number, line


def sites_of(path, root):
    text = path.read_text(encoding="utf-8")
    relative = str(path.relative_to(root))
    found = []
    for number, line in code_lines(text):
        code = re.sub(r'"(?:\\.|[^"\\])*"', lambda m: " " * len(m.group(0)), line.split("//")[0])
        for kind, pattern, replacement in MUTATIONS:
            for match in pattern.finditer(code):
                found.append((relative, number, kind, match.start(), match.end(), replacement))
        if STATEMENT.match(code) and not code.strip().startswith("return"):
            found.append((relative, number, "drop statement", 0, len(line), None))
        if IF_LINE.match(code):
            found.append((relative, number, "negate if", 0, len(line), None))
    return found


def mutated_line(line, site):
    _, _, kind, start, end, replacement = site
    if kind == "constant +1":
        return line[:start] + str(int(line[start:end]) + 1) + line[end:]
    if kind == "drop statement":
        return re.match(r"^\s*", line).group(0) + ";"
    if kind == "negate if":
        head, condition, tail = IF_LINE.match(line).groups()
        return f"{head}!({condition}){tail}"
    return line[:start] + replacement + line[end:]


def run(command, cwd, timeout):
    try:
        return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repo", default=str(pathlib.Path(__file__).resolve().parent.parent))
    parser.add_argument("--build", default=None)
    parser.add_argument("--count", type=int, default=64)
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--out", default="mutants.txt")
    parser.add_argument("--against", default=None)
    args = parser.parse_args()
    root = pathlib.Path(args.repo).resolve()
    build = pathlib.Path(args.build or root / "build-mutate")

    all_sites = []
    for path in sorted((root / "src").rglob("*.cpp")):
        all_sites.extend(sites_of(path, root))
    sample = sorted(random.Random(args.seed).sample(all_sites, args.count), key=lambda s: (s[0], s[1], s[3]))

    if not (build / "build.ninja").exists():
        subprocess.run(["cmake", "-S", str(root), "-B", str(build), "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build), "-j2"], check=True, stdout=subprocess.DEVNULL)

    fast = ["ctest", "--test-dir", str(build), "-j2", "-LE", "e2e", "--stop-on-failure", "--timeout", "120"]
    slow = ["ctest", "--test-dir", str(build), "-j1", "-L", "e2e", "--stop-on-failure", "--timeout", "120"]
    def earlier_verdicts():
        # The earlier run may still be going: a mutant it has not reached yet is tried.
        verdicts = {}
        for line in pathlib.Path(args.against).read_text(encoding="utf-8").splitlines():
            verdicts[line.split()[0]] = line.rsplit(": ", 1)[1]
        return verdicts

    counts = {"killed": 0, "survived": 0, "not viable": 0}
    killed_both = 0
    with open(args.out, "w", encoding="utf-8") as out:
        for index, site in enumerate(sample, 1):
            if args.against and earlier_verdicts().get(f"M{index:03}", "killed") != "killed":
                continue
            path = root / site[0]
            original = path.read_text(encoding="utf-8")
            lines = original.splitlines(keepends=True)
            line = lines[site[1] - 1].rstrip("\n")
            lines[site[1] - 1] = mutated_line(line, site) + "\n"
            path.write_text("".join(lines), encoding="utf-8")
            try:
                if run(["cmake", "--build", str(build), "-j2"], root, 900) != 0:
                    verdict = "not viable"
                elif run(fast, root, 1800) != 0 or run(slow, root, 1800) != 0:
                    verdict = "killed"
                else:
                    verdict = "survived"
            finally:
                path.write_text(original, encoding="utf-8")
            counts[verdict] += 1
            if args.against and verdict == "killed" and earlier_verdicts().get(f"M{index:03}") == "killed":
                killed_both += 1
            record = f"M{index:03} {site[0]}:{site[1]} {site[2]}: {verdict}"
            print(record, file=out, flush=True)
            print(record, flush=True)
    subprocess.run(["cmake", "--build", str(build), "-j2"], stdout=subprocess.DEVNULL)
    viable = counts["killed"] + counts["survived"]
    if args.against:
        print(f"of the {sum(v == 'killed' for v in earlier_verdicts().values())} mutants the earlier suite killed, "
              f"this suite kills {killed_both}")
    else:
        print(f"mutants: {len(sample)}, viable: {viable}, killed: {counts['killed']}, "
              f"survived: {counts['survived']}, not viable: {counts['not viable']}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
