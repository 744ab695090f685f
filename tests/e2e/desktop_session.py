"""What the desktop tests add to the harness: a session bus the test shares
with the program (so that an AT-SPI client or a fake portal can be on it), a
settings portal with a colour scheme, and a headless Weston compositor."""

import os
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

from harness import Shell

HERE = Path(__file__).resolve().parent
# The system's Python, which has the GObject bindings the bus helpers use.
SYSTEM_PYTHON = "/usr/bin/python3"
PORTAL = "org.freedesktop.portal.Desktop"


def need(test, *programs):
    """Skips when a tool is missing, and fails instead in CI."""
    missing = [p for p in programs if not shutil.which(p) and not Path(p).exists()]
    if missing:
        message = f"missing {', '.join(missing)} (scripts/install-deps installs them)"
        if os.environ.get("CI") == "true":
            test.fail(message)
        test.skipTest(message)


def _kill_group(process):
    if process and process.poll() is None:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()


class DesktopShell(Shell):
    """A shell on a session bus of the test's own, logging the program's
    stderr, optionally with a settings portal that answers `color_scheme`."""

    def __init__(self, page, color_scheme=None, accessible=False):
        super().__init__(page)
        self.log = self.root / "program.log"
        self.accessible = accessible
        self.extra_env = {}
        if color_scheme is not None:
            services = self.data_home / "dbus-1" / "services"
            services.mkdir(parents=True, exist_ok=True)
            (services / f"{PORTAL}.service").write_text(
                f"[D-BUS Service]\nName={PORTAL}\n"
                f"Exec={SYSTEM_PYTHON} {HERE / 'fake_portal.py'} {color_scheme}\n")
        self.bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=super().env(),
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, start_new_session=True)
        self.bus_address = self.bus.stdout.readline().strip()
        if not self.bus_address:
            raise AssertionError("dbus-daemon gave no address")

    def env(self):
        env = super().env()
        env["DBUS_SESSION_BUS_ADDRESS"] = self.bus_address
        if self.accessible:
            # The harness turns the accessibility bridge off for every other test.
            env.pop("NO_AT_BRIDGE", None)
            env.pop("GTK_A11Y", None)
        for key, value in self.extra_env.items():
            if value is None:
                env.pop(key, None)
            else:
                env[key] = value
        return env

    def start(self, *args):
        self.started_at = time.monotonic()
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen(
                [str(self.program), *args], env=self.env(), cwd=self.home,
                stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        return self

    def program_pid(self):
        return self.process.pid

    def log_text(self):
        return self.log.read_text(errors="replace") if self.log.exists() else ""

    def set_color_scheme(self, value):
        subprocess.run(["dbus-send", "--session", f"--dest={PORTAL}", "--type=method_call",
                        "--print-reply", "/org/freedesktop/portal/desktop",
                        "farm.meadowline.test.Appearance.SetColorScheme", f"uint32:{value}"],
                       env=self.env(), check=True, capture_output=True, timeout=30)

    def system_python(self, script, *args, timeout=120):
        """Runs a helper script with the system's Python on this shell's bus
        and display; returns its stdout."""
        env = self.env()
        env.pop("NO_AT_BRIDGE", None)
        done = subprocess.run([SYSTEM_PYTHON, str(HERE / script), *args], env=env,
                              capture_output=True, text=True, timeout=timeout)
        if done.returncode != 0:
            raise AssertionError(f"{script} failed:\n{done.stderr}")
        return done.stdout

    def close(self):
        super().close()
        _kill_group(self.bus)  # and whatever the bus started: portal, accessibility bus
        self.bus.stdout.close()


class Weston:
    """A headless Weston with its own runtime folder; `--debug` lets
    weston-screenshooter capture its output."""

    def __init__(self, width=1600, height=1000):
        self.runtime = Path(tempfile.mkdtemp(prefix="mlfk-weston-"))
        self.runtime.chmod(0o700)
        self.socket = "mlfk-wayland"
        self.log = self.runtime / "weston.log"
        env = dict(os.environ, XDG_RUNTIME_DIR=str(self.runtime))
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen(
                ["weston", "--backend=headless-backend.so", f"--socket={self.socket}",
                 "--idle-time=0", "--use-pixman", f"--width={width}", f"--height={height}", "--debug"],
                env=env, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        deadline = time.monotonic() + 30
        while not (self.runtime / self.socket).exists():
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError(f"weston did not start:\n{self.log.read_text(errors='replace')}")
            time.sleep(0.05)

    def client_env(self):
        """What a program needs to run as a Wayland client here, and not on X11."""
        return {"XDG_RUNTIME_DIR": str(self.runtime), "WAYLAND_DISPLAY": self.socket,
                "GDK_BACKEND": "wayland", "DISPLAY": None}

    def screenshot(self, path):
        folder = Path(tempfile.mkdtemp(dir=self.runtime))
        env = {k: v for k, v in dict(os.environ, **self.client_env()).items() if v is not None}
        subprocess.run(["weston-screenshooter"], env=env, cwd=folder, check=True,
                       capture_output=True, timeout=30)
        shutil.move(next(folder.glob("*.png")), path)

    def close(self):
        _kill_group(self.process)
        shutil.rmtree(self.runtime, ignore_errors=True)
