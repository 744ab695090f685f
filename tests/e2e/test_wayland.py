"""The program as a native Wayland client of a headless Weston started here.
The headless backend has no seat, so nothing here types or clicks: the page
drives itself and SIGTERM ends the run."""

import os
import re
import signal
import unittest

from desktop_session import HERE, DesktopShell, Weston, need

# GTK asks the seat for its keyboard while it opens the display, before any
# code of the program runs; a seatless compositor makes that assertion fail.
SEATLESS = "gdk_seat_get_keyboard: assertion 'GDK_IS_SEAT (seat)' failed"


class Wayland(unittest.TestCase):
    def test_runs_saves_snapshots_and_quits_through_the_flush(self):
        need(self, "weston", "dbus-daemon")
        weston = Weston()
        self.addCleanup(weston.close)
        shell = DesktopShell(HERE / "desktop_page")
        self.addCleanup(shell.close)
        shell.extra_env.update(weston.client_env())  # and no DISPLAY: X11 is out of reach
        geometry = shell.state_home / "meadowline-field-keeper" / "window.ini"
        geometry.parent.mkdir(parents=True)
        geometry.write_text("[MeadowlineFieldKeeperMain]\nwidth=1100\nheight=720\n"
                            "maximized=false\nx=40\ny=50\n")

        shell.start()
        report = shell.wait_ready()
        self.assertEqual(report["shell"], "mac-native")
        self.assertEqual(report["snapshot"], {"ok": True})
        self.assertEqual(len(os.listdir(shell.folder / "Safety Snapshots")), 1)

        # Wayland has no positions: the size comes back, the position is
        # neither applied nor written again.
        saved = shell.wait_for(lambda: "x=" not in (t := geometry.read_text()) and t,
                               what="the window geometry written on Wayland")
        self.assertIn("width=1100\n", saved)
        self.assertIn("height=720\n", saved)

        os.kill(shell.process.pid, signal.SIGTERM)
        self.assertEqual(shell.wait_exit(60), 0)
        self.assertEqual(shell.report()["events"], ["flushed"])

        log = shell.log_text()
        self.assertIn(SEATLESS, log, "the run did not go through Wayland's seatless start")
        problems = [line for line in log.splitlines()
                    if re.search(r"(Gtk|Gdk|GLib-GObject|GLib)-(CRITICAL|WARNING)", line)
                    and SEATLESS not in line]
        self.assertEqual(problems, [])


if __name__ == "__main__":
    unittest.main()
