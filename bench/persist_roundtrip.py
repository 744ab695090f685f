#!/usr/bin/env python3
"""'persist' round trips from the page, in the shell and in a bare window
whose handler only writes the same bytes durably and replies. One run, the
two programs alternately; prints the medians per size and their ratio."""
import json
import shutil
import statistics
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import startup  # noqa: E402

PAGE = HERE / "pages" / "persist"


def report(path):
    return json.loads(path.read_text()[len("loaded "):])


def run(kind):
    if kind == "shell":
        shell = startup.Shell(PAGE)
        try:
            shell.start()
            startup.wait_for_file(shell.database, shell.process, timeout=300)
            return report(shell.database)
        finally:
            shell.close()
    root = Path(tempfile.mkdtemp(prefix="mlfk-bare-"))
    try:
        process, out = startup.start_bare(root, PAGE)
        try:
            startup.wait_for_file(out, process, timeout=300)
            return report(out)
        finally:
            startup.kill(process)
    finally:
        shutil.rmtree(root, ignore_errors=True)


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    shell, bare = [], []
    for _ in range(runs):
        shell.append(run("shell"))
        bare.append(run("bare"))
    print(f"{'persist round trip':28} {'shell':>10} {'bare':>10} {'ratio':>7}")
    for size in shell[0]:
        s = statistics.median(r[size] for r in shell)
        b = statistics.median(r[size] for r in bare)
        print(f"{size:28} {s:8.1f}ms {b:8.1f}ms {s/b:7.3f}")


if __name__ == "__main__":
    main()
