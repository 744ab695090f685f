import base64
import json
import os
import shutil
import subprocess
import time
import unittest

from harness import PAGE, ShellTestCase


class PageHosting(ShellTestCase):
    def test_page_served_through_the_scheme_with_the_shell_marker(self):
        shell = self.shell().start()
        report = shell.wait_ready()
        self.assertEqual(report["shell"], "mac-native")
        self.assertIsNone(report["db"])
        self.assertEqual(report["module"], "yes")
        self.assertEqual(report["fetch"], 42)
        self.assertEqual(report["wasm"], 42)
        self.assertEqual(report["font"], 1)
        self.assertIsNone(report["frameShell"], "an iframe must not receive the bootstrap script")

    def test_saved_database_is_injected_at_the_next_start(self):
        shell = self.shell()
        shell.folder.mkdir(parents=True)
        saved = '{"seed": "caf\u00e9 \U0001F404"}'.encode("utf-8")
        shell.database.write_bytes(saved)
        shell.start()
        report = shell.wait_ready()
        self.assertEqual(base64.b64decode(report["db"]), saved)
        # What the page persisted is on disk byte for byte.
        self.assertEqual(json.loads(shell.database.read_text("utf-8"))["ready"], True)

    def test_every_reload_starts_from_the_records_on_disk(self):
        shell = self.shell()
        shell.folder.mkdir(parents=True)
        shell.database.write_bytes(b'{"at":"start"}')
        shell.start()
        first = shell.wait_ready()  # the page has saved over the database by now

        def reloaded(previous):
            return shell.wait_for(lambda: (r := shell.report()) and r.get("ready") and
                                  r["loadId"] != previous["loadId"] and r, what="reloaded page")

        saved = shell.database.read_bytes()
        pid = shell.program_pid()
        web = subprocess.run(["pgrep", "-P", str(pid), "-f", "WebKitWebProcess"],
                             capture_output=True, text=True).stdout.split()
        self.assertTrue(web, "no web process found")
        for p in web:
            os.kill(int(p), 9)
        second = reloaded(first)
        self.assertEqual(base64.b64decode(second["db"]), saved)

        saved = shell.database.read_bytes()
        shell.key("ctrl+r")
        third = reloaded(second)
        self.assertEqual(base64.b64decode(third["db"]), saved)

    def test_bridge_replies(self):
        shell = self.shell().start()
        report = shell.wait_ready()
        self.assertEqual(report["ping"]["value"], {"version": 2, "shell": "mac-native",
                                                   "dataPath": str(shell.database)})
        self.assertEqual(report["badText"], {"error": "Bad message"})
        self.assertEqual(report["badAction"], {"error": "Bad message"})
        self.assertEqual(report["unknown"], {"error": "Unknown action: Ping"})
        self.assertEqual(report["noContent"]["value"]["ok"], False)
        self.assertEqual(report["snapshot"]["value"], {"ok": True})
        names = os.listdir(shell.folder / "Safety Snapshots")
        self.assertEqual(len(names), 1)
        self.assertTrue(names[0].endswith(" before import 3-2026.json"), names)


def command(shell, name):
    """Types a command of the test page into its search field."""
    shell.key("ctrl+k")
    subprocess.run(["xdotool", "type", "--delay", "5", name], check=True, timeout=30)
    shell.key("Return")
    shell.wait_for(lambda: any(e.startswith(name) or e == "links-clicked" and name == "links"
                               for e in (shell.report() or {}).get("events", [])) or
                   name in ("hang",) and "hanging" in shell.report().get("events", []),
                   what=f"command {name}")


class Links(ShellTestCase):
    def test_web_mail_and_phone_links_go_to_the_default_handler(self):
        shell = self.shell().start()
        shell.wait_ready()
        command(shell, "links")
        shell.wait_for(lambda: len(shell.handled_uris()) >= 3, what="handled links")
        time.sleep(0.5)  # a dropped ftp or file link would have arrived by now
        self.assertEqual(sorted(shell.handled_uris()),
                         sorted(["https://example.org/herd", "mailto:vet@example.org",
                                 "tel:+441234567"]))
        self.assertTrue(shell.report()["ready"], "the page stays")


class MenusAndQuit(ShellTestCase):
    def events(self, shell):
        return (shell.report() or {}).get("events", [])

    def test_page_commands_from_the_keyboard(self):
        shell = self.shell().start()
        shell.wait_ready()
        shell.key("ctrl+k")
        shell.wait_for(lambda: "search-focused:0-7" in self.events(shell), what="search focused")
        shell.key("ctrl+b")
        shell.wait_for(lambda: "backup-clicked" in self.events(shell), what="backup clicked")
        shell.key("ctrl+p")
        shell.wait_for(lambda: "printPage:Shell test page" in self.events(shell), what="printPage")
        self.assertNotIn("window.print", self.events(shell))

    def test_zoom_changes_the_page_width(self):
        shell = self.shell().start()
        width = shell.wait_ready()["width"]
        shell.key("ctrl+plus")
        shell.wait_for(lambda: any(e.startswith("width:") and int(e[6:]) < width
                                   for e in self.events(shell)), what="zoomed in")
        shell.key("ctrl+0")
        shell.wait_for(lambda: f"width:{width}" in self.events(shell), what="actual size")

    def test_quit_flushes_the_page_first(self):
        shell = self.shell().start()
        shell.wait_ready()
        shell.key("ctrl+q")
        self.assertEqual(shell.wait_exit(), 0)
        self.assertIn("flushed", self.events(shell))

    def test_quit_when_the_page_never_answers(self):
        shell = self.shell().start()
        shell.wait_ready()
        command(shell, "hang")
        asked = time.monotonic()
        shell.key("ctrl+q")
        self.assertEqual(shell.wait_exit(), 0)
        self.assertLess(time.monotonic() - asked, 3.0)

    def test_closing_the_window_quits_through_the_flush(self):
        shell = self.shell().start()
        shell.wait_ready()
        shell.key("ctrl+w")
        self.assertEqual(shell.wait_exit(), 0)
        self.assertIn("flushed", self.events(shell))

    def test_second_run_opens_where_the_first_left(self):
        first = self.shell().start()
        first.wait_ready()
        wid = first.window()
        subprocess.run(["xdotool", "windowsize", "--sync", wid, "1000", "700"], check=True, timeout=10)
        time.sleep(1.0)  # the geometry is written once resizing settles
        first.key("ctrl+q")
        first.wait_exit()
        state = (first.state_home / "meadowline-field-keeper" / "window.ini").read_text()
        self.assertIn("[MeadowlineFieldKeeperMain]", state)
        self.assertIn("width=1000", state)
        first.start()
        first.wait_ready()
        out = subprocess.run(["xdotool", "getwindowgeometry", first.window()],
                             capture_output=True, text=True).stdout
        self.assertIn("1000x7", out)  # the height includes the menu bar


if __name__ == "__main__":
    unittest.main()
