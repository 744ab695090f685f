import subprocess
import time
import unittest
from pathlib import Path

from harness import ShellTestCase

PAGE = Path(__file__).resolve().parent / "services_page"


def visible_windows(shell):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(shell.program_pid()),
                          "--name", ""], capture_output=True, text=True).stdout
    return set(out.split())


def run_command(shell, name):
    """Types a command of the services page; returns the windows shown before it."""
    before = visible_windows(shell)
    shell.key("ctrl+a")
    subprocess.run(["xdotool", "type", "--delay", "5", name], check=True, timeout=30)
    subprocess.run(["xdotool", "key", "Return"], check=True, timeout=10)
    return before


def new_dialog(shell, before):
    """The window that appeared since `before`, focused."""
    new = shell.wait_for(lambda: visible_windows(shell) - before, what="a dialog")
    wid = sorted(new)[-1]
    subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True, timeout=10)
    time.sleep(0.3)
    return wid


def keys(*names):
    for k in names:
        subprocess.run(["xdotool", "key", k], check=True, timeout=10)
        time.sleep(0.2)


class SaveDialog(ShellTestCase):
    def start(self):
        shell = self.shell(PAGE).start()
        shell.wait_for(lambda: (r := shell.report()) and r.get("ready"), what="page ready")
        return shell

    def reply(self, shell, name):
        return shell.wait_for(lambda: (shell.report() or {}).get("replies", {}).get(name),
                              what=f"reply to {name}")

    def save_to(self, shell, command, path, replace=False):
        new_dialog(shell, run_command(shell, command))
        keys("ctrl+a")
        subprocess.run(["xdotool", "type", "--delay", "5", str(path)], check=True, timeout=30)
        before = visible_windows(shell)
        keys("Return")
        if replace:
            new_dialog(shell, before)  # asks before replacing the file
            keys("alt+r")
        return self.reply(shell, command)

    def test_text_is_written_where_the_user_chose(self):
        shell = self.start()
        target = shell.home / "exports" / "herd.csv"
        target.parent.mkdir()
        reply = self.save_to(shell, "save-text", target)
        self.assertEqual(reply, {"value": {"ok": True, "path": str(target)}})
        self.assertEqual(target.read_bytes(), "tag,name\nUK1,Dais\u00ff\n".encode("utf-8"))

    def test_base64_content_and_replacing_a_file(self):
        shell = self.start()
        target = shell.home / "bytes.bin"
        target.write_bytes(b"older and longer content")
        reply = self.save_to(shell, "save-b64", target, replace=True)
        self.assertEqual(reply["value"]["ok"], True)
        self.assertEqual(target.read_bytes(), b"\x00\x01\x02\xff")

    def test_damaged_base64_writes_nothing(self):
        shell = self.start()
        target = shell.home / "bad.bin"
        reply = self.save_to(shell, "save-bad", target)
        self.assertEqual(reply, {"value": {"ok": False, "error": "The file data was damaged."}})
        self.assertFalse(target.exists())

    def test_cancelled_dialog(self):
        shell = self.start()
        new_dialog(shell, run_command(shell, "save-default"))
        keys("Escape")
        self.assertEqual(self.reply(shell, "save-default"), {"value": {"cancelled": True}})


class Printing(ShellTestCase):
    def test_composed_document_prints_with_its_style_sheet_and_margins(self):
        shell = self.shell(PAGE)
        output = shell.root / "printed.pdf"
        # The last printer chosen is offered again: here "Print to File".
        shell.print_to_file(output)
        shell.start()
        shell.wait_for(lambda: (r := shell.report()) and r.get("ready"), what="page ready")
        new_dialog(shell, run_command(shell, "print-doc"))
        self.assertEqual(shell.report()["replies"]["print-doc"], {"value": {"ok": True}})
        keys("alt+p")
        shell.wait_for(lambda: output.exists() and output.stat().st_size > 0, what="the PDF")
        time.sleep(0.5)
        text = subprocess.run(["pdftotext", "-layout", str(output), "-"], capture_output=True,
                              text=True).stdout
        self.assertIn("Herd register", text)
        self.assertIn("Daisy UK123456 styled-by-print-css", text)
        # The first word's left edge: the 36-point margin plus the page's own body margin.
        bbox = subprocess.run(["pdftotext", "-bbox", str(output), "-"], capture_output=True,
                              text=True).stdout
        first = bbox.split('<word xMin="', 1)[1]
        x_min = float(first.split('"', 1)[0])
        self.assertGreaterEqual(x_min, 36.0)
        self.assertLess(x_min, 50.0)


if __name__ == "__main__":
    unittest.main()
