"""2,000 saves from 1 KB to 5 MB with snapshots and prints: every reply comes,
the snapshots stay at forty, and the program's memory does not grow."""
import json
import threading
import time
import unittest
from pathlib import Path

from harness import HERE, TITLE, ShellTestCase, xdo


def quiet_rss(pid):
    """The smallest resident size (KiB) over a second of an idle program: what
    it keeps, not the buffers of a save that is just passing through."""
    samples = []
    for _ in range(10):
        time.sleep(0.1)
        status = Path(f"/proc/{pid}/status").read_text()
        samples.append(int(status.split("VmRSS:", 1)[1].split()[0]))
    return min(samples)


class Soak(ShellTestCase):
    def test_two_thousand_saves_with_snapshots_and_prints(self):
        shell = self.shell(HERE / "soak_page")
        output = shell.root / "soak.pdf"
        shell.print_to_file(output)
        pid = shell.start().process.pid
        shell.wait_for(shell.database.exists, what="first save")

        # Prints open a dialog: answer each one, as a user printing to a file would.
        stop, printed = threading.Event(), []

        def answer_print_dialogs():
            while not stop.wait(0.2):
                for wid in xdo("search", "--onlyvisible", "--pid", str(pid), "--name", ".").split():
                    if (name := xdo("getwindowname", wid).strip()) != TITLE:
                        xdo("windowfocus", "--sync", wid)
                        # Print, or replace the last print's file.
                        xdo("key", "alt+p" if name == "Print" else "alt+r")
                        printed.extend([wid] * (name == "Print"))
                        time.sleep(1.0)

        watcher = threading.Thread(target=answer_print_dialogs, daemon=True)
        watcher.start()
        self.addCleanup(watcher.join, 15)
        self.addCleanup(stop.set)
        snapshots = shell.folder / "Safety Snapshots"
        most_snapshots, rss_at_200 = 0, None
        deadline = time.monotonic() + 900
        def head():
            with open(shell.database, "rb") as f:
                return f.read(64)

        while not head().startswith(b'{"done"'):
            self.assertLess(time.monotonic(), deadline, "the run did not finish in time")
            self.assertIsNone(shell.process.poll(), "the program ended")
            # A copy's temporary is there beside it between link and unlink.
            most_snapshots = max(most_snapshots, len([p for p in snapshots.iterdir()
                                                      if not p.name.startswith(".mlfk-tmp-")]))
            if rss_at_200 is None and head().startswith(b'{"i":200,"pause":true}'):
                rss_at_200 = quiet_rss(pid)
            time.sleep(0.05)
        summary = json.loads(shell.database.read_text())
        # The last print is asked for just before the summary is saved.
        end = time.monotonic() + 10
        while len(printed) < summary["prints"] and time.monotonic() < end:
            time.sleep(0.2)
        time.sleep(1.0)
        self.assertIsNotNone(rss_at_200, "missed the pause after 200 saves")
        rss_at_end = quiet_rss(pid)
        print(f"\nUI process RSS: {rss_at_200} KiB after 200 saves, {rss_at_end} KiB after 2000")
        self.assertEqual(summary["failures"], [])
        self.assertLessEqual(most_snapshots, 41)  # 41 only while a copy waits for its pruning
        # Forty snapshots are kept, the last among them, each a whole copy of
        # the save it followed. Names order them by the second they were taken
        # in, then by their reason: within one second "soak 975" outranks
        # "soak 1025", so the oldest kept may be a little older than forty back.
        kept = {int(p.stem.rsplit(" ", 1)[1]): json.loads(p.read_text())["i"] for p in snapshots.iterdir()}
        self.assertEqual((len(kept), max(kept)), (40, 2000))
        self.assertEqual([n for n, i in kept.items() if n != i], [])
        self.assertGreater(min(kept), 2000 - 25 * 50)
        # Every print is answered; one asked for while the last one's dialog
        # is still open (the watcher is slow on a loaded machine) is dropped
        # by design, so at most the first and some later ones show a dialog.
        self.assertGreaterEqual(len(printed), 1)
        self.assertLessEqual(len(printed), summary["prints"])
        self.assertTrue(output.exists())
        self.assertLessEqual(rss_at_end, rss_at_200 * 1.10)


if __name__ == "__main__":
    unittest.main()
