"""Runs the real program under the current X display with a throw-away home,
its own session bus and fake default handlers, and reads back what the test
page and the program did."""

import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

BUILD = Path(os.environ.get("MLFK_BUILD_DIR", Path(__file__).resolve().parents[2] / "build"))
PROGRAM = BUILD / "bin" / "meadowline-field-keeper"
PAGE = Path(__file__).resolve().parent / "page"
FONT = Path("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")
DATA_FOLDER = "Meadowline Field Keeper"


def require_display(test):
    if not os.environ.get("DISPLAY"):
        if os.environ.get("CI") == "true":
            test.fail("no X display: run the tests through scripts/test")
        test.skipTest("no X display")


class Shell:
    """One throw-away installation and home for the program."""

    def __init__(self, page=PAGE):
        self.root = Path(tempfile.mkdtemp(prefix="mlfk-e2e-"))
        self.home = self.root / "home"
        self.data_home = self.root / "data"
        self.config_home = self.root / "config"
        self.state_home = self.root / "state"
        self.cache_home = self.root / "cache"
        for d in (self.home, self.data_home, self.config_home, self.state_home, self.cache_home):
            d.mkdir(parents=True)
        self.handled = self.root / "handled.log"
        self._install(page)
        self._fake_handlers()
        self.process = None

    # The installed layout, with the test page as the web application.
    def _install(self, page):
        self.prefix = self.root / "pkg"
        (self.prefix / "bin").mkdir(parents=True)
        share = self.prefix / "share" / "meadowline-field-keeper"
        shutil.copytree(page, share / "web")
        if FONT.exists():
            shutil.copy(FONT, share / "web" / "probe.ttf")
        shutil.copy(BUILD / "share" / "meadowline-field-keeper" / "Info.json", share / "Info.json")
        # A copy, not a link: the program finds its resources from its own path.
        shutil.copy(PROGRAM, self.prefix / "bin" / PROGRAM.name)
        self.program = self.prefix / "bin" / PROGRAM.name

    # Desktop entries that record the URI they are given, through the real GIO path.
    def _fake_handlers(self):
        apps = self.data_home / "applications"
        apps.mkdir(parents=True)
        recorder = self.root / "record-uri"
        recorder.write_text(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{self.handled}"\n')
        recorder.chmod(0o755)
        kinds = ["x-scheme-handler/http", "x-scheme-handler/https", "x-scheme-handler/mailto",
                 "x-scheme-handler/tel", "x-scheme-handler/ftp", "x-scheme-handler/file",
                 "inode/directory"]
        (apps / "recorder.desktop").write_text(
            "[Desktop Entry]\nType=Application\nName=Recorder\n"
            f"Exec={recorder} %u\nMimeType={';'.join(kinds)};\nNoDisplay=true\n")
        (self.config_home / "mimeapps.list").write_text(
            "[Default Applications]\n" + "".join(f"{k}=recorder.desktop\n" for k in kinds))

    def env(self):
        env = dict(os.environ)
        env.update(HOME=str(self.home), XDG_DATA_HOME=str(self.data_home),
                   XDG_CONFIG_HOME=str(self.config_home), XDG_STATE_HOME=str(self.state_home),
                   XDG_CACHE_HOME=str(self.cache_home), NO_AT_BRIDGE="1",
                   GTK_A11Y="none", GIO_USE_VFS="local")
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        return env

    @property
    def folder(self):
        return self.data_home / DATA_FOLDER

    @property
    def database(self):
        return self.folder / "farm-data.json"

    def start(self):
        self.started_at = time.monotonic()
        self.process = subprocess.Popen(
            ["dbus-run-session", "--", str(self.program)], env=self.env(), cwd=self.home,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        return self

    def report(self):
        try:
            return json.loads(self.database.read_text(encoding="utf-8"))
        except (FileNotFoundError, ValueError):
            return None

    def wait_for(self, condition, timeout=20.0, what="condition"):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = condition()
            if value:
                return value
            if self.process and self.process.poll() is not None:
                raise AssertionError(f"program ended while waiting for {what}")
            time.sleep(0.05)
        raise AssertionError(f"timed out waiting for {what}")

    def wait_ready(self):
        return self.wait_for(lambda: (r := self.report()) and r.get("ready") and r, what="page report")

    def window(self):
        pid = self.program_pid()
        out = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(pid),
                              "--name", "Meadowline Field Keeper"],
                             capture_output=True, text=True, timeout=20).stdout.split()
        return out[0]

    def program_pid(self):
        out = subprocess.run(["pgrep", "-f", "-n", str(self.program)], capture_output=True, text=True)
        return int(out.stdout.split()[0])

    def key(self, *keys):
        wid = self.window()
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True, timeout=10)
        subprocess.run(["xdotool", "key", "--clearmodifiers", *keys], check=True, timeout=10)

    def print_to_file(self, output):
        """Makes "Print to File" into `output` the printer the print dialog
        offers, as if the user had printed there in an earlier run."""
        state = self.state_home / "meadowline-field-keeper"
        state.mkdir(parents=True, exist_ok=True)
        (state / "print-settings.ini").write_text(
            "[Print Settings]\nprinter=Print to File\n"
            f"output-uri={Path(output).as_uri()}\noutput-file-format=pdf\n")

    def handled_uris(self):
        return self.handled.read_text().splitlines() if self.handled.exists() else []

    # Dialogs: with no window manager a dialog neither takes the focus nor can
    # be found by anything but its window, so tests drive windows by id.

    def windows(self):
        """The program's visible windows as {id: title}, without GTK's 1x1
        helper windows and the root window (which a pid search also returns)."""
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.program_pid()),
                              "--name", ".*"], capture_output=True, text=True, timeout=20).stdout.split()
        found = {}
        for wid in ids:
            geometry = subprocess.run(["xdotool", "getwindowgeometry", wid], capture_output=True,
                                      text=True, timeout=10).stdout
            if not geometry or "Geometry: 1x1" in geometry or wid == _root_window():
                continue
            found[wid] = subprocess.run(["xdotool", "getwindowname", wid], capture_output=True,
                                        text=True, timeout=10).stdout.strip()
        return found

    def wait_window(self, besides=(), title=None, timeout=20.0):
        """A visible window not among `besides`, with this title if one is given."""
        def fresh():
            return next((wid for wid, name in self.windows().items()
                         if wid not in besides and (title is None or name == title)), None)
        return self.wait_for(fresh, timeout=timeout, what=f"a new window {title or ''}".rstrip())

    def wait_window_gone(self, wid, timeout=20.0):
        self.wait_for(lambda: wid not in self.windows(), timeout=timeout, what=f"window {wid} to close")

    def keys_to(self, wid, *keys):
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True, timeout=10)
        subprocess.run(["xdotool", "key", "--clearmodifiers", *keys], check=True, timeout=10)

    def type_to(self, wid, text):
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True, timeout=10)
        subprocess.run(["xdotool", "type", "--delay", "10", text], check=True, timeout=60)

    def click(self, wid, x, y):
        """Clicks at a point relative to the window's top left corner."""
        subprocess.run(["xdotool", "mousemove", "--sync", "--window", wid, str(x), str(y), "click", "1"],
                       check=True, timeout=10)

    def size(self, wid):
        """(width, height) of a window."""
        out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", wid], capture_output=True,
                             text=True, timeout=10).stdout
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["WIDTH"]), int(values["HEIGHT"])

    def screenshot(self, wid, path):
        subprocess.run(["import", "-window", wid, str(path)], check=True, timeout=30)

    def wait_exit(self, timeout=10.0):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("program did not exit")

    def stop(self):
        if self.process and self.process.poll() is None:
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait()

    def close(self):
        self.stop()
        shutil.rmtree(self.root, ignore_errors=True)


def _root_window():
    out = subprocess.run(["xdotool", "search", "--maxdepth", "0", "--name", ".*"],
                         capture_output=True, text=True, timeout=10).stdout.split()
    return out[0] if out else None


class ShellTestCase(unittest.TestCase):
    def setUp(self):
        require_display(self)
        self.shells = []

    def shell(self, page=PAGE):
        s = Shell(page)
        self.shells.append(s)
        return s

    def tearDown(self):
        for s in self.shells:
            s.close()
