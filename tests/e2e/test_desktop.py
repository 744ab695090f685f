"""The program among the desktop: the command line, the dark style from the
settings portal, a second launch, a screen reader's view through the
accessibility bus, and a native Wayland session on a headless Weston."""

import json
import os
import re
import signal
import subprocess
import unittest

from harness import PAGE, PORTAL, SYSTEM_PYTHON, TITLE, VERSION, WEB, HERE, Shell, ShellTestCase, \
    Weston, kill_group, need, wait_until, xdo

# GTK asks the seat for its keyboard while it opens the display, before any
# code of the program runs; a seatless compositor makes that assertion fail.
SEATLESS = "gdk_seat_get_keyboard: assertion 'GDK_IS_SEAT (seat)' failed"


def brightness(wid, region):
    """Mean brightness (0 to 1) of a region "WxH+X+Y" of a window."""
    out = subprocess.run(f"import -window {wid} -crop {region} +repage png:- | "
                         "convert png:- -colorspace Gray -format '%[fx:mean]' info:",
                         shell=True, capture_output=True, text=True, timeout=30).stdout
    return float(out) if out else None


class Desktop(ShellTestCase):
    def test_command_line_needs_no_display(self):
        """The texts are checked in CommandLineTest; here that no display is
        opened for them and the version comes from the installed file."""
        program = self.shell().program
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        run = lambda arg: subprocess.run([program, arg], env=env, capture_output=True, text=True, timeout=30)
        version, help, wrong = run("--version"), run("--help"), run("--frobnicate")
        self.assertEqual((version.returncode, version.stdout, version.stderr),
                         (0, f"Meadowline Field Keeper {VERSION}\n", ""))
        self.assertEqual((help.returncode, help.stderr), (0, ""))
        self.assertEqual((wrong.returncode, wrong.stdout), (2, ""))
        # Started by its full path, the program still calls itself by its name.
        self.assertIn(f"Try '{program.name} --help'", wrong.stderr)

    def test_dark_style_logout_second_launches_and_close_window(self):
        need(self, "dbus-daemon", "dbus-send", "import", "convert")
        shell = self.shell()
        shell.add_bus_service(PORTAL, "portal", shell.root / "portal.log", scheme=1)
        sessions = shell.root / "session.log"
        shell.add_bus_service("org.gnome.SessionManager", "session_manager", sessions)
        # Running already, as at login: GTK looks for a session manager once and never starts one.
        shell.start_bus().call("org.gnome.SessionManager", "/", "org.freedesktop.DBus.Peer.Ping")
        self.assertEqual(shell.start().wait_ready()["schemes"], ["dark"])
        wid = shell.window()
        # An empty stretch of the menu bar shows which variant GTK draws.
        menubar = "400x12+700+4"
        shell.wait_for(lambda: (b := brightness(wid, menubar)) is not None and b < 0.35,
                       what="a dark menu bar")
        shell.call(PORTAL, "/org/freedesktop/portal/desktop", "farm.meadowline.test.Appearance.SetColorScheme",
                   "uint32:2")
        shell.wait_for(lambda: shell.report()["schemes"] == ["dark", "light"], what="a light page")
        shell.wait_for(lambda: (b := brightness(wid, menubar)) is not None and b > 0.8,
                       what="a light menu bar")

        # Another launch hands over to this one and exits; the window comes
        # forward and the file is not opened.
        xdo("windowfocus", "--sync", xdo("search", "--maxdepth", "0", "--name", ".*").split()[0], check=True)
        self.assertNotEqual(xdo("getwindowfocus").strip(), wid)
        second = subprocess.run([shell.program, "herd.json"], env=shell.env(), cwd=shell.home,
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(second.returncode, 0, second.stderr)
        self.assertIn("not opening 'herd.json'", second.stderr)
        shell.wait_for(lambda: xdo("getwindowfocus").strip() == wid, what="the window to come forward")
        self.assertEqual(list(shell.windows()), [wid])

        # A logout asks first: the page saves while the logout is held back,
        # and a cancelled logout leaves the program running.
        flushes = shell.events().count("flushed")
        shell.call("org.gnome.SessionManager", "/org/gnome/SessionManager", "farm.meadowline.test.Session.Send",
                   "string:QueryEndSession")
        shell.wait_for(lambda: "Uninhibit" in sessions.read_text(), what="the logout to be let go")
        self.assertGreater(shell.events().count("flushed"), flushes)
        self.assertRegex(sessions.read_text(), r'Inhibit ".*" \d+ "Saving farm records" 1\n(.*\n)*.* Uninhibit 7\n')
        shell.call("org.gnome.SessionManager", "/org/gnome/SessionManager", "farm.meadowline.test.Session.Send",
                   "string:CancelEndSession")

        # Closing the window quits through the page's flush.
        shell.key("ctrl+w")
        self.assertEqual(shell.wait_exit(), 0)
        self.assertIn("flushed", shell.events())

        # A start while the instance is still saving to quit ends with one
        # program showing its window, whichever way the timing falls: the
        # start reaches the instance, which starts the program again once it
        # has gone, or it finds no instance left and becomes the program.
        shell.start().window()
        shell.command("hang")  # the quit waits its whole bound
        shell.key("ctrl+q")
        again = subprocess.Popen([shell.program], env=shell.env(), cwd=shell.home, start_new_session=True)
        self.addCleanup(kill_group, again)
        self.addCleanup(subprocess.run, ["pkill", "-KILL", "-g", str(shell.process.pid)])  # a restart is in its group
        self.assertEqual(shell.wait_exit(), 0)
        programs = lambda: subprocess.run(["pgrep", "-f", f"^{shell.program}"], capture_output=True,
                                          text=True).stdout.split()
        shown = xdo("search", "--sync", "--onlyvisible", "--name", f"^{TITLE}$", timeout=30).split()
        self.assertEqual(len(shown), 1)
        self.assertGreaterEqual(shell.size(shown[0]), (800, 500), "the main window, not a message")
        owner = xdo("getwindowpid", shown[0]).strip()
        wait_until(lambda: programs() == [owner], what="every other start to end")
        self.assertIn(again.poll(), (None, 0))


    def test_menus_page_alert_and_dialog_reach_a_screen_reader(self):
        """With the farm application and saved records it cannot read, so
        that the page shows an alert."""
        need(self, "dbus-daemon", "/usr/libexec/at-spi-bus-launcher", "xprop")
        shell = self.shell(WEB, accessible=True)
        shell.folder.mkdir(parents=True)
        shell.database.write_text("{not json")
        shell.start()
        probe = subprocess.run([SYSTEM_PYTHON, HERE / "atspi_probe.py", str(shell.process.pid)],
                               env=shell.env(), capture_output=True, text=True, timeout=120)
        self.assertEqual(probe.returncode, 0, probe.stderr + shell.log.read_text(errors="replace"))
        seen = json.loads(probe.stdout)

        menus = seen["menus"]
        self.assertEqual(list(menus), ["Meadowline Field Keeper", "File", "Edit", "View", "Window", "Help"])
        items = {name: accel for entries in menus.values() for name, accel, _ in entries}
        greyed = [name for entries in menus.values() for name, _, sensitive in entries if not sensitive]
        self.assertEqual(greyed, ["Hide Others", "Show All"])  # what a GTK program cannot do
        self.assertEqual([items[n] for n in ("Quit Meadowline Field Keeper", "Back Up…", "Find an Animal…",
                                             "Enter Full Screen", "Contact Support…")],
                         ["<Primary>q", "<Primary>b", "<Primary>k", "F11", ""])
        self.assertTrue(seen["document"].startswith("The saved records cannot be read"))
        self.assertEqual([role for role, _ in seen["landmarks"]], ["banner", "search", "navigation", "main"])
        self.assertIn(["navigation", "Sections"], seen["landmarks"])
        self.assertEqual(seen["search"], [["combo box", "Find an animal"]])
        self.assertEqual(seen["headings"], [[1, "The saved records cannot be read"], [2, "Keep a copy"]])
        self.assertEqual(len(seen["alerts"]), 1)
        self.assertIn("will not save anything while this message is shown", seen["alerts"][0])
        self.assertEqual(seen["about"]["name"], "About Meadowline Field Keeper")
        self.assertIn(VERSION, seen["about"]["labels"])


class Wayland(unittest.TestCase):
    """The headless backend has no seat, so nothing here types or clicks: the
    page drives itself and SIGTERM ends the run."""

    def test_runs_saves_snapshots_and_quits_through_the_flush(self):
        need(self, "weston", "dbus-daemon")
        weston = Weston()
        self.addCleanup(weston.close)
        shell = Shell(PAGE)
        self.addCleanup(shell.close)
        shell.extra_env.update(weston.client_env())  # and no DISPLAY: X11 is out of reach
        geometry = shell.state_home / "meadowline-field-keeper" / "window.ini"
        geometry.parent.mkdir(parents=True)
        geometry.write_text("[MeadowlineFieldKeeperMain]\nwidth=1100\nheight=720\n"
                            "maximized=false\nx=40\ny=50\n")
        report = shell.start().wait_ready()
        self.assertEqual((report["shell"], report["snapshot"]), ("mac-native", {"value": {"ok": True}}))
        self.assertEqual(len(os.listdir(shell.folder / "Safety Snapshots")), 1)
        # Wayland has no positions: the size comes back, the position is
        # neither applied nor written again.
        saved = shell.wait_for(lambda: "x=" not in (t := geometry.read_text()) and t,
                               what="the window geometry written on Wayland")
        self.assertIn("width=1100\nheight=720\n", saved)

        os.kill(shell.process.pid, signal.SIGTERM)
        self.assertEqual(shell.wait_exit(60), 0)
        self.assertIn("flushed", shell.events())
        log = shell.log.read_text(errors="replace")
        self.assertIn(SEATLESS, log, "the run did not go through Wayland's seatless start")
        self.assertEqual([line for line in log.splitlines() if SEATLESS not in line and
                          re.search(r"(Gtk|Gdk|GLib-GObject|GLib)-(CRITICAL|WARNING)", line)], [])


if __name__ == "__main__":
    unittest.main()
