"""Faults around a running program: a file-size limit, the data folder taken
away, a killed web process and the program killed in the middle of saves. The
page in fault_page/ is steered by the database it starts with, and every text
it saves proves itself whole."""

import json
import os
import random
import shutil
import signal
import subprocess
import time
import unittest

from harness import HERE, ShellTestCase


def whole(text):
    try:
        v = json.loads(text)
        return v["end"] == v["n"] and v["body"] == chr(97 + v["n"] % 26) * v["size"]
    except (ValueError, KeyError, TypeError):
        return False


class Faults(ShellTestCase):
    def start(self, **seed):
        self.s = self.shell(HERE / "fault_page")
        self.s.folder.mkdir(parents=True)
        self.s.database.write_text(json.dumps(dict(seed, n=seed.get("n", 0))))
        return self.s.start()

    def saved(self, condition=lambda s: True, what="a save", timeout=20):
        def read():
            try:
                text = self.s.database.read_text("utf-8")
            except (FileNotFoundError, UnicodeDecodeError):
                return None
            try:
                s = json.loads(text)
            except ValueError:
                s = {"torn": text[:100]}
            return condition(s) and s
        return self.s.wait_for(read, timeout=timeout, what=what)

    def test_file_size_limit_then_the_data_folder_taken_away(self):
        # RLIMIT_FSIZE stops writes past 64 KiB even for root. Only the
        # program's own process gets it, once the web processes are running;
        # the page waits 1.5 s after its first save.
        shell = self.start(mode="limits")
        self.saved(lambda s: s.get("n") == 1, "the first save")
        subprocess.run(["prlimit", "--pid", str(shell.process.pid), "--fsize=65536"], check=True)
        done = self.saved(lambda s: s.get("mode") == "waiting", "the saves after the limit")
        self.assertEqual(done["replies"][:3], [{"ok": True}, {"ok": False, "error": "File too large"},
                                               {"ok": True}])
        self.assertTrue(whole(shell.database.read_text()))
        self.assertEqual([p for p in os.listdir(shell.folder) if p.startswith(".mlfk-tmp-")], [])
        self.assertIsNone(shell.process.poll(), "the program survives the limit")

        shutil.rmtree(shell.folder)
        time.sleep(1.0)
        self.assertFalse(shell.folder.exists(), "the folder must not come back by itself")
        self.assertIsNone(shell.process.poll())
        shell.folder.mkdir()
        back = self.saved(lambda s: len(s.get("replies", [])) > 3, "a save after the folder came back")
        self.assertEqual(back["replies"][3], {"ok": False, "error": "No such file or directory"})

    def test_web_process_and_program_killed_during_a_stream_of_saves(self):
        shell = self.start(mode="stream", n=7)
        before = self.saved(lambda s: s.get("n", 0) > 1010, "saves")
        time.sleep(0.3)
        for pid in shell.web_processes():
            os.kill(int(pid), signal.SIGKILL)
        text = shell.database.read_text()
        self.assertTrue(whole(text), text[:300])
        # The reloaded page is given the database as it was on disk when the
        # reload started, not as it was when the window opened. (A save the
        # program had received before the kill may still land first.)
        reloaded = self.saved(lambda s: s.get("load") != before["load"] and
                              whole(shell.database.read_text()), "the reloaded page's saves")
        self.assertTrue(reloaded["injected"]["whole"])
        self.assertGreaterEqual(reloaded["injected"]["n"], json.loads(text)["n"])

        # The program killed at random moments: each start is given a whole database.
        rng = random.Random(20261206)
        for round in range(100):
            time.sleep(rng.uniform(0, 0.4))
            shell.stop()
            text = shell.database.read_text("utf-8")
            self.assertTrue(whole(text), f"round {round}: torn database")
            expected = {"n": json.loads(text)["n"], "whole": True, "length": len(text)}
            shell.start()
            # This run's first save records what it was given at start.
            saved = self.saved(lambda s: s.get("n", 0) > expected["n"], f"round {round} saving", 30)
            self.assertEqual(saved["injected"], expected, f"round {round}")


if __name__ == "__main__":
    unittest.main()
