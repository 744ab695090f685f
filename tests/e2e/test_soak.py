"""2,000 saves from 1 KB to 5 MB with snapshots and prints: every reply comes,
the snapshots stay at forty, and the program's memory does not grow."""
import json
import threading
import time
import unittest
from pathlib import Path

from harness import HERE, TITLE, ShellTestCase, xdo


def rss_kb(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    raise AssertionError("no VmRSS")


def quiet_rss(pid):
    """The smallest resident size over a second of an idle program: what it
    keeps, not the buffers of a save that is just passing through."""
    samples = []
    for _ in range(10):
        time.sleep(0.1)
        samples.append(rss_kb(pid))
    return min(samples)


class Soak(ShellTestCase):
    def test_two_thousand_saves_with_snapshots_and_prints(self):
        shell = self.shell(HERE / "soak_page")
        output = shell.root / "soak.pdf"
        shell.print_to_file(output)
        shell.start()
        pid = shell.wait_for(lambda: shell.database.exists() and shell.process.pid, what="first save")

        # Prints open a dialog: answer each one, as a user printing to a file would.
        stop = threading.Event()
        printed = []

        def answer_print_dialogs():
            while not stop.is_set():
                for wid in xdo("search", "--onlyvisible", "--pid", str(pid), "--name", ".").split():
                    name = xdo("getwindowname", wid).strip()
                    if name != TITLE:
                        xdo("windowfocus", "--sync", wid)
                        # Print, or replace the last print's file.
                        xdo("key", "alt+p" if name == "Print" else "alt+r")
                        printed.extend([wid] * (name == "Print"))
                        time.sleep(1.0)
                time.sleep(0.2)

        watcher = threading.Thread(target=answer_print_dialogs, daemon=True)
        watcher.start()
        snapshots = shell.folder / "Safety Snapshots"
        most_snapshots = 0
        rss_at_200 = None
        summary = None
        try:
            deadline = time.monotonic() + 900
            while time.monotonic() < deadline:
                # A copy's temporary is there beside it between link and unlink.
                most_snapshots = max(most_snapshots, len([p for p in snapshots.iterdir()
                                                          if not p.name.startswith(".mlfk-tmp-")]))
                with open(shell.database, "rb") as f:
                    head = f.read(64)
                if head.startswith(b'{"i":200,"pause":true}') and rss_at_200 is None:
                    rss_at_200 = quiet_rss(pid)
                elif head.startswith(b'{"done"'):
                    summary = json.loads(shell.database.read_text())
                    break
                self.assertIsNone(shell.process.poll(), "the program ended")
                time.sleep(0.05)
            # The last print is asked for just before the summary is saved.
            if summary:
                end = time.monotonic() + 30
                while len(printed) < summary["prints"] and time.monotonic() < end:
                    time.sleep(0.2)
                time.sleep(1.0)
        finally:
            stop.set()
            watcher.join(timeout=15)
        self.assertIsNotNone(summary, "the run did not finish in time")
        self.assertIsNotNone(rss_at_200, "missed the pause after 200 saves")
        rss_at_end = quiet_rss(pid)
        print(f"\nUI process RSS: {rss_at_200} KiB after 200 saves, {rss_at_end} KiB after 2000")
        self.assertEqual(summary["replies"], 2000)
        self.assertEqual(summary["failures"], [])
        self.assertEqual(summary["snapshots"], 80)
        self.assertLessEqual(most_snapshots, 41)  # 41 only while a copy waits for its pruning
        self.assertEqual(len(list(snapshots.iterdir())), 40)
        self.assertGreaterEqual(len(printed), 10)
        self.assertTrue(output.exists())
        self.assertLessEqual(rss_at_end, rss_at_200 * 1.10)


if __name__ == "__main__":
    unittest.main()
