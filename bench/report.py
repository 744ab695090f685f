#!/usr/bin/env python3
"""Every benchmark of the project in one table: each row a ratio of the shell
against its floor measured in the same run, with the medians beside it.
Run by bench/run-all; needs an X display."""
import argparse
import datetime
import platform
import re
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import persist_roundtrip  # noqa: E402
import startup  # noqa: E402


def row(case, shell, bare, unit, floor_name):
    return (case, f"{shell:.1f} {unit}", f"{bare:.1f} {unit}", floor_name, shell / bare)


def serving_rows():
    out = subprocess.run([str(startup.BUILD / "bench" / "webhost_bench")], capture_output=True,
                         text=True, check=True).stdout
    rows = []
    names = {"serve-5MB/": "serving a 5 MB file", "serve-200-small/": "serving 200 small files",
             "bootstrap-50MB/": "bootstrap script, 50 MB database"}
    for line in out.splitlines():
        m = re.match(r"(\S+)\s+([\d.]+) ms\s+([\d.]+) ms\s+([\d.]+)$", line.strip())
        if m and m.group(1) in names:
            rows.append(row(names[m.group(1)], float(m.group(2)), float(m.group(3)), "ms",
                            "direct read (and copy)"))
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--write", type=Path, help="also write the table as Markdown to this file")
    args = parser.parse_args()

    rows = []
    for mb in (0, 10, 50):
        m = startup.measure(args.rounds, mb)
        label = f"start-up to first load, {mb} MB database" if mb else "start-up to first load"
        rows.append(row(label, m["shell"] * 1000, m["bare"] * 1000, "ms", "bare WebKitGTK window"))
        if mb == 0:
            memory = row("UI process peak memory", m["shell_kb"] / 1024, m["bare_kb"] / 1024, "MB",
                         "bare WebKitGTK window")
    runs = [(persist_roundtrip.run("shell"), persist_roundtrip.run("bare")) for _ in range(3)]
    for size in runs[0][0]:
        s = sorted(r[0][size] for r in runs)[1]
        b = sorted(r[1][size] for r in runs)[1]
        rows.append(row(f'"persist" round trip, {size}', s, b, "ms", "bare handler + durable write"))
    rows += serving_rows()
    rows.append(memory)

    header = ["case", "shell (median)", "floor (median)", "floor", "ratio"]
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for case, s, b, floor, ratio in rows:
        lines.append(f"| {case} | {s} | {b} | {floor} | {ratio:.2f} |")
    table = "\n".join(lines)
    print(table)
    if args.write:
        cpu = platform.processor() or platform.machine()
        # The sections after this table (the farm application at farm scale) come
        # from other benchmarks: they are kept as they are.
        old = args.write.read_text() if args.write.exists() else ""
        rest = old[old.index("\n## "):] if "\n## " in old else ""
        args.write.write_text(
            "# Performance\n\n"
            f"Measured by `bench/run-all` on {datetime.date.today()}, {cpu}, "
            f"{subprocess.run(['nproc'], capture_output=True, text=True).stdout.strip()} cores, "
            "under Xvfb with software rendering. Each row compares the shell with a floor measured "
            "in the same run; a ratio of 1.00 means no cost over the floor.\n\n" + table + "\n" + rest)


if __name__ == "__main__":
    main()
