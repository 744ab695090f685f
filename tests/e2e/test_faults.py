import json
import os
import random
import resource
import shutil
import signal
import subprocess
import time
import unittest
from pathlib import Path

from harness import Shell, ShellTestCase

PAGE = Path(__file__).resolve().parent / "fault_page"


def whole(text):
    """The fault page's texts prove themselves whole."""
    try:
        v = json.loads(text)
        return (v["end"] == v["n"] and len(v["body"]) == v["size"]
                and v["body"] == chr(97 + v["n"] % 26) * v["size"])
    except (ValueError, KeyError, TypeError):
        return False


class FaultShell(Shell):
    def seed(self, **state):
        self.folder.mkdir(parents=True, exist_ok=True)
        self.database.write_text(json.dumps(dict(state, n=state.get("n", 0))))
        return self

    def start_with(self, file_size_limit=None):
        def limit():
            os.setsid()
            if file_size_limit:
                resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))
        self.process = subprocess.Popen(["dbus-run-session", "--", str(self.program)],
                                        env=self.env(), cwd=self.home, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, preexec_fn=limit)
        return self

    def saved(self):
        try:
            text = self.database.read_text("utf-8")
        except (FileNotFoundError, UnicodeDecodeError):
            return None
        try:
            return json.loads(text)
        except ValueError:
            return {"torn": text[:100]}

    def temporaries(self):
        return [p.name for p in self.folder.iterdir() if p.name.startswith(".mlfk-tmp-")]


class Faults(ShellTestCase):
    def fault_shell(self):
        s = FaultShell(PAGE)
        self.shells.append(s)
        return s

    def test_file_size_limit_fails_the_save_and_keeps_the_database(self):
        # RLIMIT_FSIZE stops writes past 64 KiB even for root. Only the
        # program's own process gets it, once the web processes are running;
        # the page waits 1.5 s after its first save.
        shell = self.fault_shell().seed(mode="fsize").start_with()
        shell.wait_for(lambda: (s := shell.saved()) and s.get("n") == 1, what="the first save")
        subprocess.run(["prlimit", "--pid", str(shell.program_pid()), "--fsize=65536"], check=True)
        done = shell.wait_for(lambda: (s := shell.saved()) and s.get("mode") == "done" and s,
                              what="the page's last save")
        first, too_big, after = done["replies"]
        self.assertEqual(first, {"ok": True})
        self.assertEqual(too_big, {"ok": False, "error": "File too large"})
        self.assertEqual(after, {"ok": True})
        self.assertTrue(whole(shell.database.read_text()))
        self.assertEqual(shell.temporaries(), [])
        self.assertIsNone(shell.process.poll(), "the program survives the limit")

    def test_data_folder_removed_while_running(self):
        shell = self.fault_shell().seed(mode="vanish").start_with()
        shell.wait_for(lambda: (s := shell.saved()) and s.get("mode") == "waiting", what="saving")
        shutil.rmtree(shell.folder)
        time.sleep(1.0)
        self.assertFalse(shell.folder.exists(), "the folder must not come back by itself")
        self.assertIsNone(shell.process.poll())
        shell.folder.mkdir()
        saved = shell.wait_for(lambda: (s := shell.saved()) and s.get("replies") and s,
                               what="a save after the folder came back")
        self.assertEqual(saved["replies"][0], {"ok": False, "error": "No such file or directory"})

    def test_killed_web_process_during_saves(self):
        shell = self.fault_shell().seed(mode="stream", n=7)
        seed_length = len(shell.database.read_text())
        shell.start_with()
        before = shell.wait_for(lambda: (s := shell.saved()) and s.get("n", 0) > 1010 and s, what="saves")
        time.sleep(0.3)
        web = subprocess.run(["pgrep", "-P", str(shell.program_pid()), "-f", "WebKitWebProcess"],
                             capture_output=True, text=True).stdout.split()
        for pid in web:
            os.kill(int(pid), signal.SIGKILL)
        text = shell.database.read_text()
        self.assertTrue(whole(text), text[:300])
        # The reloaded page was given the database as it was on disk when the
        # reload started, not as it was when the window opened.
        reloaded = shell.wait_for(
            lambda: (s := shell.saved()) and s.get("load") != before["load"] and
            whole(shell.database.read_text()) and s, what="the reloaded page's saves")
        # A save already posted may still land after the kill: at least what
        # was on disk then, and never the records of the start.
        self.assertGreaterEqual(reloaded["injected"]["n"], json.loads(text)["n"])
        self.assertTrue(reloaded["injected"]["whole"])
        self.assertNotEqual(reloaded["injected"]["length"], seed_length)

    def test_program_killed_during_a_stream_of_saves(self):
        shell = self.fault_shell().seed(mode="stream", n=1)
        rng = random.Random(20261206)
        seed = shell.database.read_text()
        expected = {"n": 1, "whole": whole(seed), "length": len(seed)}
        for round in range(100):
            shell.start_with()
            # This run's first save records what it was given at start.
            saved = shell.wait_for(lambda: (s := shell.saved()) and s.get("n", 0) > expected["n"] and
                                   s, timeout=30, what=f"round {round} saving")
            self.assertEqual(saved["injected"], expected, f"round {round}")
            time.sleep(rng.uniform(0, 0.4))
            os.killpg(shell.process.pid, signal.SIGKILL)
            shell.process.wait()
            subprocess.run(["pkill", "-9", "-f", str(shell.program)], check=False)
            text = shell.database.read_text("utf-8")
            self.assertTrue(whole(text), f"round {round}: torn database")
            expected = {"n": json.loads(text)["n"], "whole": True, "length": len(text)}


if __name__ == "__main__":
    unittest.main()
