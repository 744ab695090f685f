#!/usr/bin/env python3
"""Regular-expression mutation testing of the shell's C++.

Finds every place in src/**/*.cpp where one of the operators below applies,
draws a reproducible sample, and for each mutant: applies it in a separate
work tree, builds (under the machine's shared build lock), runs the unit
tests and then the end-to-end tests of a fast set, stopping at the first
failure. A mutant that does not build is left out of the score.

    tools/mutation/cpp_mutants.py --count 150 --seed 1 --out build/mutation/cpp.json

--commit measures an earlier commit's code with its own tests, in a work
tree of its own (--tree). A run cut short goes on from its --out file.
While the file PAUSE exists beside --out, the run waits between mutants, so
that other heavy work does not slow its end-to-end tests into false kills.
"""

import argparse
import json
import random
import re
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]

# (name, pattern, replacement); each applies to one match at a time.
OPERATORS = [
    ("eq-to-ne", r"==", "!="),
    ("ne-to-eq", r"!=", "=="),
    ("lt-to-le", r"(?<![<-])<(?![<=])(?=\s)", "<="),
    ("gt-to-ge", r"(?<=\s)>(?![>=])", ">="),
    ("le-to-lt", r"<=", "<"),
    ("ge-to-gt", r">=", ">"),
    ("and-to-or", r"&&", "||"),
    ("or-to-and", r"\|\|", "&&"),
    ("true-to-false", r"\btrue\b", "false"),
    ("false-to-true", r"\bfalse\b", "true"),
    ("TRUE-to-FALSE", r"\bTRUE\b", "FALSE"),
    ("drop-not", r"\(!(?=[A-Za-z_(])", "("),
    ("plus-to-minus", r"(?<=\s)\+(?=\s)", "-"),
    ("minus-to-plus", r"(?<=\s)-(?=\s)", "+"),
    ("zero-to-one", r"(?<![\w.])0(?![\w.x])", "1"),
    ("drop-return-value", r"return (?!;)[^;]+;", "return {};"),
]

# Replacements that change nothing.
EQUIVALENT = {"return std::nullopt;", "return {};", "return nullptr;"}
SKIP_LINE = re.compile(r"^\s*(#|//|\*|/\*)|static_assert|#include")
# The end-to-end tests of the shell itself, by the names they had before and
# after they were merged; the farm application's, the soak and the fault
# tests (minutes each, and the store's faults have unit tests of their own)
# are left out so that a sample runs in about an hour.
FAST_E2E = ["e2e_shell", "e2e_dialogs", "e2e_desktop", "e2e_hardening", "e2e_bridge_services",
            "e2e_app_menus", "e2e_accessibility", "e2e_wayland"]


def candidates(tree):
    found = []
    for source in sorted((tree / "src").rglob("*.cpp")):
        lines = source.read_text(encoding="utf-8").splitlines(keepends=True)
        for number, line in enumerate(lines):
            if SKIP_LINE.search(line) or '"' in line and line.count('"') >= 2 and "==" not in line:
                continue
            for name, pattern, replacement in OPERATORS:
                for match in re.finditer(pattern, line):
                    if match.group(0) in EQUIVALENT:
                        continue
                    found.append({"file": str(source.relative_to(tree)), "line": number + 1,
                                  "operator": name, "start": match.start(), "end": match.end(),
                                  "replacement": replacement, "original": line.rstrip("\n")})
    return found


