#!/usr/bin/env python3
"""Non-blank, non-comment lines of the code (src/) and of the tests (tests/),
per layer, and the tests' share of the code.
   tools/count-lines.py [REPO]"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
CPP = {".cpp", ".h", ".hpp", ".c"}


def significant_lines(path):
    text = path.read_text(encoding="utf-8", errors="replace")
    if path.suffix in CPP:
        text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
        lines = [re.sub(r"//.*", "", line) for line in text.splitlines()]
    elif path.suffix == ".py":
        lines = [re.sub(r"^\s*#.*", "", line) for line in text.splitlines()]
    else:
        return 0
    return sum(1 for line in lines if line.strip())


def count(folder):
    return sum(significant_lines(p) for p in folder.rglob("*") if p.is_file())


layers = sorted(p.name for p in (root / "src").iterdir() if p.is_dir())
test_layers = {p.name for p in (root / "tests").iterdir() if p.is_dir()}
code_total = tests_total = 0
print(f"{'layer':10} {'code':>6} {'tests':>6} {'share':>6}")
for layer in layers:
    code = count(root / "src" / layer)
    tests = count(root / "tests" / layer) if layer in test_layers else 0
    code_total += code
    tests_total += tests
    print(f"{layer:10} {code:6} {tests:6} {tests / code:6.1%}")
for extra in sorted(test_layers - set(layers)):
    tests = count(root / "tests" / extra)
    tests_total += tests
    print(f"{extra:10} {'':6} {tests:6}")
print(f"{'all':10} {code_total:6} {tests_total:6} {tests_total / code_total:7.2%}")
