"""The shell around a page: hosting, the bridge, the keyboard and menus, links,
reloads from disk, quitting, the window's geometry, a print dialog left open
at logout, a data folder whose name is not UTF-8, and a second start."""

import base64
import os
import signal
import subprocess
import time
import unittest
import urllib.parse

from harness import BUILD, TITLE, VERSION, ShellTestCase, xdo


def menu(shell, *keys):
    """Opens the menu bar with F10 and walks it with the arrow keys."""
    shell.key("F10")
    time.sleep(0.3)
    for k in keys:
        xdo("key", k, check=True)
        time.sleep(0.15)


def restart(shell):
    """Starts the program again; returns the new page's report."""
    before = shell.report()["loadId"]
    shell.start()
    return shell.wait_for(lambda: (r := shell.report()) and r.get("ready") and r["loadId"] != before
                          and r, what="the page of the new start")


class Shell(ShellTestCase):
    def test_page_bridge_keyboard_menus_reloads_quit_and_geometry(self):
        shell = self.shell()
        shell.folder.mkdir(parents=True)
        seed = '{"seed": "caf\u00e9 \U0001F404"}'.encode("utf-8")
        shell.database.write_bytes(seed)
        report = shell.start().wait_ready()
        # Served through the scheme, with the marker and the saved records injected.
        self.assertEqual((report["shell"], base64.b64decode(report["db"])), ("mac-native", seed))
        self.assertEqual((report["module"], report["fetch"], report["wasm"], report["font"]),
                         ("yes", 42, 42, 1))
        self.assertIsNone(report["frameShell"], "an iframe must not receive the bootstrap script")
        self.assertEqual(report["openOnLoad"], "none", "no window without a user gesture")
        self.assertEqual(report["ping"]["value"], {"version": 2, "shell": "mac-native",
                                                   "dataPath": str(shell.database)})
        self.assertEqual([report[k] for k in ("badText", "badAction", "unknown")],
                         [{"error": "Bad message"}] * 2 + [{"error": "Unknown action: Ping"}])
        self.assertEqual(report["noContent"]["value"]["ok"], False)
        self.assertEqual(report["snapshot"]["value"], {"ok": True})
        [snapshot] = os.listdir(shell.folder / "Safety Snapshots")
        self.assertTrue(snapshot.endswith(" before import 3-2026.json"), snapshot)

        # Page commands from the keyboard; zoom changes the page's width.
        for keys, event in [("ctrl+k", "search-focused:0-7"), ("ctrl+b", "backup-clicked"),
                            ("ctrl+p", "printPage:Shell test page")]:
            shell.key(keys)
            shell.wait_for(lambda: event in shell.events(), what=event)
        self.assertNotIn("window.print", shell.events())
        width = report["width"]
        shell.key("ctrl+plus")
        shell.wait_for(lambda: any(e.startswith("width:") and int(e[6:]) < width
                                   for e in shell.events()), what="zoomed in")
        shell.key("ctrl+0")
        shell.wait_for(lambda: f"width:{width}" in shell.events(), what="actual size")

        # Only web, mail and phone links reach the default handler.
        shell.command("links")
        shell.wait_for(lambda: len(shell.handled_uris()) >= 3, what="handled links")
        time.sleep(0.5)  # a dropped ftp or file link would have arrived by now
        self.assertEqual(sorted(shell.handled_uris()), ["https://example.org/herd",
                                                        "mailto:vet@example.org", "tel:+441234567"])
        # Help > Contact Support opens a prefilled mail.
        menu(shell, "Left", "Down", "Return")
        uri = shell.wait_for(lambda: shell.handled_uris()[3:], what="support mail")[0]
        self.assertIn(f"Meadowline Field Keeper {VERSION} (build {BUILD})", urllib.parse.unquote(uri))
        # Show Data Folder without a file manager opens the folder itself
        # (GIO hands it over as a path or a file URI).
        menu(shell, "Down", "Down", "Return")
        shown = shell.wait_for(lambda: shell.handled_uris()[4:], what="folder opened")
        self.assertIn(shown, ([str(shell.folder)], [shell.folder.as_uri()]))

        # Reload starts from the records on disk (a crashed web process: test_faults).
        saved, before = shell.database.read_bytes(), shell.report()["loadId"]
        shell.key("ctrl+r")
        again = shell.wait_for(lambda: (r := shell.report()) and r.get("ready") and
                               r["loadId"] != before and r, what="reload")
        self.assertEqual(base64.b64decode(again["db"]), saved)

        # Quit flushes the page first and keeps the window's size for the next start.
        xdo("windowsize", "--sync", shell.window(), "1000", "700", check=True)
        time.sleep(1.0)  # the geometry is written once resizing settles
        shell.key("ctrl+q")
        self.assertEqual(shell.wait_exit(), 0)
        self.assertIn("flushed", shell.events())
        state = (shell.state_home / "meadowline-field-keeper" / "window.ini").read_text()
        self.assertIn("[MeadowlineFieldKeeperMain]", state)
        self.assertIn("width=1000", state)

        # The next start: same size; Show Data Folder selects the database in a
        # file manager when there is one.
        shown = shell.root / "shown-items.log"
        shell.add_bus_service("org.freedesktop.FileManager1", "file_manager", shown)
        restart(shell)
        self.assertIn("1000x7", xdo("getwindowgeometry", shell.window()))  # and the menu bar
        handled = shell.handled_uris()
        menu(shell, "Down", "Down", "Return")
        shell.wait_for(lambda: shown.exists() and shown.read_text(), what="ShowItems")
        self.assertEqual(shown.read_text().split()[1:3], ["ShowItems", f'["{shell.database.as_uri()}"]'])
        self.assertEqual(shell.handled_uris(), handled)

        # A print asked for while the print dialog is open is answered and
        # dropped; the open dialog still works.
        main = shell.window()
        shell.command("print")
        dialog = shell.wait_window(besides={main})
        shell.wait_for(lambda: "second-print-answered" in shell.events(), what="second print")
        self.assertEqual(set(shell.windows()) - {main}, {dialog})
        shell.keys_to(dialog, "Escape")
        shell.wait_window_gone(dialog)
        # Logout while the dialog is open: the flush lands and the program ends.
        shell.command("print")
        shell.wait_window(besides={main})
        asked = time.monotonic()
        os.kill(shell.process.pid, signal.SIGTERM)
        self.assertEqual(shell.wait_exit(), 0)
        self.assertLess(time.monotonic() - asked, 3.0)
        self.assertIn("flushed", shell.events())

    def test_odd_folder_name_second_start_without_a_bus_and_a_page_that_never_answers(self):
        shell = self.shell()
        # Linux allows any bytes in a name; this one is Latin-1 "é".
        odd = shell.root / os.fsdecode(b"donn\xe9es")
        shell.data_home.rename(odd)
        shell.data_home = odd
        # No session bus: the two instances cannot find each other through it.
        shell.extra_env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + str(shell.root / "no-bus")
        report = shell.start().wait_ready()
        shown = os.fsencode(str(shell.database)).decode("utf-8", errors="replace")
        self.assertIn("\ufffd", shown)
        self.assertEqual(report["ping"]["value"]["dataPath"], shown)

        # A second start says the records are open elsewhere and leaves them alone.
        main, listing = shell.window(), sorted(shell.folder.iterdir())
        second = subprocess.Popen([str(shell.program)], env=shell.env(), cwd=shell.home,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  start_new_session=True)
        self.addCleanup(lambda: second.poll() is None and second.kill())
        shell.keys_to(shell.wait_window(besides={main}, title=TITLE), "Return")
        self.assertEqual(second.wait(timeout=10), 0)
        self.assertEqual(sorted(shell.folder.iterdir()), listing)

        # The first still works; it quits within a bound when its page never answers.
        shell.command("hang")
        asked = time.monotonic()
        shell.key("ctrl+q")
        self.assertEqual(shell.wait_exit(), 0)
        self.assertLess(time.monotonic() - asked, 3.0)


if __name__ == "__main__":
    unittest.main()