def run(command, cwd, timeout):
    try:
        return subprocess.run(command, cwd=cwd, timeout=timeout, capture_output=True,
                              text=True).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def judge(tree, build, mutant):
    path = tree / mutant["file"]
    original = path.read_text(encoding="utf-8")
    lines = original.splitlines(keepends=True)
    line = lines[mutant["line"] - 1]
    lines[mutant["line"] - 1] = line[:mutant["start"]] + mutant["replacement"] + line[mutant["end"]:]
    path.write_text("".join(lines), encoding="utf-8")
    try:
        built = run(["flock", "/tmp/mlfk-build.lock", "cmake", "--build", str(build)], tree, 900)
        if built != 0:
            return "did not build"
        # A mutant can make a loop endless: a test that hangs counts as failed.
        if run(["ctest", "--test-dir", str(build), "-L", "unit", "--stop-on-failure", "--timeout", "60"],
               tree, 600) != 0:
            return "killed by unit tests"
        regex = "|".join(FAST_E2E)
        e2e = ["xvfb-run", "-a", "-s", "-screen 0 1920x1080x24 -noreset", "ctest", "--test-dir", str(build),
               "-R", f"^({regex})$", "--stop-on-failure", "--timeout", "600"]
        outcome = run(e2e, tree, 1800)
        if outcome == "timeout":
            return "killed by a time-out"
        return "killed by end-to-end tests" if outcome != 0 else "survived"
    finally:
        path.write_text(original, encoding="utf-8")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=150)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--tree", type=Path, default=ROOT / "build" / "mutation" / "tree")
    parser.add_argument("--out", type=Path, default=ROOT / "build" / "mutation" / "cpp.json")
    parser.add_argument("--commit", default="HEAD", help="the commit whose code and tests are mutated")
    parser.add_argument("--list", action="store_true", help="only print the sample")
    args = parser.parse_args()

    # A work tree of the commit, built once, mutated one file at a time.
    tree = args.tree.resolve()
    if not tree.exists():
        subprocess.run(["git", "worktree", "add", "--detach", str(tree), args.commit], cwd=ROOT, check=True)
    every = candidates(tree)
    sample = random.Random(args.seed).sample(every, min(args.count, len(every)))
    if args.list:
        for m in sample:
            print(f'{m["file"]}:{m["line"]} {m["operator"]}: {m["original"].strip()}')
        print(f"{len(sample)} of {len(every)} possible mutants")
        return 0

    build = tree / "build"
    if not (build / "CMakeCache.txt").exists():
        subprocess.run(["cmake", "-S", str(tree), "-B", str(build), "-G", "Ninja",
                        "-DMLFK_BUILD_BENCHMARKS=OFF", "-DMLFK_BUILD_FUZZERS=OFF"], check=True)
    if run(["flock", "/tmp/mlfk-build.lock", "cmake", "--build", str(build)], tree, 1800) != 0:
        print("the unmutated tree does not build", file=sys.stderr)
        return 1

    # A run cut short goes on where it stopped: mutants already judged in
    # --out (same place, same operator) keep their outcome.
    key = lambda m: (m["file"], m["line"], m["start"], m["operator"])  # noqa: E731
    judged = {}
    if args.out.exists():
        judged = {key(m): m["outcome"] for m in json.loads(args.out.read_text())}
    results = []
    pause = args.out.parent / "PAUSE"
    for i, mutant in enumerate(sample, 1):
        while key(mutant) not in judged and pause.exists():
            time.sleep(5)
        started = time.monotonic()
        mutant["outcome"] = judged.get(key(mutant)) or judge(tree, build, mutant)
        results.append(mutant)
        print(f'[{i}/{len(sample)}] {mutant["outcome"]:28} {mutant["file"]}:{mutant["line"]} '
              f'{mutant["operator"]} ({time.monotonic() - started:.0f} s)', flush=True)
        args.out.parent.mkdir(parents=True, exist_ok=True)
        args.out.write_text(json.dumps(results, indent=1))
    valid = [m for m in results if m["outcome"] != "did not build"]
    killed = [m for m in valid if m["outcome"] != "survived"]
    score = 100 * len(killed) / len(valid) if valid else 0
    print(f"C++ mutation score: {score:.1f}% ({len(killed)} of {len(valid)} mutants that built; "
          f"{len(results) - len(valid)} did not build)")
    for m in valid:
        if m["outcome"] == "survived":
            print(f'  survived: {m["file"]}:{m["line"]} {m["operator"]}: {m["original"].strip()}')
    return 0


if __name__ == "__main__":
    sys.exit(main())
