"""The program among the desktop's settings and from a terminal: the dark
style from the settings portal, followed while running; the command line;
a second launch."""

import json
import os
import subprocess
import unittest

from desktop_session import HERE, DesktopShell, need
from harness import BUILD, PROGRAM, ShellTestCase


def brightness(shell, wid, region):
    """Mean brightness (0 to 1) of a region "WxH+X+Y" of a window."""
    out = subprocess.run(f"import -window {wid} -crop {region} +repage png:- | "
                         "convert png:- -colorspace Gray -format '%[fx:mean]' info:",
                         shell=True, capture_output=True, text=True, timeout=30).stdout
    return float(out) if out else None


class CommandLine(unittest.TestCase):
    def run_program(self, *args):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        return subprocess.run([str(PROGRAM), *args], env=env, capture_output=True, text=True,
                              timeout=30)

    def test_version_help_and_usage_errors_need_no_display(self):
        info = json.loads((BUILD / "share" / "meadowline-field-keeper" / "Info.json").read_text())
        version = self.run_program("--version")
        self.assertEqual((version.returncode, version.stderr), (0, ""))
        self.assertEqual(version.stdout,
                         f"Meadowline Field Keeper {info['CFBundleShortVersionString']}\n")
        help = self.run_program("--help")
        self.assertEqual(help.returncode, 0)
        self.assertIn("--version", help.stdout)
        self.assertIn("not opened", help.stdout)
        wrong = self.run_program("--frobnicate")
        self.assertEqual((wrong.returncode, wrong.stdout), (2, ""))
        self.assertIn("unknown option '--frobnicate'", wrong.stderr)


class Desktop(ShellTestCase):
    def test_dark_style_follows_the_portal_and_a_second_launch_comes_forward(self):
        need(self, "dbus-daemon", "dbus-send", "import", "convert")
        shell = DesktopShell(HERE / "desktop_page", color_scheme=1)
        self.shells.append(shell)
        shell.start()
        self.assertEqual(shell.wait_ready()["schemes"], ["dark"])
        wid = shell.window()
        # An empty stretch of the menu bar shows which variant GTK draws.
        menubar = "400x12+700+4"
        shell.wait_for(lambda: (b := brightness(shell, wid, menubar)) is not None and b < 0.35,
                       what="a dark menu bar")

        shell.set_color_scheme(2)
        shell.wait_for(lambda: shell.report()["schemes"] == ["dark", "light"],
                       what="the page to turn light")
        shell.wait_for(lambda: (b := brightness(shell, wid, menubar)) is not None and b > 0.8,
                       what="a light menu bar")

        # Another launch hands over to this one and exits; the window comes
        # forward and the file is not opened.
        root = subprocess.run(["xdotool", "search", "--maxdepth", "0", "--name", ".*"],
                              capture_output=True, text=True, timeout=10).stdout.split()[0]
        subprocess.run(["xdotool", "windowfocus", "--sync", root], check=True, timeout=10)
        self.assertNotEqual(self.focused(), wid)
        second = subprocess.run([str(shell.program), "herd.json"], env=shell.env(), cwd=shell.home,
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(second.returncode, 0, second.stderr)
        self.assertIn("not opening 'herd.json'", second.stderr)
        shell.wait_for(lambda: self.focused() == wid, what="the window to come forward")
        self.assertEqual(list(shell.windows()), [wid])
        self.assertIsNone(shell.process.poll())

    def focused(self):
        return subprocess.run(["xdotool", "getwindowfocus"], capture_output=True, text=True,
                              timeout=10).stdout.strip()


if __name__ == "__main__":
    unittest.main()
