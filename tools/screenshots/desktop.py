"""Makes the light and dark pictures in docs/screenshots/ from the real program
and the farm application, on X11 (under the current X display) and on a
headless Weston:

    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" python3 tools/screenshots/desktop.py

light-x11.png, dark-x11.png            the main window, captured by the X server
light-wayland.png, dark-wayland.png    Weston's whole output, through its screenshooter
"""

import sys
import time
from pathlib import Path

# The end-to-end tests' harness drives the program for these pictures too.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))

from harness import PORTAL, WEB, Shell, Weston  # noqa: E402
from common import FIRST_PAINT, OUT, picture, weston_picture  # noqa: E402
from records import farm  # noqa: E402

SETTLE = 2.0  # for a change of style to be painted


def farm_shell(wayland=None):
    shell = Shell(WEB)
    shell.add_bus_service(PORTAL, "portal", shell.root / "portal.log", scheme=2)
    shell.folder.mkdir(parents=True)
    shell.database.write_text(farm(), "utf-8")
    if wayland:
        shell.extra_env.update(wayland.client_env())
    return shell


def x11():
    shell = farm_shell()
    try:
        shell.start()
        wid = shell.window()
        time.sleep(FIRST_PAINT)
        picture(wid, OUT / "light-x11.png")
        shell.call(PORTAL, "/org/freedesktop/portal/desktop", "farm.meadowline.test.Appearance.SetColorScheme", "uint32:1")
        time.sleep(SETTLE)
        picture(wid, OUT / "dark-x11.png")
    finally:
        shell.close()


def wayland():
    weston = Weston(1600, 1000)
    shell = farm_shell(weston)
    try:
        shell.start()
        time.sleep(FIRST_PAINT + 2)  # no window to wait for: nothing here lists Wayland windows
        weston_picture(weston, OUT / "light-wayland.png")
        shell.call(PORTAL, "/org/freedesktop/portal/desktop", "farm.meadowline.test.Appearance.SetColorScheme", "uint32:1")
        time.sleep(SETTLE)
        weston_picture(weston, OUT / "dark-wayland.png")
    finally:
        shell.close()
        weston.close()


if __name__ == "__main__":
    OUT.mkdir(parents=True, exist_ok=True)
    x11()
    wayland()
