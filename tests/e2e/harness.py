"""Runs the real program from a throw-away installation with its own home, XDG
folders and session bus, and default handlers that log the URIs they get.
Test pages report by saving what they saw as the database."""

import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
BUILD = Path(os.environ.get("MLFK_BUILD_DIR", HERE.parents[1] / "build"))
PROGRAM = BUILD / "bin" / "meadowline-field-keeper"
SHARE = BUILD / "share" / "meadowline-field-keeper"
WEB = SHARE / "web"
PAGE = HERE / "page"
FONT = Path("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")
TITLE = DATA_FOLDER = "Meadowline Field Keeper"
SYSTEM_PYTHON = "/usr/bin/python3"  # has Debian's D-Bus bindings and python3-dbusmock
PORTAL = "org.freedesktop.portal.Desktop"
# Not the program's own fallbacks (4.1, build 1): a version the tests see
# can only have been read from the installed file.
VERSION, BUILD = "9.9 beta", "77"
# GTK's file chooser completes a typed location in the background; a Return
# pressed while its completion pops up is taken by the pop-up.
COMPLETION_SETTLES = 0.8


def need(test, *programs, display=False, root=False):
    """Skips when something is missing, and fails instead in CI."""
    missing = [p for p in programs if not shutil.which(p) and not Path(p).exists()]
    missing += ["an X display"] * (display and not os.environ.get("DISPLAY"))
    missing += ["root (to mount a tmpfs)"] * (root and os.geteuid() != 0)
    if missing:
        if os.environ.get("CI") == "true":
            test.fail(f"missing {', '.join(missing)}")
        test.skipTest(f"missing {', '.join(missing)}")


def xdo(*args, check=False, timeout=20):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, check=check,
                          timeout=timeout).stdout


def wait_until(condition, timeout=20.0, what="condition", while_running=None):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        if while_running and while_running.poll() is not None:
            raise AssertionError(f"program ended while waiting for {what}")
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def kill_group(process):
    if process and process.poll() is None:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()


