#!/usr/bin/env python3
"""Time from process start to the first finished page load: the shell against
a bare WebKitGTK window loading the same page through the same scheme code,
alternately, in one run. With --database-mb the shell starts with a saved
database of that size and the bare window is given the same script text.

Prints the medians and their ratio. Needs an X display (run under xvfb-run)."""
import argparse
import base64
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "e2e"))
from harness import BUILD, Shell  # noqa: E402

PAGE = HERE / "pages" / "startup"
BARE = BUILD / "bench" / "bare_window"
SETTLE = 0.5  # lets the page paint before the peak memory is read
OPENING = "window.__ML_SHELL = 'mac-native'; window.__ML_DB_B64 = '"


def wait_for_file(path, process, timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        # Only the head: the file may still be a large database, and reading
        # it whole every poll would take the CPU from the programs measured.
        try:
            with open(path, "rb") as f:
                if f.read(6) == b"loaded":
                    return time.monotonic()
        except FileNotFoundError:
            pass
        if process.poll() is not None:
            raise RuntimeError("program ended before its first load")
        time.sleep(0.002)
    raise RuntimeError("no first load")


def peak_memory_kb(program):
    """VmHWM of the newest process running `program`: its peak resident memory."""
    pid = subprocess.run(["pgrep", "-n", "-f", str(program)], capture_output=True, text=True).stdout.split()
    if not pid:
        return None
    for line in Path(f"/proc/{pid[0]}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return None


def kill(process):
    try:
        os.killpg(process.pid, 9)
    except ProcessLookupError:
        pass
    process.wait()


def run_shell(database):
    shell = Shell(PAGE)
    try:
        if database is not None:
            shell.folder.mkdir(parents=True)
            shell.database.write_bytes(database)
        start = time.monotonic()
        shell.start()
        # The page's report replaces the database once it has loaded.
        end = wait_for_file(shell.database, shell.process)
        time.sleep(SETTLE)
        return end - start, peak_memory_kb(shell.program)
    finally:
        shell.close()


def start_bare(root, page, script=None):
    """The bare window on `page` with its own home in `root`, under its own
    session bus as the shell has; returns the process and the file its
    "persist" messages go to."""
    out = root / "out.txt"
    args = ["dbus-run-session", "--", str(BARE), str(page), str(out)]
    if script is not None:
        args.append(str(script))
    process = subprocess.Popen(args, env=dict(os.environ, HOME=str(root), NO_AT_BRIDGE="1"),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    return process, out


def run_bare(database):
    root = Path(tempfile.mkdtemp(prefix="mlfk-bare-"))
    try:
        script = None
        if database is not None:
            script = root / "script.js"
            script.write_text(OPENING + base64.b64encode(database).decode() + "';")
        start = time.monotonic()
        process, out = start_bare(root, PAGE, script)
        try:
            end = wait_for_file(out, process)
            time.sleep(SETTLE)
            memory = peak_memory_kb(BARE)
        finally:
            kill(process)
        return end - start, memory
    finally:
        shutil.rmtree(root, ignore_errors=True)


def measure(rounds, database_mb):
    database = None
    if database_mb:
        chunk = ('{"animals":[' + ",".join('{"tag":"UK%06d","name":"cow"}' % i for i in range(2000)) + "]}").encode()
        database = (chunk * (database_mb * 1024 * 1024 // len(chunk) + 1))[: database_mb * 1024 * 1024]
    shell, bare = [], []
    for _ in range(rounds):
        shell.append(run_shell(database))
        bare.append(run_bare(database))
    median = lambda runs, k: statistics.median(r[k] for r in runs)
    return {"shell": median(shell, 0), "bare": median(bare, 0),
            "shell_kb": median(shell, 1), "bare_kb": median(bare, 1)}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--database-mb", type=int, default=0)
    args = parser.parse_args()
    m = measure(args.rounds, args.database_mb)
    label = f"start-up, {args.database_mb} MB database" if args.database_mb else "start-up"
    print(f"{'case':28} {'shell':>10} {'bare':>10} {'ratio':>7}")
    print(f"{label:28} {m['shell']*1000:8.0f}ms {m['bare']*1000:8.0f}ms {m['shell']/m['bare']:7.3f}")
    print(f"{'peak memory':28} {m['shell_kb']/1024:8.0f}MB {m['bare_kb']/1024:8.0f}MB "
          f"{m['shell_kb']/m['bare_kb']:7.3f}")


if __name__ == "__main__":
    main()
