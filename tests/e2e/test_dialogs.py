"""Script dialogs, file inputs, downloads and new-window requests of the real
program, driven through its GTK dialogs with xdotool. The test page in
dialog_page/ saves what every request gave it back as the database."""

import os
import subprocess
import time
import unittest
from pathlib import Path

from harness import ShellTestCase

PAGE = Path(__file__).resolve().parent / "dialog_page"
TITLE = "Meadowline Field Keeper"

# GTK's file chooser completes a typed location in the background; a Return
# pressed while its completion pops up is taken by the pop-up.
COMPLETION_SETTLES = 0.8


class DialogPage(ShellTestCase):
    def start(self):
        shell = self.shell(PAGE).start()
        shell.wait_ready()
        self.main = shell.window()
        return shell

    def report(self, shell):
        return shell.report() or {}

    def events(self, shell):
        return self.report(shell).get("events", [])

    def command(self, shell, name):
        """Types a command into the page (a user gesture, as a click would be)."""
        shell.key("ctrl+k")
        subprocess.run(["xdotool", "type", "--delay", "5", name], check=True, timeout=30)
        shell.key("Return")

    def open_dialog(self, shell, name, title=None):
        """Runs a command and returns the window of the dialog it opens."""
        self.command(shell, name)
        return shell.wait_window(besides={self.main}, title=title)

    def answer_count(self, shell):
        return len(self.report(shell).get("answers", []))

    def wait_answer(self, shell, count):
        """The answer given to the page's `count`-th script dialog."""
        answers = shell.wait_for(lambda: (a := self.report(shell).get("answers", [])) and
                                 len(a) >= count and a, what=f"answer {count}")
        return answers[count - 1]["answer"]

    # Message dialogs put their buttons in one row along the bottom, each
    # taking an equal share of the width, in the order added: OK, Cancel.
    def click_button(self, shell, dialog, index, of):
        width, height = shell.size(dialog)
        shell.click(dialog, width * (2 * index + 1) // (2 * of), height - 16)


class ScriptDialogs(DialogPage):
    def test_alert_returns_only_when_its_ok_is_pressed(self):
        shell = self.start()
        dialog = self.open_dialog(shell, "alert", TITLE)
        time.sleep(0.5)  # a dialog that did not hold the page would have answered by now
        self.assertIn("alert-asked", self.events(shell))
        self.assertNotIn("alert-answered", self.events(shell))
        self.click_button(shell, dialog, 0, 1)
        self.assertEqual(self.wait_answer(shell, 1), "undefined")
        shell.wait_window_gone(dialog)

    def test_confirm_is_true_only_for_ok(self):
        shell = self.start()
        answers = []
        # Escape closes the dialog the way a window manager's close does.
        for n, answer in enumerate([lambda d: shell.keys_to(d, "Return"),
                                    lambda d: self.click_button(shell, d, 0, 2),
                                    lambda d: self.click_button(shell, d, 1, 2),
                                    lambda d: shell.keys_to(d, "Escape")], start=1):
            dialog = self.open_dialog(shell, "confirm", TITLE)
            answer(dialog)
            answers.append(self.wait_answer(shell, n))
            shell.wait_window_gone(dialog)
        self.assertEqual(answers, [True, True, False, False])

    def test_prompt_answers_its_field_after_ok_and_null_otherwise(self):
        shell = self.start()

        dialog = self.open_dialog(shell, "prompt", TITLE)
        shell.keys_to(dialog, "Return")
        self.assertEqual(self.wait_answer(shell, 1), "", "an empty field confirmed is an empty text")
        shell.wait_window_gone(dialog)

        dialog = self.open_dialog(shell, "prompt", TITLE)
        shell.type_to(dialog, "Long Meadow")
        shell.keys_to(dialog, "Escape")
        self.assertIsNone(self.wait_answer(shell, 2))
        shell.wait_window_gone(dialog)

        dialog = self.open_dialog(shell, "prompt", TITLE)
        shell.type_to(dialog, "Long Meadow")
        self.click_button(shell, dialog, 1, 2)
        self.assertIsNone(self.wait_answer(shell, 3))
        shell.wait_window_gone(dialog)

        # The field starts with the default text; what is typed is added to it.
        dialog = self.open_dialog(shell, "prompt-default", TITLE)
        shell.keys_to(dialog, "End")
        shell.type_to(dialog, " Bess")
        self.click_button(shell, dialog, 0, 2)
        self.assertEqual(self.wait_answer(shell, 4), "UK 7001 Bess")
        shell.wait_window_gone(dialog)


class FileInputs(DialogPage):
    def make_files(self, shell):
        folder = shell.home / "herd files"
        folder.mkdir()
        (folder / "a-ewes.csv").write_text("tag\nUK 0 712345 00021\n")
        (folder / "b-rams.csv").write_text("tag\nUK 0 712345 00045\n")
        return folder

    def choose_all_in(self, shell, chooser, folder):
        """Opens `folder` in the chooser, selects everything in it, and opens."""
        shell.keys_to(chooser, "ctrl+l")
        shell.type_to(chooser, f"{folder}/")
        time.sleep(COMPLETION_SETTLES)
        shell.keys_to(chooser, "Return")  # goes into the folder
        time.sleep(COMPLETION_SETTLES)
        shell.keys_to(chooser, "ctrl+a")
        shell.keys_to(chooser, "alt+o")

    def test_multiple_input_receives_every_chosen_file_in_order(self):
        shell = self.start()
        folder = self.make_files(shell)
        chooser = self.open_dialog(shell, "pick-many")
        self.choose_all_in(shell, chooser, folder)
        shell.wait_for(lambda: "change:many" in self.events(shell), what="the change event")
        self.assertEqual(self.report(shell)["many"], [
            {"name": "a-ewes.csv", "text": "tag\nUK 0 712345 00021\n"},
            {"name": "b-rams.csv", "text": "tag\nUK 0 712345 00045\n"}])
        shell.wait_window_gone(chooser)

    def test_single_input_receives_one_file(self):
        shell = self.start()
        folder = self.make_files(shell)

        # Selecting everything is not possible: only one file comes back.
        chooser = self.open_dialog(shell, "pick-one")
        self.choose_all_in(shell, chooser, folder)
        shell.wait_for(lambda: "change:one" in self.events(shell), what="the change event")
        self.assertEqual(len(self.report(shell)["one"]), 1)
        self.assertIn(self.report(shell)["one"][0]["name"], {"a-ewes.csv", "b-rams.csv"})
        shell.wait_window_gone(chooser)

        # A typed path chooses exactly that file.
        chooser = self.open_dialog(shell, "pick-one")
        shell.keys_to(chooser, "ctrl+l")
        shell.type_to(chooser, str(folder / "b-rams.csv"))
        time.sleep(COMPLETION_SETTLES)
        shell.keys_to(chooser, "Return")
        shell.wait_for(lambda: self.events(shell).count("change:one") == 2, what="the second change")
        self.assertEqual(self.report(shell)["one"], [{"name": "b-rams.csv", "text": "tag\nUK 0 712345 00045\n"}])

    def test_cancelled_chooser_gives_the_input_nothing(self):
        shell = self.start()
        folder = self.make_files(shell)
        chooser = self.open_dialog(shell, "pick-one")
        # A folder cannot be chosen: typing one and Return only opens it.
        shell.keys_to(chooser, "ctrl+l")
        shell.type_to(chooser, f"{folder}/")
        time.sleep(COMPLETION_SETTLES)
        shell.keys_to(chooser, "Return")
        time.sleep(COMPLETION_SETTLES)
        self.assertIn(chooser, shell.windows())
        shell.keys_to(chooser, "Escape")
        shell.wait_window_gone(chooser)
        # The engine tells the page its request was cancelled: it was answered.
        shell.wait_for(lambda: "cancel:one" in self.events(shell), what="the cancel event")
        self.command(shell, "files-state")
        shell.wait_for(lambda: "files-state" in self.events(shell), what="files state")
        self.assertEqual(self.report(shell)["filesState"], {"many": [], "one": []})
        self.assertNotIn("change:one", self.events(shell))


class Downloads(DialogPage):
    def downloaded(self, shell, n):
        """The content the page gave its `n`-th download."""
        return shell.wait_for(lambda: (d := self.report(shell).get("downloads", [])) and
                              len(d) >= n and d[n - 1], what=f"download {n}")

    def wait_content(self, shell, path, content):
        shell.wait_for(lambda: path.exists() and path.read_text() == content,
                       what=f"{path.name} to hold the download")

    def files_named(self, shell, pattern):
        return sorted(p for p in shell.root.rglob(pattern) if "pkg" not in p.parts)

    def test_proposed_name_is_the_download_attribute(self):
        shell = self.start()
        dialog = self.open_dialog(shell, "download")
        # The dialog opens in the working folder (the home here) with the name filled in.
        shell.keys_to(dialog, "Return")
        self.wait_content(shell, shell.home / "herd.csv", self.downloaded(shell, 1))
        shell.wait_window_gone(dialog)
        self.assertEqual(self.files_named(shell, "herd*"), [shell.home / "herd.csv"])

    def test_download_replaces_the_file_the_dialog_was_pointed_at(self):
        shell = self.start()
        target = shell.home / "exports" / "register.csv"
        target.parent.mkdir()
        target.write_text("an older, longer register that must not survive in any part\n" * 20)
        dialog = self.open_dialog(shell, "download")
        shell.keys_to(dialog, "ctrl+a")
        shell.type_to(dialog, str(target))
        time.sleep(COMPLETION_SETTLES)
        shell.keys_to(dialog, "Return")
        question = shell.wait_window(besides={self.main, dialog})  # replace the file?
        shell.keys_to(question, "alt+r")
        self.wait_content(shell, target, self.downloaded(shell, 1))
        self.assertEqual(sorted(target.parent.iterdir()), [target])
        self.assertEqual(self.files_named(shell, "herd*"), [])

    def test_data_address_and_response_the_view_cannot_show_are_downloaded(self):
        shell = self.start()
        dialog = self.open_dialog(shell, "download-data")
        shell.keys_to(dialog, "Return")  # the proposed name, from the download attribute
        self.wait_content(shell, shell.home / "weights.csv", self.downloaded(shell, 1))
        shell.wait_window_gone(dialog)

        dialog = self.open_dialog(shell, "download-response")
        target = shell.home / "archive.zip"
        shell.keys_to(dialog, "ctrl+a")
        shell.type_to(dialog, str(target))
        time.sleep(COMPLETION_SETTLES)
        shell.keys_to(dialog, "Return")
        self.wait_content(shell, target, self.downloaded(shell, 2))
        self.assertEqual(sorted(p.name for p in shell.home.iterdir()), ["archive.zip", "weights.csv"])

    def test_cancelled_download_leaves_no_file(self):
        shell = self.start()
        dialog = self.open_dialog(shell, "download")
        shell.keys_to(dialog, "Escape")
        shell.wait_window_gone(dialog)
        # The next download still works, and once it has landed the cancelled
        # one has had every chance to leave something behind.
        dialog = self.open_dialog(shell, "download")
        target = shell.home / "kept" / "second.csv"
        target.parent.mkdir()
        shell.keys_to(dialog, "ctrl+a")
        shell.type_to(dialog, str(target))
        time.sleep(COMPLETION_SETTLES)
        shell.keys_to(dialog, "Return")
        self.wait_content(shell, target, self.downloaded(shell, 2))
        time.sleep(0.5)
        self.assertEqual(self.files_named(shell, "herd*"), [])
        self.assertEqual(sorted(p.name for p in shell.home.rglob("*") if p.is_file()), ["second.csv"])


    def test_failed_download_keeps_the_file_it_was_to_replace(self):
        if os.geteuid() != 0:
            if os.environ.get("CI") == "true":
                self.fail("mounting a small tmpfs needs root")
            self.skipTest("mounting a small tmpfs needs root")
        shell = self.start()
        stick = shell.root / "stick"
        stick.mkdir()
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", str(stick)], check=True)
        self.addCleanup(subprocess.run, ["umount", "-l", str(stick)])
        target = stick / "register.csv"
        target.write_text("the register as it was\n")
        dialog = self.open_dialog(shell, "download-big")
        shell.keys_to(dialog, "ctrl+a")
        shell.type_to(dialog, str(target))
        time.sleep(COMPLETION_SETTLES)
        shell.keys_to(dialog, "Return")
        question = shell.wait_window(besides={self.main, dialog})  # replace the file?
        shell.keys_to(question, "alt+r")
        # The download fails for want of space; its partial file goes.
        shell.wait_window_gone(dialog)
        time.sleep(2.0)
        self.assertEqual([p.name for p in stick.iterdir()], ["register.csv"])
        self.assertEqual(target.read_text(), "the register as it was\n")


class NewWindows(DialogPage):
    def test_only_web_and_mail_addresses_reach_the_default_handler(self):
        shell = self.start()
        for name in ["open-tel", "open-https", "open-mail", "open-blank-links"]:
            self.command(shell, name)
            shell.wait_for(lambda: name in self.events(shell), what=name)
        shell.wait_for(lambda: len(shell.handled_uris()) >= 3, what="handled addresses")
        time.sleep(0.5)  # a telephone address handed over would have arrived by now
        self.assertEqual(sorted(shell.handled_uris()), [
            "https://example.org/blank", "https://example.org/x", "mailto:vet@example.org"])
        report = self.report(shell)
        # No window is ever made: the page is given none, and the program shows only its own.
        self.assertIsNone(report["openHttps"])
        self.assertIsNone(report["openTel"])
        self.assertIsNone(report["openMail"])
        self.assertIsNone(report["openOnLoad"])
        self.assertEqual(shell.windows(), {self.main: TITLE})


if __name__ == "__main__":
    unittest.main()
