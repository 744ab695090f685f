"""Script dialogs, file inputs, new-window requests, saves, downloads and
printing of the real program, driven through its GTK dialogs with xdotool."""

import subprocess
import time
import unittest

from harness import COMPLETION_SETTLES, TITLE, ShellTestCase, need


class Dialogs(ShellTestCase):
    def start(self):
        self.s = self.shell()
        return self.s

    def open_dialog(self, name, title=None):
        """Runs a command of the page and returns the window of the dialog it opens."""
        self.s.command(name)
        return self.s.wait_window(besides={self.main}, title=title)

    def answer(self, n):
        return self.s.wait_for(lambda: (a := self.s.report()["answers"])[n - 1:] and [a[n - 1]],
                               what=f"answer {n}")[0]

    def reply(self, name):
        return self.s.wait_for(lambda: name in (r := self.s.report()["replies"]) and [r[name]],
                               what=f"reply to {name}")[0]

    # Message dialogs put their buttons in one row along the bottom, each
    # taking an equal share of the width, in the order added: OK, Cancel.
    def click_button(self, dialog, index, of):
        width, height = self.s.size(dialog)
        self.s.click(dialog, width * (2 * index + 1) // (2 * of), height - 16)

    def save_as(self, command, path, replace=False):
        dialog = self.open_dialog(command)
        self.s.type_location(dialog, path)
        if replace:  # asks before replacing the file; the question has no title
            self.s.keys_to(self.s.wait_window(besides={self.main, dialog}), "alt+r")
        self.s.wait_window_gone(dialog)

    def press(self, dialog, key):
        self.s.keys_to(dialog, key)
        self.s.wait_window_gone(dialog)

    def test_script_dialogs_file_inputs_and_new_windows(self):
        s = self.start()
        s.start().wait_ready()
        self.main = s.window()

        # An alert holds the page until its OK is pressed.
        dialog = self.open_dialog("alert", TITLE)
        time.sleep(0.5)  # a dialog that did not hold the page would have answered by now
        self.assertEqual(s.report()["answers"], [])
        self.click_button(dialog, 0, 1)
        self.assertEqual(self.answer(1), "undefined")
        s.wait_window_gone(dialog)
        # Confirm is true only for OK; Escape closes as a window manager's close does.
        for answer in [lambda d: s.keys_to(d, "Return"), lambda d: self.click_button(d, 0, 2),
                       lambda d: self.click_button(d, 1, 2), lambda d: s.keys_to(d, "Escape")]:
            dialog = self.open_dialog("confirm", TITLE)
            answer(dialog)
            s.wait_window_gone(dialog)
        self.assertEqual([self.answer(n) for n in range(2, 6)], [True, True, False, False])
        # Prompt gives its field after OK (even empty), null otherwise.
        dialog = self.open_dialog("prompt", TITLE)
        s.keys_to(dialog, "Return")
        self.assertEqual(self.answer(6), "")
        for n, close in [(7, lambda d: s.keys_to(d, "Escape")), (8, lambda d: self.click_button(d, 1, 2))]:
            s.wait_window_gone(dialog)
            dialog = self.open_dialog("prompt", TITLE)
            s.type_to(dialog, "Long Meadow")
            close(dialog)
            self.assertIsNone(self.answer(n))
        s.wait_window_gone(dialog)
        # The field starts with the default text; what is typed is added to it.
        dialog = self.open_dialog("prompt-default", TITLE)
        s.keys_to(dialog, "End")
        s.type_to(dialog, " Bess")
        self.click_button(dialog, 0, 2)
        self.assertEqual(self.answer(9), "UK 7001 Bess")
        s.wait_window_gone(dialog)

        # New windows: only web and mail addresses reach the default handler,
        # and no window is ever made.
        for name in ["open-tel", "open-https", "open-mail", "open-blank-links"]:
            s.command(name)
        s.wait_for(lambda: len(s.handled_uris()) >= 3, what="handled addresses")
        time.sleep(0.5)  # a telephone address handed over would have arrived by now
        self.assertEqual(sorted(s.handled_uris()), ["https://example.org/blank",
                                                    "https://example.org/x", "mailto:vet@example.org"])
        self.assertEqual([self.reply(n) for n in ("open-tel", "open-https", "open-mail")], ["none"] * 3)
        self.assertEqual(s.windows(), {self.main: TITLE})

        # A "%" in a name is the name's own, not an escape.
        folder = s.home / "herd files"
        folder.mkdir()
        (folder / "a-ewes.csv").write_text("tag\nUK 0 712345 00021\n")
        (folder / "b-rams%20.csv").write_text("tag\nUK 0 712345 00045\n")
        ewes, rams = [{"name": f, "text": (folder / f).read_text()} for f in ("a-ewes.csv", "b-rams%20.csv")]
        # A folder cannot be chosen: typing one and Return only opens it. A
        # cancelled chooser gives the input nothing, and the page is told.
        chooser = self.open_dialog("pick-one")
        self.s.type_location(chooser, f"{folder}/", "ctrl+l")
        time.sleep(COMPLETION_SETTLES)
        self.assertIn(chooser, s.windows())
        s.keys_to(chooser, "Escape")
        s.wait_window_gone(chooser)
        s.wait_for(lambda: "cancel:one" in s.events(), what="the cancel event")
        s.command("files")
        self.assertEqual(self.reply("files"), {"many": [], "one": []})
        self.assertNotIn("change:one", s.events())
        # Every chosen file, in order, for a multiple input; one for a single one.
        for name, change in [("pick-many", "change:many"), ("pick-one", "change:one")]:
            chooser = self.open_dialog(name)
            self.s.type_location(chooser, f"{folder}/", "ctrl+l")  # goes into the folder
            time.sleep(COMPLETION_SETTLES)
            s.keys_to(chooser, "ctrl+a")
            s.keys_to(chooser, "alt+o")
            s.wait_for(lambda: change in s.events(), what=change)
            s.wait_window_gone(chooser)
        s.command("files")
        files = self.reply("files")
        self.assertEqual(files["many"], [ewes, rams])
        self.assertEqual(len(files["one"]), 1)
        self.assertIn(files["one"][0], [ewes, rams])
        # A typed path chooses exactly that file.
        chooser = self.open_dialog("pick-one")
        self.s.type_location(chooser, folder / "b-rams%20.csv", "ctrl+l")
        s.wait_for(lambda: s.events().count("change:one") == 2, what="the second change")
        s.command("files")
        self.assertEqual(self.reply("files")["one"], [rams])

    def test_saves_downloads_and_printing(self):
        s = self.start()
        output = s.root / "printed.pdf"
        s.print_to_file(output)  # the last printer chosen is offered again
        s.start().wait_ready()
        self.main = s.window()

        # Saves: text as UTF-8, Base64 over a file, damaged Base64, cancelled.
        saves = s.home / "saves"
        saves.mkdir()
        (saves / "bytes.bin").write_bytes(b"older and longer content")
        self.save_as("save-text", saves / "herd.csv")
        self.assertEqual(self.reply("save-text"), {"value": {"ok": True, "path": str(saves / "herd.csv")}})
        self.assertEqual((saves / "herd.csv").read_bytes(), "tag,name\nUK1,Dais\u00ff\n".encode())
        self.save_as("save-b64", saves / "bytes.bin", replace=True)
        self.assertEqual(self.reply("save-b64")["value"]["ok"], True)
        self.assertEqual((saves / "bytes.bin").read_bytes(), b"\x00\x01\x02\xff")
        self.save_as("save-bad", saves / "bad.bin")
        self.assertEqual(self.reply("save-bad"), {"value": {"ok": False, "error": "The file data was damaged."}})
        self.assertFalse((saves / "bad.bin").exists())
        self.press(self.open_dialog("save-default"), "Escape")
        self.assertEqual(self.reply("save-default"), {"value": {"cancelled": True}})

        # A composed document prints with its style sheet and margins.
        dialog = self.open_dialog("print-doc")
        self.assertEqual(self.reply("print-doc"), {"value": {"ok": True}})
        self.press(dialog, "alt+p")
        text = s.printed_text(output, "-layout")
        self.assertIn("Herd register", text)
        self.assertIn("Daisy UK123456 styled-by-print-css", text)
        # The first word's left edge: the 36-point margin plus the page's own body margin.
        bbox = s.printed_text(output, "-bbox")
        self.assertTrue(36.0 <= float(bbox.split('<word xMin="', 1)[1].split('"', 1)[0]) < 50.0, bbox)

        # Downloads: a cancelled one; the proposed name (the download
        # attribute) in the working folder; over a file the dialog was pointed
        # at; a data address; a response the view cannot show.
        def downloaded(n, path):
            content = s.wait_for(lambda: s.report()["downloads"][n - 1:], what=f"download {n}")[0]
            s.wait_for(lambda: path.exists() and path.read_text() == content, what=f"{path} downloaded")

        self.press(self.open_dialog("download"), "Escape")
        self.press(self.open_dialog("download"), "Return")
        downloaded(2, s.home / "herd.csv")
        target = s.home / "exports" / "register.csv"
        target.parent.mkdir()
        target.write_text("an older, longer register that must not survive in any part\n" * 20)
        self.save_as("download", target, replace=True)
        downloaded(3, target)
        self.press(self.open_dialog("download-data"), "Return")
        downloaded(4, s.home / "weights.csv")
        self.save_as("download-response", s.home / "archive.zip")
        downloaded(5, s.home / "archive.zip")
        time.sleep(0.5)  # the cancelled download has had every chance to leave something
        self.assertEqual(sorted(str(p.relative_to(s.home)) for p in s.home.rglob("*")
                                if p.is_file() and saves not in p.parents),
                         ["archive.zip", "exports/register.csv", "herd.csv", "weights.csv"])

        # A download that fails for want of space keeps the file it was to
        # replace, and its partial file goes.
        need(self, root=True)
        stick = s.root / "stick"
        stick.mkdir()
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", stick], check=True)
        self.addCleanup(subprocess.run, ["umount", "-l", stick])
        (stick / "register.csv").write_text("the register as it was\n")
        self.save_as("download-big", stick / "register.csv", replace=True)
        time.sleep(2.0)
        self.assertEqual([p.name for p in stick.iterdir()], ["register.csv"])
        self.assertEqual((stick / "register.csv").read_text(), "the register as it was\n")


if __name__ == "__main__":
    unittest.main()
