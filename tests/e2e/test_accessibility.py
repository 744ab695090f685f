"""The program through the accessibility bus, as a screen reader sees it,
with the farm application and saved records it cannot read (so that the page
shows an alert). The harness turns the accessibility bridge off for other
tests; this one keeps it on."""

import json
import unittest

from desktop_session import DesktopShell, need
from harness import BUILD, ShellTestCase

WEB = BUILD / "share" / "meadowline-field-keeper" / "web"


class Accessibility(ShellTestCase):
    def test_menus_page_alert_and_dialog_are_reachable(self):
        need(self, "dbus-daemon", "/usr/libexec/at-spi-bus-launcher")
        shell = DesktopShell(WEB, accessible=True)
        self.shells.append(shell)
        shell.folder.mkdir(parents=True)
        shell.database.write_text("{not json")
        shell.start()
        seen = json.loads(shell.system_python("atspi_probe.py", str(shell.program_pid())))

        menus = seen["menus"]
        self.assertEqual(list(menus), ["Meadowline Field Keeper", "File", "Edit", "View", "Window",
                                       "Help"])
        items = {name: accel for entries in menus.values() for name, accel in entries}
        self.assertEqual(items["Quit Meadowline Field Keeper"], "<Primary>q")
        self.assertEqual(items["Back Up…"], "<Primary>b")
        self.assertEqual(items["Find an Animal…"], "<Primary>k")
        self.assertEqual(items["Enter Full Screen"], "F11")
        self.assertEqual(items["Contact Support…"], "")

        self.assertTrue(seen["document"].startswith("The saved records cannot be read"))
        self.assertEqual([role for role, _ in seen["landmarks"]],
                         ["banner", "search", "navigation", "main"])
        self.assertIn(["navigation", "Sections"], seen["landmarks"])
        self.assertEqual(seen["search"], [["combo box", "Find an animal"]])
        self.assertEqual(seen["headings"], [[1, "The saved records cannot be read"],
                                            [2, "Keep a copy"]])
        self.assertEqual(len(seen["alerts"]), 1)
        self.assertIn("will not save anything while this message is shown", seen["alerts"][0])

        about = seen["about"]
        self.assertEqual(about["name"], "About Meadowline Field Keeper")
        info = json.loads((BUILD / "share" / "meadowline-field-keeper" / "Info.json").read_text())
        self.assertIn(info["CFBundleShortVersionString"], about["labels"])


if __name__ == "__main__":
    unittest.main()
