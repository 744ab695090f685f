"""The program where users' machines differ: a print dialog left open at
logout, a data folder whose name is not UTF-8, and a second start where no
session bus lets the two instances find each other."""

import os
import shutil
import signal
import subprocess
import time
import unittest

from harness import ShellTestCase
from test_shell import command


class Hardening(ShellTestCase):
    def events(self, shell):
        return (shell.report() or {}).get("events", [])

    def test_print_dialog_runs_without_holding_the_program(self):
        shell = self.shell().start()
        shell.wait_ready()
        main = shell.window()
        command(shell, "print")
        dialog = shell.wait_window(besides={main})
        # A second print asked for while the dialog is open is answered and
        # dropped: no second dialog, and the one open still works.
        shell.wait_for(lambda: "second-print-answered" in self.events(shell), what="second print")
        self.assertEqual(set(shell.windows()) - {main}, {dialog})
        shell.keys_to(dialog, "Escape")
        shell.wait_window_gone(dialog)
        command(shell, "print")
        dialog = shell.wait_window(besides={main})
        # Logout while the dialog is open: the flush lands and the program ends.
        asked = time.monotonic()
        os.kill(shell.program_pid(), signal.SIGTERM)
        self.assertEqual(shell.wait_exit(), 0)
        self.assertLess(time.monotonic() - asked, 3.0)
        self.assertIn("flushed", self.events(shell))

    def test_data_folder_whose_name_is_not_utf8(self):
        shell = self.shell()
        # Linux allows any bytes in a name; this one is Latin-1 "é".
        odd = shell.root / os.fsdecode(b"donn\xe9es")
        shutil.move(shell.data_home, odd)
        shell.data_home = odd
        shell.start()
        report = shell.wait_ready()
        shown = os.fsencode(str(shell.database)).decode("utf-8", errors="replace")
        self.assertEqual(report["ping"]["value"]["dataPath"], shown)
        self.assertIn("\ufffd", shown)
        self.assertIsNone(shell.process.poll())

    def test_second_start_without_a_session_bus_leaves_the_first_alone(self):
        shell = self.shell()
        env = shell.env()
        env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + str(shell.root / "no-bus")

        def start():
            return subprocess.Popen([str(shell.program)], env=env, cwd=shell.home,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    start_new_session=True)

        shell.process = start()
        shell.wait_ready()
        main = shell.window()
        listing = sorted(p.name for p in shell.folder.iterdir())
        second = start()
        self.addCleanup(lambda: second.poll() is None and second.kill())
        message = shell.wait_window(besides={main}, title="Meadowline Field Keeper")
        shell.keys_to(message, "Return")
        self.assertEqual(second.wait(timeout=10), 0)
        self.assertEqual(sorted(p.name for p in shell.folder.iterdir()), listing)
        # The first still saves.
        command(shell, "links")
        self.assertIsNone(shell.process.poll())


if __name__ == "__main__":
    unittest.main()
