#!/usr/bin/env python3
"""Which Node tests kill which mutants. StrykerJS stops at the first failing
test file, so its report cannot say whether a test is the only one to catch
a fault. This runs every mutant StrykerJS killed again, against every test
file that reaches it, and lists for each test how many mutants it kills and
how many of those no other test kills: a test with none adds no catch.

Run after `scripts/mutation-test web`, on the same code:
  python3 tools/mutation/web_test_kills.py [--report build/mutation/web.json]
"""
import argparse
import collections
import json
import os
import re
import shutil
import subprocess
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
STRYKER = ROOT / "tools" / "mutation" / "node_modules" / ".bin" / "stryker"


def instrumented_sandbox():
    """StrykerJS's own copy of the project with every mutant built in, each
    switched on by an environment variable."""
    temp = ROOT / "build" / "mutation" / "stryker-tmp"
    before = set(temp.glob("sandbox-*"))
    subprocess.run([STRYKER, "run", "tools/mutation/stryker.config.json", "--dryRunOnly", "--cleanTempDir", "false",
                    "--reporters", "clear-text"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return max(set(temp.glob("sandbox-*")) - before, key=lambda p: p.stat().st_mtime)


def failing_tests(tap):
    """Full names ("group > test") of the tests that failed, groups left out."""
    stack, failed = [], []
    for line in tap.splitlines():
        if m := re.match(r"^(\s*)# Subtest: (.*)$", line):
            stack = stack[:len(m[1]) // 4] + [m[2]]
        elif m := re.match(r"^(\s*)not ok \d+ - (.*?)(?: #.*)?$", line):
            failed.append(" > ".join(stack[:len(m[1]) // 4] + [m[2]]))
    return {name for name in failed if not any(other.startswith(name + " > ") for other in failed)}


def run_mutant(sandbox, mutant, files):
    process = subprocess.Popen(["node", "--test", "--test-reporter=tap", "--test-concurrency=1", *files], cwd=sandbox,
                               env=dict(os.environ, __STRYKER_ACTIVE_MUTANT__=mutant), stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True, start_new_session=True)
    try:
        return {name.replace(f"{sandbox}/", "") for name in failing_tests(process.communicate(timeout=20)[0])}
    except subprocess.TimeoutExpired:  # a mutant that loops: which test hung is not known
        os.killpg(process.pid, 9)
        process.communicate()
        return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--report", type=Path, default=ROOT / "build" / "mutation" / "web.json")
    parser.add_argument("--out", type=Path, default=ROOT / "build" / "mutation" / "web-test-kills.json")
    args = parser.parse_args()
    report = json.loads(args.report.read_text())
    file_of = {t["id"]: name for name, f in report["testFiles"].items() for t in f["tests"]}
    killed = [(m["id"], sorted({file_of[t] for t in m["coveredBy"]})) for f in report["files"].values()
              for m in f["mutants"] if m["status"] == "Killed"]
    sandbox = instrumented_sandbox()
    with ThreadPoolExecutor(os.cpu_count()) as pool:
        kills = dict(zip((m for m, _ in killed), pool.map(lambda k: run_mutant(sandbox, *k), killed)))
    shutil.rmtree(sandbox)
    args.out.write_text(json.dumps({m: sorted(t) if t is not None else None for m, t in kills.items()}))

    caught = [t for t in kills.values() if t]
    by_test = collections.Counter(name for tests in caught for name in tests)
    alone = collections.Counter(next(iter(tests)) for tests in caught if len(tests) == 1)
    for name in sorted(by_test, key=lambda n: (alone[n], by_test[n])):
        print(f"{by_test[name]:5} {alone[name]:5}  {name}")
    print(f"{len(killed)} mutants killed in the report: {len(caught)} killed again here, "
          f"{sum(t is None for t in kills.values())} looped, {sum(t == set() for t in kills.values())} not killed "
          "(a report made from other code, or a mutant killed only by a time-out)")
    print("columns: mutants the test kills, mutants no other test kills")


if __name__ == "__main__":
    main()