class Shell:
    """One throw-away installation, home and session bus for the program."""

    def __init__(self, page=PAGE, accessible=False):
        self.root = Path(tempfile.mkdtemp(prefix="mlfk-e2e-"))
        self.home, self.data_home, self.config_home, self.state_home, self.cache_home = (
            self.root / d for d in ("home", "data", "config", "state", "cache"))
        for d in (self.home, self.data_home, self.config_home, self.state_home, self.cache_home):
            d.mkdir()
        self.handled, self.log = self.root / "handled.log", self.root / "program.log"
        self.accessible, self.extra_env, self.process, self.bus = accessible, {}, None, None
        # A copy, not a link: the program finds its resources from its own path.
        share = self.root / "pkg" / "share" / "meadowline-field-keeper"
        shutil.copytree(page, share / "web")
        if FONT.exists():
            shutil.copy(FONT, share / "web" / "probe.ttf")
        (share / "Info.json").write_text(
            json.dumps({"CFBundleShortVersionString": VERSION, "CFBundleVersion": BUILD}))
        self.program = self.root / "pkg" / "bin" / PROGRAM.name
        self.program.parent.mkdir()
        shutil.copy(PROGRAM, self.program)
        # Default handlers that record their URI, reached through the real GIO path.
        recorder = self.root / "record-uri"
        recorder.write_text(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{self.handled}"\n')
        recorder.chmod(0o755)
        kinds = [f"x-scheme-handler/{s}" for s in ("http", "https", "mailto", "tel", "ftp", "file")]
        kinds.append("inode/directory")
        (self.data_home / "applications").mkdir()
        (self.data_home / "applications" / "recorder.desktop").write_text(
            f"[Desktop Entry]\nType=Application\nName=Recorder\nExec={recorder} %u\n"
            f"MimeType={';'.join(kinds)};\nNoDisplay=true\n")
        (self.config_home / "mimeapps.list").write_text(
            "[Default Applications]\n" + "".join(f"{k}=recorder.desktop\n" for k in kinds))

    def add_bus_service(self, name, template, log, **parameters):
        """A stand-in desktop service, a python3-dbusmock template of
        services/, that the bus starts on demand; `log` gets each call."""
        services = self.data_home / "dbus-1" / "services"
        services.mkdir(parents=True, exist_ok=True)
        (services / f"{name}.service").write_text(
            f"[D-BUS Service]\nName={name}\nExec={SYSTEM_PYTHON} -m dbusmock --session "
            f"--template \"{HERE / 'services' / template}.py\" -l \"{log}\" -p '{json.dumps(parameters)}'\n")

    def env(self):
        env = dict(os.environ, HOME=str(self.home), XDG_DATA_HOME=str(self.data_home),
                   XDG_CONFIG_HOME=str(self.config_home), XDG_STATE_HOME=str(self.state_home),
                   XDG_CACHE_HOME=str(self.cache_home), NO_AT_BRIDGE="1", GTK_A11Y="none",
                   GIO_USE_VFS="local")
        if self.accessible:
            del env["NO_AT_BRIDGE"], env["GTK_A11Y"]
        env["DBUS_SESSION_BUS_ADDRESS"] = self.bus_address if self.bus else None
        env.update(self.extra_env)
        return {k: v for k, v in env.items() if v is not None}

    @property
    def folder(self):
        return self.data_home / DATA_FOLDER

    @property
    def database(self):
        return self.folder / "farm-data.json"

    def start_bus(self):
        if not self.bus:
            self.bus = subprocess.Popen(
                ["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=self.env(),
                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, start_new_session=True)
            self.bus_address = self.bus.stdout.readline().strip()
        return self

    def start(self, *args):
        self.start_bus()
        with open(self.log, "ab") as log:
            self.process = subprocess.Popen([str(self.program), *args], env=self.env(),
                                            cwd=self.home, stdout=log, stderr=subprocess.STDOUT,
                                            start_new_session=True)
        return self

    def web_processes(self):
        return subprocess.run(["pgrep", "-P", str(self.process.pid), "-f", "WebKitWebProcess"],
                              capture_output=True, text=True).stdout.split()

    def report(self):
        try:
            return json.loads(self.database.read_text(encoding="utf-8"))
        except (FileNotFoundError, ValueError):
            return None

    def events(self):
        return (self.report() or {}).get("events", [])

    def wait_for(self, condition, timeout=20.0, what="condition"):
        return wait_until(condition, timeout, what, self.process)

    def wait_ready(self):
        return self.wait_for(lambda: (r := self.report()) and r.get("ready") and r, what="page report")

    def command(self, name):
        """Types a command of the test page into its search field (a user
        gesture, as a click would be); the page notes it before running it."""
        count = self.events().count(name)
        self.key("ctrl+k")
        self.type_to(self.window(), name)
        self.key("Return")
        self.wait_for(lambda: self.events().count(name) > count, what=f"command {name}")

    def window(self):
        # A search that meets a window being destroyed (a dialog closing)
        # gives up with an X error and no result: ask again.
        for _ in range(5):
            found = xdo("search", "--sync", "--onlyvisible", "--pid", str(self.process.pid),
                        "--name", TITLE).split()
            if found:
                return found[0]
            time.sleep(0.2)
        raise AssertionError("the main window is not on screen")

    def key(self, *keys):
        self.keys_to(self.window(), *keys)

    def keys_to(self, wid, *keys):
        xdo("windowfocus", "--sync", wid, check=True)
        xdo("key", "--clearmodifiers", *keys, check=True)

    def type_to(self, wid, text):
        xdo("windowfocus", "--sync", wid, check=True)
        xdo("type", "--delay", "10", text, check=True, timeout=60)

    def fill(self, *steps):
        """Each step is text to type into the main window, or a list of keys to press."""
        for step in steps:
            self.key(*step) if isinstance(step, list) else self.type_to(self.window(), step)

    def type_location(self, chooser, path, select_all="ctrl+a"):
        self.keys_to(chooser, *select_all.split())
        self.type_to(chooser, str(path))
        time.sleep(COMPLETION_SETTLES)
        self.keys_to(chooser, "Return")

    def choose_file(self, chooser, path):
        """GTK sometimes opens the chooser on its Recent list and loses the
        first keys typed into it: while the chooser stays, type the path again."""
        for attempt in range(3):
            if attempt and chooser not in self.windows():
                return
            self.type_location(chooser, path, "ctrl+l ctrl+a")
            try:
                return self.wait_window_gone(chooser, timeout=8)
            except AssertionError:
                continue
        self.wait_window_gone(chooser)

    def printed_text(self, output, *options):
        """The text of a PDF printed to `output`, once it is whole."""
        return self.wait_for(lambda: output.exists() and output.stat().st_size > 0 and subprocess.run(
            ["pdftotext", *options, str(output), "-"], capture_output=True, text=True).stdout,
            timeout=30, what="the printed PDF")

    def click(self, wid, x, y):
        """Clicks at a point relative to the window's top left corner."""
        xdo("mousemove", "--sync", "--window", wid, str(x), str(y), "click", "1", check=True)

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

    # With no window manager a dialog neither takes the focus nor can be found
    # by anything but its window, so tests drive windows by id.
    def windows(self):
        """The program's visible windows as {id: title}, without GTK's 1x1
        helper windows and the root window (which a pid search also returns)."""
        root = xdo("search", "--maxdepth", "0", "--name", ".*").split()[:1]
        found = {}
        for wid in xdo("search", "--onlyvisible", "--pid", str(self.process.pid), "--name", ".*").split():
            geometry = xdo("getwindowgeometry", wid)
            if geometry and "Geometry: 1x1" not in geometry and [wid] != root:
                found[wid] = xdo("getwindowname", wid).strip()
        return found

    def wait_window(self, besides=(), title=None, timeout=20.0):
        """A visible window not among `besides`, with this title if one is given."""
        return self.wait_for(lambda: next((w for w, name in self.windows().items() if w not in besides
                                           and title in (None, name)), None),
                             timeout=timeout, what=f"a new window {title or ''}")

    def wait_window_gone(self, wid, timeout=20.0):
        self.wait_for(lambda: wid not in self.windows(), timeout=timeout, what=f"window {wid} to close")

    def size(self, wid):
        values = dict(line.split("=", 1) for line in xdo("getwindowgeometry", "--shell", wid).split())
        return int(values["WIDTH"]), int(values["HEIGHT"])

    def call(self, name, path, method, *args):
        """Calls a method of a service on the test's session bus."""
        subprocess.run(["dbus-send", "--session", f"--dest={name}", "--type=method_call", "--print-reply",
                        path, method, *args], env=self.env(), check=True, capture_output=True, timeout=30)

    def wait_exit(self, timeout=10.0):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("program did not exit")

    def stop(self):
        kill_group(self.process)

    def close(self):
        self.stop()
        kill_group(self.bus)  # and whatever the bus started: portal, accessibility bus
        if self.bus:
            self.bus.stdout.close()
            # The killed accessibility bus launcher leaves its address on the
            # root window, where the next program would look for the bus first.
            if os.environ.get("DISPLAY") and shutil.which("xprop"):
                subprocess.run(["xprop", "-root", "-remove", "AT_SPI_BUS"], capture_output=True, timeout=20)
        shutil.rmtree(self.root, ignore_errors=True)


class ShellTestCase(unittest.TestCase):
    def setUp(self):
        need(self, display=True)
        self.shells = []

    def shell(self, page=PAGE, **options):
        s = Shell(page, **options)
        self.shells.append(s)
        return s

    def tearDown(self):
        for s in self.shells:
            s.close()


class Weston:
    """A headless Weston with its own runtime folder. Without `--use-pixman`
    it renders nothing; `--debug` lets weston-screenshooter capture it."""

    def __init__(self, width=1600, height=1000):
        self.runtime = Path(tempfile.mkdtemp(prefix="mlfk-weston-"))
        self.runtime.chmod(0o700)
        self.log = self.runtime / "weston.log"
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen(
                ["weston", "--backend=headless-backend.so", "--socket=mlfk-wayland", "--idle-time=0",
                 "--use-pixman", f"--width={width}", f"--height={height}", "--debug"],
                env=dict(os.environ, XDG_RUNTIME_DIR=str(self.runtime)), stdout=log,
                stderr=subprocess.STDOUT, start_new_session=True)
        deadline = time.monotonic() + 30
        while not (self.runtime / "mlfk-wayland").exists():
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError(f"weston did not start:\n{self.log.read_text(errors='replace')}")
            time.sleep(0.05)

    def client_env(self):
        """What a program needs to run as a Wayland client here, and not on X11."""
        return {"XDG_RUNTIME_DIR": str(self.runtime), "WAYLAND_DISPLAY": "mlfk-wayland",
                "GDK_BACKEND": "wayland", "DISPLAY": None}

    def close(self):
        kill_group(self.process)
        shutil.rmtree(self.runtime, ignore_errors=True)
