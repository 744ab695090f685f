import subprocess
import time
import unittest
import urllib.parse

from desktop_fakes import add_file_manager
from harness import ShellTestCase


def menu(shell, *keys):
    """Opens the menu bar with F10 and walks it with the arrow keys."""
    shell.key("F10")
    time.sleep(0.3)
    for k in keys:
        subprocess.run(["xdotool", "key", k], check=True, timeout=10)
        time.sleep(0.15)


class HelpAndDataFolder(ShellTestCase):
    def test_contact_support_opens_a_prefilled_mail(self):
        shell = self.shell().start()
        shell.wait_ready()
        menu(shell, "Left", "Down", "Return")  # the last menu, Help, holds one item
        uri = shell.wait_for(lambda: [u for u in shell.handled_uris() if u.startswith("mailto:")],
                             what="mail handler")[0]
        self.assertTrue(uri.startswith(
            "mailto:support@meadowline.farm?subject=Meadowline%20Field%20Keeper%20support&body="), uri)
        body = urllib.parse.unquote(uri.split("&body=", 1)[1])
        self.assertTrue(body.startswith("\n\n----\nMeadowline Field Keeper 4.1 (build 1)\n"), body)
        self.assertTrue(body.split("\n")[-1], "the last line names the system")

    def show_data_folder(self, shell):
        menu(shell, "Down", "Down", "Return")  # About, then Show Data Folder

    def test_show_data_folder_selects_the_database_in_the_file_manager(self):
        shell = self.shell()
        shown = add_file_manager(shell)
        shell.start()
        shell.wait_ready()  # the page has saved a database
        self.show_data_folder(shell)
        shell.wait_for(lambda: shown.exists() and shown.read_text(), what="ShowItems")
        self.assertEqual(shown.read_text().split(),
                         [shell.database.as_uri()])
        self.assertEqual(shell.handled_uris(), [])

    def test_show_data_folder_opens_the_folder_without_a_file_manager(self):
        shell = self.shell().start()
        shell.wait_ready()
        self.show_data_folder(shell)
        # GIO hands a local folder to the handler as a path or a file URI.
        folder = shell.wait_for(lambda: [u for u in shell.handled_uris()
                                         if u in (str(shell.folder), shell.folder.as_uri())],
                                what="folder opened")
        self.assertEqual(len(folder), 1)


if __name__ == "__main__":
    unittest.main()
